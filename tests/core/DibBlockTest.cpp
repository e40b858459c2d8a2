#include "DibBuilder.h"
#include "DibImage.h"
#include "DibLayout.h"
#include "DibLock.h"
#include "TestImages.h"

#include <gtest/gtest.h>

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

const Bytes kRle8 = {2, 7, 0, 0, 0, 3, 1, 2, 3, 0, 0, 1};
const Bytes kRle4 = {3, 0x12, 0, 0, 0, 3, 0x45, 0x60, 0, 1};

} // namespace

TEST(Admission, TruncatedBlocksAreRefusedAtEveryLength)
{
    // clang-format off
    const Bytes valid[] = {Dib({40, 5, 3}, 1024), Dib({12, 3, 2}, 768), Dib({40, 3, 2, 24}, 0),
                           Dib({40, 3, 2, 16, 3}, 0, 12), Dib({40, 3, 2, 8, 6}, 1024, 16), Dib({124, 3, 2, 8, 0, 252}, 1008),
                           MakeDib({40, 5, 3, 8, 1, 0, 12}, GrayTable256(), kRle8),
                           MakeDib({40, 5, 3, 4, 2, 0, 10}, Bytes(64, 0x22), kRle4)};
    // clang-format on
    for (const Bytes &dib : valid) {
        for (std::size_t length = 0; length <= dib.size(); ++length) {
            const Bytes prefix(dib.begin(), dib.begin() + static_cast<std::ptrdiff_t>(length));
            const bool complete = length == dib.size();
            ASSERT_EQ(CDibImage::IsBlockReadable(prefix), complete) << length;
            DibHandle block = CDibImage::AdmitBlock(ToHandle(prefix));
            ASSERT_EQ(block.IsNull(), !complete);
            if (complete) { // core headers are not written
                EXPECT_EQ(ExerciseAdmitted(block).empty(), GetU32(dib, 0) == 12);
            }
        }
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

TEST(Admission, SortsBlocksIntoAdmittedTooBigAndUnreadable)
{
    const Bytes plain = Dib({40, 5, 3}, 1024);
    const auto rle = [](std::uint32_t w, std::uint32_t h, std::uint16_t bits) {
        return Header({40, w, h, bits, bits == 4 ? 2u : 1u, 0, 2});
    };
    using enum AdmitResult;
    // Row sizes that wrap in 32 bits; tables beyond the block or 16 bits of bytes; RLE on the
    // wrong depth or past the block; expansions past the file's 32-bit fields, header included.
    // clang-format off
    const std::pair<Bytes, AdmitResult> cases[] = {
        {plain, kAdmitted}, {MakeDib({40, 5, 3, 8, 1, 0, 12}, GrayTable256(), kRle8), kAdmitted},
        {Header({40, 5, 0xFFFFFFFD, 8}), kTooBig}, {Header({40, 0x80000000u, 1, 8}), kTooBig},
        {Header({40, 0x7FFFFFFF, 1, 8}), kUnreadable}, {Bytes(plain.begin(), plain.end() - 1), kUnreadable},
        {Bytes(plain.begin(), plain.begin() + 11), kUnreadable}, {{}, kUnreadable}, {Header({124, 1, 1, 24}, 100), kUnreadable},
        {Header({40, 0x40000000, 4, 8}), kUnreadable}, {Header({40, 0x20000000, 8, 32}), kUnreadable},
        {Header({40, 1, 0x7FFFFFFF, 24}), kUnreadable}, {Header({40, 0x7FFFFFFF, 0x7FFFFFFF, 0xFFFF}), kUnreadable},
        {Header({40, 1, 1, 8, 0, 16383}), kUnreadable}, {Header({40, 1, 1, 8, 0, 16383}, 65576), kAdmitted},
        {Header({40, 1, 1, 8, 0, 16384}, 65580), kUnreadable}, {Header({40, 1, 1, 24, 0, 65536}, 44), kAdmitted},
        {Header({40, 4, 4, 4, 1, 0, 16}), kUnreadable}, {Header({40, 4, 4, 8, 2, 0, 16}), kUnreadable},
        {Header({40, 4, 4, 24, 1, 0, 16}), kUnreadable}, {Header({40, 4, 4, 8, 1, 0, 3032}), kAdmitted},
        {Header({40, 4, 4, 8, 1, 0, 3033}), kUnreadable}, {Header({40, 4, 4, 8, 1, 0, 0xFFFFFFFF}), kUnreadable},
        {rle(65536, 65536, 8), kUnreadable}, {rle(0xFFFFFFFF, 2, 4), kTooBig},
        {rle(0x3FFFFF00, 4, 8), kUnreadable}, {rle(127, 0xFFFFFFC0, 8), kTooBig},
        {rle(2147483112, 2, 8), kUnreadable}, {rle(2147483108, 2, 8), kExpansionTooLarge}};
    // clang-format on
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto &[bytes, result] = cases[i];
        EXPECT_EQ(CDibImage::CheckAdmission(bytes), result) << i;
        const Admission admitted = CDibImage::Admit(ToHandle(bytes));
        EXPECT_EQ(admitted.result, result) << i;
        const Bytes kept = admitted.block.IsNull() ? Bytes{} : FromHandle(admitted.block);
        EXPECT_EQ(kept.empty(), result != kAdmitted) << i;
        EXPECT_TRUE(i != 0 || kept == plain);
    }
}

// A few bytes of run-length codes may not cost gigabytes by default; a pixel limit, when given,
// applies to every image instead.
TEST(Admission, RefusesCompressedBombsAndImagesBeyondAPixelLimit)
{
    using enum AdmitResult;
    const auto rle = [](std::uint32_t w, std::uint16_t bits, std::size_t size) {
        return Header({40, w, 1, bits, bits == 4 ? 2u : 1u, 0, 2}, size);
    };
    // Expanded blocks: 104 + 2^30 for the 120-byte RLE4 file; 2^30 exactly, and 1000 times a
    // 1.1 MB block exactly (1064 bytes of header and table, then the row), then 4 bytes more.
    const Bytes bomb4 = rle(0x7FFFFFFF, 4, 120);
    const Bytes plain = Dib({40, 10000, 10000}, 1024); // 100 megapixels
    const std::optional<std::uint64_t> none;
    // clang-format off
    const std::tuple<Bytes, std::optional<std::uint64_t>, AdmitResult> cases[] = {
        {bomb4, none, kExpansionTooLarge}, {bomb4, 0x7FFFFFFF, kAdmitted}, {bomb4, 0x7FFFFFFE, kTooManyPixels},
        {Header({40, 65535, 65535, 8, 1, 0, 2}, 1080), none, kExpansionTooLarge},
        {rle(1073740760, 8, 4096), none, kAdmitted}, {rle(1073740764, 8, 4096), none, kExpansionTooLarge},
        {rle(1099998936, 8, 1100000), none, kAdmitted}, {rle(1099998940, 8, 1100000), none, kExpansionTooLarge},
        {plain, none, kAdmitted}, {plain, 100000000, kAdmitted}, {plain, 99999999, kTooManyPixels},
        {Dib({40, 5, 3}, 1024), 14, kTooManyPixels}, {Header({40, 5, 3, 8, 0, 0}, 20), 1, kUnreadable},
    };
    // clang-format on
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto &[bytes, maxPixels, result] = cases[i];
        const AdmissionLimits limits{maxPixels};
        EXPECT_EQ(CDibImage::CheckAdmission(bytes, limits), result) << i;
        if (result == kAdmitted && bytes.size() != plain.size())
            continue; // would expand into a 1 GiB block
        const Admission admitted = CDibImage::Admit(ToHandle(bytes), limits);
        EXPECT_EQ(admitted.result, result) << i;
        EXPECT_EQ(admitted.block.IsNull(), result != kAdmitted) << i;
    }
    for (const std::string &name : BmpSuiteFiles())
        if (name.find("rle") != std::string::npos) {
            const Bytes file = ReadFile(BmpSuiteDir() / name);
            const Bytes dib(file.begin() + 14, file.end());
            EXPECT_NE(CDibImage::CheckAdmission(dib), kExpansionTooLarge) << name;
        }
}

