#include "GrayStatistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace {

GrayHistogram Count(const std::vector<int> &pixels)
{
    GrayHistogram h{};
    for (int g : pixels)
        ++h[static_cast<std::size_t>(g)];
    return h;
}

struct Printed
{
    double mean = 0, median = 0, stddev = 0;
    int min = 0, max = 0, otsu = 0;
    unsigned long long pixels = 0;
};

Printed Parse(const std::string &line)
{
    Printed p;
    EXPECT_EQ(std::sscanf(line.c_str(),
                          "pixels=%llu min=%d max=%d mean=%lf median=%lf stddev=%lf otsu=%d",
                          &p.pixels, &p.min, &p.max, &p.mean, &p.median, &p.stddev, &p.otsu),
              7)
        << line;
    return p;
}

// Straight from the pixels: two-pass moments, a sorted copy for the median, and Otsu's
// between-class variance w0 w1 (m0 - m1)^2 tried at every T.
Printed Reference(std::vector<int> pixels)
{
    Printed r;
    const auto n = static_cast<long double>(pixels.size());
    r.pixels = pixels.size();
    long double sum = 0;
    for (int g : pixels)
        sum += g;
    const long double mean = sum / n;
    long double squares = 0;
    for (int g : pixels)
        squares += (g - mean) * (g - mean);
    r.mean = static_cast<double>(mean);
    r.stddev = static_cast<double>(std::sqrt(squares / n));
    std::sort(pixels.begin(), pixels.end());
    r.min = pixels.front();
    r.max = pixels.back();
    r.median = (pixels[(pixels.size() - 1) / 2] + pixels[pixels.size() / 2]) / 2.0;
    long double best = 0;
    for (int t = 0; t < 256; ++t) {
        long double n0 = 0, s0 = 0, n1 = 0, s1 = 0;
        for (int g : pixels) {
            (g < t ? n0 : n1) += 1;
            (g < t ? s0 : s1) += g;
        }
        if (n0 == 0 || n1 == 0)
            continue;
        const long double between = n0 / n * n1 / n * std::pow(s0 / n0 - s1 / n1, 2);
        if (between > best * (1 + 1e-15L)) {
            best = between;
            r.otsu = t;
        }
    }
    return r;
}

} // namespace

TEST(GrayStatisticsTest, KnownHistograms)
{
    std::vector<int> tiny(31, 0);
    tiny.push_back(1);
    const std::vector<std::pair<std::vector<int>, std::string>> cases = {
        {std::vector<int>(1000, 77),
         "pixels=1000 min=77 max=77 mean=77.0000 median=77 stddev=0.0000 otsu=0"},
        {{10, 10, 10, 200},
         "pixels=4 min=10 max=200 mean=57.5000 median=10 stddev=82.2724 otsu=11"},
        {{201, 10}, "pixels=2 min=10 max=201 mean=105.5000 median=105.5 stddev=95.5000 otsu=11"},
        {{0, 255}, "pixels=2 min=0 max=255 mean=127.5000 median=127.5 stddev=127.5000 otsu=1"},
        // 1/32 = 0.03125 and sqrt(31)/32 = 0.17399...: rounded to the nearest, not cut.
        {tiny, "pixels=32 min=0 max=1 mean=0.0313 median=0 stddev=0.1740 otsu=1"},
        // Splitting off either end separates the classes equally well: the lower T wins.
        {{0, 100, 200}, "pixels=3 min=0 max=200 mean=100.0000 median=100 stddev=81.6497 otsu=1"},
    };
    for (const auto &[pixels, line] : cases)
        EXPECT_EQ(GrayStatistics::Describe(Count(pixels)).value_or("nothing"), line);
}

TEST(GrayStatisticsTest, NothingForNoPixelsOrTooManyToCountExactly)
{
    EXPECT_FALSE(GrayStatistics::Describe(GrayHistogram{}));
    GrayHistogram h{};
    h[0] = GrayStatistics::kMaxPixels;
    h[255] = 1;
    EXPECT_FALSE(GrayStatistics::Describe(h));
    // At the limit the sums are at their largest and still exact.
    h[0] = h[255] = GrayStatistics::kMaxPixels / 2;
    EXPECT_EQ(GrayStatistics::Describe(h).value_or("nothing"),
              "pixels=1099511627776 min=0 max=255 mean=127.5000 median=127.5 stddev=127.5000 "
              "otsu=1");
}

TEST(GrayStatisticsTest, MatchesAComputationFromThePixelsOnRandomImages)
{
    std::mt19937 rng(13);
    for (int round = 0; round < 60; ++round) {
        // Few distinct levels make ties and empty classes likely; many make sums large.
        const int levels = round % 3 == 0 ? 2 + round % 5 : 256;
        std::vector<int> palette(static_cast<std::size_t>(levels));
        for (int &g : palette)
            g = static_cast<int>(rng() % 256);
        std::vector<int> pixels(1 + rng() % 5000);
        for (int &g : pixels)
            g = palette[rng() % palette.size()];

        const std::optional<std::string> line = GrayStatistics::Describe(Count(pixels));
        ASSERT_TRUE(line);
        const Printed got = Parse(*line), want = Reference(pixels);
        EXPECT_EQ(got.pixels, want.pixels) << *line;
        EXPECT_EQ(got.min, want.min) << *line;
        EXPECT_EQ(got.max, want.max) << *line;
        EXPECT_NEAR(got.mean, want.mean, 0.00005 + 1e-9) << *line;
        EXPECT_NEAR(got.stddev, want.stddev, 0.00005 + 1e-9) << *line;
        EXPECT_EQ(got.median, want.median) << *line;
        EXPECT_EQ(got.otsu, want.otsu) << *line;
    }
}
