#pragma once

#include "Rect.h"

#include <cstddef>
#include <cstdint>

class CPalette;

// What a printing device reports of itself: the printable area in device pixels (HORZRES,
// VERTRES) and its resolution in pixels per inch (LOGPIXELSX, LOGPIXELSY).
struct PrinterCaps
{
    int horzRes = 0;
    int vertRes = 0;
    int logPixelsX = 0;
    int logPixelsY = 0;
};

// What the image core needs of a drawing surface. Coordinates are logical: the surface
// applies its own origin (a scrolled view's offset, say). Implemented over the toolkit by
// the framework and in memory by tests.
class CDeviceContext
{
public:
    static constexpr int kColorOnColor = 3; // stretch mode: nearest source pixel, no blending

    virtual ~CDeviceContext() = default;

    // The smallest rectangle around the area that may be painted.
    [[nodiscard]] virtual Rect GetClipBox() const = 0;

    // Selects `palette` (null allowed) and returns the previously selected one.
    virtual const CPalette *SelectPalette(const CPalette *palette, bool forceBackground) = 0;

    // Sets the stretch mode and returns the previous one.
    virtual int SetStretchBltMode(int mode) = 0;

    // Paints a block of opaque pixels, 0xFFRRGGBB, `stride` pixels apart from row to row,
    // with its top-left corner at (x, y).
    virtual void PutPixels(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                           const std::uint32_t *pixels, std::size_t stride)
        = 0;
};
