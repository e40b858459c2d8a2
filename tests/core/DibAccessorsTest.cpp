#include "DibImage.h"
#include "DibLayout.h"
#include "DibLock.h"
#include "TestImages.h"

#include <limits>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

using TestImages::Bytes;
using TestImages::DibFields;

// Under AddressSanitizer an allocation of absurd size must fail like the real allocator's
// (null) instead of aborting the test run.
extern "C" const char *__asan_default_options()
{
    return "allocator_may_return_null=1";
}

namespace {

// A 3 x 2 image with the given header fields, and what the accessors must find in it.
struct AccessorCase
{
    const char *name;
    std::uint32_t headerSize, bitCount, compression, clrUsed;
    std::uint16_t colors, tableBytes;
    std::uint32_t maskBytes, rowsOffset;
    bool grayLevel;
};

// clang-format off
const AccessorCase kAccessorCases[] = {
    {"Info8Bit",                      40,  8, 0,     0, 256, 1024,  0, 1064, true},
    {"Info8BitWith200Colors",         40,  8, 0,   200, 200,  800,  0,  840, false},
    {"Info24Bit",                     40, 24, 0,     0,   0,    0,  0,   40, false},
    {"Core8Bit",                      12,  8, 0,     0, 256,  768,  0,  780, true},
    {"Core1Bit",                      12,  1, 0,     0,   2,    6,  0,   18, false},
    {"ClrUsed65536KeepsLow16Bits",    40,  8, 0, 65536,   0,    0,  0,   40, false},
    {"Info16Bit",                     40, 16, 0,     0,   0,    0,  0,   40, false},
    {"Info32Bit",                     40, 32, 0,     0,   0,    0,  0,   40, false},
    {"Info1Bit",                      40,  1, 0,     0,   2,    8,  0,   48, false},
    {"Info4Bit",                      40,  4, 0,     0,  16,   64,  0,  104, false},
    // Read as core headers, height and bit count would come from the high halves of width
    // and height (0 here).
    {"V4HeaderIsNotReadAsCore",      108,  8, 0,   252, 252, 1008,  0, 1116, false},
    {"V5HeaderIsNotReadAsCore",      124,  8, 0,     0, 256, 1024,  0, 1148, true},
    {"Header52IsInfoFamily",          52,  8, 0,     0, 256, 1024,  0, 1076, true},
    {"Header56IsInfoFamily",          56,  8, 0,     0, 256, 1024,  0, 1080, true},
    {"Header64IsInfoFamily",          64,  8, 0,     0, 256, 1024,  0, 1088, true},
    // Masks follow a 40-byte header; table and rows come after them, not over them.
    {"BitFieldMasksBeforeRows",       40, 16, 3,     0,   0,    0, 12,   52, false},
    {"AlphaBitFieldMasksBeforeRows",  40, 32, 6,     0,   0,    0, 16,   56, false},
    {"BitFieldMasksBeforeColorTable", 40,  8, 3,     0, 256, 1024, 12, 1076, true},
    {"V5HeaderHoldsItsOwnMasks",     124, 16, 3,     0,   0,    0,  0,  124, false},
    // The 8-bit transforms would run past 4-bit rows or through 16-bit ones.
    {"FourBitWith256ColorsIsNotGray", 40,  4, 0,   256, 256, 1024,  0, 1064, false},
    {"SixteenBitWith256ColorsIsNotGray", 40, 16, 0, 256, 256, 1024, 0, 1064, false},
};
// clang-format on

class DibAccessors : public testing::TestWithParam<AccessorCase>
{ };

} // namespace

