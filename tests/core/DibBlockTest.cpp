#include "DibBuilder.h"
#include "DibImage.h"
#include "DibLayout.h"
#include "DibLock.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace TestImages;

// Absurd allocations must fail with null under AddressSanitizer too, not abort the run.
extern "C" const char *__asan_default_options()
{
    return "allocator_may_return_null=1";
}

namespace {

Bytes Dib(const DibFields &fields, std::size_t tableBytes, std::size_t maskBytes = 0)
{
    const std::size_t rows
        = RowStride(static_cast<std::uint32_t>(fields.width), fields.bitCount) * fields.height;
    return MakeDib(fields, Bytes(tableBytes, 0x11), Bytes(rows, 0x66), Bytes(maskBytes, 0xF0));
}

// biSize, width, height, bits, compression, biClrUsed, biSizeImage as stored, in `size` zeros.
Bytes Header(std::array<std::uint32_t, 7> fields, std::size_t size = 4096)
{
    Bytes block(size, 0);
    const auto [headerSize, width, height, bits, compression, clrUsed, sizeImage] = fields;
    const std::uint32_t values[]
        = {headerSize, width, height, 1 | bits << 16, compression, sizeImage, 0, 0, clrUsed};
    for (std::size_t i = 0; i < std::size(values) && 4 * i + 4 <= size; ++i)
        PutU32(block, 4 * i, values[i]);
    return block;
}

Bytes Rle(std::uint32_t width, std::uint32_t height, std::uint16_t bits, std::size_t size = 4096)
{
    return Header({40, width, height, bits, bits == 4 ? 2u : 1u, 0, 2}, size);
}

const Bytes kRle8 = {2, 7, 0, 0, 0, 3, 1, 2, 3, 0, 0, 1};
const Bytes kRle4 = {3, 0x12, 0, 0, 0, 3, 0x45, 0x60, 0, 1};

} // namespace

// A file's block is the file after its header, then 14 zeros that must not stand in for lost bytes.
TEST(Admission, TakesWholeBlocksAndFilesAndRefusesEveryShorterLength)
{
    const Bytes valid[] = {Dib({40, 5, 3}, 1024),
                           Dib({12, 3, 2}, 768),
                           Dib({40, 9, 2, 1}, 8),
                           Dib({40, 3, 2, 4}, 64),
                           Dib({40, 3, 2, 24}, 0),
                           Dib({40, 3, 2, 16, 3}, 0, 12),
                           Dib({40, 3, 2, 8, 6}, 1024, 16),
                           Dib({124, 3, 2, 8, 0, 252}, 1008),
                           MakeDib({40, 5, 3, 8, 1, 0, 12}, GrayTable256(), kRle8),
                           MakeDib({40, 5, 3, 4, 2, 0, 10}, Bytes(64, 0x22), kRle4)};
    for (const Bytes &dib : valid) {
        SCOPED_TRACE(testing::Message() << "header " << GetU32(dib, 0) << ", " << dib.size());
        const Bytes file = MakeBmpFile(dib);
        for (std::size_t length = 0; length < file.size(); ++length) {
            ASSERT_TRUE(ReadBmp(std::span(file).first(length)).IsNull()) << length;
            if (length < dib.size()) {
                const auto prefix = std::span(dib).first(length);
                ASSERT_FALSE(CDibImage::IsBlockReadable(prefix)) << length;
                ASSERT_TRUE(CDibImage::AdmitBlock(ToHandle(prefix)).IsNull()) << length;
            }
        }
        Bytes read = dib;
        read.resize(file.size(), 0);
        EXPECT_EQ(FromHandle(ReadBmp(file)), read);
        EXPECT_TRUE(CDibImage::IsBlockReadable(dib));
        DibHandle block = CDibImage::AdmitBlock(ToHandle(dib));
        ASSERT_FALSE(block.IsNull());
        // Core headers are not written.
        EXPECT_EQ(ExerciseAdmitted(block).empty(), GetU32(dib, 0) == 12);
    }
}

TEST(Admission, OnlyKnownHeaderSizesAreReadable)
{
    for (std::uint32_t size = 0; size <= 260; size += size < 130 ? 1 : 126) {
        const bool known = size == 12 || size == 40 || size == 52 || size == 56 || size == 64
            || size == 108 || size == 124;
        EXPECT_EQ(CDibImage::IsBlockReadable(Header({size, 1, 1, 24})), known) << size;
    }
}