TEST(Admission, ExpandsRunLengthStreamsIntoPlainRows)
{
    // RLE8 rows 3 x 3, RLE4 rows 5 x 2, both of stride 4; zeros after the bytes given.
    // clang-format off
    const std::tuple<bool, Bytes, Bytes> cases[] = {
        {false, {2, 7, 1, 9, 0, 0, 3, 1, 0, 0, 1, 4, 0, 1}, {7, 7, 9, 0, 1, 1, 1, 0, 4}}, {false, {1, 5, 0, 2, 0, 3, 1, 6}, {5}},
        {false, {0, 3, 1, 2, 3, 0, 0, 0, 0, 4, 5, 6, 7, 8, 0, 0, 1, 9, 0, 1}, {1, 2, 3, 0, 5, 6, 7, 0, 9}},
        {false, {1, 5, 0, 2, 1, 1, 1, 6, 0, 1}, {5, 0, 0, 0, 0, 0, 6}}, {false, {5, 3, 2, 8, 0, 0, 1, 4, 0, 1}, {3, 3, 3, 0, 4}},
        {false, {1, 1, 0, 0, 1, 2, 0, 0, 1, 3, 0, 0, 1, 4, 0, 1}, {1, 0, 0, 0, 2, 0, 0, 0, 3}}, {false, {2, 5, 0, 4, 1, 2}, {5, 5}},
        {false, {1, 5, 0, 2, 1}, {5}}, {false, {1, 5, 0}, {5}}, {false, {1, 5, 0, 1, 1, 6}, {5}}, {false, {}, {}},
        {true, {5, 0x12, 0, 0, 3, 0x34, 0, 1}, {0x12, 0x12, 0x10, 0, 0x34, 0x30}}, {true, {0, 2, 3, 1, 1, 0xF0, 0, 1}, {0, 0, 0, 0, 0, 0x0F}},
        {true, {0, 3, 0x56, 0x70, 2, 0x99, 0, 0, 0, 5, 0x12, 0x34, 0x50, 0, 0, 1}, {0x56, 0x79, 0x90, 0, 0x12, 0x34, 0x50}},
        {true, {8, 0xAB, 0, 0, 0, 7, 0x12, 0x34, 0x56, 0x70, 0, 1}, {0xAB, 0xAB, 0xA0, 0, 0x12, 0x34, 0x50}}};
    // clang-format on
    for (const auto &[rle4, stream, given] : cases) {
        const Bytes table = rle4 ? Bytes(64, 0x22) : GrayTable256();
        DibFields fields{40, rle4 ? 5 : 3, rle4 ? 2 : 3, rle4 ? std::uint16_t{4} : std::uint16_t{8},
                         rle4 ? 2u : 1u};
        fields.sizeImage = static_cast<std::uint32_t>(stream.size());
        DibHandle plain = CDibImage::AdmitBlock(ToHandle(MakeDib(fields, table, stream)));
        Bytes rows = given;
        rows.resize(rle4 ? 8 : 12, 0);
        fields.compression = 0, fields.sizeImage = static_cast<std::uint32_t>(rows.size());
        EXPECT_EQ(plain.IsNull() ? Bytes{} : FromHandle(plain), MakeDib(fields, table, rows))
            << stream.size();
        EXPECT_FALSE(ExerciseAdmitted(plain).empty());
    }
}

