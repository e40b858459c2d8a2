#include "GrayStatistics.h"

#include <gtest/gtest.h>

#include <vector>

TEST(GrayStatistics, DescribesHistogramsExactly)
{
    const auto count = [](std::initializer_list<std::pair<int, std::uint64_t>> levels) {
        GrayHistogram h{};
        for (const auto &[g, n] : levels)
            h.at(static_cast<std::size_t>(g)) = n;
        return h;
    };
    constexpr std::uint64_t kHalf = GrayStatistics::kMaxPixels / 2;
    const std::pair<GrayHistogram, std::string> cases[]
        = {{count({{77, 1000}}),
            "pixels=1000 min=77 max=77 mean=77.0000 median=77 stddev=0.0000 otsu=0"},
           // 1/32 = 0.03125 and sqrt(31)/32 = 0.17399...: rounded to the nearest, not cut.
           {count({{0, 31}, {1, 1}}),
            "pixels=32 min=0 max=1 mean=0.0313 median=0 stddev=0.1740 otsu=1"},
           // Splitting off either end separates the classes equally well: the lower T wins.
           {count({{0, 1}, {100, 1}, {200, 1}}),
            "pixels=3 min=0 max=200 mean=100.0000 median=100 stddev=81.6497 otsu=1"},
           {count({{20, 2}, {40, 2}, {41, 1}, {250, 1}}),
            "pixels=6 min=20 max=250 mean=68.5000 median=40 stddev=81.6777 otsu=42"},
           // At the limit the sums are at their largest and still exact.
           {count({{0, kHalf}, {255, kHalf}}),
            "pixels=1099511627776 min=0 max=255 mean=127.5000 median=127.5 stddev=127.5000 otsu=1"},
           {count({}), "nothing"},
           {count({{0, GrayStatistics::kMaxPixels}, {255, 1}}), "nothing"}};
    for (const auto &[histogram, line] : cases)
        EXPECT_EQ(GrayStatistics::Describe(histogram).value_or("nothing"), line);
}
