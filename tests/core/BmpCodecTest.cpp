#include "DibImage.h"
#include "DibLayout.h"
#include "DibLock.h"
#include "FileException.h"
#include "MemFile.h"
#include "TestImages.h"

#include <cerrno>
#include <limits>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

using TestImages::Bytes;
using TestImages::GetU32;

namespace {

// A file in memory whose device fails on its Nth read or write (counted together), and
// whose reported length may differ from what it holds.
class CFaultyFile : public CFile
{
public:
    explicit CFaultyFile(Bytes bytes, int failingCall = 0,
                         std::optional<std::uint64_t> length = std::nullopt)
        : m_file(std::move(bytes))
        , m_nFailingCall(failingCall)
        , m_length(length)
    { }

    std::uint64_t GetLength() override { return m_length.value_or(m_file.GetLength()); }
    std::uint32_t Read(void *p, std::uint32_t n) override
    {
        return Tick(), m_nAsked += n, m_file.Read(p, n);
    }
    std::uint64_t ReadHuge(void *p, std::uint64_t n) override
    {
        return Tick(), m_nAsked += n, m_file.ReadHuge(p, n);
    }
    [[nodiscard]] std::uint64_t BytesAsked() const { return m_nAsked; }
    void Write(const void *p, std::uint32_t n) override { Tick(), m_file.Write(p, n); }
    void WriteHuge(const void *p, std::uint64_t n) override { Tick(), m_file.WriteHuge(p, n); }

private:
    void Tick()
    {
        if (++m_nCalls == m_nFailingCall)
            throw CFileException(CFileException::Cause::HardIO, EIO, "faulty.bmp");
    }

    CMemFile m_file;
    int m_nFailingCall;
    int m_nCalls = 0;
    std::uint64_t m_nAsked = 0;
    std::optional<std::uint64_t> m_length;
};

Bytes Gray8File(std::int32_t width, std::int32_t height, std::uint32_t seed = 1)
{
    return TestImages::MakeGray8Bmp(width, height, TestImages::RandomRows(width, height, seed));
}

Bytes Written(DibHandle &block)
{
    CMemFile out;
    EXPECT_TRUE(CDibImage::WriteBmpFile(block, out));
    return out.Bytes();
}

} // namespace

TEST(ReadBmpFile, BlockIsTheFileAfterItsHeaderFollowedByFourteenZeros)
{
    Bytes file = Gray8File(5, 3);
    file.insert(file.end(), {1, 2, 3}); // trailing data comes along
    Bytes expected(file.begin() + 14, file.end());
    expected.resize(file.size(), 0);
    EXPECT_EQ(TestImages::FromHandle(TestImages::ReadBmp(file)), expected);
}

// The 14 spare bytes at the end of the block must not stand in for bytes the file lacks.
TEST(ReadBmpFile, FilesShorterThanTheirImageAreRefusedAtEveryLength)
{
    using TestImages::MakeDib;
    const Bytes rle8{3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 2, 9, 0, 1};
    const Bytes rle4{4, 0x12, 0, 0, 0, 1};
    const std::vector<std::pair<const char *, Bytes>> files = {
        {"1-bit", MakeDib({.width = 9, .height = 2, .bitCount = 1}, Bytes(8, 1), Bytes(8, 5))},
        {"4-bit", MakeDib({.width = 3, .height = 2, .bitCount = 4}, Bytes(64, 1), Bytes(8, 5))},
        {"8-bit", MakeDib({.width = 5, .height = 3}, TestImages::GrayTable256(), Bytes(24, 5))},
        {"24-bit", MakeDib({.width = 2, .height = 2, .bitCount = 24}, {}, Bytes(16, 5))},
        {"RLE8",
         MakeDib({.width = 3, .height = 2, .compression = 1, .sizeImage = 14},
                 TestImages::GrayTable256(), rle8)},
        {"RLE4",
         MakeDib({.width = 4, .height = 1, .bitCount = 4, .compression = 2, .sizeImage = 6},
                 Bytes(64, 1), rle4)},
        {"core header",
         MakeDib({.headerSize = 12, .width = 3, .height = 2, .bitCount = 8}, Bytes(768, 1),
                 Bytes(8, 5))},
    };
    for (const auto &[name, dib] : files) {
        const Bytes file = TestImages::MakeBmpFile(dib);
        ASSERT_FALSE(TestImages::ReadBmp(file).IsNull()) << name;
        for (std::size_t length = 14; length < file.size(); ++length)
            EXPECT_TRUE(TestImages::ReadBmp(std::span(file).first(length)).IsNull())
                << name << " cut to " << length;
    }
}

