#include "DibImage.h"
#include "MemFile.h"
#include "TestImages.h"

#include <gtest/gtest.h>

TEST(Smoke, ReadsAGray8File)
{
    const auto rows = TestImages::RandomRows(5, 3, 1);
    CMemFile file(TestImages::MakeGray8Bmp(5, 3, rows));
    const DibHandle block = CDibImage::ReadBmpFile(file);
    ASSERT_FALSE(block.IsNull());
    EXPECT_EQ(block.Size(), 14u + 40 + 1024 + 24);
}
