#pragma once

#include "DeviceContext.h"
#include "Rect.h"

#include <algorithm>
#include <cstdint>
#include <limits>

// Where a printed image goes on the page: the full printable width, the height scaled by the
// image's proportions and the printer's pixel aspect, centred vertically (it overhangs the top
// and bottom of the page evenly when taller than the page).
// The destination rectangle for an image of `width` x `height` pixels; empty (nothing to
// print) when the width or the horizontal resolution is 0, where the scale is undefined. An
// edge beyond the 32-bit range (a very thin, very tall image) is held at the range's end.
[[nodiscard]] inline Rect PrintDestination(std::int32_t width, std::int32_t height,
                                           const PrinterCaps &device)
{
    if (width == 0 || device.logPixelsX == 0)
        return {};
    // A 1 x 900000 image on a 4800-pixel page is 4.3e9 pixels high: the height and the centring
    // offset are worked out in 64 bits and only the final edges are brought into range.
    const double scaled = static_cast<double>(height) * device.horzRes * device.logPixelsY
        / (static_cast<double>(width) * device.logPixelsX);
    const auto scaledHeight = static_cast<std::int64_t>(std::min(scaled, 0x1p62));
    const std::int64_t top = (std::int64_t{device.vertRes} - scaledHeight) / 2;
    auto clamp = [](std::int64_t v) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(
            v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    };
    return {0, clamp(top), device.horzRes, clamp(top + scaledHeight)};
}
