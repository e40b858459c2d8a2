#include "HistogramPlot.h"

#include "PngWriter.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace HistogramPlot {

namespace {

enum Colour : std::uint8_t { kWhite, kBlack, kRed, kBlue, kGreen };
constexpr std::array<std::array<std::uint8_t, 3>, 5> kRgb{
    {{255, 255, 255}, {0, 0, 0}, {255, 0, 0}, {0, 0, 255}, {0, 255, 0}}};

// Digits 0..9, five columns by seven rows, the high bit of each row's five the left column.
constexpr std::array<std::array<std::uint8_t, 7>, 10> kDigits{{
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E},
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
}};
// A digit's cell in surface pixels: the glyph and one column of space on each side.
constexpr int kCellWidth = 7;
constexpr int kCellHeight = 9;

// The dialog's surface, one colour index per picture pixel, drawn in surface coordinates.
class CCanvas
{
public:
    CCanvas()
        : m_pixels(static_cast<std::size_t>(kWidth) * kHeight, kWhite)
    { }

    // Picture pixels [x0, x1) x [y0, y1), clipped.
    void Fill(int x0, int y0, int x1, int y1, Colour c)
    {
        x0 = std::clamp(x0, 0, kWidth), x1 = std::clamp(x1, 0, kWidth);
        y0 = std::clamp(y0, 0, kHeight), y1 = std::clamp(y1, 0, kHeight);
        for (int y = y0; y < y1; ++y)
            std::fill_n(m_pixels.begin() + static_cast<std::ptrdiff_t>(y) * kWidth + x0,
                        std::max(0, x1 - x0), c);
    }
    void Dot(int x, int y, Colour c)
    {
        Fill(x * kScale, y * kScale, (x + 1) * kScale, (y + 1) * kScale, c);
    }

    // A 1-pixel line from the current position to (x, y), without (x, y) itself.
    void MoveTo(int x, int y) { m_x = x, m_y = y; }
    void LineTo(int x, int y, Colour c)
    {
        const int steps = std::max(std::abs(x - m_x), std::abs(y - m_y));
        for (int i = 0; i < steps; ++i)
            Dot(m_x + (x - m_x) * i / steps, m_y + (y - m_y) * i / steps, c);
        MoveTo(x, y);
    }

    // Black digits on white, the cell's top-left corner at (x, y).
    void Text(int x, int y, const std::string &digits)
    {
        Fill(x * kScale, y * kScale, (x + kCellWidth * static_cast<int>(digits.size())) * kScale,
             (y + kCellHeight) * kScale, kWhite);
        for (std::size_t i = 0; i < digits.size(); ++i) {
            const auto &glyph = kDigits[static_cast<std::size_t>(digits[i] - '0')];
            for (int row = 0; row < 7; ++row)
                for (int column = 0; column < 5; ++column)
                    if ((glyph[static_cast<std::size_t>(row)] >> (4 - column) & 1) != 0)
                        Dot(x + 1 + kCellWidth * static_cast<int>(i) + column, y + 1 + row, kBlack);
        }
    }

    [[nodiscard]] Colour At(int x, int y) const
    {
        return static_cast<Colour>(
            m_pixels[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)]);
    }

private:
    std::vector<std::uint8_t> m_pixels;
    int m_x = 0, m_y = 0;
};

void DrawFrame(CCanvas &c)
{
    c.MoveTo(0, 0); // the surface's own rectangle, white inside
    c.LineTo(329, 0, kBlack), c.LineTo(329, 299, kBlack), c.LineTo(0, 299, kBlack);
    c.LineTo(0, 0, kBlack);
    c.MoveTo(10, 10);
    c.LineTo(10, 280, kRed), c.LineTo(320, 280, kRed);
    for (const int level : {0, 50, 100, 150, 200})
        c.Text(10 + level, 283, std::to_string(level));
    c.Text(265, 283, "255");
    for (int g = 0; g < 256; g += 5) {
        c.MoveTo(g + 10, 280);
        c.LineTo(g + 10, g % 2 == 0 ? 284 : 282, kRed);
    }
    c.MoveTo(315, 275);
    c.LineTo(320, 280, kRed), c.LineTo(315, 285, kRed);
    c.MoveTo(10, 10);
    c.LineTo(5, 15, kRed);
    c.MoveTo(10, 10);
    c.LineTo(15, 15, kRed);
}

void DrawBars(CCanvas &c, const GrayHistogram &counts)
{
    const std::uint64_t highest = *std::max_element(counts.begin(), counts.end());
    c.MoveTo(10, 25);
    c.LineTo(14, 25, kRed);
    c.Text(11, 26, std::to_string(highest));
    for (const int level : {0, 255})
        for (int y = 25; y < 280; y += 2)
            c.Dot(10 + level, y, kGreen);
    if (highest == 0)
        return;
    for (int g = 0; g < 256; ++g) {
        // Below 2^40 pixels times 762: the product stays within 64 bits.
        const auto height
            = static_cast<int>(counts[static_cast<std::size_t>(g)] * kBarTop / highest);
        const int left = (10 + g) * kScale;
        c.Fill(left, 280 * kScale - height, left + kScale, 281 * kScale, kBlue);
    }
}

} // namespace

bool Write(const GrayHistogram &counts, CFile &out)
{
    CCanvas canvas;
    DrawFrame(canvas);
    DrawBars(canvas, counts);
    CPngWriter png(out);
    if (!png.Begin(kWidth, kHeight))
        return false;
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kWidth) * 3);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x)
            std::copy_n(kRgb[canvas.At(x, y)].begin(), 3, rgb.begin() + 3 * x);
        if (!png.BeginRow() || !png.Put(rgb.data(), rgb.size()))
            return false;
    }
    return png.Finish();
}

} // namespace HistogramPlot
