#include "BatchTool.h"

#include <gtest/gtest.h>
#include <sstream>

TEST(BatchTool, NoCommandIsAUsageError)
{
    std::ostringstream out, err;
    EXPECT_EQ(CBatchTool::Run({}, out, err), 2);
}
