#include "DibImage.h"
#include "FileException.h"
#include "MemoryDC.h"
#include "Palette.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

using namespace TestImages;

namespace {

// Pixel (x, y) has index 10 y + x, of colour (i, 255 - i, 7).
DibHandle IndexedImage(std::int32_t w, std::int32_t h, std::uint32_t colors = 256)
{
    Bytes table, rows;
    for (std::uint32_t i = 0; i < colors; ++i)
        table.insert(table.end(),
                     {7, static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i), 0});
    for (std::int32_t y = h - 1; y >= 0; --y) {
        for (std::size_t x = 0; x < Stride8(w); ++x)
            rows.push_back(static_cast<std::uint8_t>(10 * static_cast<std::size_t>(y) + x));
    }
    return ToHandle(MakeDib({40, w, h, 8, 0, colors}, table, rows));
}

} // namespace

TEST(DrawToDevice, PaintsEachPixelFromTheSourcePixelUnderItsCentre)
{
    struct Sample
    {
        int x, y, index;
    };
    struct Case
    {
        Rect clip, destination, source;
        int pictureWidth, pictureHeight, lines;
        std::uint64_t painted;
        std::vector<Sample> samples;
    };
    const Rect all{-8, -8, 64, 64};
    const Case cases[] = {
        {all, {0, 0, 7, 5}, {0, 0, 7, 5}, 7, 5, 5, 35, {{0, 0, 0}, {6, 4, 46}, {3, 1, 13}}},
        {{2, 3, 5, 4}, {0, 0, 9, 8}, {0, 0, 9, 8}, 9, 8, 8, 3, {{2, 3, 32}, {4, 3, 34}}},
        {all, {10, 20, 30, 40}, {5, 6, 25, 26}, 9, 8, 8, 8, {{10, 20, 65}, {13, 21, 78}}},
        {all, {0, 0, 8, 4}, {0, 0, 4, 2}, 4, 2, 2, 32, {{0, 0, 0}, {7, 3, 13}, {5, 2, 12}}},
        {all, {0, 0, 2, 1}, {0, 0, 4, 2}, 4, 2, 2, 2, {{0, 0, 11}, {1, 0, 13}}},
        {all, {0, 0, 8, 2}, {0, 0, 4, 2}, 4, 2, 2, 16, {{3, 0, 1}, {4, 1, 12}, {7, 1, 13}}},
        {all, {0, 0, 4, 6}, {0, 0, 4, 2}, 4, 2, 2, 24, {{3, 0, 3}, {0, 3, 10}, {3, 5, 13}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.destination.right << " x " << c.destination.bottom);
        CMemoryDC dc(c.clip, 0);
        const DibHandle picture = IndexedImage(c.pictureWidth, c.pictureHeight);
        EXPECT_EQ(CDibImage::DrawToDevice(dc, c.destination, picture, c.source, nullptr), c.lines);
        EXPECT_EQ(dc.PaintedPixels(), c.painted);
        EXPECT_EQ(dc.StretchMode(), CDeviceContext::kColorOnColor);
        for (const Sample &s : c.samples) {
            const auto index = static_cast<std::uint32_t>(s.index);
            EXPECT_EQ(dc.Pixel(s.x, s.y), 0xFF000007u | index << 16 | (255 - index) << 8)
                << s.x << "," << s.y;
        }
    }
    // An index past the colour table draws black.
    CMemoryDC dc(all, 0x123456);
    EXPECT_EQ(
        CDibImage::DrawToDevice(dc, {0, 0, 7, 5}, IndexedImage(7, 5, 40), {0, 0, 7, 5}, nullptr),
        5);
    EXPECT_EQ(dc.Pixel(6, 4), 0xFF000000u);
    EXPECT_EQ(dc.Pixel(3, 3), 0xFF000007u | 33u << 16 | (255u - 33) << 8);
}

// Entries come out red first: the table holds blue, green, red in 4 bytes (3 in a core header).
TEST(Palettes, TakeTheColourTableAndAllTheirEntries)
{
    CPalette two, core, refused;
    ASSERT_TRUE(CDibImage::BuildPalette(IndexedImage(2, 2, 2), two));
    EXPECT_EQ(two.Version(), 0x300);
    ASSERT_EQ(two.Entries().size(), 2u);
    EXPECT_EQ(two.Entries()[1], (PaletteEntry{1, 254, 7, 0}));
    Bytes coreTable(768);
    coreTable[3] = 1, coreTable[4] = 2, coreTable[5] = 3;
    ASSERT_TRUE(CDibImage::BuildPalette(ToHandle(MakeDib({12, 1, 1}, coreTable, Bytes(4))), core));
    ASSERT_EQ(core.Entries().size(), 256u);
    EXPECT_EQ(core.Entries()[1], (PaletteEntry{3, 2, 1, 0}));
    EXPECT_FALSE(CDibImage::BuildPalette(ToHandle(MakeDib({40, 1, 1, 24}, {}, Bytes(4))), refused));
    EXPECT_FALSE(CDibImage::BuildPalette(DibHandle(), refused));
    EXPECT_FALSE(refused.CreatePalette(Bytes{0, 3, 2, 0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_FALSE(refused.IsCreated());
    ASSERT_TRUE(refused.CreatePalette(Bytes{0, 3, 2, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(refused.Entries()[1], (PaletteEntry{5, 6, 7, 8}));
}

TEST(FileException, MapsSystemErrorsToCausesAndWords)
{
    using enum CFileException::Cause;
    std::vector<CFileException::Cause> causes;
    for (const int error : {ENOENT, ENOTDIR, EMFILE, EACCES, ENOSPC, EIO, EBUSY, EINVAL})
        causes.push_back(CFileException::CauseFromErrno(error));
    EXPECT_EQ(causes,
              (std::vector{FileNotFound, BadPath, TooManyOpenFiles, AccessDenied, DiskFull, HardIO,
                           SharingViolation, Generic}));
    EXPECT_STREQ(CFileException(Generic, ENOENT, "a.bmp").what(),
                 "a.bmp: No such file or directory");
    EXPECT_EQ(CFileException(EndOfFile, 0, "a.bmp").Reason(), "unexpected end of file");
    EXPECT_STREQ(CFileException(Generic, "b.bmp", "locked").what(), "b.bmp: locked");
}
