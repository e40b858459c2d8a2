#include "DibImage.h"
#include "FileException.h"
#include "MemoryDC.h"
#include "Palette.h"
#include "TestImages.h"

#include <cerrno>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

using namespace TestImages;
using Pixels = std::vector<std::uint32_t>;

namespace {

// Logs every palette selection.
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

// An 8-bit image whose pixel at picture (x, y) has index 10 y + x; index i has the colour
// (i, 255 - i, 7).
DibHandle IndexedImage(std::int32_t w, std::int32_t h, std::uint32_t colors = 256)
{
    Bytes table(4 * colors, 7);
    for (std::size_t i = 0; i < colors; ++i)
        table[4 * i + 1] = static_cast<std::uint8_t>(255 - i),
                      table[4 * i + 2] = static_cast<std::uint8_t>(i);
    const std::size_t stride = Stride8(w);
    Bytes rows(stride * static_cast<std::size_t>(h));
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i]
            = static_cast<std::uint8_t>(10 * (h - 1 - static_cast<int>(i / stride)) + i % stride);
    return ToHandle(MakeDib({40, w, h, 8, 0, colors}, table, rows));
}

std::uint32_t IndexColor(std::uint32_t index)
{
    return Opaque(index << 16 | (255 - index) << 8 | 7);
}

// The pixels of a one-pixel-high image of the given header, table, row and masks.
Pixels DrawRow(DibFields fields, const Bytes &table, const Bytes &row, const Bytes &masks = {})
{
    fields.height = 1;
    const Rect picture{0, 0, fields.width, 1};
    CMemoryDC dc(picture, 0);
    EXPECT_EQ(CDibImage::DrawToDevice(dc, picture, ToHandle(MakeDib(fields, table, row, masks)),
                                      picture, nullptr),
              1);
    return {dc.Row(0), dc.Row(0) + fields.width};
}

Bytes Masks(std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    Bytes m(12);
    PutU32(m, 0, r), PutU32(m, 4, g), PutU32(m, 8, b);
    return m;
}

} // namespace

// Each destination pixel takes the picture pixel under its centre; only what the clip lets
// through is decoded and painted, once.
TEST(DrawToDevice, PaintsEachPixelFromTheSourcePixelUnderItsCentre)
{
    // Canvas, destination, source, picture size, lines, painted, {x, y, index} samples.
    using Samples = std::vector<std::array<std::uint32_t, 3>>;
    const std::tuple<Rect, Rect, Rect, int, int, int, std::uint64_t, Samples> cases[]
        = {{{-8, -8, 64, 64},
            {0, 0, 7, 5},
            {0, 0, 7, 5},
            7,
            5,
            5,
            35,
            {{0, 0, 0}, {6, 4, 46}, {3, 1, 13}}},
           {{2, 3, 5, 4}, {0, 0, 9, 8}, {0, 0, 9, 8}, 9, 8, 8, 3, {{2, 3, 32}, {4, 3, 34}}},
           {{-8, -8, 64, 64},
            {10, 20, 30, 40},
            {5, 6, 25, 26},
            9,
            8,
            8,
            8,
            {{10, 20, 65}, {13, 21, 78}}},
           {{-8, -8, 64, 64},
            {0, 0, 8, 4},
            {0, 0, 4, 2},
            4,
            2,
            2,
            32,
            {{0, 0, 0}, {7, 3, 13}, {2, 1, 1}, {5, 2, 12}}},
           {{-8, -8, 64, 64}, {0, 0, 2, 1}, {0, 0, 4, 2}, 4, 2, 2, 2, {{0, 0, 11}, {1, 0, 13}}},
           {{-8, -8, 64, 64},
            {0, 0, 8, 2},
            {0, 0, 4, 2},
            4,
            2,
            2,
            16,
            {{3, 0, 1}, {4, 1, 12}, {7, 1, 13}}},
           {{-8, -8, 64, 64},
            {0, 0, 4, 6},
            {0, 0, 4, 2},
            4,
            2,
            2,
            24,
            {{3, 0, 3}, {0, 3, 10}, {3, 5, 13}}}};
    for (const auto &[canvas, dst, src, w, h, lines, painted, samples] : cases) {
        CMemoryDC dc(canvas, 0);
        EXPECT_EQ(CDibImage::DrawToDevice(dc, dst, IndexedImage(w, h), src, nullptr), lines);
        EXPECT_EQ(dc.PaintedPixels(), painted) << dst.right << " x " << dst.bottom;
        for (const auto &[x, y, index] : samples)
            EXPECT_EQ(dc.Pixel(x, y), IndexColor(index)) << x << "," << y;
        EXPECT_EQ(dc.StretchMode(), CDeviceContext::kColorOnColor);
    }
}

