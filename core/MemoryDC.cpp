#include "MemoryDC.h"

#include <algorithm>
#include <cstring>
#include <utility>

void CMemoryDC::Reset(const Rect &area, std::uint32_t background)
{
    m_area = area;
    if (area.IsEmpty())
        m_area.right = area.left, m_area.bottom = area.top;
    m_nWidth = static_cast<std::size_t>(m_area.Width());
    m_canvas.assign(m_nWidth * static_cast<std::size_t>(m_area.Height()), background);
    m_nPainted = 0;
    m_nStray = 0;
}

const CPalette *CMemoryDC::SelectPalette(const CPalette *palette, bool)
{
    return std::exchange(m_lpPalette, palette);
}

int CMemoryDC::SetStretchBltMode(int mode)
{
    return std::exchange(m_nStretchMode, mode);
}

void CMemoryDC::PutPixels(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                          const std::uint32_t *pixels, std::size_t stride)
{
    if (width <= 0 || height <= 0)
        return;
    // In 64 bits: a block near the end of the coordinate range must not wrap.
    const std::int64_t left = std::max<std::int64_t>(x, m_area.left);
    const std::int64_t top = std::max<std::int64_t>(y, m_area.top);
    const std::int64_t right = std::min(std::int64_t{x} + width, std::int64_t{m_area.right});
    const std::int64_t bottom = std::min(std::int64_t{y} + height, std::int64_t{m_area.bottom});
    const auto all = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    m_nPainted += all;
    if (left >= right || top >= bottom) {
        m_nStray += all;
        return;
    }
    m_nStray += all - static_cast<std::uint64_t>((right - left) * (bottom - top));
    const auto columns = static_cast<std::size_t>(right - left);
    const auto skip = static_cast<std::size_t>(left - x);
    for (std::int64_t row = top; row < bottom; ++row) {
        const std::uint32_t *from = pixels + static_cast<std::size_t>(row - y) * stride + skip;
        std::uint32_t *to = m_canvas.data() + static_cast<std::size_t>(row - m_area.top) * m_nWidth
            + static_cast<std::size_t>(left - m_area.left);
        std::memcpy(to, from, columns * sizeof(std::uint32_t));
    }
}

const std::uint32_t *CMemoryDC::Row(std::int32_t y) const
{
    return m_canvas.data() + static_cast<std::size_t>(y - m_area.top) * m_nWidth;
}

std::uint32_t CMemoryDC::Pixel(std::int32_t x, std::int32_t y) const
{
    return Row(y)[static_cast<std::size_t>(x - m_area.left)];
}
