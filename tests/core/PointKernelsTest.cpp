#include "PointKernels.h"
#include "DibImage.h"
#include "NaiveTransforms.h"
#include "TestImages.h"

#include <functional>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

using TestImages::Bytes;

namespace {

// A transform as the image core runs it, and the naive per-pixel mapping it must equal.
struct Transform
{
    const char *name;
    std::function<bool(std::uint8_t *, std::int32_t, std::int32_t)> apply;
    std::function<int(int)> map;
};

// Every transform, with parameters drawn from `rng`; equalisation maps by `counts`.
std::vector<Transform> Transforms(std::mt19937 &rng, const GrayHistogram &counts, int width,
                                  int height)
{
    const float slope = std::uniform_real_distribution<float>(-3.0f, 3.0f)(rng);
    const float intercept = std::uniform_real_distribution<float>(-200.0f, 400.0f)(rng);
    const auto a = static_cast<std::uint8_t>(rng()), b = static_cast<std::uint8_t>(rng()),
               c = static_cast<std::uint8_t>(rng()), d = static_cast<std::uint8_t>(rng());
    using Bits = std::uint8_t *;
    return {
        {"linear",
         [=](Bits p, auto w, auto h) { return CDibImage::ApplyLinear(p, w, h, slope, intercept); },
         [=](int g) { return NaiveTransforms::Linear(g, slope, intercept); }},
        {"invert", [](Bits p, auto w, auto h) { return CDibImage::ApplyLinear(p, w, h, -1, 255); },
         [](int g) { return 255 - g; }},
        {"threshold", [=](Bits p, auto w, auto h) { return CDibImage::ApplyThreshold(p, w, h, a); },
         [=](int g) { return g < a ? 0 : 255; }},
        {"window", [=](Bits p, auto w, auto h) { return CDibImage::ApplyWindow(p, w, h, a, b); },
         [=](int g) { return g < a ? 0 : (g > b ? 255 : g); }},
        {"stretch",
         [=](Bits p, auto w, auto h) { return CDibImage::ApplyGrayStretch(p, w, h, a, b, c, d); },
         [=](int g) { return NaiveTransforms::Stretch(g, a, b, c, d); }},
        {"equalize", [](Bits p, auto w, auto h) { return CDibImage::ApplyEqualize(p, w, h); },
         [=](int g) {
             return NaiveTransforms::Equalize(g, counts, static_cast<std::uint64_t>(width),
                                              static_cast<std::uint64_t>(height));
         }},
    };
}

} // namespace

TEST(PointTransforms, MatchNaiveMappingOnOddWidthsAndKeepPadding)
{
    std::mt19937 rng(21);
    for (int width = 1; width <= 67; ++width) {
        for (int height : {1, 2, 5}) {
            const Bytes rows = TestImages::RandomRows(width, height, rng());
            const std::size_t stride = TestImages::Stride8(width);
            const auto counts = NaiveTransforms::Histogram(rows, width, height, stride);
            for (const Transform &t : Transforms(rng, counts, width, height)) {
                Bytes actual = rows;
                EXPECT_TRUE(t.apply(actual.data(), width, height));
                Bytes expected = rows;
                for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
                    for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x) {
                        std::uint8_t &pixel = expected[y * stride + x];
                        pixel = static_cast<std::uint8_t>(t.map(pixel));
                    }
                }
                ASSERT_EQ(actual, expected) << t.name << " on " << width << " x " << height;
            }
        }
    }
}

TEST(PointTransforms, EmptyOrNegativeSizesTouchNothing)
{
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    const std::vector<std::pair<std::int32_t, std::int32_t>> sizes
        = {{0, 5}, {5, 0}, {0, 0}, {-1, 5}, {5, -1}, {-5, -5}, {kMin, 3}, {3, kMin}};
    std::mt19937 rng(4);
    for (const auto &[width, height] : sizes) {
        // Equalisation must not divide by the zero pixel count either (UBSan would report it).
        for (const Transform &t : Transforms(rng, {}, 1, 1)) {
            Bytes bytes = TestImages::RandomRows(8, 4, rng());
            const Bytes before = bytes;
            EXPECT_TRUE(t.apply(bytes.data(), width, height));
            EXPECT_EQ(bytes, before) << t.name << " on " << width << " x " << height;
        }
        EXPECT_EQ(PointKernels::CountHistogram(nullptr, width, height), GrayHistogram{});
    }
}

TEST(CountHistogram, CountsPixelsButNotPadding)
{
    for (int width = 1; width <= 67; ++width) {
        for (int height : {1, 3, 8}) {
            const Bytes rows = TestImages::RandomRows(width, height, static_cast<unsigned>(width));
            EXPECT_EQ(PointKernels::CountHistogram(rows.data(), width, height),
                      NaiveTransforms::Histogram(rows, width, height, TestImages::Stride8(width)))
                << width << " x " << height;
        }
    }
}

TEST(ApplyEqualize, WorkedExamples)
{
    // 2 x 2 image 10, 10, 20, 200; padding bytes 0xEE stay.
    Bytes small = {10, 10, 0xEE, 0xEE, 20, 200, 0xEE, 0xEE};
    EXPECT_TRUE(CDibImage::ApplyEqualize(small.data(), 2, 2));
    EXPECT_EQ(small, (Bytes{127, 127, 0xEE, 0xEE, 191, 255, 0xEE, 0xEE}));
    // One value becomes white; width 5 leaves 3 padding bytes per row.
    Bytes single(8 * 3, 0x42);
    EXPECT_TRUE(CDibImage::ApplyEqualize(single.data(), 5, 3));
    for (std::size_t i = 0; i < single.size(); ++i)
        EXPECT_EQ(single[i], i % 8 < 5 ? 255 : 0x42) << i;
}

// 9,000,000 pixels: N x 255 leaves the signed 32-bit range above 8,421,504.
TEST(ApplyEqualize, LargeImageUsesTheSameFormulaWithoutOverflow)
{
    constexpr int kSide = 3000;
    Bytes rows(std::size_t{kSide} * kSide);
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<std::uint8_t>((i * 7 + i / kSide * 13) % 251);
    const auto counts = NaiveTransforms::Histogram(rows, kSide, kSide, kSide);
    std::array<std::uint8_t, 256> table{};
    for (std::size_t g = 0; g < 256; ++g)
        table[g] = static_cast<std::uint8_t>(
            NaiveTransforms::Equalize(static_cast<int>(g), counts, kSide, kSide));
    Bytes expected = rows;
    for (auto &pixel : expected)
        pixel = table[pixel];
    EXPECT_TRUE(CDibImage::ApplyEqualize(rows.data(), kSide, kSide));
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(table[250], 255);
}