TEST(DrawToDevice, DecodesEveryDrawableDepth)
{
    EXPECT_EQ(DrawRow({.width = 10, .bitCount = 1}, {0, 0, 0, 0, 255, 255, 255, 0},
                      {0b10110000, 0b01000000, 0, 0}),
              (Pixels{Opaque(0xFFFFFF), Opaque(0), Opaque(0xFFFFFF), Opaque(0xFFFFFF), Opaque(0),
                      Opaque(0), Opaque(0), Opaque(0), Opaque(0), Opaque(0xFFFFFF)}));
    // 4 bits with 3 colours: index 5 is past the table and draws black.
    EXPECT_EQ(
        DrawRow({40, 3, 1, 4, 0, 3}, {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0}, {0x21, 0x50, 0, 0}),
        (Pixels{Opaque(0x090807), Opaque(0x060504), Opaque(0)}));
    Bytes coreTable(768); // 3-byte entries
    coreTable[6] = 0x30, coreTable[7] = 0x20, coreTable[8] = 0x10;
    EXPECT_EQ(DrawRow({.headerSize = 12, .width = 1}, coreTable, {2, 0, 0, 0}),
              Pixels{Opaque(0x102030)});
    EXPECT_EQ(DrawRow({.width = 1, .bitCount = 24}, {}, {0x11, 0x22, 0x33, 0}),
              Pixels{Opaque(0x332211)});
    // 16 bits: 5-5-5 by default, else by masks; channels scale with rounding.
    EXPECT_EQ(DrawRow({.width = 2, .bitCount = 16}, {}, {0xFF, 0x7F, 0x21, 0x04}),
              (Pixels{Opaque(0xFFFFFF), Opaque(0x080808)}));
    EXPECT_EQ(DrawRow({40, 1, 1, 16, 3}, {}, {0x20, 0xF8, 0, 0}, Masks(0xF800, 0x07E0, 0x001F)),
              Pixels{Opaque(0xFF0400)});
    // 32 bits: 8-8-8 by default, the fourth byte ignored, else by masks.
    EXPECT_EQ(DrawRow({.width = 1, .bitCount = 32}, {}, {0x11, 0x22, 0x33, 0x99}),
              Pixels{Opaque(0x332211)});
    EXPECT_EQ(
        DrawRow({40, 1, 1, 32, 3}, {}, {0x11, 0x22, 0x33, 0x44}, Masks(0xFF, 0xFF00, 0xFF000000)),
        Pixels{Opaque(0x112244)});
}

TEST(DrawToDevice, DrawsNothingForWhatCannotBeShown)
{
    Bytes truncated = FromHandle(IndexedImage(4, 2));
    truncated.pop_back();
    const DibHandle blocks[] = {DibHandle(),
                                ToHandle(truncated),
                                ToHandle(MakeDib({40, 4, 2, 2}, Bytes(16), Bytes(64))),
                                ToHandle(MakeDib({40, 4, 2, 64}, {}, Bytes(64))),
                                ToHandle(MakeDib({40, 4, 2, 24, 4}, {}, Bytes(64))),
                                ToHandle(MakeDib({40, 4, 2, 8, 1, 0, 8}, Bytes(1024), Bytes(64))),
                                ToHandle(MakeDib({40, 4, 2, 8, 3}, Bytes(1024), Bytes(64)))};
    for (const DibHandle &block : blocks) {
        CMemoryDC dc(Rect{0, 0, 8, 8}, 0);
        EXPECT_EQ(CDibImage::DrawToDevice(dc, Rect{0, 0, 4, 2}, block, Rect{0, 0, 4, 2}, nullptr),
                  0);
        EXPECT_EQ(dc.PaintedPixels(), 0u);
    }
}

TEST(DrawToDevice, SelectsThePaletteInTheBackgroundAndRestoresThePreviousOne)
{
    const DibHandle block = IndexedImage(2, 2);
    CPalette palette, earlier;
    CSelectionLog restoring, fresh, none;
    restoring.CMemoryDC::SelectPalette(&earlier, false);
    for (CSelectionLog *dc : {&restoring, &fresh, &none})
        CDibImage::DrawToDevice(*dc, {0, 0, 2, 2}, block, {0, 0, 2, 2},
                                dc == &none ? nullptr : &palette);
    using Log = std::vector<std::pair<const CPalette *, bool>>;
    EXPECT_EQ(restoring.selections, (Log{{&palette, true}, {&earlier, true}}));
    EXPECT_EQ(fresh.selections, (Log{{&palette, true}}));
    EXPECT_EQ(none.selections, Log{});
}

