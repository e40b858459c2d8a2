#include "DibImage.h"
#include "DibLayout.h"
#include "TestImages.h"

#include <array>
#include <random>
#include <vector>

#include <gtest/gtest.h>

using TestImages::Bytes;
using TestImages::DibFields;

namespace {

Bytes Dib(const DibFields &fields, std::size_t tableBytes, std::size_t maskBytes = 0)
{
    const std::size_t rows
        = RowStride(static_cast<std::uint32_t>(fields.width), fields.bitCount) * fields.height;
    return TestImages::MakeDib(fields, Bytes(tableBytes, 0x11), Bytes(rows, 0x66),
                               Bytes(maskBytes, 0xF0));
}

// A block of `size` bytes (zero beyond the given header fields): plenty of room for any table.
Bytes Header(std::uint32_t headerSize, std::uint32_t width, std::uint32_t height,
             std::uint16_t bitCount, std::uint32_t compression = 0, std::uint32_t clrUsed = 0,
             std::size_t size = 4096)
{
    Bytes block(size, 0);
    TestImages::PutU32(block, 0, headerSize);
    TestImages::PutU32(block, 4, width);
    TestImages::PutU32(block, 8, height);
    TestImages::PutU16(block, 14, bitCount);
    TestImages::PutU32(block, 16, compression);
    TestImages::PutU32(block, 32, clrUsed);
    return block;
}

DibHandle Admit(const Bytes &bytes)
{
    return CDibImage::AdmitBlock(TestImages::ToHandle(bytes));
}

} // namespace

// Every prefix of a valid block: refused unless complete, and never read past its end.
TEST(Admission, TruncatedBlocksAreRefusedAtEveryLength)
{
    const Bytes rle8 = {2, 7, 0, 0, 0, 3, 1, 2, 3, 0, 0, 1};
    const Bytes rle4 = {3, 0x12, 0, 0, 0, 3, 0x45, 0x60, 0, 1};
    const std::vector<Bytes> valid = {
        Dib({.width = 5, .height = 3}, 1024),
        Dib({.headerSize = 12, .width = 3, .height = 2}, 768),
        Dib({.width = 3, .height = 2, .bitCount = 24}, 0),
        Dib({.width = 3, .height = 2, .bitCount = 16, .compression = 3}, 0, 12),
        Dib({.width = 3, .height = 2, .compression = 6}, 1024, 16),
        Dib({.headerSize = 124, .width = 3, .height = 2, .clrUsed = 252}, 1008),
        TestImages::MakeDib({.width = 5, .height = 3, .compression = 1, .sizeImage = 12},
                            TestImages::GrayTable256(), rle8),
        TestImages::MakeDib(
            {.width = 5, .height = 3, .bitCount = 4, .compression = 2, .sizeImage = 10},
            Bytes(64, 0x22), rle4),
    };
    for (const Bytes &dib : valid) {
        for (std::size_t length = 0; length <= dib.size(); ++length) {
            const Bytes prefix(dib.begin(), dib.begin() + static_cast<std::ptrdiff_t>(length));
            const bool complete = length == dib.size();
            ASSERT_EQ(CDibImage::IsBlockReadable(prefix), complete)
                << length << " of " << dib.size();
            DibHandle block = Admit(prefix);
            ASSERT_EQ(block.IsNull(), !complete);
            if (complete) { // core headers are not written
                EXPECT_EQ(TestImages::ExerciseAdmitted(block).empty(),
                          TestImages::GetU32(dib, 0) == 12);
            }
            // The same prefix as a file: admitted or not, nothing outside the block is touched.
            DibHandle fromFile
                = CDibImage::AdmitBlock(TestImages::ReadBmp(TestImages::MakeBmpFile(prefix)));
            if (!fromFile.IsNull())
                (void)TestImages::ExerciseAdmitted(fromFile);
        }
    }
}

