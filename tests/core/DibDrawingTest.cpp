#include "DibImage.h"
#include "MemoryDC.h"
#include "Palette.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

using TestImages::Bytes;

namespace {

// A canvas around every destination below; painting counts show pixels painted twice.
CMemoryDC Canvas(Rect area = {-8, -8, 64, 64})
{
    return CMemoryDC(area, 0);
}

// A canvas that also logs every palette selection.
class CSelectionLog : public CMemoryDC
{
public:
    CSelectionLog()
        : CMemoryDC(Rect{0, 0, 2, 2}, 0)
    { }
    const CPalette *SelectPalette(const CPalette *palette, bool forceBackground) override
    {
        selections.emplace_back(palette, forceBackground);
        return CMemoryDC::SelectPalette(palette, forceBackground);
    }

    std::vector<std::pair<const CPalette *, bool>> selections;
};

constexpr std::uint32_t Opaque(std::uint32_t rgb)
{
    return 0xFF000000u | rgb;
}

// An 8-bit image whose pixel at picture (x, y) has index 10 * y + x, with a table giving
// index i the colour (i, 255 - i, 7).
DibHandle IndexedImage(std::int32_t w, std::int32_t h, std::uint32_t colors = 256)
{
    Bytes table(4 * colors);
    for (std::size_t i = 0; i < colors; ++i) {
        table[4 * i] = 7;
        table[4 * i + 1] = static_cast<std::uint8_t>(255 - i);
        table[4 * i + 2] = static_cast<std::uint8_t>(i);
    }
    const std::size_t stride = TestImages::Stride8(w);
    Bytes rows(stride * static_cast<std::size_t>(h));
    for (std::int32_t y = 0; y < h; ++y) {
        for (std::int32_t x = 0; x < w; ++x)
            rows[static_cast<std::size_t>(h - 1 - y) * stride + static_cast<std::size_t>(x)]
                = static_cast<std::uint8_t>(10 * y + x);
    }
    return TestImages::ToHandle(
        TestImages::MakeDib({.width = w, .height = h, .clrUsed = colors}, table, rows));
}

std::uint32_t IndexColor(int index)
{
    return Opaque((static_cast<std::uint32_t>(index) << 16)
                  | (static_cast<std::uint32_t>(255 - index) << 8) | 7);
}

// Draws a one-pixel-high image of the given header and row bytes and returns its pixels.
std::vector<std::uint32_t> DrawRow(TestImages::DibFields fields, const Bytes &table,
                                   const Bytes &row, const Bytes &masks = {})
{
    fields.height = 1;
    const DibHandle block = TestImages::ToHandle(TestImages::MakeDib(fields, table, row, masks));
    const Rect picture{0, 0, fields.width, 1};
    CMemoryDC dc = Canvas(picture);
    EXPECT_EQ(CDibImage::DrawToDevice(dc, picture, block, picture, nullptr), 1);
    EXPECT_EQ(dc.PaintedPixels(), static_cast<std::uint64_t>(fields.width));
    return {dc.Row(0), dc.Row(0) + fields.width};
}

Bytes Masks(std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    Bytes m(12);
    TestImages::PutU32(m, 0, r);
    TestImages::PutU32(m, 4, g);
    TestImages::PutU32(m, 8, b);
    return m;
}

} // namespace

TEST(DrawToDevice, UnscaledCopyPutsEachPicturePixelInPlace)
{
    const DibHandle block = IndexedImage(7, 5);
    CMemoryDC dc = Canvas();
    const Rect picture{0, 0, 7, 5};
    EXPECT_EQ(CDibImage::DrawToDevice(dc, picture, block, picture, nullptr), 5);
    ASSERT_EQ(dc.PaintedPixels(), 35u);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(dc.Pixel(x, y), IndexColor(10 * y + x)) << x << "," << y;
    }
    EXPECT_EQ(dc.StretchMode(), CDeviceContext::kColorOnColor);
}

TEST(DrawToDevice, DecodesOnlyWhatTheClipLetsThrough)
{
    const DibHandle block = IndexedImage(9, 8);
    CMemoryDC dc = Canvas(Rect{2, 3, 5, 4}); // a 3 x 1 strip
    const Rect picture{0, 0, 9, 8};
    CDibImage::DrawToDevice(dc, picture, block, picture, nullptr);
    ASSERT_EQ(dc.PaintedPixels(), 3u);
    EXPECT_EQ(dc.Pixel(2, 3), IndexColor(32));
    EXPECT_EQ(dc.Pixel(4, 3), IndexColor(34));

    // A destination beyond the picture paints only where picture pixels land.
    CMemoryDC wide = Canvas();
    CDibImage::DrawToDevice(wide, Rect{10, 20, 30, 40}, block, Rect{5, 6, 25, 26}, nullptr);
    EXPECT_EQ(wide.PaintedPixels(), 4u * 2u);
    EXPECT_EQ(wide.Pixel(10, 20), IndexColor(65));
    EXPECT_EQ(wide.Pixel(13, 21), IndexColor(78));
}

