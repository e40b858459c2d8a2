#include "DibBuilder.h"
#include "DibImage.h"
#include "DibLayout.h"
#include "DibLock.h"
#include "TestImages.h"

#include <random>
#include <vector>

#include <gtest/gtest.h>

using namespace TestImages;

// Under AddressSanitizer an allocation of absurd size must fail like the real allocator's
// (null) instead of aborting the test run.
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

// `size` bytes, zero beyond the given header fields: room for any table.
Bytes Header(std::uint32_t headerSize, std::uint32_t width, std::uint32_t height,
             std::uint16_t bitCount, std::uint32_t compression = 0, std::uint32_t clrUsed = 0,
             std::size_t size = 4096, std::uint32_t sizeImage = 0)
{
    Bytes block(size, 0);
    const std::uint32_t fields[]
        = {headerSize, width, height, 1u | bitCount << 16, compression, sizeImage, 0, 0, clrUsed};
    for (std::size_t i = 0; i < std::size(fields) && 4 * i + 4 <= size; ++i)
        PutU32(block, 4 * i, fields[i]);
    return block;
}

DibHandle Admit(const Bytes &bytes)
{
    return CDibImage::AdmitBlock(ToHandle(bytes));
}

const Bytes kRle8 = {2, 7, 0, 0, 0, 3, 1, 2, 3, 0, 0, 1};
const Bytes kRle4 = {3, 0x12, 0, 0, 0, 3, 0x45, 0x60, 0, 1};

} // namespace

// Every prefix of a valid block: refused unless complete, and never read past its end.
TEST(Admission, TruncatedBlocksAreRefusedAtEveryLength)
{
    const Bytes valid[]
        = {Dib({.width = 5, .height = 3}, 1024),
           Dib({.headerSize = 12, .width = 3, .height = 2}, 768),
           Dib({.width = 3, .height = 2, .bitCount = 24}, 0),
           Dib({.width = 3, .height = 2, .bitCount = 16, .compression = 3}, 0, 12),
           Dib({.width = 3, .height = 2, .compression = 6}, 1024, 16),
           Dib({.headerSize = 124, .width = 3, .height = 2, .clrUsed = 252}, 1008),
           MakeDib({.width = 5, .height = 3, .compression = 1, .sizeImage = 12}, GrayTable256(),
                   kRle8),
           MakeDib({.width = 5, .height = 3, .bitCount = 4, .compression = 2, .sizeImage = 10},
                   Bytes(64, 0x22), kRle4)};
    for (const Bytes &dib : valid) {
        for (std::size_t length = 0; length <= dib.size(); ++length) {
            const Bytes prefix(dib.begin(), dib.begin() + static_cast<std::ptrdiff_t>(length));
            const bool complete = length == dib.size();
            ASSERT_EQ(CDibImage::IsBlockReadable(prefix), complete)
                << length << " of " << dib.size();
            DibHandle block = Admit(prefix);
            ASSERT_EQ(block.IsNull(), !complete);
            if (complete) { // core headers are not written
                EXPECT_EQ(ExerciseAdmitted(block).empty(), GetU32(dib, 0) == 12);
            }
            // The same prefix as a file: admitted or not, nothing outside the block is touched.
            DibHandle fromFile = CDibImage::AdmitBlock(ReadBmp(MakeBmpFile(prefix)));
            if (!fromFile.IsNull())
                (void)ExerciseAdmitted(fromFile);
        }
    }
}