// A header that cannot be read is refused after reading the header, whatever the file's length.
TEST(ReadBmpFile, UnreadableHeadersAreRefusedBeforeTheBodyIsRead)
{
    const Bytes valid = Gray8File(5, 3);
    const std::vector<std::pair<std::size_t, std::uint32_t>> spoilers = {
        {14, 99},          // header size
        {14 + 14, 24},     // RLE8 (set below) on 24 bits
        {14 + 32, 0xFFFF}, // a colour table beyond 16 bits of bytes
    };
    for (const auto &[at, value] : spoilers) {
        Bytes file = valid;
        TestImages::PutU32(file, at, value);
        if (at == 14 + 14)
            TestImages::PutU32(file, 14 + 16, 1);
        CFaultyFile huge(file, 0, std::uint64_t{1} << 32);
        EXPECT_TRUE(CDibImage::ReadBmpFile(huge).IsNull()) << at;
        EXPECT_LE(huge.BytesAsked(), 14u + 40) << at;
    }
}

TEST(ReadBmpFile, ShortOrForeignFilesGiveNull)
{
    const Bytes valid = Gray8File(5, 3);
    for (std::size_t length = 0; length < 14; ++length)
        EXPECT_TRUE(TestImages::ReadBmp(Bytes(valid.begin(), valid.begin() + length)).IsNull());
    for (const char *signature : {"MB", "BA", "bm", "\0\0"}) {
        Bytes file = valid;
        file[0] = static_cast<std::uint8_t>(signature[0]);
        file[1] = static_cast<std::uint8_t>(signature[1]);
        EXPECT_TRUE(TestImages::ReadBmp(file).IsNull()) << signature;
    }
}

TEST(ReadBmpFile, DeviceErrorPropagatesWithoutLeakingTheBlock)
{
    for (int failingCall : {1, 2}) {
        CFaultyFile file(Gray8File(5, 3), failingCall);
        EXPECT_THROW((void)CDibImage::ReadBmpFile(file), CFileException) << failingCall;
    }
}

// The reader allocates by the reported length. One below the 14 header bytes (a pipe, say)
// must not make the remaining count wrap into a read far past the block.
TEST(ReadBmpFile, LengthsThatDisagreeWithTheBytesGiveNull)
{
    const Bytes bytes = Gray8File(5, 3);
    std::vector<std::uint64_t> lengths
        = {bytes.size() + 1, std::uint64_t{1} << 62, std::numeric_limits<std::uint64_t>::max()};
    for (std::uint64_t length = 0; length < 14; ++length)
        lengths.push_back(length);
    for (std::uint64_t length : lengths) {
        CFaultyFile file(bytes, 0, length);
        EXPECT_TRUE(CDibImage::ReadBmpFile(file).IsNull()) << length;
    }
}

// Rows placed after a gap (bfOffBits past the colour table, inside the file) are moved up
// behind the table; a bfOffBits that leaves no room for the rows refuses the file; any other
// bfOffBits leaves the rows where header and table put them.
TEST(ReadBmpFile, ClosesAGapBeforeTheRowsOnly)
{
    struct Case
    {
        const char *name;
        TestImages::DibFields fields;
        std::size_t prefixBytes;     // header, masks and table
        std::int64_t offBitsFromGap; // bfOffBits relative to the end of the gap
        enum { Moved, Kept, Refused } result;
    };
    // clang-format off
    const Case cases[] = {
        {"Gap", {.width = 5, .height = 3}, 1064, 0, Case::Moved},
        {"GapAfterBitFieldMasks", {.width = 5, .height = 3, .bitCount = 16, .compression = 3}, 52,
         0, Case::Moved},
        {"GapAfterCoreTable", {.headerSize = 12, .width = 5, .height = 3}, 780, 0, Case::Moved},
        {"OffBitsAtTheEndOfTheTable", {.width = 5, .height = 3}, 1064, -100, Case::Kept},
        {"OffBitsInsideTheTable", {.width = 5, .height = 3}, 1064, -600, Case::Kept},
        {"OffBitsOneByteLate", {.width = 5, .height = 3}, 1064, 1, Case::Refused},
        {"OffBitsAtTheEndOfTheFile", {.width = 5, .height = 3}, 1064, 24, Case::Refused},
        {"OffBitsBeyondTheFile", {.width = 5, .height = 3}, 1064, 5000, Case::Refused},
        {"OffBitsBelowTheFileHeader", {.width = 5, .height = 3}, 1064, -1064 - 100 - 8,
         Case::Kept},
    };
    // clang-format on
    constexpr std::size_t kGap = 100;
    for (const Case &c : cases) {
        Bytes prefix = TestImages::MakeDib(c.fields, {}, {});
        prefix.resize(c.prefixBytes, 0x77);
        Bytes rows = TestImages::RandomRows(15, 3, 2);
        rows.resize(RowStride(5, c.fields.bitCount) * 3);
        Bytes dib = prefix;
        dib.insert(dib.end(), kGap, 0xAB);
        dib.insert(dib.end(), rows.begin(), rows.end());
        const auto offBits = static_cast<std::uint32_t>(
            static_cast<std::int64_t>(14 + c.prefixBytes + kGap) + c.offBitsFromGap);
        const Bytes file = TestImages::MakeBmpFile(dib, offBits);

        if (c.result == Case::Refused) {
            EXPECT_TRUE(TestImages::ReadBmp(file).IsNull()) << c.name;
            continue;
        }
        Bytes expected = dib;
        if (c.result == Case::Moved) {
            expected = prefix;
            expected.insert(expected.end(), rows.begin(), rows.end());
        }
        expected.resize(file.size(), 0);
        EXPECT_EQ(TestImages::FromHandle(TestImages::ReadBmp(file)), expected) << c.name;
    }
}