TEST(Admission, OnlyKnownHeaderSizesAreReadable)
{
    std::vector<std::uint32_t> sizes = {256, 1024, 0x80000000, 0xFFFFFFFF};
    for (std::uint32_t size = 0; size <= 130; ++size)
        sizes.push_back(size);
    for (std::uint32_t size : sizes) {
        const bool known = size == 12 || size == 40 || size == 52 || size == 56 || size == 64
            || size == 108 || size == 124;
        EXPECT_EQ(CDibImage::IsBlockReadable(Header(size, 1, 1, 24)), known) << size;
    }
    // A block shorter than its own header.
    EXPECT_FALSE(CDibImage::IsBlockReadable(Header(124, 1, 1, 24, 0, 0, 100)));
    EXPECT_FALSE(CDibImage::IsBlockReadable(Header(40, 0, 0, 24, 0, 0, 39)));
}

// Row sizes must be computed in 64 bits with overflow checks: each of these wraps to a small
// number (often 0) in 32-bit or plain 64-bit arithmetic.
TEST(Admission, HugeDimensionsDoNotWrapIntoSmallRowSizes)
{
    // clang-format off
    const std::array<std::uint32_t, 3> cases[] = {
        {0x7FFFFFFF, 1, 24}, {1, 0x7FFFFFFF, 24}, {0xFFFFFFFF, 0xFFFFFFFF, 32}, {0x40000000, 4, 8},
        {0x20000000, 8, 32}, {0x80000000, 0x40000000, 64}, {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFF},
        {1, 0xFFFFFFC0, 8}};
    // clang-format on
    for (const auto &[width, height, bits] : cases) {
        const auto block = Header(40, width, height, static_cast<std::uint16_t>(bits));
        EXPECT_FALSE(CDibImage::IsBlockReadable(block))
            << width << " x " << height << " x " << bits;
    }
}

TEST(Admission, ColorTablesBeyondTheBlockOrSixteenBitsAreRefused)
{
    // 16383 entries (65532 bytes) in a 4 KiB block.
    EXPECT_FALSE(CDibImage::IsBlockReadable(Header(40, 1, 1, 8, 0, 16383)));
    EXPECT_TRUE(CDibImage::IsBlockReadable(Header(40, 1, 1, 8, 0, 16383, 40 + 65532 + 4)));
    // 16384 entries would be 65536 bytes: more than the 16-bit table size, however long the block.
    EXPECT_FALSE(CDibImage::IsBlockReadable(Header(40, 1, 1, 8, 0, 16384, 40 + 65536 + 4)));
    // biClrUsed 65536 keeps its low 16 bits: no table at all.
    EXPECT_TRUE(CDibImage::IsBlockReadable(Header(40, 1, 1, 24, 0, 65536, 44)));
    const Bytes core = Dib({.headerSize = 12, .width = 3, .height = 2}, 768);
    EXPECT_FALSE(CDibImage::IsBlockReadable(Bytes(core.begin(), core.begin() + 12 + 767)));
}

TEST(Admission, RleOnTheWrongDepthOrBeyondTheBlockIsRefused)
{
    for (const auto &[compression, bitCount] :
         std::vector<std::pair<std::uint32_t, std::uint16_t>>{{1, 4}, {2, 8}, {1, 24}, {2, 1}}) {
        Bytes block = Header(40, 4, 4, bitCount, compression);
        TestImages::PutU32(block, 20, 16);
        EXPECT_FALSE(CDibImage::IsBlockReadable(block)) << compression << "/" << bitCount;
    }
    for (std::uint32_t sizeImage : {4096u - 1064 + 1, 0xFFFFFFFFu}) {
        Bytes block = Header(40, 4, 4, 8, 1);
        TestImages::PutU32(block, 20, sizeImage);
        EXPECT_FALSE(CDibImage::IsBlockReadable(block)) << sizeImage;
    }
}

TEST(AdmitBlock, KeepsPlainBlocksAndRefusesUnreadableOnes)
{
    Bytes plain = Dib({.width = 5, .height = 3}, 1024);
    plain.insert(plain.end(), 14, 0xEE);
    EXPECT_EQ(TestImages::FromHandle(Admit(plain)), plain);
    EXPECT_TRUE(CDibImage::AdmitBlock(DibHandle{}).IsNull());
    EXPECT_TRUE(Admit(Bytes(14, 0)).IsNull());
}

