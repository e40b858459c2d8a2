#include "DibImage.h"
#include "NaiveTransforms.h"
#include "PointKernelPaths.h"
#include "PointKernels.h"
#include "PointTables.h"
#include "TestImages.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using PointKernels::KernelPath;
using TestImages::Bytes;
using Rule = std::function<int(int)>;
using Apply = std::function<void(std::uint8_t *)>;

namespace {

std::uint8_t U8(std::uint32_t v)
{
    return static_cast<std::uint8_t>(v);
}

Rule WindowRule(int lower, int upper)
{
    return [=](int g) { return g < lower ? 0 : (g > upper ? 255 : g); };
}

testing::AssertionResult Follows(const GrayTable &table, const Rule &rule)
{
    for (std::size_t g = 0; g < 256; ++g) {
        if (table[g] != rule(static_cast<int>(g)))
            return testing::AssertionFailure() << "input " << g << " gives " << int{table[g]};
    }
    return testing::AssertionSuccess();
}

// Rows inside random bytes, starting `skew` bytes past a 64-byte boundary, the first row
// holding every level once as far as it reaches.
class CRows
{
public:
    CRows(std::size_t width, std::size_t height, std::size_t stride, std::size_t skew,
          std::mt19937 &rng)
        : m_bytes(stride * height + 256)
        , m_nWidth(width)
        , m_nHeight(height)
        , m_nStride(stride)
    {
        std::generate(m_bytes.begin(), m_bytes.end(), [&rng] { return U8(rng()); });
        m_nAt = 64 + (64 - reinterpret_cast<std::uintptr_t>(m_bytes.data()) % 64) % 64 + skew;
        Bytes levels(256);
        std::iota(levels.begin(), levels.end(), std::uint8_t{0});
        std::shuffle(levels.begin(), levels.end(), rng);
        std::copy_n(levels.begin(), std::min<std::size_t>(width, 256), Pixels());
        m_original = m_bytes;
    }

    std::uint8_t *Pixels() { return m_bytes.data() + m_nAt; }
    const std::uint8_t *Original() const { return m_original.data() + m_nAt; }
    PointKernels::Paths::Rows Rows() { return {Pixels(), m_nWidth, m_nHeight, m_nStride}; }

    // Runs `apply` on the rows: each pixel g must become rule(g), every other byte stay.
    testing::AssertionResult Check(const Apply &apply, const Rule &rule)
    {
        std::copy(m_original.begin(), m_original.end(), m_bytes.begin());
        apply(Pixels());
        for (std::size_t i = 0; i < m_bytes.size(); ++i) {
            const std::size_t at = i - m_nAt;
            const bool pixel
                = i >= m_nAt && at / m_nStride < m_nHeight && at % m_nStride < m_nWidth;
            const int expected = pixel ? rule(m_original[i]) : m_original[i];
            if (m_bytes[i] != expected) {
                return testing::AssertionFailure()
                    << "byte " << static_cast<long>(i) - static_cast<long>(m_nAt) << " from "
                    << int{m_original[i]} << " became " << int{m_bytes[i]} << ", expected "
                    << expected;
            }
        }
        return testing::AssertionSuccess();
    }

private:
    Bytes m_bytes;
    Bytes m_original;
    std::size_t m_nWidth, m_nHeight, m_nStride, m_nAt = 0;
};

struct Transform
{
    const char *name;
    std::function<bool(std::uint8_t *, std::int32_t, std::int32_t)> apply;
    Rule rule;
};

// Every transform with parameters from `rng`, a quarter of the draws on the special tables
// (identity, constant, thresholds 0 and 255); equalisation maps by `counts`.
std::vector<Transform> Transforms(std::mt19937 &rng, const GrayHistogram &counts, int width,
                                  int height)
{
    const std::uint32_t pick = rng() % 4;
    const float slope = pick == 0 ? 1.0f
        : pick == 1               ? 0.0f
                                  : std::uniform_real_distribution<float>(-3.0f, 3.0f)(rng);
    const float intercept
        = pick == 0 ? 0.0f : std::uniform_real_distribution<float>(-200.0f, 400.0f)(rng);
    const std::uint8_t a = pick == 0 ? 0 : (pick == 1 ? 255 : U8(rng())), b = U8(rng()),
                       c = U8(rng()), d = U8(rng());
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
         WindowRule(a, b)},
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

class KernelPaths : public testing::TestWithParam<KernelPath>
{
protected:
    void SetUp() override
    {
        if (!PointKernels::CanRun(GetParam()))
            GTEST_SKIP() << "this processor has no " << PointKernels::PathName(GetParam());
        ASSERT_TRUE(PointKernels::SelectPath(GetParam()));
    }
    void TearDown() override { EXPECT_TRUE(PointKernels::SelectPath(m_previous)); }

private:
    KernelPath m_previous = PointKernels::ActivePath();
};

} // namespace

