#include "DibBuilder.h"
#include "DibImage.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using TestImages::Bytes;

namespace {

// Header fields, colour-table entries and rows of a built block, as one readable record.
struct Built
{
    std::uint32_t width, height;
    std::uint16_t bits, colors;
    Bytes table; // the first three entries
    Bytes rows;
};

Built Describe(const DibHandle &block)
{
    const Bytes dib = TestImages::FromHandle(block);
    const std::uint8_t *h = dib.data();
    const auto *table = CDibImage::GetColorTable(h);
    const auto *rows = CDibImage::GetPixelBits(h);
    return {CDibImage::GetImageWidth(h),
            CDibImage::GetImageHeight(h),
            CDibImage::GetBitCount(h),
            CDibImage::GetColorCount(h),
            Bytes(table, table + (CDibImage::GetColorCount(h) > 0 ? 12 : 0)),
            Bytes(rows, dib.data() + dib.size())};
}

} // namespace

TEST(DibBuilder, GrayPicturesBecome8BitAndOthers24BitBottomUp)
{
    // Two top-down rows of three pixels, two spare values per row (rowPixels 5).
    const std::vector<std::uint32_t> gray
        = {0xFF101010, 0x00202020, 0xFF303030, 7, 7, 0xFF404040, 0xFF505050, 0xFFFEFEFE, 7, 7};
    const Built g = Describe(DibBuilder::FromRgb32(gray.data(), 3, 2, 5));
    EXPECT_EQ(g.width, 3u);
    EXPECT_EQ(g.height, 2u);
    EXPECT_EQ(g.bits, 8);
    EXPECT_EQ(g.colors, 256);
    EXPECT_EQ(g.table, (Bytes{0, 0, 0, 0, 1, 1, 1, 0, 2, 2, 2, 0}));
    EXPECT_EQ(g.rows, (Bytes{0x40, 0x50, 0xFE, 0, 0x10, 0x20, 0x30, 0}));

    std::vector<std::uint32_t> colour = gray;
    colour[1] = 0xFF112233; // one pixel with colour makes the whole picture 24-bit
    const Built c = Describe(DibBuilder::FromRgb32(colour.data(), 3, 2, 5));
    EXPECT_EQ(c.bits, 24);
    EXPECT_EQ(c.colors, 0);
    EXPECT_EQ(c.rows, (Bytes{0x40, 0x40, 0x40, 0x50, 0x50, 0x50, 0xFE, 0xFE, 0xFE, 0, 0, 0,
                             0x10, 0x10, 0x10, 0x33, 0x22, 0x11, 0x30, 0x30, 0x30, 0, 0, 0}));

    for (const auto &[width, height] : {std::pair{0, 2}, {3, 0}, {-1, 2}})
        EXPECT_TRUE(DibBuilder::FromRgb32(gray.data(), width, height, 5).IsNull());
}

// The result is a block like any other: admitted as it is.
TEST(DibBuilder, BuiltBlocksPassAdmission)
{
    const std::vector<std::uint32_t> pixels(7 * 5, 0xFF336699);
    const Admission admitted = CDibImage::Admit(DibBuilder::FromRgb32(pixels.data(), 7, 5, 7));
    EXPECT_EQ(admitted.result, AdmitResult::kAdmitted);
}
