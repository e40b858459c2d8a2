#include "PointTables.h"
#include "NaiveTransforms.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

template<typename Reference>
testing::AssertionResult MatchesForAllInputs(const GrayTable &table, Reference reference)
{
    for (int g = 0; g < 256; ++g) {
        const int expected = reference(g);
        if (table[static_cast<std::size_t>(g)] != expected) {
            return testing::AssertionFailure()
                << "input " << g << " gives " << int{table[static_cast<std::size_t>(g)]}
                << ", expected " << expected;
        }
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult LinearMatches(float slope, float intercept)
{
    return MatchesForAllInputs(PointTables::Linear(slope, intercept),
                               [&](int g) { return NaiveTransforms::Linear(g, slope, intercept); })
        << " (slope " << slope << ", intercept " << intercept << ")";
}

// Expected values at chosen inputs: {input, output} pairs.
using Points = std::vector<std::pair<int, int>>;

void ExpectPoints(const GrayTable &table, const Points &points)
{
    for (const auto &[g, expected] : points)
        EXPECT_EQ(table[static_cast<std::size_t>(g)], expected) << "input " << g;
}

} // namespace

TEST(LinearTable, MatchesTheDocumentedRuleForAllInputs)
{
    constexpr float inf = std::numeric_limits<float>::infinity();
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    constexpr float big = std::numeric_limits<float>::max();
    // clang-format off
    const float specials[] = {0.0f, -0.0f, 0.5f, -0.5f, 1.0f, -1.0f, 2.0f, -128.0f, 127.5f,
                              254.5f, 254.49f, 255.0f, 255.5f, 256.0f, 0.49999997f, 1e-40f,
                              1e30f, -1e30f, big, -big, inf, -inf, nan};
    // clang-format on
    for (float slope : specials) {
        for (float intercept : specials)
            EXPECT_TRUE(LinearMatches(slope, intercept));
    }
    // Sums landing exactly on .5 must round up.
    for (int k = -8; k <= 8; ++k) {
        for (int m = -520; m <= 520; ++m)
            EXPECT_TRUE(LinearMatches(static_cast<float>(k) / 4, static_cast<float>(m) / 2));
    }
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> slopes(-4.0f, 4.0f), intercepts(-300.0f, 300.0f);
    for (int i = 0; i < 3000; ++i) {
        EXPECT_TRUE(LinearMatches(slopes(rng), intercepts(rng)));
        // Any bit pattern: NaNs, infinities, subnormals, huge values.
        EXPECT_TRUE(LinearMatches(std::bit_cast<float>(static_cast<std::uint32_t>(rng())),
                                  std::bit_cast<float>(static_cast<std::uint32_t>(rng()))));
    }
}

// g x slope has at most 8 + 24 significant bits, so it is exact in double and a fused
// multiply-add cannot change a result. Single-precision arithmetic does: near a .5 boundary
// it rounds some results the other way.
TEST(LinearTable, RoundsTheSumInDoubleNotInFloat)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> slopes(-4.0f, 4.0f);
    int found = 0;
    for (int i = 0; i < 100000 && found < 50; ++i) {
        const int g = 1 + static_cast<int>(rng() % 255);
        const float slope = slopes(rng);
        const auto intercept = static_cast<float>(static_cast<double>(rng() % 255) + 0.5
                                                  - g * static_cast<double>(slope));
        volatile float productInFloat = static_cast<float>(g) * slope;
        const int expected = NaiveTransforms::Linear(g, slope, intercept);
        if (NaiveTransforms::ClampAndRound(productInFloat + intercept) == expected)
            continue;
        ++found;
        EXPECT_EQ(PointTables::Linear(slope, intercept)[static_cast<std::size_t>(g)], expected)
            << "input " << g << ", slope " << slope << ", intercept " << intercept;
    }
    EXPECT_EQ(found, 50);
}

TEST(LinearTable, WorkedExamples)
{
    ExpectPoints(PointTables::Linear(2.0f, -128.0f),
                 {{0, 0}, {64, 0}, {65, 2}, {100, 72}, {191, 254}, {192, 255}, {255, 255}});
    ExpectPoints(PointTables::Linear(0.5f, 0.0f), {{1, 1}, {3, 2}, {255, 128}});
    // Round half up, and the limits themselves.
    ExpectPoints(PointTables::Linear(0.0f, 254.5f), {{0, 255}});
    ExpectPoints(PointTables::Linear(0.0f, 254.49f), {{0, 254}});
    ExpectPoints(PointTables::Linear(1.0f, 0.0f), {{0, 0}, {255, 255}});
    ExpectPoints(PointTables::Invert(), {{0, 255}, {255, 0}, {100, 155}});
    EXPECT_TRUE(MatchesForAllInputs(PointTables::Invert(), [](int g) { return 255 - g; }));
}