TEST(DrawToDevice, StretchTakesTheNearestSourcePixel)
{
    const DibHandle block = IndexedImage(4, 2);
    CMemoryDC up = Canvas();
    EXPECT_EQ(CDibImage::DrawToDevice(up, Rect{0, 0, 8, 4}, block, Rect{0, 0, 4, 2}, nullptr), 2);
    ASSERT_EQ(up.PaintedPixels(), 32u);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(up.Pixel(x, y), IndexColor(10 * (y / 2) + x / 2)) << x << "," << y;
    }
    CMemoryDC down = Canvas(); // 4 columns into 2: the centres fall on columns 1 and 3
    CDibImage::DrawToDevice(down, Rect{0, 0, 2, 1}, block, Rect{0, 0, 4, 2}, nullptr);
    EXPECT_EQ(down.Pixel(0, 0), IndexColor(11));
    EXPECT_EQ(down.Pixel(1, 0), IndexColor(13));
}

TEST(DrawToDevice, DecodesEveryDrawableDepth)
{
    const Bytes bw{0, 0, 0, 0, 255, 255, 255, 0};
    EXPECT_EQ(DrawRow({.width = 10, .bitCount = 1}, bw, {0b10110000, 0b01000000, 0, 0}),
              (std::vector<std::uint32_t>{Opaque(0xFFFFFF), Opaque(0), Opaque(0xFFFFFF),
                                          Opaque(0xFFFFFF), 0xFF000000u, Opaque(0), Opaque(0),
                                          Opaque(0), Opaque(0), Opaque(0xFFFFFF)}));
    // 4 bits with 3 colours: index 5 is past the table and draws black.
    const Bytes three{1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0};
    EXPECT_EQ(DrawRow({.width = 3, .bitCount = 4, .clrUsed = 3}, three, {0x21, 0x50, 0, 0}),
              (std::vector<std::uint32_t>{Opaque(0x090807), Opaque(0x060504), Opaque(0)}));
    // A core header's table has 3-byte entries.
    Bytes coreTable(768);
    coreTable[3 * 2] = 0x30, coreTable[3 * 2 + 1] = 0x20, coreTable[3 * 2 + 2] = 0x10;
    EXPECT_EQ(DrawRow({.headerSize = 12, .width = 1}, coreTable, {2, 0, 0, 0}),
              std::vector<std::uint32_t>{Opaque(0x102030)});
    EXPECT_EQ(DrawRow({.width = 1, .bitCount = 24}, {}, {0x11, 0x22, 0x33, 0}),
              std::vector<std::uint32_t>{Opaque(0x332211)});
    // 16 bits: 5-5-5 by default, 5-6-5 by masks; channels scale with rounding.
    EXPECT_EQ(DrawRow({.width = 2, .bitCount = 16}, {}, {0xFF, 0x7F, 0x21, 0x04}),
              (std::vector<std::uint32_t>{Opaque(0xFFFFFF), Opaque(0x080808)}));
    EXPECT_EQ(DrawRow({.width = 1, .bitCount = 16, .compression = 3}, {}, {0x20, 0xF8, 0, 0},
                      Masks(0xF800, 0x07E0, 0x001F)),
              std::vector<std::uint32_t>{Opaque(0xFF0400)});
    // 32 bits: 8-8-8 by default with the fourth byte ignored, or by masks.
    EXPECT_EQ(DrawRow({.width = 1, .bitCount = 32}, {}, {0x11, 0x22, 0x33, 0x99}),
              std::vector<std::uint32_t>{Opaque(0x332211)});
    EXPECT_EQ(DrawRow({.width = 1, .bitCount = 32, .compression = 3}, {}, {0x11, 0x22, 0x33, 0x44},
                      Masks(0xFF, 0xFF00, 0xFF000000)),
              std::vector<std::uint32_t>{Opaque(0x112244)});
}

TEST(DrawToDevice, DrawsNothingForWhatCannotBeShown)
{
    const auto drawn = [](const DibHandle &block) {
        CMemoryDC dc = Canvas();
        const int lines
            = CDibImage::DrawToDevice(dc, Rect{0, 0, 4, 2}, block, Rect{0, 0, 4, 2}, nullptr);
        return lines == 0 && dc.PaintedPixels() == 0;
    };
    EXPECT_TRUE(drawn(DibHandle()));
    const auto image = [](TestImages::DibFields fields, std::size_t tableBytes = 0) {
        fields.width = 4;
        fields.height = 2;
        return TestImages::ToHandle(TestImages::MakeDib(fields, Bytes(tableBytes), Bytes(64)));
    };
    EXPECT_TRUE(drawn(image({.bitCount = 2}, 16)));
    EXPECT_TRUE(drawn(image({.bitCount = 64})));
    EXPECT_TRUE(drawn(image({.bitCount = 24, .compression = 4})));
    EXPECT_TRUE(drawn(image({.bitCount = 8, .compression = 1, .sizeImage = 8}, 1024)));
    EXPECT_TRUE(drawn(image({.bitCount = 8, .compression = 3}, 1024)));
    Bytes truncated = TestImages::FromHandle(IndexedImage(4, 2));
    truncated.resize(truncated.size() - 1);
    EXPECT_TRUE(drawn(TestImages::ToHandle(truncated)));
}

