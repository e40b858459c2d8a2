#include "DibImage.h"
#include "NaiveTransforms.h"
#include "PointKernelPaths.h"
#include "PointKernels.h"
#include "PointTables.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <functional>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

using PointKernels::KernelPath;
using TestImages::Bytes;
using Rule = std::function<int(int)>;

namespace {

struct Transform
{
    std::function<bool(std::int32_t, std::int32_t)> apply;
    Rule rule;
};

std::uint8_t U8(std::uint64_t v)
{
    return static_cast<std::uint8_t>(v);
}

Rule Window(int lower, int upper)
{
    return [=](int g) { return g < lower ? 0 : (g > upper ? 255 : g); };
}

GrayTable Naive(const Rule &rule)
{
    GrayTable table{};
    for (std::size_t g = 0; g < 256; ++g)
        table[g] = U8(static_cast<std::uint64_t>(rule(static_cast<int>(g))));
    return table;
}

// Rows `skew` bytes past a 64-byte boundary, the first holding every level once if it can.
class CRows
{
public:
    CRows(std::size_t width, std::size_t height, std::size_t skew, std::mt19937 &rng)
        : m_bytes(TestImages::Stride8(static_cast<std::int32_t>(width)) * height + 256)
        , m_nWidth(static_cast<std::int32_t>(width))
        , m_nHeight(static_cast<std::int32_t>(height))
    {
        // Two-row images are smooth (neighbours repeat), the others random.
        for (std::size_t i = 0; i < m_bytes.size(); ++i)
            m_bytes[i] = height == 2 ? U8(i / 5 + rng() % 2) : U8(rng());
        m_nAt = 64 + (64 - reinterpret_cast<std::uintptr_t>(m_bytes.data()) % 64) % 64 + skew;
        std::iota(Pixels(), Pixels() + std::min<std::size_t>(width, 256), std::uint8_t{0});
        std::shuffle(Pixels(), Pixels() + std::min<std::size_t>(width, 256), rng);
        m_original = m_bytes;
        m_counts = NaiveTransforms::Histogram(std::span(m_original).subspan(m_nAt), m_nWidth,
                                              m_nHeight, Stride());
    }

    std::size_t Stride() const { return TestImages::Stride8(m_nWidth); }
    std::uint8_t *Pixels() { return m_bytes.data() + m_nAt; }
    testing::AssertionResult Check(const std::function<void()> &apply, const Rule &rule)
    {
        m_bytes = m_original;
        apply();
        for (std::size_t i = 0; i < m_bytes.size(); ++i) {
            const std::size_t at = i - m_nAt;
            const bool pixel = i >= m_nAt && at / Stride() < static_cast<std::size_t>(m_nHeight)
                && at % Stride() < static_cast<std::size_t>(m_nWidth);
            if (m_bytes[i] != (pixel ? rule(m_original[i]) : m_original[i])) {
                return testing::AssertionFailure() << "byte " << at;
            }
        }
        return testing::AssertionSuccess();
    }

