#pragma once

#include "DibHandle.h"

#include <cstdint>
#include <optional>

// How a block fared at admission. Every caller maps it to its own words: the document and
// the batch tool to their messages, paste to silence.
enum class AdmitResult : std::uint8_t {
    kAdmitted,          // readable; the block holds everything its header describes
    kTooBig,            // a width or height beyond 2^31 - 1 (a negative one as stored)
    kUnreadable,        // anything else: short, hostile, or no memory to expand its rows
    kExpansionTooLarge, // compressed rows that expand past the default limit below
    kTooManyPixels,     // more pixels than AdmissionLimits::maxPixels
};

// A few hundred bytes of RLE codes can describe gigabytes of rows, and expanding them costs
// minutes and all the memory there is. By default a compressed image is refused when its
// expanded block would be larger than both of these.
constexpr std::uint64_t kExpansionFloorBytes = std::uint64_t{1} << 30;
constexpr std::uint64_t kExpansionRatio = 1000;

struct AdmissionLimits
{
    // Width x height any image, compressed or not, may have. When set it replaces the default
    // limit on compressed images, so that a user can open a legitimate one beyond it.
    std::optional<std::uint64_t> maxPixels;
};

// A block that went through admission: not null exactly when `result` is kAdmitted.
struct Admission
{
    DibHandle block;
    AdmitResult result = AdmitResult::kUnreadable;
};