TEST(DrawToDevice, SelectsThePaletteInTheBackgroundAndRestoresThePreviousOne)
{
    const DibHandle block = IndexedImage(2, 2);
    CPalette palette, earlier;
    const Rect picture{0, 0, 2, 2};

    CSelectionLog dc;
    dc.CMemoryDC::SelectPalette(&earlier, false);
    CDibImage::DrawToDevice(dc, picture, block, picture, &palette);
    ASSERT_EQ(dc.selections.size(), 2u);
    EXPECT_EQ(dc.selections[0], std::make_pair(static_cast<const CPalette *>(&palette), true));
    EXPECT_EQ(dc.selections[1], std::make_pair(static_cast<const CPalette *>(&earlier), true));

    CSelectionLog fresh; // nothing selected before: nothing to restore
    CDibImage::DrawToDevice(fresh, picture, block, picture, &palette);
    EXPECT_EQ(fresh.selections.size(), 1u);
    CSelectionLog none;
    CDibImage::DrawToDevice(none, picture, block, picture, nullptr);
    EXPECT_TRUE(none.selections.empty());
}

TEST(BuildPalette, TakesTheColourTableInPaletteOrder)
{
    CPalette palette;
    ASSERT_TRUE(CDibImage::BuildPalette(IndexedImage(2, 2), palette));
    EXPECT_EQ(palette.Version(), 0x300);
    ASSERT_EQ(palette.Entries().size(), 256u);
    EXPECT_EQ(palette.Entries()[200], (PaletteEntry{200, 55, 7, 0}));

    CPalette two;
    ASSERT_TRUE(CDibImage::BuildPalette(IndexedImage(2, 2, 2), two));
    EXPECT_EQ(two.Entries().size(), 2u);

    Bytes coreTable(768);
    coreTable[3] = 1, coreTable[4] = 2, coreTable[5] = 3;
    CPalette core;
    ASSERT_TRUE(CDibImage::BuildPalette(
        TestImages::ToHandle(
            TestImages::MakeDib({.headerSize = 12, .width = 1, .height = 1}, coreTable, Bytes(4))),
        core));
    EXPECT_EQ(core.Entries()[1], (PaletteEntry{3, 2, 1, 0}));

    // After bit-field masks: the table follows them, not the header.
    Bytes table(8);
    table[4] = 0x44;
    CPalette masked;
    ASSERT_TRUE(CDibImage::BuildPalette(
        TestImages::ToHandle(TestImages::MakeDib(
            {.width = 1, .height = 1, .bitCount = 16, .compression = 3, .clrUsed = 2}, table,
            Bytes(4), Masks(0xF800, 0x07E0, 0x1F))),
        masked));
    EXPECT_EQ(masked.Entries()[1], (PaletteEntry{0, 0, 0x44, 0}));

    CPalette none;
    EXPECT_FALSE(
        CDibImage::BuildPalette(TestImages::ToHandle(TestImages::MakeDib(
                                    {.width = 1, .height = 1, .bitCount = 24}, {}, Bytes(4))),
                                none));
    EXPECT_FALSE(none.IsCreated());
    EXPECT_FALSE(CDibImage::BuildPalette(DibHandle(), none));
}

TEST(MemoryDC, KeepsWhatFallsInsideItsAreaAndCountsTheRest)
{
    // A 3 x 3 block, pixel values 1..9, over a 4 x 3 canvas at (10, 20).
    const std::uint32_t block[] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0};
    const auto paint = [&](std::int32_t x, std::int32_t y) {
        CMemoryDC dc(Rect{10, 20, 14, 23}, 0xAA);
        dc.PutPixels(x, y, 3, 3, block, 4);
        std::vector<std::uint32_t> canvas;
        for (std::int32_t row = 20; row < 23; ++row)
            canvas.insert(canvas.end(), dc.Row(row), dc.Row(row) + 4);
        return std::make_tuple(canvas, dc.PaintedPixels(), dc.StrayPixels());
    };
    using Pixels = std::vector<std::uint32_t>;
    EXPECT_EQ(paint(11, 20),
              std::make_tuple(Pixels{0xAA, 1, 2, 3, 0xAA, 4, 5, 6, 0xAA, 7, 8, 9}, 9ull, 0ull));
    EXPECT_EQ(
        paint(8, 19),
        std::make_tuple(Pixels{6, 0xAA, 0xAA, 0xAA, 9, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA},
                        9ull, 7ull));
    EXPECT_EQ(
        paint(13, 22),
        std::make_tuple(Pixels{0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 1},
                        9ull, 8ull));
    EXPECT_EQ(paint(14, 20), std::make_tuple(Pixels(12, 0xAA), 9ull, 9ull));
}