// Entries come in red, green, blue order from 4-byte, 3-byte (core) and masked tables; a
// palette needs all the entries it counts.
TEST(Palettes, TakeTheColourTableAndAllTheirEntries)
{
    Bytes coreTable(768), masked(8);
    coreTable[3] = 1, coreTable[4] = 2, coreTable[5] = 3, masked[4] = 0x44;
    const std::tuple<DibHandle, std::size_t, std::size_t, PaletteEntry> cases[]
        = {{IndexedImage(2, 2), 256, 200, PaletteEntry{200, 55, 7, 0}},
           {IndexedImage(2, 2, 2), 2, 1, PaletteEntry{1, 254, 7, 0}},
           {ToHandle(MakeDib({12, 1, 1}, coreTable, Bytes(4))), 256, 1, PaletteEntry{3, 2, 1, 0}},
           {ToHandle(MakeDib({40, 1, 1, 16, 3, 2}, masked, Bytes(4), Masks(0xF800, 0x07E0, 0x1F))),
            2, 1, PaletteEntry{0, 0, 0x44, 0}}};
    for (const auto &[block, count, at, entry] : cases) {
        CPalette palette;
        ASSERT_TRUE(CDibImage::BuildPalette(block, palette));
        EXPECT_EQ(palette.Version(), 0x300);
        ASSERT_EQ(palette.Entries().size(), count);
        EXPECT_EQ(palette.Entries()[at], entry);
    }
    CPalette none;
    EXPECT_FALSE(CDibImage::BuildPalette(ToHandle(MakeDib({40, 1, 1, 24}, {}, Bytes(4))), none));
    EXPECT_FALSE(CDibImage::BuildPalette(DibHandle(), none));
    EXPECT_FALSE(none.CreatePalette(Bytes{0, 3, 2, 0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_FALSE(none.IsCreated());
    ASSERT_TRUE(none.CreatePalette(Bytes{0, 3, 2, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(none.Entries()[1], (PaletteEntry{5, 6, 7, 8}));
}

TEST(MemoryDC, KeepsWhatFallsInsideItsAreaAndCountsTheRest)
{
    // A 3 x 3 block of 1..9 over a 4 x 3 canvas of 0xAA at (10, 20).
    const std::uint32_t block[] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0};
    const auto paint = [&](std::int32_t x, std::int32_t y) {
        CMemoryDC dc(Rect{10, 20, 14, 23}, 0xAA);
        dc.PutPixels(x, y, 3, 3, block, 4);
        Pixels canvas(dc.Row(20), dc.Row(20) + 4 * 3);
        canvas.push_back(static_cast<std::uint32_t>(dc.StrayPixels()));
        return canvas;
    };
    const std::uint32_t o = 0xAA;
    EXPECT_EQ(paint(11, 20), (Pixels{o, 1, 2, 3, o, 4, 5, 6, o, 7, 8, 9, 0}));
    EXPECT_EQ(paint(8, 19), (Pixels{6, o, o, o, 9, o, o, o, o, o, o, o, 7}));
    EXPECT_EQ(paint(13, 22), (Pixels{o, o, o, o, o, o, o, o, o, o, o, 1, 8}));
}

TEST(FileException, MapsSystemErrorsToCausesAndWords)
{
    using Cause = CFileException::Cause;
    const std::pair<int, Cause> causes[]
        = {{ENOENT, Cause::FileNotFound},    {ENOTDIR, Cause::BadPath},
           {EISDIR, Cause::BadPath},         {EMFILE, Cause::TooManyOpenFiles},
           {EACCES, Cause::AccessDenied},    {EROFS, Cause::AccessDenied},
           {ENOSPC, Cause::DiskFull},        {EIO, Cause::HardIO},
           {EBUSY, Cause::SharingViolation}, {EINVAL, Cause::Generic}};
    for (const auto &[error, cause] : causes)
        EXPECT_EQ(CFileException::CauseFromErrno(error), cause) << error;
    EXPECT_STREQ(CFileException(Cause::Generic, ENOENT, "a.bmp").what(),
                 "a.bmp: No such file or directory");
    EXPECT_EQ(CFileException(Cause::EndOfFile, 0, "a.bmp").Reason(), "unexpected end of file");
    EXPECT_STREQ(CFileException(Cause::Generic, "b.bmp", "locked").what(), "b.bmp: locked");
}