TEST(DibAccessors, FindHeaderTableMasksAndRowsOfEveryHeaderKind)
{
    // Header size, bits, compression, biClrUsed; colours, table and mask bytes, rows offset,
    // gray level.
    // clang-format off
    const std::array<std::uint32_t, 9> cases[] = {
        {40, 8, 0, 0, 256, 1024, 0, 1064, 1}, {40, 8, 0, 200, 200, 800, 0, 840, 0}, {40, 24, 0, 0, 0, 0, 0, 40, 0},
        {12, 8, 0, 0, 256, 768, 0, 780, 1}, {12, 1, 0, 0, 2, 6, 0, 18, 0}, {40, 8, 0, 65536, 0, 0, 0, 40, 0},
        {40, 32, 0, 0, 0, 0, 0, 40, 0}, {40, 4, 0, 0, 16, 64, 0, 104, 0}, {108, 8, 0, 252, 252, 1008, 0, 1116, 0},
        {124, 8, 0, 0, 256, 1024, 0, 1148, 1}, {52, 8, 0, 0, 256, 1024, 0, 1076, 1}, {64, 8, 0, 0, 256, 1024, 0, 1088, 1},
        {40, 16, 3, 0, 0, 0, 12, 52, 0}, {40, 32, 6, 0, 0, 0, 16, 56, 0}, {40, 8, 3, 0, 256, 1024, 12, 1076, 1},
        {124, 16, 3, 0, 0, 0, 0, 124, 0}, {40, 4, 0, 256, 256, 1024, 0, 1064, 0}, {40, 16, 0, 256, 256, 1024, 0, 1064, 0}};
    // clang-format on
    for (const auto &[size, bits, compression, clrUsed, colors, tableBytes, masks, rowsAt, gray] :
         cases) {
        const Bytes dib
            = MakeDib({size, 3, 2, static_cast<std::uint16_t>(bits), compression, clrUsed},
                      Bytes(tableBytes), Bytes(RowStride(3, bits) * 2), Bytes(masks));
        ASSERT_TRUE(CDibImage::IsBlockReadable(dib)) << size << " " << bits;
        const std::uint8_t *h = dib.data();
        EXPECT_EQ(CDibImage::GetImageWidth(h) * CDibImage::GetImageHeight(h), 6u);
        EXPECT_EQ(CDibImage::GetBitCount(h), bits);
        EXPECT_EQ(CDibImage::GetCompression(h), compression);
        EXPECT_EQ(CDibImage::GetColorCount(h), colors);
        EXPECT_EQ(CDibImage::GetColorTableBytes(h), tableBytes);
        EXPECT_EQ(CDibImage::GetMaskBytes(h), masks);
        EXPECT_EQ(CDibImage::GetColorTable(h) + tableBytes, CDibImage::GetPixelBits(h));
        EXPECT_EQ(CDibImage::GetPixelBits(h) - h, rowsAt);
        EXPECT_EQ(CDibImage::IsGrayLevelImage(h), gray == 1);
    }
    const Bytes info = MakeDib({40, -127, -64}, {}, {}), core = MakeDib({12, 0xFFFF, 1}, {}, {});
    EXPECT_EQ(CDibImage::GetImageWidth(info.data()), 0xFFFFFF81u);
    EXPECT_EQ(CDibImage::GetImageHeight(info.data()), 0xFFFFFFC0u);
    EXPECT_EQ(CDibImage::GetImageWidth(core.data()), 0xFFFFu);
    // clang-format off
    const std::array<std::uint64_t, 3> strides[] = {{1, 8, 4}, {5, 8, 8}, {8, 8, 8}, {0x7FFFFFFF, 8, 0x80000000}, {0xFFFFFFFF, 32, 0x3FFFFFFFC}};
    // clang-format on
    for (const auto &[width, bits, stride] : strides)
        EXPECT_EQ(RowStride(width, bits), stride) << width << " x " << bits;
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

// Where assertions are asked for (the sanitizer build), the block-lock checks run: a block
// moved while locked stops the program.
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

// A picture from elsewhere: all gray gives 8 bits and a 256-gray table, anything else 24 bits;
// rows bottom-up, values past the width ignored.
TEST(DibBuilder, GrayPicturesBecome8BitAndOthers24Bit)
{
    // Two top-down rows of three pixels and two spare values; alpha does not count.
    std::vector<std::uint32_t> pixels
        = {0xFF101010, 0x00202020, 0xFF303030, 7, 7, 0xFF404040, 0xFF505050, 0xFFFEFEFE, 7, 7};
    // clang-format off
    const std::tuple<std::uint32_t, DibFields, Bytes, Bytes> cases[] = {
        {0x00202020, {40, 3, 2, 8, 0, 0, 8}, GrayTable256(), {0x40, 0x50, 0xFE, 0, 0x10, 0x20, 0x30, 0}},
        {0xFF112233, {40, 3, 2, 24, 0, 0, 24}, {}, {0x40, 0x40, 0x40, 0x50, 0x50, 0x50, 0xFE, 0xFE, 0xFE, 0, 0, 0,
                                                  0x10, 0x10, 0x10, 0x33, 0x22, 0x11, 0x30, 0x30, 0x30, 0, 0, 0}}};
    // clang-format on
    for (const auto &[second, fields, table, rows] : cases) {
        pixels[1] = second;
        EXPECT_EQ(FromHandle(DibBuilder::FromRgb32(pixels.data(), 3, 2, 5)),
                  MakeDib(fields, table, rows));
    }
    for (const auto &[width, height] : {std::pair{0, 2}, {3, 0}, {-1, 2}})
        EXPECT_TRUE(DibBuilder::FromRgb32(pixels.data(), width, height, 5).IsNull());
}
