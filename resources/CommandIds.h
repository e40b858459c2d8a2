#pragma once

// The program's own command and resource numbers; the framework's standard ones are in
// StandardCommandIds.h.
namespace CommandId {

constexpr int kReload = 32778;
constexpr int kGrayStretch = 32783;
constexpr int kEqualize = 32784;
constexpr int kWindowTransform = 32785;
constexpr int kInvert = 32786;
constexpr int kLinear = 32787;
constexpr int kHistogram = 32788;
constexpr int kThreshold = 32789;

// Resource numbers that several kinds of resource share.
constexpr int kMainFrameTitle = 128; // also the main menu, icon, accelerators and toolbar
constexpr int kImageType = 129;      // also the document menu and icon

} // namespace CommandId
