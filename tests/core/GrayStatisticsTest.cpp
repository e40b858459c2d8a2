#include "GrayStatistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

struct LevelCount
{
    int level;
    std::uint64_t pixels;
};

GrayHistogram Counts(std::initializer_list<LevelCount> levels)
{
    GrayHistogram histogram{};
    for (const LevelCount &c : levels)
        histogram.at(static_cast<std::size_t>(c.level)) = c.pixels;
    return histogram;
}

constexpr std::uint64_t kHalf = GrayStatistics::kMaxPixels / 2;

} // namespace

TEST(GrayStatistics, DescribesHistogramsExactly)
{
    struct Case
    {
        GrayHistogram counts;
        const char *line;
    };
    const Case cases[] = {
        {Counts({{77, 1000}}),
         "pixels=1000 min=77 max=77 mean=77.0000 median=77 stddev=0.0000 otsu=0"},
        // 1/32 = 0.03125 and sqrt(31)/32 = 0.17399...: rounded to the nearest, not cut.
        {Counts({{0, 31}, {1, 1}}),
         "pixels=32 min=0 max=1 mean=0.0313 median=0 stddev=0.1740 otsu=1"},
        // Splitting off either end separates the classes equally well: the lower T wins.
        {Counts({{0, 1}, {100, 1}, {200, 1}}),
         "pixels=3 min=0 max=200 mean=100.0000 median=100 stddev=81.6497 otsu=1"},
        {Counts({{20, 2}, {40, 2}, {41, 1}, {250, 1}}),
         "pixels=6 min=20 max=250 mean=68.5000 median=40 stddev=81.6777 otsu=42"},
        // At the limit the sums are at their largest and still exact.
        {Counts({{0, kHalf}, {255, kHalf}}),
         "pixels=1099511627776 min=0 max=255 mean=127.5000 median=127.5 stddev=127.5000 otsu=1"},
        {Counts({}), "nothing"},
        {Counts({{0, GrayStatistics::kMaxPixels}, {255, 1}}), "nothing"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(GrayStatistics::Describe(c.counts).value_or("nothing"), c.line);
    EXPECT_EQ(GrayStatistics::OtsuThreshold(Counts({{20, 2}, {40, 2}, {41, 1}, {250, 1}})), 42);
    EXPECT_FALSE(GrayStatistics::OtsuThreshold(Counts({})));
}

TEST(GrayStatistics, SaturatedRangeLeavesTheShareOutAtEachEnd)
{
    const GrayHistogram sevens = Counts({{0, 7}, {10, 3986}, {255, 7}}); // 4000 pixels
    struct Case
    {
        GrayHistogram counts;
        float percent;
        int low, high; // -1: no range
    };
    const Case cases[] = {
        // 4000 x 0.35 / 200 is 7: seven pixels leave each end (the float 0.35 would leave six).
        {sevens, 0.35f, 10, 10},
        {sevens, 0.3f, 0, 255},
        {sevens, 0.0f, 0, 255},
        {sevens, -0.0f, 0, 255},
        {sevens, 1e-30f, 0, 255},
        {Counts({{0, 1}, {100, 998}, {255, 1}}), 0.2f, 100, 100},
        // 199 x 1 / 200 leaves no pixel; 200 x 1 / 200 one at each end.
        {Counts({{3, 1}, {5, 197}, {9, 1}}), 1.0f, 3, 9},
        {Counts({{3, 1}, {5, 198}, {9, 1}}), 1.0f, 5, 5},
        // Almost everything left out: the ranks meet in the middle, never cross.
        {Counts({{1, 1}, {2, 1}, {3, 1}}), 99.0f, 2, 2},
        {Counts({{1, 500}, {2, 500}}), 99.9f, 1, 2},
        {Counts({{0, kHalf}, {255, kHalf}}), 50.0f, 0, 255},
        {Counts({{0, kHalf}, {255, kHalf}}), 99.99999f, 0, 255},
        {Counts({{0, 1}, {1, 1}}), 100.0f, -1, -1},
        {Counts({{0, 1}}), -1.0f, -1, -1},
        {Counts({{0, 1}}), std::nanf(""), -1, -1},
        {Counts({}), 1.0f, -1, -1},
    };
    for (const Case &c : cases) {
        const auto range = GrayStatistics::SaturatedRange(c.counts, c.percent);
        EXPECT_EQ(range ? range->low : -1, c.low) << c.percent;
        EXPECT_EQ(range ? range->high : -1, c.high) << c.percent;
    }
}