TEST(AdmitBlock, ExpandsRunLengthStreamsIntoPlainRows)
{
    struct Case
    {
        const char *name;
        bool rle4;
        Bytes stream;
        Bytes rows; // RLE8: 3 x 3, stride 4; RLE4: 5 x 2, stride 4; zeros after those given
    };
    // clang-format off
    const Case cases[] = {
        {"EncodedRunsAndEndOfLine", false, {2, 7, 1, 9, 0, 0, 3, 1, 0, 0, 1, 4, 0, 1},
         {7, 7, 9, 0, 1, 1, 1, 0, 4}},
        {"AbsoluteRunsPaddedToWordsAndClipped", false,
         {0, 3, 1, 2, 3, 0, 0, 0, 0, 4, 5, 6, 7, 8, 0, 0, 1, 9, 0, 1}, {1, 2, 3, 0, 5, 6, 7, 0, 9}},
        {"DeltaSkipsPixelsWhichStayIndexZero", false, {1, 5, 0, 2, 1, 1, 1, 6, 0, 1},
         {5, 0, 0, 0, 0, 0, 6}},
        {"RunsPastTheRightEdgeAreClippedNotWrapped", false, {5, 3, 2, 8, 0, 0, 1, 4, 0, 1},
         {3, 3, 3, 0, 4}},
        {"DeltaPastTheLastRowStops", false, {1, 5, 0, 2, 0, 3, 1, 6}, {5}},
        {"EndOfLinePastTheLastRowStops", false, {1, 1, 0, 0, 1, 2, 0, 0, 1, 3, 0, 0, 1, 4, 0, 1},
         {1, 0, 0, 0, 2, 0, 0, 0, 3}},
        {"AbsoluteRunCutShortStops", false, {2, 5, 0, 4, 1, 2}, {5, 5}},
        {"DeltaCutShortStops", false, {1, 5, 0, 2, 1}, {5}},
        {"StreamEndingInsideACode", false, {1, 5, 0}, {5}},
        {"EndOfBitmapEndsDecoding", false, {1, 5, 0, 1, 1, 6}, {5}},
        {"EmptyStream", false, {}, {}},
        {"Rle4RunsAlternateNibbles", true, {5, 0x12, 0, 0, 3, 0x34, 0, 1},
         {0x12, 0x12, 0x10, 0, 0x34, 0x30}},
        {"Rle4AbsoluteRunsPaddedToWords", true,
         {0, 3, 0x56, 0x70, 2, 0x99, 0, 0, 0, 5, 0x12, 0x34, 0x50, 0, 0, 1},
         {0x56, 0x79, 0x90, 0, 0x12, 0x34, 0x50}},
        {"Rle4RunsPastTheRightEdgeAreClipped", true,
         {8, 0xAB, 0, 0, 0, 7, 0x12, 0x34, 0x56, 0x70, 0, 1},
         {0xAB, 0xAB, 0xA0, 0, 0x12, 0x34, 0x50}},
        {"Rle4Delta", true, {0, 2, 3, 1, 1, 0xF0, 0, 1}, {0, 0, 0, 0, 0, 0x0F}},
    };
    // clang-format on
    for (const Case &c : cases) {
        const DibFields fields = {.width = c.rle4 ? 5 : 3,
                                  .height = c.rle4 ? 2 : 3,
                                  .bitCount = static_cast<std::uint16_t>(c.rle4 ? 4 : 8),
                                  .compression = c.rle4 ? 2u : 1u,
                                  .sizeImage = static_cast<std::uint32_t>(c.stream.size())};
        const Bytes table = c.rle4 ? Bytes(64, 0x22) : TestImages::GrayTable256();
        DibHandle plain = Admit(TestImages::MakeDib(fields, table, c.stream));
        ASSERT_FALSE(plain.IsNull()) << c.name;
        DibFields plainSpec = fields;
        plainSpec.compression = 0;
        Bytes rows = c.rows;
        rows.resize(c.rle4 ? 8 : 12, 0);
        plainSpec.sizeImage = static_cast<std::uint32_t>(rows.size());
        EXPECT_EQ(TestImages::FromHandle(plain), TestImages::MakeDib(plainSpec, table, rows))
            << c.name;
    }
}

