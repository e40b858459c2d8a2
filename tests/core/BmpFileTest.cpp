#include "DibImage.h"
#include "DibLayout.h"
#include "DibLock.h"
#include "FileException.h"
#include "MemFile.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <limits>
#include <optional>

using namespace TestImages;

namespace {

// Fails its Nth read or write (small ones go through huge ones); may misreport its length.
class CFaultyFile : public CMemFile
{
public:
    using CMemFile::CMemFile;
    std::uint64_t GetLength() override { return m_length.value_or(CMemFile::GetLength()); }
    std::uint64_t ReadHuge(void *p, std::uint64_t n) override
    {
        return Tick(n), CMemFile::ReadHuge(p, n);
    }
    void WriteHuge(const void *p, std::uint64_t n) override { Tick(0), CMemFile::WriteHuge(p, n); }
    void Tick(std::uint64_t n)
    {
        m_nAsked += n;
        if (++m_nCalls == m_nFailingCall)
            throw CFileException(CFileException::Cause::HardIO, EIO, "faulty.bmp");
    }

    int m_nFailingCall = 0, m_nCalls = 0;
    std::optional<std::uint64_t> m_length;
    std::uint64_t m_nAsked = 0;
};

Bytes Written(DibHandle &block)
{
    CMemFile out;
    return CDibImage::WriteBmpFile(block, out) ? out.Bytes() : Bytes{};
}

Bytes Read(std::span<const std::uint8_t> file)
{
    const DibHandle block = ReadBmp(file);
    return block.IsNull() ? Bytes{} : FromHandle(block);
}

} // namespace

// The block is the file after its header, then 14 zeros that must not stand in for lost bytes.
TEST(ReadBmpFile, TakesWholeFilesAndRefusesEveryShorterLength)
{
    const Bytes rle8{3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 2, 9, 0, 1}, rle4{4, 0x12, 0, 0, 0, 1};
    // clang-format off
    const Bytes dibs[] = {MakeDib({40, 9, 2, 1}, Bytes(8, 1), Bytes(8, 5)), MakeDib({40, 3, 2, 4}, Bytes(64, 1), Bytes(8, 5)),
                          MakeDib({40, 5, 3}, GrayTable256(), RandomRows(5, 3, 1)), MakeDib({40, 2, 2, 24}, {}, Bytes(16, 5)),
                          MakeDib({40, 3, 2, 8, 1, 0, 14}, GrayTable256(), rle8), MakeDib({40, 4, 1, 4, 2, 0, 6}, Bytes(64, 1), rle4),
                          MakeDib({12, 3, 2}, Bytes(768, 1), Bytes(8, 5))};
    // clang-format on
    for (const Bytes &dib : dibs) {
        const Bytes file = MakeBmpFile(dib);
        Bytes expected = dib;
        expected.resize(file.size(), 0);
        EXPECT_EQ(Read(file), expected) << dib.size();
        for (std::size_t length = 0; length < file.size(); ++length)
            EXPECT_TRUE(ReadBmp(std::span(file).first(length)).IsNull()) << length;
    }
}

// Bad headers are refused before the body is read; a short length must not wrap into a big read.
TEST(BmpFiles, RefuseForeignFilesUnreadableHeadersWrongLengthsAndDeviceErrors)
{
    const Bytes valid = MakeGray8Bmp(5, 3, RandomRows(5, 3, 1));
    const auto spoilt = [&](std::size_t at, const Bytes &patch) {
        Bytes file = valid;
        std::copy(patch.begin(), patch.end(), file.begin() + static_cast<long>(at));
        return file;
    };
    const std::uint64_t huge = std::uint64_t{1} << 32;
    // clang-format off
    const std::pair<Bytes, std::uint64_t> cases[] = {
        {spoilt(0, {'M', 'B'}), valid.size()}, {spoilt(0, {'B', 'A'}), valid.size()}, {spoilt(14, {99}), huge},
        {spoilt(28, {24, 0, 1}), huge}, {spoilt(46, {0xFF, 0xFF}), huge}, {valid, valid.size() + 1},
        {valid, std::uint64_t{1} << 62}, {valid, std::numeric_limits<std::uint64_t>::max()}, {valid, 13}, {valid, 0}};
    // clang-format on
    for (const auto &[bytes, length] : cases) {
        CFaultyFile file(bytes);
        file.m_length = length;
        EXPECT_TRUE(CDibImage::ReadBmpFile(file).IsNull()) << length;
        EXPECT_LE(file.m_nAsked, length == huge ? 14u + 40 : huge);
    }
    DibHandle block = ReadBmp(valid);
    for (int failingCall : {1, 2}) {
        CFaultyFile in(valid), out;
        in.m_nFailingCall = out.m_nFailingCall = failingCall;
        EXPECT_THROW((void)CDibImage::ReadBmpFile(in), CFileException);
        EXPECT_THROW((void)CDibImage::WriteBmpFile(block, out), CFileException);
        EXPECT_EQ(block.LockCount(), 0);
    }
}