TEST(WriteBmpFile, WritesHeaderMasksTableAndRowsWithTheFileHeader)
{
    struct Case
    {
        const char *name;
        Bytes dib;
        std::uint32_t fileSize, offBits, sizeImage;
    };
    using TestImages::MakeDib;
    const Bytes gray = TestImages::GrayTable256(), rle = {2, 7, 0, 0, 0, 1};
    // clang-format off
    const Case cases[] = {
        {"Gray5x3", MakeDib({.width = 5, .height = 3}, gray, Bytes(24, 9)), 1102, 1078, 24},
        {"Rgb3x2", MakeDib({.width = 3, .height = 2, .bitCount = 24}, {}, Bytes(24, 9)), 78, 54,
         24},
        {"Rle8KeepsItsSizeImage",
         MakeDib({.width = 2, .height = 1, .compression = 1, .sizeImage = 6}, gray, rle),
         14 + 1064 + 6, 14 + 1064, 6},
        {"V5HeaderWithTable", MakeDib({.headerSize = 124, .width = 5, .height = 3, .clrUsed = 252},
                                      Bytes(1008, 3), Bytes(24, 9)), 14 + 1132 + 24, 14 + 1132, 24},
        {"BitFieldMasks", MakeDib({.width = 3, .height = 2, .bitCount = 16, .compression = 3}, {},
                                  Bytes(16, 9), Bytes(12, 0xF0)), 14 + 52 + 16, 14 + 52, 16},
    };
    // clang-format on
    for (const Case &c : cases) {
        Bytes blockBytes = c.dib;
        blockBytes.insert(blockBytes.end(), 14, 0xEE); // spare bytes are not written
        DibHandle block = TestImages::ToHandle(blockBytes);
        const Bytes out = Written(block);
        ASSERT_EQ(out.size(), c.fileSize) << c.name;
        EXPECT_EQ(out[0], 'B');
        EXPECT_EQ(out[1], 'M');
        EXPECT_EQ(GetU32(out, 2), c.fileSize) << c.name;
        EXPECT_EQ(GetU32(out, 6), 0u) << c.name;
        EXPECT_EQ(GetU32(out, 10), c.offBits) << c.name;
        Bytes expectedDib = c.dib;
        TestImages::PutU32(expectedDib, 20, c.sizeImage);
        EXPECT_EQ(Bytes(out.begin() + 14, out.end()), expectedDib) << c.name;
        // The block's own biSizeImage is rewritten too.
        EXPECT_EQ(GetU32(TestImages::FromHandle(block), 20), c.sizeImage) << c.name;
    }
}

TEST(WriteBmpFile, RefusesCoreHeadersUnknownHeadersAndShortBlocks)
{
    const Bytes gray
        = TestImages::MakeDib({.width = 5, .height = 3}, TestImages::GrayTable256(), Bytes(24, 9));
    Bytes unknownHeader = gray;
    TestImages::PutU32(unknownHeader, 0, 16);
    const std::vector<Bytes> refused = {
        {},
        {40, 0, 0},
        TestImages::MakeDib({.headerSize = 12, .width = 5, .height = 3}, Bytes(768), Bytes(24)),
        unknownHeader,
        Bytes(gray.begin(), gray.end() - 1), // one row byte short
        Bytes(gray.begin(), gray.begin() + 40),
    };
    for (const Bytes &bytes : refused) {
        DibHandle block = bytes.empty() ? DibHandle{} : TestImages::ToHandle(bytes);
        CMemFile out;
        EXPECT_FALSE(CDibImage::WriteBmpFile(block, out)) << bytes.size();
        EXPECT_TRUE(out.Bytes().empty());
        if (!bytes.empty()) {
            EXPECT_EQ(TestImages::FromHandle(block), bytes);
        }
    }
}