    Bytes m_bytes, m_original;
    std::int32_t m_nWidth, m_nHeight;
    std::size_t m_nAt = 0;
    GrayHistogram m_counts;
};

// A quarter of the draws land on the special tables: identity, constant, thresholds 0 and 255.
std::vector<Transform> Transforms(std::mt19937 &rng, CRows &rows)
{
    const std::uint32_t pick = rng() % 4;
    const float slope = pick < 2 ? 1.0f - static_cast<float>(pick)
                                 : std::uniform_real_distribution<float>(-3, 3)(rng);
    const float intercept = pick == 0 ? 0 : std::uniform_real_distribution<float>(-200, 400)(rng);
    const std::uint8_t a = pick < 2 ? U8(255 * pick) : U8(rng()), b = U8(rng()), c = U8(rng()),
                       d = U8(rng());
    std::uint8_t *p = rows.Pixels();
    const GrayHistogram counts = rows.m_counts;
    const auto w = static_cast<std::uint64_t>(rows.m_nWidth),
               h = static_cast<std::uint64_t>(rows.m_nHeight);
    return {
        {[=](auto x, auto y) { return CDibImage::ApplyLinear(p, x, y, slope, intercept); },
         [=](int g) { return NaiveTransforms::Linear(g, slope, intercept); }},
        {[=](auto x, auto y) { return CDibImage::ApplyLinear(p, x, y, -1, 255); },
         [](int g) { return 255 - g; }},
        {[=](auto x, auto y) { return CDibImage::ApplyThreshold(p, x, y, a); }, Window(a, a - 1)},
        {[=](auto x, auto y) { return CDibImage::ApplyWindow(p, x, y, a, b); }, Window(a, b)},
        {[=](auto x, auto y) { return CDibImage::ApplyGrayStretch(p, x, y, a, b, c, d); },
         [=](int g) { return NaiveTransforms::Stretch(g, a, b, c, d); }},
        {[=](auto x, auto y) { return CDibImage::ApplyEqualize(p, x, y); },
         [=](int g) { return NaiveTransforms::Equalize(g, counts, w, h); }}};
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
    void TearDown() override
    {
        PointKernels::SetThreadCount(0);
        EXPECT_TRUE(PointKernels::SelectPath(m_previous));
    }

private:
    KernelPath m_previous = PointKernels::ActivePath();
};

} // namespace

TEST(PointTables, LinearAndEqualizeFollowTheirRules)
{
    const auto linear = [](float slope, float intercept) {
        EXPECT_EQ(PointTables::Linear(slope, intercept),
                  Naive([&](int g) { return NaiveTransforms::Linear(g, slope, intercept); }))
            << slope << " " << intercept;
    };
    const float big = std::numeric_limits<float>::max(),
                inf = std::numeric_limits<float>::infinity();
    const float specials[]
        = {0.0f,   -0.0f,  0.5f,   -1.0f,       2.0f,  -128.0f, 127.5f, 254.5f, 254.49f,
           255.5f, 256.0f, 1e-40f, 0.49999997f, 1e30f, -big,    inf,    -inf,   std::nanf("")};
    for (float slope : specials) {
        for (float intercept : specials)
            linear(slope, intercept);
    }
    // 214 x 0.9 - 82.1 is 110.5 in double and a hair below it in float.
    EXPECT_EQ(PointTables::Linear(0.9f, -82.1f)[214], 111);
    std::mt19937_64 rng(1);
    for (int i = 0; i < 3000; ++i) {
        linear(static_cast<float>(i % 17 - 8) / 4, static_cast<float>(i % 1041 - 520) / 2);
        linear(std::uniform_real_distribution<float>(-4, 4)(rng),
               std::uniform_real_distribution<float>(-300, 300)(rng));
        linear(std::bit_cast<float>(static_cast<std::uint32_t>(rng())),
               std::bit_cast<float>(static_cast<std::uint32_t>(rng())));
        // Up to 2^48 pixels.
        const std::uint64_t limit = i % 2 == 0 ? 20 : (1u << 24);
        const std::uint64_t width = 1 + rng() % limit, height = 1 + rng() % limit;
        std::vector<std::uint64_t> cuts{0, width * height};
        for (int k = 0; k < 255; ++k)
            cuts.push_back(rng() % (width * height + 1));
        std::sort(cuts.begin(), cuts.end());
        GrayHistogram counts{};
        std::adjacent_difference(cuts.begin() + 1, cuts.end(), counts.begin());
        EXPECT_EQ(
            PointTables::Equalize(counts, static_cast<std::int32_t>(width),
                                  static_cast<std::int32_t>(height)),
            Naive([&](int g) { return NaiveTransforms::Equalize(g, counts, width, height); }));
    }
}

