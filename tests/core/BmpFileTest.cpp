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

} // namespace

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
    for (const Bytes &bytes : {spoilt(0, {'M', 'B'}), spoilt(0, {'B', 'A'}), spoilt(14, {99}),
                               spoilt(28, {24, 0, 1}), spoilt(46, {0xFF, 0xFF})}) {
        CFaultyFile file(bytes);
        file.m_length = huge;
        EXPECT_TRUE(CDibImage::ReadBmpFile(file).IsNull());
        EXPECT_LE(file.m_nAsked, 14u + 40);
    }
    for (const std::uint64_t length : {valid.size() + 1, std::uint64_t{1} << 62,
                                       std::numeric_limits<std::uint64_t>::max(), 13ul, 0ul}) {
        CFaultyFile file(valid);
        file.m_length = length;
        EXPECT_TRUE(CDibImage::ReadBmpFile(file).IsNull()) << length;
        EXPECT_LE(file.m_nAsked, huge) << length;
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
    struct Case
    {
        DibFields fields;
        std::size_t prefixBytes; // header, masks and table
        std::int64_t offBitsFromRows;
        Outcome outcome;
    };
    const Case cases[] = {
        {{40, 5, 3}, 1064, 0, Moved},      {{40, 5, 3, 16, 3}, 52, 0, Moved},
        {{12, 5, 3}, 780, 0, Moved},       {{40, 5, 3}, 1064, -100, Kept},
        {{40, 5, 3}, 1064, -600, Kept},    {{40, 5, 3}, 1064, -1172, Kept},
        {{40, 5, 3}, 1064, 1, Refused},    {{40, 5, 3}, 1064, 24, Refused},
        {{40, 5, 3}, 1064, 5000, Refused},
    };
    for (const Case &c : cases) {
        Bytes prefix = MakeDib(c.fields, {}, {});
        prefix.resize(c.prefixBytes, 0x77);
        Bytes rows = RandomRows(15, 3, 2);
        rows.resize(RowStride(5, c.fields.bitCount) * 3);
        Bytes dib = prefix, moved = prefix;
        dib.insert(dib.end(), 100, 0xAB); // the gap
        dib.insert(dib.end(), rows.begin(), rows.end());
        moved.insert(moved.end(), rows.begin(), rows.end());
        Bytes expected = c.outcome == Moved ? moved : dib;
        expected.resize(c.outcome == Refused ? 0 : 14 + dib.size(), 0);
        const auto offBits = static_cast<std::uint32_t>(
            static_cast<std::int64_t>(14 + c.prefixBytes + 100) + c.offBitsFromRows);
        EXPECT_EQ(FromHandle(ReadBmp(MakeBmpFile(dib, offBits))), expected) << offBits;
    }
}

// Sizes beyond the file's 32-bit fields would be written cut short.
TEST(WriteBmpFile, WritesFileHeaderAndImageOrRefuses)
{
    struct Case
    {
        Bytes dib;
        std::uint32_t fileSize, offBits, sizeImage;
    };
    const Case cases[] = {
        {MakeDib({40, 5, 3}, GrayTable256(), Bytes(24, 9)), 1102, 1078, 24},
        {MakeDib({40, 3, 2, 24}, {}, Bytes(24, 9)), 78, 54, 24},
        {MakeDib({40, 2, 1, 8, 1, 0, 6}, GrayTable256(), Bytes{2, 7, 0, 0, 0, 1}), 1084, 1078, 6},
        {MakeDib({124, 5, 3, 8, 0, 252}, Bytes(1008, 3), Bytes(24, 9)), 1170, 1146, 24},
        {MakeDib({40, 3, 2, 16, 3}, {}, Bytes(16, 9), Bytes(12, 0xF0)), 82, 66, 16},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fileSize);
        Bytes bytes = c.dib, expected = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        bytes.insert(bytes.end(), 14, 0xEE);
        DibHandle block = ToHandle(bytes);
        PutU32(expected, 2, c.fileSize);
        PutU32(expected, 10, c.offBits);
        expected.insert(expected.end(), c.dib.begin(), c.dib.end());
        PutU32(expected, 14 + 20, c.sizeImage);
        EXPECT_EQ(WriteBmp(block), expected);
        EXPECT_EQ(GetU32(FromHandle(block), 20), c.sizeImage);
    }
    const Bytes gray = MakeDib({40, 5, 3}, GrayTable256(), Bytes(24, 9));
    Bytes unknownHeader = gray;
    unknownHeader[0] = 16;
    const Bytes refused[] = {{},
                             {40, 0, 0},
                             MakeDib({12, 5, 3}, Bytes(768), Bytes(24)),
                             unknownHeader,
                             Bytes(gray.begin(), gray.end() - 1)};
    for (const Bytes &bytes : refused) {
        DibHandle block = bytes.empty() ? DibHandle{} : ToHandle(bytes);
        EXPECT_EQ(WriteBmp(block), Bytes{}) << bytes.size();
        EXPECT_EQ(FromHandle(block), bytes);
    }
    DibHandle block = DibHandle::Allocate((std::uint64_t{1} << 32) + 2048);
    if (block.IsNull())
        GTEST_SKIP() << "no address space for a 4 GiB block";
    for (std::int32_t height : {0x40000000, 0x3FFFFFFF}) {
        const Bytes header = MakeDib({40, 4, height}, {}, {});
        std::copy(header.begin(), header.end(), DibLock(block).Data());
        EXPECT_EQ(WriteBmp(block), Bytes{}) << height;
        EXPECT_EQ(GetU32({DibReadLock(block).Data(), 40}, 20), 0u);
    }
}

// Each file loads or is refused; admitted ones go through a transform and the writer without a
// stray access under the sanitizers. The suite's compressed files are no bombs.
TEST(BmpSuite, FilesLoadOrAreRefusedWithoutStrayAccess)
{
    for (const std::string &name : BmpSuiteFiles()) {
        SCOPED_TRACE(name);
        const Bytes file = ReadFile(BmpSuiteDir() / name);
        DibHandle raw = ReadBmp(file);
        const bool bmp = file.size() >= 14 && file[0] == 'B' && file[1] == 'M';
        const auto dib = std::span(file).subspan(std::min<std::size_t>(file.size(), 14));
        if (bmp && CDibImage::IsBlockReadable(dib)) {
            EXPECT_FALSE(raw.IsNull());
        }
        EXPECT_NE(CDibImage::CheckAdmission(dib), AdmitResult::kExpansionTooLarge);
        DibHandle block = CDibImage::AdmitBlock(std::move(raw));
        if (!block.IsNull()) { // core headers are not written
            EXPECT_EQ(ExerciseAdmitted(block).empty(), GetU32(FromHandle(block), 0) == 12);
        }
    }
}

// A colour profile after the rows is written right after them, the header pointing at it.
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
        const Bytes out = WriteBmp(block);
        ASSERT_EQ(out.size(), 14u + 1156 + 8) << rle;
        EXPECT_EQ(GetU32(out, 14 + 112), 1156u) << rle;
        EXPECT_EQ(Bytes(out.begin() + 14 + 1148, out.end()),
                  (Bytes{7, 7, 7, 7, 9, 9, 9, 9, 'p', 'r', 'o', 'f', 'i', 'l', 'e', '!'}))
            << rle;
    }
}
