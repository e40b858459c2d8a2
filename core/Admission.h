#pragma once

#include "DibHandle.h"

#include <cstdint>

// How a block fared at admission. Every caller maps it to its own words: the document and
// the batch tool to their messages, paste to silence.
enum class AdmitResult : std::uint8_t {
    kAdmitted,   // readable; the block holds everything its header describes
    kTooBig,     // a width or height beyond 2^31 - 1 (a negative one as stored)
    kUnreadable, // anything else: short, hostile, or no memory to expand its rows
};

// A block that went through admission: not null exactly when `result` is kAdmitted.
struct Admission
{
    DibHandle block;
    AdmitResult result = AdmitResult::kUnreadable;
};