TEST(ThresholdTable, MatchesForAllThresholds)
{
    for (int t = 0; t < 256; ++t) {
        EXPECT_TRUE(MatchesForAllInputs(PointTables::Threshold(static_cast<std::uint8_t>(t)),
                                        [t](int g) { return g < t ? 0 : 255; }))
            << "threshold " << t;
    }
    // 0: everything white; 255: only 255 stays white.
    ExpectPoints(PointTables::Threshold(0), {{0, 255}, {255, 255}});
    ExpectPoints(PointTables::Threshold(255), {{0, 0}, {254, 0}, {255, 255}});
}

TEST(WindowTable, MatchesForAllLimitPairsIncludingReversedOnes)
{
    for (int low = 0; low < 256; ++low) {
        for (int high = 0; high < 256; ++high) {
            const auto reference = [=](int g) { return g < low ? 0 : (g > high ? 255 : g); };
            EXPECT_TRUE(MatchesForAllInputs(PointTables::Window(static_cast<std::uint8_t>(low),
                                                                static_cast<std::uint8_t>(high)),
                                            reference))
                << "window " << low << ".." << high;
        }
    }
    ExpectPoints(PointTables::Window(100, 50), {{0, 0}, {99, 0}, {100, 255}, {150, 255}});
}

TEST(GrayStretchTable, MatchesForEdgeAndRandomPoints)
{
    std::mt19937 rng(3);
    auto level = [&rng] { return static_cast<int>(rng() % 256); };
    std::vector<std::array<int, 4>> cases;
    for (int x1 = 0; x1 < 256; ++x1) {
        for (int x2 : {0, x1, 255, level()})
            cases.push_back({x1, level(), x2, level()});
    }
    for (int i = 0; i < 4000; ++i)
        cases.push_back({level(), level(), level(), level()});
    for (const auto &[x1, y1, x2, y2] : cases) {
        const GrayTable table = PointTables::GrayStretch(
            static_cast<std::uint8_t>(x1), static_cast<std::uint8_t>(y1),
            static_cast<std::uint8_t>(x2), static_cast<std::uint8_t>(y2));
        EXPECT_TRUE(MatchesForAllInputs(
            table, [&](int g) { return NaiveTransforms::Stretch(g, x1, y1, x2, y2); }))
            << "points (" << x1 << "," << y1 << ") (" << x2 << "," << y2 << ")";
    }
}

TEST(GrayStretchTable, WorkedExamples)
{
    // clang-format off
    ExpectPoints(PointTables::GrayStretch(50, 30, 200, 220),
                 {{0, 0}, {25, 15}, {50, 30}, {51, 31}, {100, 93}, {125, 125}, {199, 218},
                  {200, 220}, {201, 220}, {210, 226}, {255, 255}});
    // clang-format on
    // x1 = 0 starts at 0, not at y1.
    ExpectPoints(PointTables::GrayStretch(0, 100, 100, 200),
                 {{0, 0}, {1, 101}, {50, 150}, {100, 200}, {101, 200}});
    // A falling segment truncates toward zero.
    ExpectPoints(PointTables::GrayStretch(100, 200, 140, 50), {{101, 197}});
    // x1 > x2: the curve jumps at x1.
    ExpectPoints(PointTables::GrayStretch(200, 100, 50, 150), {{200, 100}, {201, 227}});
}

TEST(EqualizeTable, MatchesForRandomHistograms)
{
    std::mt19937_64 rng(5);
    for (int i = 0; i < 500; ++i) {
        // Small images and ones near the largest addressable pixel count (2^48).
        const std::uint64_t limit = i % 2 == 0 ? 20 : (1u << 24);
        const std::uint64_t width = 1 + rng() % limit, height = 1 + rng() % limit;
        std::vector<std::uint64_t> cuts{0, width * height};
        for (int k = 0; k < 255; ++k)
            cuts.push_back(rng() % (width * height + 1));
        std::sort(cuts.begin(), cuts.end());
        GrayHistogram histogram{};
        for (std::size_t g = 0; g < 256; ++g)
            histogram[g] = cuts[g + 1] - cuts[g];
        EXPECT_TRUE(MatchesForAllInputs(
            PointTables::Equalize(histogram, static_cast<std::int32_t>(width),
                                  static_cast<std::int32_t>(height)),
            [&](int g) { return NaiveTransforms::Equalize(g, histogram, width, height); }))
            << width << " x " << height;
    }
}

TEST(EqualizeTable, WorkedExamples)
{
    GrayHistogram histogram{};
    histogram[10] = 2;
    histogram[20] = 1;
    histogram[200] = 1;
    ExpectPoints(PointTables::Equalize(histogram, 2, 2),
                 {{0, 0}, {9, 0}, {10, 127}, {19, 127}, {20, 191}, {200, 255}, {255, 255}});
    // One value: it and everything above it map to 255.
    GrayHistogram single{};
    single[77] = 12;
    EXPECT_TRUE(MatchesForAllInputs(PointTables::Equalize(single, 4, 3),
                                    [](int g) { return g < 77 ? 0 : 255; }));
}