// A few header bytes must not be able to ask for rows that no BMP file could describe.
TEST(AdmitBlock, RefusesRleExpansionsBeyondThirtyTwoBits)
{
    const std::array<std::uint32_t, 3> cases[]
        = {{65536, 65536, 8}, {0xFFFFFFFF, 2, 4}, {0x3FFFFF00, 4, 8}, {127, 0xFFFFFFC0, 8}};
    for (const auto &[width, height, bits] : cases) {
        Bytes block
            = Header(40, width, height, static_cast<std::uint16_t>(bits), bits == 4 ? 2 : 1);
        TestImages::PutU32(block, 20, 2);
        EXPECT_TRUE(Admit(block).IsNull()) << width << " x " << height;
    }
}

TEST(AdmitBlock, RandomRleStreamsStayInsideTheirRows)
{
    std::mt19937 rng(17);
    for (int i = 0; i < 3000; ++i) {
        const bool rle4 = i % 2 == 1;
        const auto width = static_cast<std::int32_t>(1 + rng() % 40);
        const auto height = static_cast<std::int32_t>(1 + rng() % 8);
        // Mostly small bytes, so escapes, deltas and short runs are common.
        Bytes stream(rng() % 120);
        for (auto &b : stream)
            b = static_cast<std::uint8_t>(rng() % 3 == 0 ? rng() : rng() % 6);
        const DibFields fields = {.width = width,
                                  .height = height,
                                  .bitCount = static_cast<std::uint16_t>(rle4 ? 4 : 8),
                                  .compression = rle4 ? 2u : 1u,
                                  .sizeImage = static_cast<std::uint32_t>(stream.size())};
        DibHandle plain = Admit(TestImages::MakeDib(fields, Bytes(rle4 ? 64 : 1024), stream));
        ASSERT_FALSE(plain.IsNull());
        const std::uint64_t rowsBytes
            = RowStride(static_cast<std::uint32_t>(width), fields.bitCount)
            * static_cast<std::uint64_t>(height);
        ASSERT_EQ(plain.Size(), 40 + (rle4 ? 64u : 1024u) + rowsBytes);
        EXPECT_FALSE(TestImages::ExerciseAdmitted(plain).empty());
    }
}

// The one admission every caller maps to its messages; checking in place must agree with it.
TEST(Admit, SortsBlocksIntoAdmittedTooBigAndUnreadable)
{
    const Bytes rle8 = {2, 7, 0, 0, 0, 3, 1, 2, 3, 0, 0, 1};
    const Bytes plain = Dib({.width = 5, .height = 3}, 1024);
    const Bytes cut(plain.begin(), plain.end() - 1);
    struct Case
    {
        const char *name;
        Bytes block;
        AdmitResult result;
    };
    const Case cases[] = {
        {"plain 8-bit", plain, AdmitResult::kAdmitted},
        {"RLE8",
         TestImages::MakeDib({.width = 5, .height = 3, .compression = 1, .sizeImage = 12},
                             TestImages::GrayTable256(), rle8),
         AdmitResult::kAdmitted},
        {"top-down", Header(40, 5, 0xFFFFFFFD, 8), AdmitResult::kTooBig},
        {"width 2^31", Header(40, 0x80000000u, 1, 8), AdmitResult::kTooBig},
        {"width 2^31 - 1, no rows", Header(40, 0x7FFFFFFF, 1, 8), AdmitResult::kUnreadable},
        {"one byte short", cut, AdmitResult::kUnreadable},
        {"eleven bytes", Bytes(plain.begin(), plain.begin() + 11), AdmitResult::kUnreadable},
        {"empty", {}, AdmitResult::kUnreadable},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CDibImage::CheckAdmission(c.block), c.result);
        const Admission admitted = CDibImage::Admit(TestImages::ToHandle(c.block));
        EXPECT_EQ(admitted.result, c.result);
        EXPECT_EQ(admitted.block.IsNull(), c.result != AdmitResult::kAdmitted);
        if (!admitted.block.IsNull()) {
            EXPECT_EQ(CDibImage::GetCompression(TestImages::FromHandle(admitted.block).data()), 0u);
        }
    }
}