// Rows after a gap move up behind the table; a bfOffBits leaving no room for them refuses.
TEST(ReadBmpFile, ClosesAGapBeforeTheRowsOnly)
{
    enum Outcome { Moved, Kept, Refused };
    // clang-format off
    const std::tuple<DibFields, std::size_t, std::int64_t, Outcome> cases[] = {
        {{40, 5, 3}, 1064, 0, Moved}, {{40, 5, 3, 16, 3}, 52, 0, Moved}, {{12, 5, 3}, 780, 0, Moved},
        {{40, 5, 3}, 1064, -100, Kept}, {{40, 5, 3}, 1064, -600, Kept}, {{40, 5, 3}, 1064, -1172, Kept},
        {{40, 5, 3}, 1064, 1, Refused}, {{40, 5, 3}, 1064, 24, Refused}, {{40, 5, 3}, 1064, 5000, Refused}};
    // clang-format on
    for (const auto &[fields, prefixBytes, offBitsFromRows, outcome] : cases) {
        Bytes prefix = MakeDib(fields, {}, {});
        prefix.resize(prefixBytes, 0x77);
        Bytes rows = RandomRows(15, 3, 2), dib = prefix, expected = prefix;
        rows.resize(RowStride(5, fields.bitCount) * 3);
        dib.insert(dib.end(), 100, 0xAB);
        dib.insert(dib.end(), rows.begin(), rows.end());
        expected.insert(expected.end(), rows.begin(), rows.end());
        expected = outcome == Refused ? Bytes{} : (outcome == Moved ? expected : dib);
        expected.resize(outcome == Refused ? 0 : 14 + dib.size(), 0);
        const auto offBits = static_cast<std::int64_t>(14 + prefixBytes + 100) + offBitsFromRows;
        EXPECT_EQ(Read(MakeBmpFile(dib, static_cast<std::uint32_t>(offBits))), expected) << offBits;
    }
}

