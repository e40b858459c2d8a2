#pragma once

#include "DeviceContext.h"
#include "Rect.h"

#include <cstdint>

// Where a printed image goes on the page: the full printable width, the height scaled by the
// image's proportions and the printer's pixel aspect, centred vertically (it overhangs the top
// and bottom of the page evenly when taller than the page).
// The destination rectangle for an image of `width` x `height` pixels; empty (nothing to
// print) when the width or the horizontal resolution is 0, where the scale is undefined.
[[nodiscard]] inline Rect PrintDestination(std::int32_t width, std::int32_t height,
                                           const PrinterCaps &device)
{
    if (width == 0 || device.logPixelsX == 0)
        return {};
    Rect d{0, 0, device.horzRes, 0};
    const double scaled = static_cast<double>(height) * device.horzRes * device.logPixelsY
        / (static_cast<double>(width) * device.logPixelsX);
    d.bottom = static_cast<std::int32_t>(scaled);
    const std::int32_t half = (device.vertRes - (d.bottom - d.top)) / 2;
    d.top += half;
    d.bottom += half;
    return d;
}