TEST(PointTables, FollowTheirRulesForAllInputs)
{
    const auto linear = [](float slope, float intercept) {
        EXPECT_TRUE(Follows(PointTables::Linear(slope, intercept),
                            [&](int g) { return NaiveTransforms::Linear(g, slope, intercept); }))
            << slope << " " << intercept;
    };
    const float inf = std::numeric_limits<float>::infinity(),
                big = std::numeric_limits<float>::max();
    const float specials[]
        = {0.0f,   -0.0f,  0.5f,    -1.0f,  2.0f,   -128.0f,
           127.5f, 254.5f, 254.49f, 255.5f, 256.0f, 0.49999997f,
           1e-40f, 1e30f,  -big,    inf,    -inf,   std::numeric_limits<float>::quiet_NaN()};
    for (float slope : specials) {
        for (float intercept : specials)
            linear(slope, intercept);
    }
    // Sums landing exactly on .5 round up.
    for (int k = -8; k <= 8; ++k) {
        for (int m = -520; m <= 520; ++m)
            linear(static_cast<float>(k) / 4, static_cast<float>(m) / 2);
    }
    std::mt19937 rng(1);
    for (int i = 0; i < 3000; ++i) {
        linear(std::uniform_real_distribution<float>(-4, 4)(rng),
               std::uniform_real_distribution<float>(-300, 300)(rng));
        linear(std::bit_cast<float>(static_cast<std::uint32_t>(rng())),
               std::bit_cast<float>(static_cast<std::uint32_t>(rng())));
    }
    for (int t = 0; t < 256; ++t)
        EXPECT_TRUE(Follows(PointTables::Threshold(U8(t)), [t](int g) { return g < t ? 0 : 255; }));
    for (int low = 0; low < 256; ++low) {
        for (int high = 0; high < 256; ++high)
            EXPECT_TRUE(Follows(PointTables::Window(U8(low), U8(high)), WindowRule(low, high)));
    }
    for (int i = 0; i < 5000; ++i) {
        const int x1 = i < 256 ? i : static_cast<int>(rng() % 256),
                  y1 = static_cast<int>(rng() % 256);
        const int x2 = i % 4 == 0
            ? 0
            : (i % 4 == 1 ? x1 : (i % 4 == 2 ? 255 : static_cast<int>(rng() % 256)));
        const int y2 = static_cast<int>(rng() % 256);
        EXPECT_TRUE(Follows(PointTables::GrayStretch(U8(x1), U8(y1), U8(x2), U8(y2)),
                            [&](int g) { return NaiveTransforms::Stretch(g, x1, y1, x2, y2); }))
            << x1 << "," << y1 << " " << x2 << "," << y2;
    }
    std::mt19937_64 rng64(5);
    for (int i = 0; i < 500; ++i) {
        // Small images and ones near the largest addressable pixel count (2^48).
        const std::uint64_t limit = i % 2 == 0 ? 20 : (1u << 24);
        const std::uint64_t width = 1 + rng64() % limit, height = 1 + rng64() % limit;
        std::vector<std::uint64_t> cuts{0, width * height};
        for (int k = 0; k < 255; ++k)
            cuts.push_back(rng64() % (width * height + 1));
        std::sort(cuts.begin(), cuts.end());
        GrayHistogram histogram{};
        for (std::size_t g = 0; g < 256; ++g)
            histogram[g] = cuts[g + 1] - cuts[g];
        EXPECT_TRUE(
            Follows(PointTables::Equalize(histogram, static_cast<std::int32_t>(width),
                                          static_cast<std::int32_t>(height)),
                    [&](int g) { return NaiveTransforms::Equalize(g, histogram, width, height); }))
            << width << " x " << height;
    }
}