TEST_P(KernelPaths, TransformsAndCountsFollowTheNaiveMappings)
{
    std::mt19937 rng(9);
    for (std::size_t width = 1; width <= 456; ++width) {
        for (std::size_t height : {1, 2, 7}) {
            CRows rows(width, height, width % 64, rng);
            const auto w = static_cast<std::int32_t>(width), h = static_cast<std::int32_t>(height);
            GrayHistogram levels{}, pairs{};
            PointKernels::Paths::CountByLevels(rows.Pixels(), width, height, rows.Stride(),
                                               levels.data());
            EXPECT_TRUE(PointKernels::Paths::CountByPairs(rows.Pixels(), width, height,
                                                          rows.Stride(), pairs.data()));
            EXPECT_EQ(levels, rows.m_counts);
            EXPECT_EQ(pairs, rows.m_counts);
            EXPECT_EQ(PointKernels::CountHistogram(rows.Pixels(), w, h), rows.m_counts);
            for (const Transform &t : Transforms(rng, rows))
                EXPECT_TRUE(rows.Check([&] { EXPECT_TRUE(t.apply(w, h)); }, t.rule))
                    << w << "x" << h;
        }
    }
    // Above about a megapixel the image's count goes by pairs.
    CRows large(1001, 1049, 1, rng);
    EXPECT_EQ(PointKernels::CountHistogram(large.Pixels(), 1001, 1049), large.m_counts);
    // Equalisation must not divide by a zero pixel count either.
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    struct Size
    {
        std::int32_t width, height;
    };
    CRows rows(8, 4, 0, rng);
    for (const Size s : {Size{0, 5}, {5, 0}, {-1, 5}, {5, -1}, {kMin, 3}, {3, kMin}}) {
        SCOPED_TRACE(testing::Message() << s.width << " x " << s.height);
        for (const Transform &t : Transforms(rng, rows))
            EXPECT_TRUE(rows.Check([&] { t.apply(s.width, s.height); }, [](int g) { return g; }));
        EXPECT_EQ(PointKernels::CountHistogram(nullptr, s.width, s.height), GrayHistogram{});
    }
}

// Rows just below two bands, at them and over several, padded or not; one row longer than two
// bands. One table per kernel shape a band can be handed.
TEST_P(KernelPaths, ThreadsGiveTheBytesAndCountsOfOneThread)
{
    constexpr auto kBand = static_cast<std::int32_t>(PointKernels::Paths::kMinBandBytes);
    struct Geometry
    {
        std::int32_t width, height;
    };
    const Geometry geometries[]
        = {{1001, 2 * kBand / 1004},    {1001, 2 * kBand / 1004 + 1}, {4096, 2 * kBand / 4096},
           {999, 5 * kBand / 1000 + 7}, {2 * kBand + 4093, 1},        {2 * kBand + 4096, 1}};
    GrayTable shuffled{};
    std::iota(shuffled.begin(), shuffled.end(), std::uint8_t{0});
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(5));
    for (const Geometry &g : geometries) {
        const Bytes original = TestImages::RandomRows(g.width, g.height, 11);
        PointKernels::SetThreadCount(1);
        const GrayHistogram counts
            = PointKernels::CountHistogram(original.data(), g.width, g.height);
        for (unsigned threads : {2u, 3u}) {
            SCOPED_TRACE(testing::Message() << g.width << "x" << g.height << " on " << threads);
            PointKernels::SetThreadCount(threads);
            EXPECT_EQ(PointKernels::CountHistogram(original.data(), g.width, g.height), counts);
            for (const GrayTable &table :
                 {shuffled, PointTables::Invert(), PointTables::Window(60, 190),
                  PointTables::Threshold(0)}) {
                Bytes single = original, split = original;
                PointKernels::SetThreadCount(1);
                PointKernels::ApplyTable(single.data(), g.width, g.height, table);
                PointKernels::SetThreadCount(threads);
                PointKernels::ApplyTable(split.data(), g.width, g.height, table);
                EXPECT_TRUE(split == single) << "table[1] " << int(table[1]);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    , KernelPaths, testing::Values(KernelPath::Plain, KernelPath::Avx2, KernelPath::Avx512Vbmi),
    [](const auto &info) { return std::string(PointKernels::PathName(info.param)); });