TEST(Admission, RefusesUnknownHeadersWrappingSizesAndTablesOrRunsBeyondTheBlock)
{
    std::vector<std::pair<Bytes, bool>> cases;
    for (std::uint32_t size : {0u, 11u, 12u, 13u, 16u, 39u, 40u, 41u, 52u, 56u, 64u, 100u, 108u,
                               124u, 125u, 256u, 0x80000000u, 0xFFFFFFFFu}) {
        const bool known = size == 12 || size == 40 || size == 52 || size == 56 || size == 64
            || size == 108 || size == 124;
        cases.push_back({Header(size, 1, 1, 24), known});
    }
    // Row sizes that wrap to a small number in 32-bit or unchecked 64-bit arithmetic.
    for (const auto &[w, h, bits] :
         std::vector<std::array<std::uint32_t, 3>>{{0x7FFFFFFF, 1, 24},
                                                   {1, 0x7FFFFFFF, 24},
                                                   {0xFFFFFFFF, 0xFFFFFFFF, 32},
                                                   {0x40000000, 4, 8},
                                                   {0x20000000, 8, 32},
                                                   {0x80000000, 0x40000000, 64},
                                                   {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFF},
                                                   {1, 0xFFFFFFC0, 8}})
        cases.push_back({Header(40, w, h, static_cast<std::uint16_t>(bits)), false});
    const Bytes core = Dib({.headerSize = 12, .width = 3, .height = 2}, 768);
    const std::pair<Bytes, bool> more[]
        = {{Header(124, 1, 1, 24, 0, 0, 100), false},
           {Header(40, 0, 0, 24, 0, 0, 39), false},
           // 16383 entries (65532 bytes) in 4 KiB and in enough; 16384 are beyond 16 bits of
           // bytes; biClrUsed 65536 keeps its low 16 bits: no table.
           {Header(40, 1, 1, 8, 0, 16383), false},
           {Header(40, 1, 1, 8, 0, 16383, 40 + 65532 + 4), true},
           {Header(40, 1, 1, 8, 0, 16384, 40 + 65536 + 4), false},
           {Header(40, 1, 1, 24, 0, 65536, 44), true},
           {Bytes(core.begin(), core.end() - 4 - 6 - 1), false},
           // Run-length coding on the wrong depth, or a stream beyond the block.
           {Header(40, 4, 4, 4, 1, 0, 4096, 16), false},
           {Header(40, 4, 4, 8, 2, 0, 4096, 16), false},
           {Header(40, 4, 4, 24, 1, 0, 4096, 16), false},
           {Header(40, 4, 4, 1, 2, 0, 4096, 16), false},
           {Header(40, 4, 4, 8, 1, 0, 4096, 4096 - 1064), true},
           {Header(40, 4, 4, 8, 1, 0, 4096, 4096 - 1064 + 1), false},
           {Header(40, 4, 4, 8, 1, 0, 4096, 0xFFFFFFFF), false}};
    cases.insert(cases.end(), std::begin(more), std::end(more));
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(CDibImage::IsBlockReadable(cases[i].first), cases[i].second) << i;
}

// The one admission every caller maps to its messages; checking in place agrees with it.
TEST(Admission, SortsBlocksIntoAdmittedTooBigAndUnreadable)
{
    Bytes plain = Dib({.width = 5, .height = 3}, 1024);
    const auto rle = [](std::uint32_t w, std::uint32_t h, std::uint16_t bits) {
        return Header(40, w, h, bits, bits == 4 ? 2 : 1, 0, 4096, 2);
    };
    const std::pair<Bytes, AdmitResult> cases[]
        = {{plain, AdmitResult::kAdmitted},
           {MakeDib({.width = 5, .height = 3, .compression = 1, .sizeImage = 12}, GrayTable256(),
                    kRle8),
            AdmitResult::kAdmitted},
           {Header(40, 5, 0xFFFFFFFD, 8), AdmitResult::kTooBig}, // top-down
           {Header(40, 0x80000000u, 1, 8), AdmitResult::kTooBig},
           {Header(40, 0x7FFFFFFF, 1, 8), AdmitResult::kUnreadable},
           {Bytes(plain.begin(), plain.end() - 1), AdmitResult::kUnreadable},
           {Bytes(plain.begin(), plain.begin() + 11), AdmitResult::kUnreadable},
           {{}, AdmitResult::kUnreadable},
           // Expansions that no BMP file's 32-bit size fields could describe, file header included.
           {rle(65536, 65536, 8), AdmitResult::kUnreadable},
           {rle(0xFFFFFFFF, 2, 4), AdmitResult::kTooBig},
           {rle(0x3FFFFF00, 4, 8), AdmitResult::kUnreadable},
           {rle(127, 0xFFFFFFC0, 8), AdmitResult::kTooBig},
           {rle(2147483112, 2, 8), AdmitResult::kUnreadable},
           {rle(2147483108, 2, 8), AdmitResult::kAdmitted}};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto &[bytes, result] = cases[i];
        EXPECT_EQ(CDibImage::CheckAdmission(bytes), result) << i;
        if (i > 8)
            continue; // the last would expand into a 4 GiB block
        const Admission admitted = CDibImage::Admit(ToHandle(bytes));
        EXPECT_EQ(admitted.result, result) << i;
        EXPECT_EQ(admitted.block.IsNull(), result != AdmitResult::kAdmitted) << i;
        if (i == 0) {
            EXPECT_EQ(FromHandle(admitted.block), plain);
        }
    }
}

