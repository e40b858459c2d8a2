#include "NaiveTransforms.h"
#include "PointTables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// The exponent at which level g of the gamma curve is exactly k + 1/2:
// ln((2k+1)/510) / ln(g/255), in long double.
long double HalfExponent(int g, int k)
{
    return std::log(static_cast<long double>(2 * k + 1) / 510)
        / std::log(static_cast<long double>(g) / 255);
}

} // namespace

TEST(GammaTable, EveryEntryMatchesAnIndependentComputation)
{
    std::vector<float> exponents{1e-40f, 1e-6f, 0.01f, 0.1f, 0.25f, 1 / 2.2f, 0.5f,    0.75f, 1.0f,
                                 1.5f,   2.0f,  2.2f,  3.0f, 10.0f, 100.0f,   1000.0f, 3e38f};
    // The floats either side of where an entry turns (a level a hair either side of a half):
    // level 161 turning to 55 is where a float comes closest, the others are the ends.
    struct Turn
    {
        int level, below;
    };
    const Turn turns[] = {{161, 54},  {254, 0},   {254, 253}, {1, 254},   {1, 0},
                          {128, 127}, {200, 100}, {37, 3},    {250, 249}, {9, 120}};
    for (const Turn turn : turns) {
        const auto at = static_cast<float>(HalfExponent(turn.level, turn.below));
        exponents.push_back(std::nextafter(at, 0.0f));
        exponents.push_back(at);
        exponents.push_back(std::nextafter(at, 1e30f));
    }
    for (const float gamma : exponents) {
        const GrayTable table = PointTables::Gamma(gamma);
        for (int g = 0; g < 256; ++g) {
            const long double v = 255
                * std::pow(static_cast<long double>(g) / 255, static_cast<long double>(gamma));
            // The reference decides only far from a half.
            ASSERT_GT(std::fabs(v - std::floor(v) - 0.5L), 1e-15L) << gamma << " " << g;
            EXPECT_EQ(table[static_cast<std::size_t>(g)], NaiveTransforms::Gamma(g, gamma))
                << "G=" << gamma << " g=" << g;
        }
    }
    // 255 (128/255)^2 = 64.25, 255 (100/255)^(1/2) = 159.69, 255 (64/255)^(1/2.2) = 136.48.
    EXPECT_EQ(PointTables::Gamma(2.0f)[128], 64);
    EXPECT_EQ(PointTables::Gamma(0.5f)[100], 160);
    EXPECT_EQ(PointTables::Gamma(1 / 2.2f)[64], 136);
}

// Why the table is the same on every machine: no float exponent lies within a relative 9e-14 of
// one where an entry would be exactly a half, while the table's logarithms are off by a few
// 1e-16 at most, so a library's last bits never change an entry.
TEST(GammaTable, NoFloatExponentComesCloseToAnEntryOfExactlyAHalf)
{
    long double closest = 1;
    for (int g = 1; g < 255; ++g) {
        for (int k = 0; k < 255; ++k) {
            const long double at = HalfExponent(g, k);
            const auto near = static_cast<float>(at);
            for (const float f : {std::nextafter(near, 0.0f), near, std::nextafter(near, 1e30f)})
                closest = std::min(closest, std::fabs(f - at) / at);
        }
    }
    EXPECT_GT(closest, 9e-14L);
}
