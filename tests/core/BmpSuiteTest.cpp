#include "DibImage.h"
#include "DibLayout.h"
#include "DibLock.h"
#include "MemFile.h"
#include "TestImages.h"

#include <algorithm>

#include <gtest/gtest.h>

using TestImages::Bytes;

namespace {

Bytes SuiteFile(const std::string &name)
{
    return TestImages::ReadFile(TestImages::BmpSuiteDir() / name);
}

// Colour table and rows of an admitted block.
Bytes TableAndRows(const DibHandle &block)
{
    DibReadLock lock(block);
    const auto layout = MeasureDib(lock.Bytes());
    EXPECT_TRUE(layout);
    if (!layout)
        return {};
    return Bytes(lock.Data() + layout->TableOffset(), lock.Data() + layout->TotalBytes());
}

class BmpSuite : public testing::TestWithParam<std::string>
{ };

} // namespace

TEST_P(BmpSuite, LoadsOrIsRefusedWithoutStrayAccess)
{
    const Bytes file = SuiteFile(GetParam());
    DibHandle raw = TestImages::ReadBmp(file);
    // The reader refuses only what is not a BMP file or holds less than its header describes.
    if (raw.IsNull() && file.size() >= 14 && file[0] == 'B' && file[1] == 'M') {
        EXPECT_FALSE(CDibImage::IsBlockReadable(std::span(file).subspan(14)));
    }
    DibHandle block = CDibImage::AdmitBlock(std::move(raw));
    if (block.IsNull())
        return;
    DibHandle copy = CDibImage::DuplicateBlock(block);
    const bool core = TestImages::GetU32(TestImages::FromHandle(block), 0) == 12;
    const Bytes written = TestImages::ExerciseAdmitted(block);
    ASSERT_EQ(written.empty(), core);
    if (core)
        return;
    // An untouched copy, written and read back, keeps its table and rows.
    CMemFile plain;
    ASSERT_TRUE(CDibImage::WriteBmpFile(copy, plain));
    EXPECT_EQ(TableAndRows(CDibImage::AdmitBlock(TestImages::ReadBmp(plain.Bytes()))),
              TableAndRows(copy));
}

INSTANTIATE_TEST_SUITE_P(
    Files, BmpSuite, testing::ValuesIn(TestImages::BmpSuiteFiles()), [](const auto &info) {
        std::string name = info.param;
        std::replace_if(
            name.begin(), name.end(),
            [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
        return name;
    });

TEST(BmpSuiteOutcomes, GoodFilesLoadExceptTopDownOnes)
{
    for (const std::string &name : TestImages::BmpSuiteFiles()) {
        if (name.starts_with("g/")) {
            EXPECT_EQ(CDibImage::AdmitBlock(TestImages::ReadBmp(SuiteFile(name))).IsNull(),
                      name == "g/pal8topdown.bmp")
                << name;
        }
    }
}

TEST(BmpSuiteOutcomes, HeaderKindsAndSizes)
{
    const DibHandle topDown = TestImages::ReadBmp(SuiteFile("g/pal8topdown.bmp"));
    EXPECT_GT(CDibImage::GetImageHeight(TestImages::FromHandle(topDown).data()), 0x7FFFFFFFu);

    // Header sizes of neither family, and a core header whose short colour table leaves the
    // file 12 bytes short of its rows.
    for (const char *name : {"q/pal8os2v2-16.bmp", "b/badheadersize.bmp", "q/pal8os2sp.bmp"})
        EXPECT_TRUE(TestImages::ReadBmp(SuiteFile(name)).IsNull()) << name;

    const DibHandle v5 = CDibImage::AdmitBlock(TestImages::ReadBmp(SuiteFile("g/pal8v5.bmp")));
    ASSERT_FALSE(v5.IsNull());
    const Bytes header = TestImages::FromHandle(v5);
    EXPECT_EQ(CDibImage::GetImageWidth(header.data()), 127u);
    EXPECT_EQ(CDibImage::GetImageHeight(header.data()), 64u);
    EXPECT_EQ(CDibImage::GetBitCount(header.data()), 8);
    EXPECT_EQ(CDibImage::GetColorCount(header.data()), 252);
    EXPECT_EQ(CDibImage::GetPixelBits(header.data()) - header.data(), 124 + 1008);

    const Bytes rgb565 = TestImages::FromHandle(TestImages::ReadBmp(SuiteFile("g/rgb16-565.bmp")));
    EXPECT_EQ(CDibImage::GetMaskBytes(rgb565.data()), 12u);
    EXPECT_EQ(CDibImage::GetPixelBits(rgb565.data()) - rgb565.data(), 52);
}

// Each pair describes the same picture with the same table (checked against the files'
// bytes by hand): run-length coded or placed after a gap versus plain rows.
TEST(BmpSuiteOutcomes, RleAndGapFilesReadAsTheirPlainTwins)
{
    const std::pair<const char *, const char *> twins[] = {
        {"g/pal8rle.bmp", "g/pal8.bmp"},
        {"g/pal4rle.bmp", "g/pal4.bmp"},
        {"q/pal8offs.bmp", "g/pal8.bmp"},
    };
    for (const auto &[name, plainName] : twins) {
        const DibHandle block = CDibImage::AdmitBlock(TestImages::ReadBmp(SuiteFile(name)));
        const DibHandle plain = CDibImage::AdmitBlock(TestImages::ReadBmp(SuiteFile(plainName)));
        ASSERT_FALSE(block.IsNull()) << name;
        ASSERT_FALSE(plain.IsNull()) << plainName;
        const Bytes bytes = TestImages::FromHandle(block);
        EXPECT_EQ(CDibImage::GetCompression(bytes.data()), 0u) << name;
        EXPECT_EQ(TableAndRows(block), TableAndRows(plain)) << name;
    }
}
