#pragma once

#include <span>

// The dialog templates as plain data: caption, size and controls in dialog units, the controls
// in tab order. A builder in the framework makes the widgets from them.
namespace DialogTemplates {

// Control and template ids.
namespace Id {
constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int kStatic = -1; // a control nothing refers to
constexpr int kSlope = 1011;
constexpr int kIntercept = 1012;
constexpr int kPreview = 1013;
constexpr int kWinLow = 1014;
constexpr int kWinHigh = 1015;
constexpr int kHistLow = 1016;
constexpr int kHistHigh = 1017;
constexpr int kStretchX1 = 1018;
constexpr int kStretchY1 = 1019;
// The threshold and gray-stretch templates both number a field 1020; the two never meet in one
// dialog, so the shared value is kept.
constexpr int kThreshold = 1020;
constexpr int kStretchX2 = 1020;
constexpr int kStretchY2 = 1021;

constexpr int kAboutBox = 100;
constexpr int kLinearParams = 135;
constexpr int kWindowParams = 136;
constexpr int kHistogram = 137;
constexpr int kStretchParams = 138;
constexpr int kThresholdParams = 140;
} // namespace Id

enum class Kind {
    PushButton,
    DefaultButton,
    GroupBox,
    Label,
    Icon,    // text is the image's resource path; the control takes the image's size
    Edit,    // bordered, scrolls horizontally, any text
    Digits,  // as Edit, but only digits can be typed
    Preview, // plain, paints nothing, lets the mouse through to the dialog
};

struct Control
{
    int id;
    Kind kind;
    const char *text;
    int x, y, cx, cy;
};

struct Dialog
{
    int id;
    const char *caption;
    int cx, cy;
    int pointSize; // 0: the platform's system font as it is
    std::span<const Control> controls;
};

// The template with this id; none for an unknown id.
[[nodiscard]] const Dialog *Find(int id);

// Refusals of the field exchange, shown under the program's title with a warning icon.
constexpr const char *kNeedNumber = "请输入一个数字。";
constexpr const char *kNeedLevel = "请输入一个 0 到 255 之间的整数。";
constexpr const char *kExchangeCaption = "Tonecraft";

} // namespace DialogTemplates
