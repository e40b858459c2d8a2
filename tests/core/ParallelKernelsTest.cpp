#include "PointKernelPaths.h"
#include "PointKernels.h"
#include "PointTables.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <string>

using PointKernels::KernelPath;
using TestImages::Bytes;

namespace {

constexpr std::size_t kBand = PointKernels::Paths::kMinBandBytes;

// Widths with and without padding; heights that put the rows just below two bands, just at
// them and at several bands; one row longer than two bands.
struct Geometry
{
    std::int32_t width, height;
};
constexpr Geometry kGeometries[] = {
    {1001, static_cast<std::int32_t>(2 * kBand / 1004)},
    {1001, static_cast<std::int32_t>(2 * kBand / 1004 + 1)},
    {4096, static_cast<std::int32_t>(2 * kBand / 4096)},
    {999, static_cast<std::int32_t>(5 * kBand / 1000 + 7)},
    {static_cast<std::int32_t>(2 * kBand + 4093), 1},
    {static_cast<std::int32_t>(2 * kBand + 4096), 1},
};

GrayTable Shuffled()
{
    GrayTable table{};
    std::iota(table.begin(), table.end(), std::uint8_t{0});
    std::shuffle(table.begin(), table.end(), std::mt19937(5));
    return table;
}

// One table per kernel shape that a band can be handed.
const GrayTable kTables[]
    = {Shuffled(), PointTables::Invert(), PointTables::Window(60, 190), PointTables::Threshold(0)};

class ParallelKernels : public ::testing::TestWithParam<KernelPath>
{
protected:
    void SetUp() override
    {
        if (!PointKernels::SelectPath(GetParam()))
            GTEST_SKIP() << "this processor cannot run " << PointKernels::PathName(GetParam());
    }
    void TearDown() override
    {
        PointKernels::SetThreadCount(0);
        EXPECT_TRUE(PointKernels::SelectPath(m_previous));
    }

private:
    KernelPath m_previous = PointKernels::ActivePath();
};

TEST_P(ParallelKernels, GiveTheBytesAndCountsOfOneThread)
{
    for (const Geometry &g : kGeometries) {
        const Bytes original = TestImages::RandomRows(g.width, g.height, 11);
        PointKernels::SetThreadCount(1);
        const GrayHistogram counts
            = PointKernels::CountHistogram(original.data(), g.width, g.height);
        for (unsigned threads : {2u, 3u}) {
            const std::string where = std::to_string(g.width) + "x" + std::to_string(g.height)
                + " on " + std::to_string(threads) + " threads";
            PointKernels::SetThreadCount(threads);
            EXPECT_EQ(PointKernels::CountHistogram(original.data(), g.width, g.height), counts)
                << where;
            for (const GrayTable &table : kTables) {
                Bytes single = original, split = original;
                PointKernels::SetThreadCount(1);
                PointKernels::ApplyTable(single.data(), g.width, g.height, table);
                PointKernels::SetThreadCount(threads);
                PointKernels::ApplyTable(split.data(), g.width, g.height, table);
                EXPECT_TRUE(split == single) << where << ", table[1] " << int(table[1]);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryPath, ParallelKernels,
                         ::testing::Values(KernelPath::Plain, KernelPath::Avx2,
                                           KernelPath::Avx512Vbmi),
                         [](const auto &info) {
                             return std::string(PointKernels::PathName(info.param));
                         });

} // namespace