TEST(Admission, ExpandsRunLengthStreamsIntoPlainRows)
{
    // RLE8 rows: 3 x 3, stride 4; RLE4: 5 x 2, stride 4; zeros after the bytes given.
    const std::tuple<bool, Bytes, Bytes> cases[]
        = {{false, {2, 7, 1, 9, 0, 0, 3, 1, 0, 0, 1, 4, 0, 1}, {7, 7, 9, 0, 1, 1, 1, 0, 4}},
           // absolute runs padded to words, and clipped
           {false,
            {0, 3, 1, 2, 3, 0, 0, 0, 0, 4, 5, 6, 7, 8, 0, 0, 1, 9, 0, 1},
            {1, 2, 3, 0, 5, 6, 7, 0, 9}},
           {false, {1, 5, 0, 2, 1, 1, 1, 6, 0, 1}, {5, 0, 0, 0, 0, 0, 6}}, // delta
           {false, {5, 3, 2, 8, 0, 0, 1, 4, 0, 1}, {3, 3, 3, 0, 4}}, // runs clipped, not wrapped
           {false, {1, 5, 0, 2, 0, 3, 1, 6}, {5}},                   // delta past the last row
           {false, {1, 1, 0, 0, 1, 2, 0, 0, 1, 3, 0, 0, 1, 4, 0, 1}, {1, 0, 0, 0, 2, 0, 0, 0, 3}},
           {false, {2, 5, 0, 4, 1, 2}, {5, 5}}, // streams ending inside a run or code
           {false, {1, 5, 0, 2, 1}, {5}},
           {false, {1, 5, 0}, {5}},
           {false, {1, 5, 0, 1, 1, 6}, {5}}, // end of bitmap
           {false, {}, {}},
           {true, {5, 0x12, 0, 0, 3, 0x34, 0, 1}, {0x12, 0x12, 0x10, 0, 0x34, 0x30}},
           {true,
            {0, 3, 0x56, 0x70, 2, 0x99, 0, 0, 0, 5, 0x12, 0x34, 0x50, 0, 0, 1},
            {0x56, 0x79, 0x90, 0, 0x12, 0x34, 0x50}},
           {true,
            {8, 0xAB, 0, 0, 0, 7, 0x12, 0x34, 0x56, 0x70, 0, 1},
            {0xAB, 0xAB, 0xA0, 0, 0x12, 0x34, 0x50}},
           {true, {0, 2, 3, 1, 1, 0xF0, 0, 1}, {0, 0, 0, 0, 0, 0x0F}}};
    for (const auto &[rle4, stream, given] : cases) {
        DibFields fields = {.width = rle4 ? 5 : 3,
                            .height = rle4 ? 2 : 3,
                            .bitCount = static_cast<std::uint16_t>(rle4 ? 4 : 8),
                            .compression = rle4 ? 2u : 1u,
                            .sizeImage = static_cast<std::uint32_t>(stream.size())};
        const Bytes table = rle4 ? Bytes(64, 0x22) : GrayTable256();
        DibHandle plain = Admit(MakeDib(fields, table, stream));
        Bytes rows = given;
        rows.resize(rle4 ? 8 : 12, 0);
        fields.compression = 0;
        fields.sizeImage = static_cast<std::uint32_t>(rows.size());
        EXPECT_EQ(plain.IsNull() ? Bytes{} : FromHandle(plain), MakeDib(fields, table, rows))
            << stream.size();
    }
    std::mt19937 rng(17);
    for (int i = 0; i < 3000; ++i) {
        // Mostly small bytes, so escapes, deltas and short runs are common.
        Bytes stream(rng() % 120);
        for (auto &b : stream)
            b = static_cast<std::uint8_t>(rng() % 3 == 0 ? rng() : rng() % 6);
        const DibFields fields = {.width = static_cast<std::int32_t>(1 + rng() % 40),
                                  .height = static_cast<std::int32_t>(1 + rng() % 8),
                                  .bitCount = static_cast<std::uint16_t>(i % 2 ? 4 : 8),
                                  .compression = i % 2 ? 2u : 1u,
                                  .sizeImage = static_cast<std::uint32_t>(stream.size())};
        DibHandle plain = Admit(MakeDib(fields, Bytes(i % 2 ? 64 : 1024), stream));
        ASSERT_EQ(plain.Size(),
                  40 + (i % 2 ? 64u : 1024u)
                      + RowStride(static_cast<std::uint32_t>(fields.width), fields.bitCount)
                          * static_cast<std::uint64_t>(fields.height));
        EXPECT_FALSE(ExerciseAdmitted(plain).empty());
    }
}