TEST(Admission, SortsBlocksIntoAdmittedTooBigUnreadableAndBeyondItsLimits)
{
    using enum AdmitResult;
    struct Case
    {
        Bytes block;
        AdmitResult expected;
        std::optional<std::uint64_t> maxPixels = std::nullopt;
    };
    const Bytes plain = Dib({40, 5, 3}, 1024), bomb4 = Rle(0x7FFFFFFF, 1, 4, 120);
    // Wrapping row sizes, tables past the block or 16 bits, RLE of a wrong depth or past the
    // block, expansions past 32 bits; compressed rows up to 2^30 bytes (bomb4: 104 + 2^30) and
    // to 1000 times a 1.1 MB block (1064 bytes before the row), each exactly and 4 bytes more. A
    // pixel limit given replaces that and applies to every image.
    const Case cases[] = {
        {plain, kAdmitted},
        {MakeDib({40, 5, 3, 8, 1, 0, 12}, GrayTable256(), kRle8), kAdmitted},
        {Header({40, 5, 0xFFFFFFFD, 8}), kTooBig},
        {Header({40, 0x80000000u, 1, 8}), kTooBig},
        {Header({40, 0x7FFFFFFF, 1, 8}), kUnreadable},
        {Bytes(plain.begin(), plain.begin() + 11), kUnreadable},
        {Header({124, 1, 1, 24}, 100), kUnreadable},
        {Header({40, 0x40000000, 4, 8}), kUnreadable},
        {Header({40, 1, 0x7FFFFFFF, 24}), kUnreadable},
        {Header({40, 0x7FFFFFFF, 0x7FFFFFFF, 0xFFFF}), kUnreadable},
        {Header({40, 1, 1, 8, 0, 16383}), kUnreadable},
        {Header({40, 1, 1, 8, 0, 16383}, 65576), kAdmitted},
        {Header({40, 1, 1, 8, 0, 16384}, 65580), kUnreadable},
        {Header({40, 1, 1, 24, 0, 65536}, 44), kAdmitted},
        {Header({40, 4, 4, 4, 1, 0, 16}), kUnreadable},
        {Header({40, 4, 4, 8, 2, 0, 16}), kUnreadable},
        {Header({40, 4, 4, 8, 1, 0, 3032}), kAdmitted},
        {Header({40, 4, 4, 8, 1, 0, 3033}), kUnreadable},
        {Header({40, 4, 4, 8, 1, 0, 0xFFFFFFFF}), kUnreadable},
        {Rle(65536, 65536, 8), kUnreadable},
        {Rle(2147483112, 2, 8), kUnreadable},
        {Rle(2147483108, 2, 8), kExpansionTooLarge},
        {bomb4, kExpansionTooLarge},
        {bomb4, kAdmitted, 0x7FFFFFFF},
        {bomb4, kTooManyPixels, 0x7FFFFFFE},
        {Rle(1073740760, 1, 8), kAdmitted},
        {Rle(1073740764, 1, 8), kExpansionTooLarge},
        {Rle(1099998936, 1, 8, 1100000), kAdmitted},
        {Rle(1099998940, 1, 8, 1100000), kExpansionTooLarge},
        {plain, kAdmitted, 15},
        {plain, kTooManyPixels, 14},
        {Header({40, 5, 3, 8, 0, 0}, 20), kUnreadable, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(&c - cases);
        const AdmissionLimits limits{c.maxPixels};
        EXPECT_EQ(CDibImage::CheckAdmission(c.block, limits), c.expected);
        if (c.expected == kAdmitted && CDibImage::GetImageWidth(c.block.data()) > (1u << 24))
            continue; // would expand into a block of a gigabyte
        const Admission admitted = CDibImage::Admit(ToHandle(c.block), limits);
        EXPECT_EQ(admitted.result, c.expected);
        EXPECT_EQ(admitted.block.IsNull(), c.expected != kAdmitted);
    }
    EXPECT_EQ(FromHandle(CDibImage::Admit(ToHandle(plain)).block), plain);
}

TEST(Admission, ExpandsRunLengthStreamsIntoPlainRows)
{
    // RLE8 rows 3 x 3, RLE4 rows 5 x 2, both of stride 4; zeros after the bytes given.
    struct Case
    {
        Bytes stream, rows;
        bool rle4 = false;
    };
    const Case cases[] = {
        {{2, 7, 1, 9, 0, 0, 3, 1, 0, 0, 1, 4, 0, 1}, {7, 7, 9, 0, 1, 1, 1, 0, 4}},
        {{1, 5, 0, 2, 0, 3, 1, 6}, {5}},
        {{0, 3, 1, 2, 3, 0, 0, 0, 0, 4, 5, 6, 7, 8, 0, 0, 1, 9, 0, 1}, {1, 2, 3, 0, 5, 6, 7, 0, 9}},
        {{1, 5, 0, 2, 1, 1, 1, 6, 0, 1}, {5, 0, 0, 0, 0, 0, 6}},
        {{5, 3, 2, 8, 0, 0, 1, 4, 0, 1}, {3, 3, 3, 0, 4}},
        {{1, 1, 0, 0, 1, 2, 0, 0, 1, 3, 0, 0, 1, 4, 0, 1}, {1, 0, 0, 0, 2, 0, 0, 0, 3}},
        {{2, 5, 0, 4, 1, 2}, {5, 5}},
        {{1, 5, 0, 2, 1}, {5}},
        {{1, 5, 0}, {5}},
        {{1, 5, 0, 1, 1, 6}, {5}},
        {{}, {}},
        {{5, 0x12, 0, 0, 3, 0x34, 0, 1}, {0x12, 0x12, 0x10, 0, 0x34, 0x30}, true},
        {{0, 2, 3, 1, 1, 0xF0, 0, 1}, {0, 0, 0, 0, 0, 0x0F}, true},
        {{0, 3, 0x56, 0x70, 2, 0x99, 0, 0, 0, 5, 0x12, 0x34, 0x50, 0, 0, 1},
         {0x56, 0x79, 0x90, 0, 0x12, 0x34, 0x50},
         true},
        {{8, 0xAB, 0, 0, 0, 7, 0x12, 0x34, 0x56, 0x70, 0, 1},
         {0xAB, 0xAB, 0xA0, 0, 0x12, 0x34, 0x50},
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(&c - cases);
        const Bytes table = c.rle4 ? Bytes(64, 0x22) : GrayTable256();
        DibFields fields{40, c.rle4 ? 5 : 3, c.rle4 ? 2 : 3, std::uint16_t(c.rle4 ? 4 : 8),
                         c.rle4 ? 2u : 1u};
        fields.sizeImage = static_cast<std::uint32_t>(c.stream.size());
        DibHandle plain = CDibImage::AdmitBlock(ToHandle(MakeDib(fields, table, c.stream)));
        ASSERT_FALSE(plain.IsNull());
        Bytes rows = c.rows;
        rows.resize(c.rle4 ? 8 : 12, 0);
        fields.compression = 0, fields.sizeImage = static_cast<std::uint32_t>(rows.size());
        EXPECT_EQ(FromHandle(plain), MakeDib(fields, table, rows));
        EXPECT_FALSE(ExerciseAdmitted(plain).empty());
    }
}

TEST(DibAccessors, FindHeaderTableMasksAndRowsOfEveryHeaderKind)
{
    struct Case
    {
        std::uint32_t headerSize, bits, compression, clrUsed;
        std::uint32_t colors, tableBytes, maskBytes, rowsAt;
        bool gray;
    };
    const Case cases[] = {
        {40, 8, 0, 0, 256, 1024, 0, 1064, true},    {40, 8, 0, 200, 200, 800, 0, 840, false},
        {40, 24, 0, 0, 0, 0, 0, 40, false},         {12, 8, 0, 0, 256, 768, 0, 780, true},
        {12, 1, 0, 0, 2, 6, 0, 18, false},          {40, 8, 0, 65536, 0, 0, 0, 40, false},
        {40, 4, 0, 0, 16, 64, 0, 104, false},       {108, 8, 0, 252, 252, 1008, 0, 1116, false},
        {124, 8, 0, 0, 256, 1024, 0, 1148, true},   {52, 8, 0, 0, 256, 1024, 0, 1076, true},
        {40, 16, 3, 0, 0, 0, 12, 52, false},        {40, 32, 6, 0, 0, 0, 16, 56, false},
        {40, 8, 3, 0, 256, 1024, 12, 1076, true},   {124, 16, 3, 0, 0, 0, 0, 124, false},
        {40, 4, 0, 256, 256, 1024, 0, 1064, false}, {40, 16, 0, 256, 256, 1024, 0, 1064, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.headerSize << " " << c.bits << " " << c.clrUsed);
        const auto bits = static_cast<std::uint16_t>(c.bits);
        const Bytes dib
            = MakeDib({c.headerSize, 3, 2, bits, c.compression, c.clrUsed}, Bytes(c.tableBytes),
                      Bytes(RowStride(3, bits) * 2), Bytes(c.maskBytes));
        ASSERT_TRUE(CDibImage::IsBlockReadable(dib));
        const std::uint8_t *h = dib.data();
        EXPECT_EQ(CDibImage::GetImageWidth(h), 3u);
        EXPECT_EQ(CDibImage::GetImageHeight(h), 2u);
        EXPECT_EQ(CDibImage::GetBitCount(h), c.bits);
        EXPECT_EQ(CDibImage::GetCompression(h), c.compression);
        EXPECT_EQ(CDibImage::GetColorCount(h), c.colors);
        EXPECT_EQ(CDibImage::GetColorTableBytes(h), c.tableBytes);
        EXPECT_EQ(CDibImage::GetMaskBytes(h), c.maskBytes);
        EXPECT_EQ(CDibImage::GetPixelBits(h) - h, c.rowsAt);
        EXPECT_EQ(CDibImage::IsGrayLevelImage(h), c.gray);
    }
    const Bytes info = MakeDib({40, -127, -64}, {}, {}), core = MakeDib({12, 0xFFFF, 1}, {}, {});
    EXPECT_EQ(CDibImage::GetImageWidth(info.data()), 0xFFFFFF81u);
    EXPECT_EQ(CDibImage::GetImageHeight(info.data()), 0xFFFFFFC0u);
    EXPECT_EQ(CDibImage::GetImageWidth(core.data()), 0xFFFFu);
    struct Stride
    {
        std::uint64_t width, bits, bytes;
    };
    const Stride strides[] = {{1, 8, 4},
                              {5, 8, 8},
                              {8, 8, 8},
                              {0x7FFFFFFF, 8, 0x80000000},
                              {0xFFFFFFFF, 32, 0x3FFFFFFFC}};
    for (const Stride &s : strides)
        EXPECT_EQ(RowStride(s.width, s.bits), s.bytes) << s.width << " x " << s.bits;
}

// Blocks of a huge page and more are mapped separately.
TEST(DibHandle, AllocatesZeroedAlignedBlocksAndRefusesAbsurdSizes)
{
    const std::uint64_t size = (std::uint64_t{3} << 20) + 1078;
    DibHandle block = DibHandle::Allocate(size);
    ASSERT_EQ(FromHandle(block), Bytes(size, 0));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(DibLock(block).Data()) % (2 << 20), 0u);
    std::fill_n(DibLock(block).Data(), size, std::uint8_t{0x5A});
    for (std::uint64_t absurd : {~std::uint64_t{0}, std::uint64_t{1} << 63, std::uint64_t{1} << 62})
        EXPECT_TRUE(DibHandle::Allocate(absurd).IsNull()) << absurd;
}

// With assertions (the sanitizer build) a block moved while locked stops the program.
#if defined(TONECRAFT_ASSERTIONS) && defined(NDEBUG)
#error "assertions were asked for, but NDEBUG turns them off"
#endif
#ifndef NDEBUG
TEST(DibHandleDeathTest, ABlockMovedWhileLockedStopsTheProgram)
{
    DibHandle block = DibHandle::Allocate(16);
    EXPECT_DEATH(
        {
            DibLock lock(block);
            DibHandle moved(std::move(block));
        },
        "m_nLocks == 0");
}
#endif

// All gray gives 8 bits and a gray table, else 24 bits; rows bottom-up, values past width ignored.
TEST(DibBuilder, GrayPicturesBecome8BitAndOthers24Bit)
{
    // Two top-down rows of three pixels and two spare values; alpha does not count.
    std::vector<std::uint32_t> pixels
        = {0xFF101010, 0x00202020, 0xFF303030, 7, 7, 0xFF404040, 0xFF505050, 0xFFFEFEFE, 7, 7};
    EXPECT_EQ(FromHandle(DibBuilder::FromRgb32(pixels.data(), 3, 2, 5)),
              MakeDib({40, 3, 2, 8, 0, 0, 8}, GrayTable256(),
                      Bytes{0x40, 0x50, 0xFE, 0, 0x10, 0x20, 0x30, 0}));
    pixels[1] = 0xFF112233;
    const Bytes rows24 = {0x40, 0x40, 0x40, 0x50, 0x50, 0x50, 0xFE, 0xFE, 0xFE, 0, 0, 0,
                          0x10, 0x10, 0x10, 0x33, 0x22, 0x11, 0x30, 0x30, 0x30, 0, 0, 0};
    EXPECT_EQ(FromHandle(DibBuilder::FromRgb32(pixels.data(), 3, 2, 5)),
              MakeDib({40, 3, 2, 24, 0, 0, 24}, {}, rows24));
    for (const auto &[w, h] : {std::pair{0, 2}, {3, 0}, {-1, 2}})
        EXPECT_TRUE(DibBuilder::FromRgb32(pixels.data(), w, h, 5).IsNull()) << w << " x " << h;
}