// Sizes beyond the file's 32-bit fields would be written cut short.
TEST(WriteBmpFile, WritesFileHeaderAndImageOrRefuses)
{
    // clang-format off
    const std::tuple<Bytes, std::uint32_t, std::uint32_t, std::uint32_t> cases[] = {
        {MakeDib({40, 5, 3}, GrayTable256(), Bytes(24, 9)), 1102, 1078, 24}, {MakeDib({40, 3, 2, 24}, {}, Bytes(24, 9)), 78, 54, 24},
        {MakeDib({40, 2, 1, 8, 1, 0, 6}, GrayTable256(), Bytes{2, 7, 0, 0, 0, 1}), 1084, 1078, 6},
        {MakeDib({124, 5, 3, 8, 0, 252}, Bytes(1008, 3), Bytes(24, 9)), 1170, 1146, 24},
        {MakeDib({40, 3, 2, 16, 3}, {}, Bytes(16, 9), Bytes(12, 0xF0)), 82, 66, 16}};
    // clang-format on
    for (const auto &[dib, fileSize, offBits, sizeImage] : cases) {
        Bytes bytes = dib, expected = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        bytes.insert(bytes.end(), 14, 0xEE);
        DibHandle block = ToHandle(bytes);
        PutU32(expected, 2, fileSize);
        PutU32(expected, 10, offBits);
        expected.insert(expected.end(), dib.begin(), dib.end());
        PutU32(expected, 14 + 20, sizeImage);
        const Bytes out = Written(block);
        EXPECT_EQ(out, expected) << fileSize;
        EXPECT_EQ(GetU32(FromHandle(block), 20), sizeImage);
        expected.erase(expected.begin(), expected.begin() + 14);
        expected.resize(out.size(), 0);
        EXPECT_EQ(Read(out), expected);
    }
    const Bytes gray = MakeDib({40, 5, 3}, GrayTable256(), Bytes(24, 9));
    Bytes unknownHeader = gray;
    unknownHeader[0] = 16;
    const Bytes refused[] = {{},
                             {40, 0, 0},
                             MakeDib({12, 5, 3}, Bytes(768), Bytes(24)),
                             unknownHeader,
                             Bytes(gray.begin(), gray.end() - 1),
                             Bytes(gray.begin(), gray.begin() + 40)};
    for (const Bytes &bytes : refused) {
        DibHandle block = bytes.empty() ? DibHandle{} : ToHandle(bytes);
        EXPECT_EQ(Written(block), Bytes{}) << bytes.size();
        EXPECT_EQ(block.IsNull() ? Bytes{} : FromHandle(block), bytes);
    }
    DibHandle block = DibHandle::Allocate((std::uint64_t{1} << 32) + 2048);
    if (block.IsNull())
        GTEST_SKIP() << "no address space for a 4 GiB block";
    for (std::int32_t height : {0x40000000, 0x3FFFFFFF}) {
        const Bytes header = MakeDib({40, 4, height}, {}, {});
        std::copy(header.begin(), header.end(), DibLock(block).Data());
        EXPECT_EQ(Written(block), Bytes{}) << height;
        EXPECT_EQ(GetU32({DibReadLock(block).Data(), 40}, 20), 0u);
    }
}

TEST(BmpSuite, FilesLoadOrAreRefusedWithoutStrayAccess)
{
    for (const std::string &name : BmpSuiteFiles()) {
        const Bytes file = ReadFile(BmpSuiteDir() / name);
        DibHandle raw = ReadBmp(file);
        const bool bmp = file.size() >= 14 && file[0] == 'B' && file[1] == 'M';
        EXPECT_TRUE(!raw.IsNull() || !bmp
                    || !CDibImage::IsBlockReadable(std::span(file).subspan(14)))
            << name;
        DibHandle block = CDibImage::AdmitBlock(std::move(raw));
        EXPECT_TRUE(block.IsNull()
                    || ExerciseAdmitted(block).empty() == (GetU32(FromHandle(block), 0) == 12))
            << name;
    }
}

// A colour profile after the rows (behind a gap, or after compressed rows) is written right
// after the rows, the header pointing at it.
TEST(BmpFiles, KeepAColourProfileAfterTheRows)
{
    for (const bool rle : {false, true}) {
        const Bytes rows = rle ? Bytes{4, 7, 0, 0, 4, 9, 0, 1} : Bytes{7, 7, 7, 7, 9, 9, 9, 9};
        Bytes dib = MakeDib({124, 4, 2, 8, rle ? 1u : 0u, 0, 8}, GrayTable256(), {});
        const std::size_t gap = rle ? 0 : 16;
        dib.insert(dib.end(), gap, 0xAB);
        dib.insert(dib.end(), rows.begin(), rows.end());
        dib.insert(dib.end(), 4, 0xEE); // something else between the rows and the profile
        PutU32(dib, 112, static_cast<std::uint32_t>(dib.size()));
        PutU32(dib, 116, 8);
        dib.insert(dib.end(), {'p', 'r', 'o', 'f', 'i', 'l', 'e', '!'});
        DibHandle block = CDibImage::AdmitBlock(ReadBmp(MakeBmpFile(dib, 14 + 1148 + gap)));
        ASSERT_FALSE(block.IsNull()) << rle;
        const Bytes out = Written(block);
        ASSERT_EQ(out.size(), 14u + 1156 + 8) << rle;
        EXPECT_EQ(GetU32(out, 14 + 112), 1156u) << rle;
        EXPECT_EQ(Bytes(out.begin() + 14 + 1148, out.end()),
                  (Bytes{7, 7, 7, 7, 9, 9, 9, 9, 'p', 'r', 'o', 'f', 'i', 'l', 'e', '!'}))
            << rle;
    }
}