TEST_P(DibAccessors, ReadHeaderTableMasksAndRows)
{
    const AccessorCase &c = GetParam();
    const DibFields fields = {.headerSize = c.headerSize,
                              .width = 3,
                              .height = 2,
                              .bitCount = static_cast<std::uint16_t>(c.bitCount),
                              .compression = c.compression,
                              .clrUsed = c.clrUsed};
    const Bytes dib = TestImages::MakeDib(
        fields, Bytes(c.tableBytes), Bytes(RowStride(3, c.bitCount) * 2, 0x5A), Bytes(c.maskBytes));
    ASSERT_TRUE(CDibImage::IsBlockReadable(dib));
    const std::uint8_t *h = dib.data();
    EXPECT_EQ(CDibImage::GetImageWidth(h), 3u);
    EXPECT_EQ(CDibImage::GetImageHeight(h), 2u);
    EXPECT_EQ(CDibImage::GetBitCount(h), c.bitCount);
    EXPECT_EQ(CDibImage::GetCompression(h), c.compression);
    EXPECT_EQ(CDibImage::GetColorCount(h), c.colors);
    EXPECT_EQ(CDibImage::GetColorTableBytes(h), c.tableBytes);
    EXPECT_EQ(CDibImage::GetMaskBytes(h), c.maskBytes);
    EXPECT_EQ(CDibImage::GetColorTable(h) - h, c.rowsOffset - c.tableBytes);
    EXPECT_EQ(CDibImage::GetPixelBits(h) - h, c.rowsOffset);
    EXPECT_EQ(CDibImage::IsGrayLevelImage(h), c.grayLevel);
    EXPECT_EQ(MeasureDib(dib)->TotalBytes(), dib.size());
}

INSTANTIATE_TEST_SUITE_P(HeaderKinds, DibAccessors, testing::ValuesIn(kAccessorCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(DibHeader, SizesAreTakenAsUnsignedAndStridesPaddedToFourBytes)
{
    const Bytes info = TestImages::MakeDib({.width = -127, .height = -64}, {}, {});
    EXPECT_EQ(CDibImage::GetImageWidth(info.data()), 0xFFFFFF81u);
    EXPECT_EQ(CDibImage::GetImageHeight(info.data()), 0xFFFFFFC0u);
    const Bytes core
        = TestImages::MakeDib({.headerSize = 12, .width = 0xFFFF, .height = 1}, {}, {});
    EXPECT_EQ(CDibImage::GetImageWidth(core.data()), 0xFFFFu);
    for (const auto &[width, bits, stride] :
         {std::tuple<std::uint64_t, std::uint64_t, std::uint64_t>{1, 8, 4},
          {5, 8, 8},
          {8, 8, 8},
          {0x7FFFFFFF, 8, 0x80000000},
          {0xFFFFFFFF, 32, 0x3FFFFFFFC}})
        EXPECT_EQ(RowStride(width, bits), stride) << width << " x " << bits;
}

TEST(DuplicateBlock, ReturnsAnUnlockedIndependentCopy)
{
    const Bytes bytes = TestImages::RandomRows(37, 11, 8);
    const DibHandle source = TestImages::ToHandle(bytes);
    DibHandle copy = CDibImage::DuplicateBlock(source);
    ASSERT_FALSE(copy.IsNull());
    EXPECT_EQ(TestImages::FromHandle(copy), bytes);
    {
        DibLock lock(copy);
        lock.Data()[0] ^= 0xFF;
        lock.Data()[bytes.size() - 1] ^= 0xFF;
    }
    EXPECT_EQ(TestImages::FromHandle(source), bytes);
    EXPECT_EQ(source.LockCount(), 0);
    EXPECT_EQ(copy.LockCount(), 0);
    EXPECT_TRUE(CDibImage::DuplicateBlock(DibHandle{}).IsNull());
}

TEST(DibHandle, AllocatesZeroedBlocksAndRefusesAbsurdSizes)
{
    DibHandle block = DibHandle::Allocate(100000);
    ASSERT_FALSE(block.IsNull());
    EXPECT_EQ(block.Size(), 100000u);
    EXPECT_EQ(TestImages::FromHandle(block), Bytes(100000, 0));

    for (std::uint64_t size : {std::numeric_limits<std::uint64_t>::max(), std::uint64_t{1} << 63,
                               std::uint64_t{1} << 62}) {
        const DibHandle huge = DibHandle::Allocate(size);
        EXPECT_TRUE(huge.IsNull()) << size;
        EXPECT_EQ(huge.Size(), 0u);
    }
}