TEST(DibAccessors, FindHeaderTableMasksAndRowsOfEveryHeaderKind)
{
    // Header size, bit count, compression, biClrUsed; then colours, table bytes, mask bytes,
    // offset of the rows and whether the point operations may run, for a 3 x 2 image.
    const std::array<std::uint32_t, 9> cases[]
        = {{40, 8, 0, 0, 256, 1024, 0, 1064, 1},
           {40, 8, 0, 200, 200, 800, 0, 840, 0},
           {40, 24, 0, 0, 0, 0, 0, 40, 0},
           {12, 8, 0, 0, 256, 768, 0, 780, 1},
           {12, 1, 0, 0, 2, 6, 0, 18, 0},
           {40, 8, 0, 65536, 0, 0, 0, 40, 0},
           {40, 16, 0, 0, 0, 0, 0, 40, 0},
           {40, 32, 0, 0, 0, 0, 0, 40, 0},
           {40, 1, 0, 0, 2, 8, 0, 48, 0},
           {40, 4, 0, 0, 16, 64, 0, 104, 0},
           // Read as core headers, longer ones would take height and depth from the wrong fields.
           {108, 8, 0, 252, 252, 1008, 0, 1116, 0},
           {124, 8, 0, 0, 256, 1024, 0, 1148, 1},
           {52, 8, 0, 0, 256, 1024, 0, 1076, 1},
           {56, 8, 0, 0, 256, 1024, 0, 1080, 1},
           {64, 8, 0, 0, 256, 1024, 0, 1088, 1},
           // Masks follow a 40-byte header only; table and rows come after them.
           {40, 16, 3, 0, 0, 0, 12, 52, 0},
           {40, 32, 6, 0, 0, 0, 16, 56, 0},
           {40, 8, 3, 0, 256, 1024, 12, 1076, 1},
           {124, 16, 3, 0, 0, 0, 0, 124, 0},
           // 8-bit transforms would run past 4-bit rows or through 16-bit ones.
           {40, 4, 0, 256, 256, 1024, 0, 1064, 0},
           {40, 16, 0, 256, 256, 1024, 0, 1064, 0}};
    for (const auto &[headerSize, bits, compression, clrUsed, colors, tableBytes, maskBytes,
                      rowsOffset, gray] : cases) {
        SCOPED_TRACE(testing::Message() << headerSize << "/" << bits << "/" << compression);
        const Bytes dib
            = MakeDib({.headerSize = headerSize,
                       .width = 3,
                       .height = 2,
                       .bitCount = static_cast<std::uint16_t>(bits),
                       .compression = compression,
                       .clrUsed = clrUsed},
                      Bytes(tableBytes), Bytes(RowStride(3, bits) * 2), Bytes(maskBytes));
        ASSERT_TRUE(CDibImage::IsBlockReadable(dib));
        const std::uint8_t *h = dib.data();
        EXPECT_EQ(CDibImage::GetImageWidth(h), 3u);
        EXPECT_EQ(CDibImage::GetImageHeight(h), 2u);
        EXPECT_EQ(CDibImage::GetBitCount(h), bits);
        EXPECT_EQ(CDibImage::GetCompression(h), compression);
        EXPECT_EQ(CDibImage::GetColorCount(h), colors);
        EXPECT_EQ(CDibImage::GetColorTableBytes(h), tableBytes);
        EXPECT_EQ(CDibImage::GetMaskBytes(h), maskBytes);
        EXPECT_EQ(CDibImage::GetColorTable(h) - h, rowsOffset - tableBytes);
        EXPECT_EQ(CDibImage::GetPixelBits(h) - h, rowsOffset);
        EXPECT_EQ(CDibImage::IsGrayLevelImage(h), gray == 1);
    }
    const Bytes info = MakeDib({.width = -127, .height = -64}, {}, {});
    EXPECT_EQ(CDibImage::GetImageWidth(info.data()), 0xFFFFFF81u);
    EXPECT_EQ(CDibImage::GetImageHeight(info.data()), 0xFFFFFFC0u);
    const Bytes core = MakeDib({.headerSize = 12, .width = 0xFFFF, .height = 1}, {}, {});
    EXPECT_EQ(CDibImage::GetImageWidth(core.data()), 0xFFFFu);
    for (const auto &[width, bits, stride] :
         std::vector<std::array<std::uint64_t, 3>>{{1, 8, 4},
                                                   {5, 8, 8},
                                                   {8, 8, 8},
                                                   {0x7FFFFFFF, 8, 0x80000000},
                                                   {0xFFFFFFFF, 32, 0x3FFFFFFFC}})
        EXPECT_EQ(RowStride(width, bits), stride) << width << " x " << bits;
}

