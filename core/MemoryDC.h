#pragma once

#include "DeviceContext.h"
#include "Rect.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// A drawing surface in memory: a canvas covering `area` (logical coordinates), which is also
// its clip box. Painting outside the area is dropped and counted, so that callers can tell a
// drawing that strayed.
class CMemoryDC : public CDeviceContext
{
public:
    CMemoryDC() = default;
    // Throws std::bad_alloc when the canvas cannot be had.
    CMemoryDC(const Rect &area, std::uint32_t background) { Reset(area, background); }

    // A fresh canvas over `area`, every pixel `background`, and no painting counted; keeps the
    // storage of a larger earlier canvas. Throws std::bad_alloc when the canvas cannot be had.
    void Reset(const Rect &area, std::uint32_t background);

    [[nodiscard]] Rect GetClipBox() const override { return m_area; }
    const CPalette *SelectPalette(const CPalette *palette, bool forceBackground) override;
    int SetStretchBltMode(int mode) override;
    void PutPixels(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                   const std::uint32_t *pixels, std::size_t stride) override;

    // The canvas row at logical `y`, area-width pixels; `y` must lie inside the area.
    [[nodiscard]] const std::uint32_t *Row(std::int32_t y) const;
    // The pixel at logical (x, y); (x, y) must lie inside the area.
    [[nodiscard]] std::uint32_t Pixel(std::int32_t x, std::int32_t y) const;

    [[nodiscard]] const CPalette *SelectedPalette() const { return m_lpPalette; }
    [[nodiscard]] int StretchMode() const { return m_nStretchMode; }
    // Pixels painted since the last Reset, counted each time they are painted, inside the area
    // or not; and those of them that fell outside.
    [[nodiscard]] std::uint64_t PaintedPixels() const { return m_nPainted; }
    [[nodiscard]] std::uint64_t StrayPixels() const { return m_nStray; }

private:
    Rect m_area;
    std::size_t m_nWidth = 0;
    std::vector<std::uint32_t> m_canvas;
    const CPalette *m_lpPalette = nullptr;
    int m_nStretchMode = 1; // the mode a fresh device starts in
    std::uint64_t m_nPainted = 0;
    std::uint64_t m_nStray = 0;
};