TEST(PointTables, WorkedExamples)
{
    GrayHistogram counts{};
    counts[10] = 2, counts[20] = 1, counts[200] = 1;
    const std::vector<std::pair<GrayTable, std::vector<std::pair<int, int>>>> cases = {
        {PointTables::Linear(2.0f, -128.0f),
         {{0, 0}, {64, 0}, {65, 2}, {100, 72}, {191, 254}, {192, 255}}},
        {PointTables::Linear(0.5f, 0.0f), {{1, 1}, {3, 2}, {255, 128}}},
        {PointTables::Linear(0.0f, 254.5f), {{0, 255}}},
        {PointTables::Linear(0.0f, 254.49f), {{0, 254}}},
        // g x slope + intercept is 110.5 in double and a hair below it in float.
        {PointTables::Linear(0.9f, -82.1f), {{214, 111}}},
        {PointTables::Invert(), {{0, 255}, {255, 0}, {100, 155}}},
        {PointTables::Threshold(0), {{0, 255}}},
        {PointTables::Threshold(255), {{254, 0}, {255, 255}}},
        {PointTables::Window(100, 50), {{99, 0}, {100, 255}, {150, 255}}},
        {PointTables::GrayStretch(50, 30, 200, 220),
         {{25, 15}, {50, 30}, {51, 31}, {100, 93}, {199, 218}, {200, 220}, {210, 226}, {255, 255}}},
        {PointTables::GrayStretch(0, 100, 100, 200), {{0, 0}, {1, 101}, {101, 200}}},
        {PointTables::GrayStretch(100, 200, 140, 50), {{101, 197}}},
        {PointTables::GrayStretch(200, 100, 50, 150), {{200, 100}, {201, 227}}},
        {PointTables::Equalize(counts, 2, 2),
         {{9, 0}, {10, 127}, {19, 127}, {20, 191}, {200, 255}}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        for (const auto &[g, expected] : cases[i].second)
            EXPECT_EQ(cases[i].first[static_cast<std::size_t>(g)], expected) << i << ": " << g;
    }
}

TEST_P(KernelPaths, RowKernelsFollowTheirRulesAtEveryWidthStrideAndMisalignment)
{
    const auto &kernels = *PointKernels::Paths::KernelsFor(GetParam());
    std::mt19937 rng(5);
    for (std::size_t width = 1; width <= 456; ++width) {
        for (std::size_t height : {1, 2, 7}) {
            CRows rows(width, height, width + (height == 1 ? 0 : rng() % 70), width % 64, rng);
            GrayTable table{};
            std::generate(table.begin(), table.end(), [&rng] { return U8(rng()); });
            const int lower = static_cast<int>(rng() % 256), upper = static_cast<int>(rng() % 256);
            const std::string where = std::to_string(width) + " x " + std::to_string(height);
            EXPECT_TRUE(rows.Check([&](auto *) { kernels.applyTable(rows.Rows(), table.data()); },
                                   [&](int g) { return table[static_cast<std::size_t>(g)]; }))
                << "table on " << where;
            EXPECT_TRUE(rows.Check([&](auto *) { kernels.invert(rows.Rows()); },
                                   [](int g) { return 255 - g; }))
                << "invert on " << where;
            EXPECT_TRUE(
                rows.Check([&](auto *) { kernels.window(rows.Rows(), U8(lower), U8(upper)); },
                           WindowRule(lower, upper)))
                << "window " << lower << ".." << upper << " on " << where;
        }
    }
}

// The transforms as the program calls them: table, shape recognition, special kernel and all.
TEST_P(KernelPaths, TransformsAndHistogramFollowTheNaiveMappings)
{
    std::mt19937 rng(9);
    for (std::int32_t width = 1; width <= 200; ++width) {
        for (std::int32_t height : {1, 2, 5}) {
            CRows rows(static_cast<std::size_t>(width), static_cast<std::size_t>(height),
                       TestImages::Stride8(width), rng() % 64, rng);
            const auto counts = NaiveTransforms::Histogram(
                std::span(rows.Original(),
                          TestImages::Stride8(width) * static_cast<std::size_t>(height)),
                width, height, TestImages::Stride8(width));
            EXPECT_EQ(PointKernels::CountHistogram(rows.Pixels(), width, height), counts);
            for (const Transform &t : Transforms(rng, counts, width, height)) {
                EXPECT_TRUE(rows.Check(
                    [&](std::uint8_t *p) { EXPECT_TRUE(t.apply(p, width, height)); }, t.rule))
                    << t.name << " on " << width << " x " << height;
            }
        }
    }
    // Every window and threshold on a row of every level, at a misalignment changing with them.
    for (int lower = 0; lower < 256; ++lower) {
        CRows rows(256, 1, 256, static_cast<std::size_t>(lower) % 64, rng);
        EXPECT_TRUE(rows.Check([&](auto *p) { CDibImage::ApplyThreshold(p, 256, 1, U8(lower)); },
                               [&](int g) { return g < lower ? 0 : 255; }));
        for (int upper = 0; upper < 256; ++upper) {
            EXPECT_TRUE(rows.Check(
                [&](auto *p) { CDibImage::ApplyWindow(p, 256, 1, U8(lower), U8(upper)); },
                WindowRule(lower, upper)))
                << lower << ".." << upper;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    , KernelPaths, testing::Values(KernelPath::Plain, KernelPath::Avx2, KernelPath::Avx512Vbmi),
    [](const auto &info) { return std::string(PointKernels::PathName(info.param)); });

TEST(KernelPathSelection, OnlyPathsTheProcessorRunsCanBeSelected)
{
    const KernelPath previous = PointKernels::ActivePath();
    for (KernelPath path : {KernelPath::Avx512Vbmi, KernelPath::Avx2, KernelPath::Plain}) {
        const bool runs = PointKernels::CanRun(path);
        EXPECT_EQ(PointKernels::Paths::KernelsFor(path) != nullptr, runs);
        EXPECT_EQ(PointKernels::SelectPath(path), runs);
        EXPECT_EQ(PointKernels::ActivePath() == path, runs);
    }
    EXPECT_TRUE(PointKernels::SelectPath(previous));
}

// Random, constant and smooth rows (neighbours repeat) at an odd address; counts add up.
TEST(CountHistogram, EveryWayOfCountingMatchesTheNaiveCount)
{
    using Count = std::function<void(const std::uint8_t *, std::size_t, std::size_t, std::size_t,
                                     std::uint64_t *)>;
    const Count ways[] = {
        PointKernels::Paths::CountByLevels,
        [](const std::uint8_t *bits, std::size_t w, std::size_t h, std::size_t stride,
           std::uint64_t *counts) {
            ASSERT_TRUE(PointKernels::Paths::CountByPairs(bits, w, h, stride, counts));
        },
        [](const std::uint8_t *bits, std::size_t w, std::size_t h, std::size_t,
           std::uint64_t *counts) {
            const auto c = PointKernels::CountHistogram(bits, static_cast<std::int32_t>(w),
                                                        static_cast<std::int32_t>(h));
            for (std::size_t g = 0; g < 256; ++g)
                counts[g] += c[g];
        },
    };
    std::mt19937 rng(13);
    // Above about a megapixel the image's count goes by pairs.
    std::vector<std::array<std::size_t, 3>> cases = {{1001, 1049, 1004}, {1003, 1049, 1004}};
    for (std::size_t width = 1; width <= 200; ++width) {
        for (std::size_t height : {1, 2, 9})
            cases.push_back({width, height, width + rng() % 9});
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto [w, h, stride] = cases[i];
        Bytes rows(stride * h + 8);
        for (std::size_t k = 0; k < rows.size(); ++k)
            rows[k] = i % 3 == 0 ? U8(rng()) : (i % 3 == 1 ? 77 : U8(k / 5 + rng() % 2));
        const std::uint8_t *bits = rows.data() + 1;
        std::array<std::uint64_t, 256> expected{};
        for (std::size_t y = 0; y < h; ++y) {
            for (std::size_t x = 0; x < w; ++x)
                ++expected[bits[y * stride + x]];
        }
        const bool padded = stride == TestImages::Stride8(static_cast<std::int32_t>(w));
        for (std::size_t way = 0; way < (padded ? 3 : 2); ++way) {
            std::array<std::uint64_t, 256> actual{};
            actual[3] = 1000;
            ways[way](bits, w, h, stride, actual.data());
            actual[3] -= 1000;
            EXPECT_EQ(actual, expected) << way << " on " << w << " x " << h;
        }
    }
}

TEST(PointTransforms, EmptyOrNegativeSizesTouchNothing)
{
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    const std::pair<std::int32_t, std::int32_t> sizes[]
        = {{0, 5}, {5, 0}, {-1, 5}, {5, -1}, {kMin, 3}, {3, kMin}};
    std::mt19937 rng(4);
    CRows rows(8, 4, 8, 0, rng);
    for (const auto &[width, height] : sizes) {
        // Equalisation must not divide by the zero pixel count either (UBSan would report it).
        for (const Transform &t : Transforms(rng, {}, 1, 1)) {
            EXPECT_TRUE(rows.Check([&](std::uint8_t *p) { t.apply(p, width, height); },
                                   [](int g) { return g; }))
                << t.name << " on " << width << " x " << height;
        }
        EXPECT_EQ(PointKernels::CountHistogram(nullptr, width, height), GrayHistogram{});
    }
}

// 9,000,000 pixels: N x 255 leaves the signed 32-bit range above 8,421,504.
TEST(PointTransforms, EqualizingALargeImageDoesNotOverflow)
{
    constexpr int kSide = 3000;
    Bytes rows(std::size_t{kSide} * kSide);
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = U8((i * 7 + i / kSide * 13) % 251);
    const auto counts = NaiveTransforms::Histogram(rows, kSide, kSide, kSide);
    GrayTable table{};
    for (int g = 0; g < 256; ++g)
        table[static_cast<std::size_t>(g)] = U8(NaiveTransforms::Equalize(g, counts, kSide, kSide));
    Bytes expected = rows;
    for (auto &pixel : expected)
        pixel = table[pixel];
    EXPECT_TRUE(CDibImage::ApplyEqualize(rows.data(), kSide, kSide));
    EXPECT_EQ(rows, expected);
}