// Blocks of a huge page and more are mapped separately: zeroed, writable to the end, aligned.
TEST(DibHandle, AllocatesZeroedAlignedBlocksAndRefusesAbsurdSizes)
{
    for (std::uint64_t size : {std::uint64_t{100000}, (std::uint64_t{2} << 20) - 1,
                               std::uint64_t{2} << 20, (std::uint64_t{3} << 20) + 1078}) {
        DibHandle block = DibHandle::Allocate(size);
        ASSERT_EQ(block.Size(), size);
        {
            DibLock lock(block);
            std::uint8_t *data = lock.Data();
            EXPECT_EQ(std::count(data, data + size, 0), static_cast<long>(size));
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) % (size >= 2 << 20 ? 2 << 20 : 16),
                      0u);
            std::fill(data, data + size, std::uint8_t{0x5A});
        }
        DibHandle copy = CDibImage::DuplicateBlock(block);
        DibLock(copy).Data()[size - 1] = 0;
        EXPECT_EQ(FromHandle(block), Bytes(size, 0x5A));
        EXPECT_EQ(block.LockCount() + copy.LockCount(), 0);
        DibHandle moved = std::move(block);
        EXPECT_TRUE(block.IsNull());
        EXPECT_EQ(moved.Size(), size);
    }
    EXPECT_TRUE(CDibImage::DuplicateBlock(DibHandle{}).IsNull());
    for (std::uint64_t size : {~std::uint64_t{0}, std::uint64_t{1} << 63, std::uint64_t{1} << 62})
        EXPECT_TRUE(DibHandle::Allocate(size).IsNull()) << size;
}

TEST(DibBuilder, GrayPicturesBecome8BitAndOthers24BitBottomUp)
{
    // Two top-down rows of three pixels, two spare values per row.
    std::vector<std::uint32_t> pixels
        = {0xFF101010, 0x00202020, 0xFF303030, 7, 7, 0xFF404040, 0xFF505050, 0xFFFEFEFE, 7, 7};
    const auto built = [&] {
        const Admission admitted = CDibImage::Admit(DibBuilder::FromRgb32(pixels.data(), 3, 2, 5));
        EXPECT_EQ(admitted.result, AdmitResult::kAdmitted);
        return FromHandle(admitted.block);
    };
    Bytes gray = GrayTable256();
    gray.insert(gray.end(), {0x40, 0x50, 0xFE, 0, 0x10, 0x20, 0x30, 0});
    EXPECT_EQ(built(),
              MakeDib({40, 3, 2, 8, 0, 0, 8}, {}, gray));
    pixels[1] = 0xFF112233; // one pixel with colour makes the whole picture 24-bit
    EXPECT_EQ(built(),
              MakeDib({.width = 3, .height = 2, .bitCount = 24, .sizeImage = 24}, {},
                      Bytes{0x40, 0x40, 0x40, 0x50, 0x50, 0x50, 0xFE, 0xFE, 0xFE, 0, 0, 0,
                            0x10, 0x10, 0x10, 0x33, 0x22, 0x11, 0x30, 0x30, 0x30, 0, 0, 0}));
    for (const auto &[width, height] : {std::pair{0, 2}, {3, 0}, {-1, 2}})
        EXPECT_TRUE(DibBuilder::FromRgb32(pixels.data(), width, height, 5).IsNull());
}