// A 4 GiB image would otherwise be written with bfSize or biSizeImage cut to 32 bits.
TEST(WriteBmpFile, RefusesSizesBeyondTheFileFields)
{
    DibHandle block = DibHandle::Allocate((std::uint64_t{1} << 32) + 2048);
    if (block.IsNull())
        GTEST_SKIP() << "no address space for a 4 GiB block";
    for (std::int32_t height : {0x40000000, 0x3FFFFFFF}) {
        // Rows of exactly 2^32 bytes, then rows that fit but leave no room for the header.
        const Bytes header = TestImages::MakeDib({.width = 4, .height = height}, {}, {});
        {
            DibLock lock(block);
            std::copy(header.begin(), header.end(), lock.Data());
        }
        CMemFile out;
        EXPECT_FALSE(CDibImage::WriteBmpFile(block, out)) << height;
        EXPECT_TRUE(out.Bytes().empty());
        DibReadLock lock(block);
        EXPECT_EQ(GetU32({lock.Data(), 40}, 20), 0u) << "biSizeImage rewritten";
    }
}

TEST(WriteBmpFile, DeviceErrorPropagatesAndUnlocksTheBlock)
{
    DibHandle block = TestImages::ReadBmp(Gray8File(5, 3));
    for (int failingCall : {1, 2}) {
        CFaultyFile file({}, failingCall);
        EXPECT_THROW((void)CDibImage::WriteBmpFile(block, file), CFileException) << failingCall;
        EXPECT_EQ(block.LockCount(), 0);
    }
}

TEST(BmpFiles, ReadWriteReadRoundTripKeepsTheImage)
{
    for (std::int32_t width : {1, 5, 37}) {
        Bytes original = Gray8File(width, 7, static_cast<std::uint32_t>(width));
        TestImages::PutU32(original, 14 + 20, static_cast<std::uint32_t>(original.size() - 1078));
        DibHandle block = CDibImage::AdmitBlock(TestImages::ReadBmp(original));
        ASSERT_FALSE(block.IsNull());
        const Bytes written = Written(block);
        EXPECT_EQ(written, original) << width;
        EXPECT_EQ(TestImages::FromHandle(TestImages::ReadBmp(written)),
                  TestImages::FromHandle(block));
    }
}

// A colour profile after the rows (past a gap in the file, or after compressed rows) stays in
// the written file, right after the rows, with the header pointing at it.
TEST(BmpFiles, AColourProfileAfterTheRowsIsKept)
{
    const Bytes profile{'p', 'r', 'o', 'f', 'i', 'l', 'e', '!'};
    for (bool rle : {false, true}) {
        const Bytes rows = rle ? Bytes{4, 7, 0, 0, 4, 9, 0, 1} : Bytes{7, 7, 7, 7, 9, 9, 9, 9};
        Bytes dib = TestImages::MakeDib({.headerSize = 124,
                                         .width = 4,
                                         .height = 2,
                                         .compression = rle ? 1u : 0u,
                                         .sizeImage = 8},
                                        TestImages::GrayTable256(), {});
        const std::size_t gap = rle ? 0 : 16;
        dib.insert(dib.end(), gap, 0xAB);
        dib.insert(dib.end(), rows.begin(), rows.end());
        dib.insert(dib.end(), 4, 0xEE); // something else between the rows and the profile
        TestImages::PutU32(dib, 112, static_cast<std::uint32_t>(dib.size()));
        TestImages::PutU32(dib, 116, static_cast<std::uint32_t>(profile.size()));
        dib.insert(dib.end(), profile.begin(), profile.end());

        DibHandle block = CDibImage::AdmitBlock(
            TestImages::ReadBmp(TestImages::MakeBmpFile(dib, 14 + 1148 + gap)));
        ASSERT_FALSE(block.IsNull()) << rle;
        const Bytes out = Written(block);
        ASSERT_EQ(out.size(), 14u + 1156 + 8) << rle;
        EXPECT_EQ(GetU32(out, 14 + 112), 1156u) << rle;
        EXPECT_EQ(Bytes(out.begin() + 14 + 1148, out.begin() + 14 + 1156),
                  (Bytes{7, 7, 7, 7, 9, 9, 9, 9}))
            << rle;
        EXPECT_EQ(Bytes(out.begin() + 14 + 1156, out.end()), profile) << rle;
    }
}
