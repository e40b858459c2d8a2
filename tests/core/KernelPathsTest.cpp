#include "DibHandle.h"
#include "DibImage.h"
#include "DibLock.h"
#include "PointKernelPaths.h"
#include "PointKernels.h"
#include "PointTables.h"
#include "TestImages.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <numeric>
#include <ostream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

using PointKernels::KernelPath;
using PointKernels::Paths::RowKernels;
using PointKernels::Paths::Rows;
using PointKernels::Paths::Shape;
using PointKernels::Paths::TableShape;

namespace PointKernels {

// Test names and failure messages show the path by name.
void PrintTo(KernelPath path, std::ostream *out)
{
    *out << PathName(path);
}

} // namespace PointKernels

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr KernelPath kAllPaths[] = {KernelPath::Plain, KernelPath::Avx2, KernelPath::Avx512Vbmi};

// The reference every path must equal: the plain loop over the rows with the table.
void ApplyPlainLoop(const Rows &rows, const GrayTable &table)
{
    for (std::size_t y = 0; y < rows.height; ++y) {
        for (std::size_t x = 0; x < rows.width; ++x) {
            std::uint8_t &pixel = rows.bits[y * rows.stride + x];
            pixel = table[pixel];
        }
    }
}

// Random bytes with room for rows starting `misalignment` bytes past a 64-byte boundary and at
// least 64 bytes of guard on either side; everything outside the rows' pixels must stay as it
// was.
class CCanvas
{
public:
    CCanvas(std::size_t width, std::size_t height, std::size_t stride, std::size_t misalignment,
            std::mt19937 &rng)
        : m_bytes(64 + 64 + 64 + stride * height + 64)
        , m_nWidth(width)
        , m_nHeight(height)
        , m_nStride(stride)
    {
        std::generate(m_bytes.begin(), m_bytes.end(),
                      [&rng] { return static_cast<std::uint8_t>(rng()); });
        const auto address = reinterpret_cast<std::uintptr_t>(m_bytes.data());
        const std::size_t toBoundary = (64 - address % 64) % 64;
        m_nOffset = toBoundary + 64 + misalignment;
    }

    [[nodiscard]] Rows RowsOf(Bytes &bytes) const
    {
        return {bytes.data() + m_nOffset, m_nWidth, m_nHeight, m_nStride};
    }
    [[nodiscard]] Bytes &Original() { return m_bytes; }
    [[nodiscard]] std::uint8_t *Pixels(Bytes &bytes) const { return bytes.data() + m_nOffset; }

    // Puts `values` into the first row from its first pixel on.
    void Fill(const Bytes &values)
    {
        std::copy(values.begin(), values.end(), m_bytes.begin() + static_cast<long>(m_nOffset));
    }

private:
    Bytes m_bytes;
    std::size_t m_nWidth;
    std::size_t m_nHeight;
    std::size_t m_nStride;
    std::size_t m_nOffset = 0;
};

GrayTable RandomTable(std::mt19937 &rng)
{
    GrayTable table{};
    for (auto &entry : table)
        entry = static_cast<std::uint8_t>(rng());
    return table;
}

// The table a recognised shape stands for.
GrayTable TableOfShape(const TableShape &shape)
{
    GrayTable table{};
    for (int g = 0; g < 256; ++g) {
        int value = 0;
        switch (shape.shape) {
        case Shape::Identity:
        case Shape::General:
            value = g;
            break;
        case Shape::Fill:
            value = shape.a;
            break;
        case Shape::Invert:
            value = 255 - g;
            break;
        case Shape::Window:
            value = g < shape.a ? 0 : (g > shape.b ? 255 : g);
            break;
        }
        table[static_cast<std::size_t>(g)] = static_cast<std::uint8_t>(value);
    }
    return table;
}

// Runs `kernel` and the plain loop with `table` on a copy each of the canvas; both must give
// the same bytes everywhere, guards and padding included.
template<typename Kernel>
testing::AssertionResult SameAsPlainLoop(CCanvas &canvas, const GrayTable &table, Kernel kernel)
{
    Bytes actual = canvas.Original();
    Bytes expected = canvas.Original();
    kernel(canvas.RowsOf(actual));
    ApplyPlainLoop(canvas.RowsOf(expected), table);
    const auto mismatch = std::mismatch(actual.begin(), actual.end(), expected.begin());
    if (mismatch.first == actual.end())
        return testing::AssertionSuccess();
    const auto at = static_cast<long>(mismatch.first - actual.begin())
        - (canvas.Pixels(actual) - actual.data());
    return testing::AssertionFailure()
        << "byte " << at << " from the first pixel is " << int{*mismatch.first} << ", expected "
        << int{*mismatch.second};
}

// Every gray level once, in random order.
Bytes AllLevels(std::mt19937 &rng)
{
    Bytes levels(256);
    std::iota(levels.begin(), levels.end(), std::uint8_t{0});
    std::shuffle(levels.begin(), levels.end(), rng);
    return levels;
}

// Runs each test once per path; a path this processor cannot run is skipped.
class KernelPaths : public testing::TestWithParam<KernelPath>
{
protected:
    void SetUp() override
    {
        m_previous = PointKernels::ActivePath();
        if (!PointKernels::CanRun(GetParam()))
            GTEST_SKIP() << "this processor has no " << PointKernels::PathName(GetParam());
        ASSERT_TRUE(PointKernels::SelectPath(GetParam()));
        m_lpKernels = PointKernels::Paths::KernelsFor(GetParam());
        ASSERT_NE(m_lpKernels, nullptr);
    }

    void TearDown() override { EXPECT_TRUE(PointKernels::SelectPath(m_previous)); }

    const RowKernels *m_lpKernels = nullptr;

private:
    KernelPath m_previous = KernelPath::Plain;
};

} // namespace

TEST_P(KernelPaths, TableKernelMatchesForAllInputsAtEveryMisalignment)
{
    std::mt19937 rng(5);
    std::vector<GrayTable> tables
        = {PointTables::Invert(),        PointTables::Linear(1.0f, 0.0f),
           PointTables::Threshold(0),    PointTables::Threshold(128),
           PointTables::Window(50, 200), PointTables::GrayStretch(50, 30, 200, 220)};
    for (int i = 0; i < 4; ++i)
        tables.push_back(RandomTable(rng));
    for (std::size_t misalignment = 0; misalignment < 64; ++misalignment) {
        // 256 levels, then a random stretch so that rows end anywhere within a register.
        const std::size_t width = 256 + rng() % 200;
        CCanvas canvas(width, 1, width, misalignment, rng);
        canvas.Fill(AllLevels(rng));
        for (const GrayTable &table : tables) {
            EXPECT_TRUE(SameAsPlainLoop(
                canvas, table,
                [&](const Rows &rows) { m_lpKernels->applyTable(rows, table.data()); }))
                << "misalignment " << misalignment;
        }
    }
}

TEST_P(KernelPaths, InvertKernelMatchesForAllInputsAtEveryMisalignment)
{
    std::mt19937 rng(6);
    const GrayTable invert = PointTables::Invert();
    for (std::size_t misalignment = 0; misalignment < 64; ++misalignment) {
        const std::size_t width = 256 + rng() % 200;
        CCanvas canvas(width, 1, width, misalignment, rng);
        canvas.Fill(AllLevels(rng));
        EXPECT_TRUE(
            SameAsPlainLoop(canvas, invert, [&](const Rows &rows) { m_lpKernels->invert(rows); }))
            << "misalignment " << misalignment;
    }
}

// All 65536 limit pairs on a row holding every level, at a misalignment that changes with the
// pair; the bytes on either side of the row must keep their values.
TEST_P(KernelPaths, WindowKernelMatchesForAllInputsAndEveryLimitPair)
{
    std::mt19937 rng(7);
    constexpr std::uint8_t kGuard = 0xA5;
    Bytes buffer(64 + 64 + 256 + 64, kGuard);
    const auto address = reinterpret_cast<std::uintptr_t>(buffer.data());
    const std::size_t boundary = 64 + (64 - address % 64) % 64;
    for (int lower = 0; lower < 256; ++lower) {
        const Bytes levels = AllLevels(rng);
        for (int upper = 0; upper < 256; ++upper) {
            const std::size_t offset = boundary + static_cast<std::size_t>(lower + upper) % 64;
            std::copy(levels.begin(), levels.end(), buffer.begin() + static_cast<long>(offset));
            m_lpKernels->window({buffer.data() + offset, 256, 1, 256},
                                static_cast<std::uint8_t>(lower), static_cast<std::uint8_t>(upper));
            for (std::size_t x = 0; x < 256; ++x) {
                const int g = levels[x];
                const int expected = g < lower ? 0 : (g > upper ? 255 : g);
                ASSERT_EQ(buffer[offset + x], expected)
                    << "level " << g << ", window " << lower << ".." << upper;
            }
            ASSERT_EQ(buffer[offset - 1], kGuard) << "window " << lower << ".." << upper;
            ASSERT_EQ(buffer[offset + 256], kGuard) << "window " << lower << ".." << upper;
            std::fill(buffer.begin(), buffer.end(), kGuard);
        }
    }
}

TEST_P(KernelPaths, KernelsMatchOnRandomRowsOfAnyWidthStrideAndMisalignment)
{
    std::mt19937 rng(8);
    for (std::size_t width = 1; width <= 200; ++width) {
        for (std::size_t height : {1, 2, 3, 7}) {
            const std::size_t stride = width + rng() % 70;
            CCanvas canvas(width, height, stride, rng() % 64, rng);
            const GrayTable table = RandomTable(rng);
            const auto lower = static_cast<std::uint8_t>(rng());
            const auto upper = static_cast<std::uint8_t>(rng());
            const std::string where = std::to_string(width) + " x " + std::to_string(height)
                + ", stride " + std::to_string(stride);
            EXPECT_TRUE(SameAsPlainLoop(
                canvas, table,
                [&](const Rows &rows) { m_lpKernels->applyTable(rows, table.data()); }))
                << "table on " << where;
            EXPECT_TRUE(SameAsPlainLoop(canvas, PointTables::Invert(),
                                        [&](const Rows &rows) { m_lpKernels->invert(rows); }))
                << "invert on " << where;
            EXPECT_TRUE(
                SameAsPlainLoop(canvas, PointTables::Window(lower, upper),
                                [&](const Rows &rows) { m_lpKernels->window(rows, lower, upper); }))
                << "window " << int{lower} << ".." << int{upper} << " on " << where;
        }
    }
}

// The transforms as the program calls them, on the selected path: table, shape recognition,
// special kernel and all.
TEST_P(KernelPaths, TransformsAndHistogramMatchThePlainTableLoop)
{
    ASSERT_EQ(PointKernels::ActivePath(), GetParam());
    std::mt19937 rng(9);
    for (std::int32_t width = 1; width <= 200; ++width) {
        for (std::int32_t height : {1, 2, 5}) {
            const auto stride = TestImages::Stride8(width);
            CCanvas canvas(static_cast<std::size_t>(width), static_cast<std::size_t>(height),
                           stride, rng() % 64, rng);
            const Rows original = canvas.RowsOf(canvas.Original());

            // Some draws land on the special shapes: identity, constant, thresholds 0 and 255.
            const int pick = static_cast<int>(rng() % 4);
            const float slope = pick == 0
                ? 1.0f
                : (pick == 1 ? 0.0f : std::uniform_real_distribution<float>(-3.0f, 3.0f)(rng));
            const float intercept
                = pick == 0 ? 0.0f : std::uniform_real_distribution<float>(-200.0f, 400.0f)(rng);
            const auto a = static_cast<std::uint8_t>(pick == 0 ? 0 : (pick == 1 ? 255 : rng()));
            const auto b = static_cast<std::uint8_t>(rng()), c = static_cast<std::uint8_t>(rng()),
                       d = static_cast<std::uint8_t>(rng());

            const GrayHistogram counts = PointKernels::CountHistogram(original.bits, width, height);
            std::array<std::uint64_t, 256> naiveCounts{};
            for (std::size_t y = 0; y < original.height; ++y) {
                for (std::size_t x = 0; x < original.width; ++x)
                    ++naiveCounts[original.bits[y * stride + x]];
            }
            ASSERT_EQ(counts, naiveCounts) << width << " x " << height;

            using Apply = std::function<void(std::uint8_t *)>;
            const std::vector<std::tuple<const char *, GrayTable, Apply>> transforms = {
                {"linear", PointTables::Linear(slope, intercept),
                 [&](std::uint8_t *p) {
                     CDibImage::ApplyLinear(p, width, height, slope, intercept);
                 }},
                {"invert", PointTables::Invert(),
                 [&](std::uint8_t *p) { CDibImage::ApplyLinear(p, width, height, -1.0f, 255.0f); }},
                {"threshold", PointTables::Threshold(a),
                 [&](std::uint8_t *p) { CDibImage::ApplyThreshold(p, width, height, a); }},
                {"window", PointTables::Window(a, b),
                 [&](std::uint8_t *p) { CDibImage::ApplyWindow(p, width, height, a, b); }},
                {"stretch", PointTables::GrayStretch(a, b, c, d),
                 [&](std::uint8_t *p) {
                     CDibImage::ApplyGrayStretch(p, width, height, a, b, c, d);
                 }},
                {"equalize", PointTables::Equalize(naiveCounts, width, height),
                 [&](std::uint8_t *p) { CDibImage::ApplyEqualize(p, width, height); }},
            };
            for (const auto &[name, table, apply] : transforms) {
                EXPECT_TRUE(
                    SameAsPlainLoop(canvas, table, [&](const Rows &rows) { apply(rows.bits); }))
                    << name << " on " << width << " x " << height;
            }
        }
    }
}

TEST_P(KernelPaths, LongRowsAndWholeBlocksWithoutPadding)
{
    // Widths that are multiples of 4 have no padding: the rows are then processed as one run.
    std::mt19937 rng(10);
    for (std::int32_t width : {4, 64, 1000, 4096, 10004}) {
        const std::int32_t height = 37;
        const auto stride = TestImages::Stride8(width);
        CCanvas canvas(static_cast<std::size_t>(width), static_cast<std::size_t>(height), stride,
                       rng() % 64, rng);
        const GrayTable stretch = PointTables::GrayStretch(10, 200, 100, 20);
        EXPECT_TRUE(SameAsPlainLoop(canvas, stretch, [&](const Rows &rows) {
            CDibImage::ApplyGrayStretch(rows.bits, width, height, 10, 200, 100, 20);
        })) << width;
        EXPECT_TRUE(SameAsPlainLoop(canvas, PointTables::Threshold(77), [&](const Rows &rows) {
            CDibImage::ApplyThreshold(rows.bits, width, height, 77);
        })) << width;
    }
}

INSTANTIATE_TEST_SUITE_P(, KernelPaths, testing::ValuesIn(kAllPaths),
                         [](const testing::TestParamInfo<KernelPath> &info) {
                             return std::string(PointKernels::PathName(info.param));
                         });

TEST(KernelPathSelection, OnlyPathsTheProcessorRunsCanBeSelected)
{
    const KernelPath previous = PointKernels::ActivePath();
    EXPECT_TRUE(PointKernels::CanRun(KernelPath::Plain));
    EXPECT_TRUE(PointKernels::CanRun(previous));
    for (KernelPath path : kAllPaths) {
        const bool runs = PointKernels::CanRun(path);
        EXPECT_EQ(PointKernels::Paths::KernelsFor(path) != nullptr, runs);
        EXPECT_EQ(PointKernels::SelectPath(path), runs) << PointKernels::PathName(path);
        if (!runs)
            EXPECT_NE(PointKernels::ActivePath(), path);
        else
            EXPECT_EQ(PointKernels::ActivePath(), path);
    }
    EXPECT_TRUE(PointKernels::SelectPath(previous));
}

// A shape other than General must stand for exactly the table it came from: the special kernels
// are only as right as this recognition.
TEST(TableShapes, RecognisedShapesStandForExactlyTheirTable)
{
    auto check = [](const GrayTable &table) {
        const TableShape shape = PointKernels::Paths::ClassifyTable(table.data());
        if (shape.shape == Shape::General)
            return shape;
        EXPECT_EQ(TableOfShape(shape), table)
            << "shape " << int(shape.shape) << " " << int{shape.a} << " " << int{shape.b};
        return shape;
    };
    for (int t = 0; t < 256; ++t) {
        const TableShape shape = check(PointTables::Threshold(static_cast<std::uint8_t>(t)));
        EXPECT_EQ(shape.shape, t == 0 ? Shape::Fill : Shape::Window) << t;
    }
    for (int lower = 0; lower < 256; ++lower) {
        for (int upper = 0; upper < 256; ++upper) {
            const TableShape shape = check(PointTables::Window(static_cast<std::uint8_t>(lower),
                                                               static_cast<std::uint8_t>(upper)));
            EXPECT_NE(shape.shape, Shape::General) << lower << ".." << upper;
        }
    }
    EXPECT_EQ(check(PointTables::Invert()).shape, Shape::Invert);
    EXPECT_EQ(check(PointTables::Linear(1.0f, 0.0f)).shape, Shape::Identity);
    EXPECT_EQ(check(PointTables::Linear(0.0f, 100.0f)).shape, Shape::Fill);
    EXPECT_EQ(check(PointTables::GrayStretch(50, 30, 200, 220)).shape, Shape::General);

    std::mt19937 rng(12);
    std::uniform_real_distribution<float> slopes(-3.0f, 3.0f), intercepts(-300.0f, 300.0f);
    for (int i = 0; i < 2000; ++i) {
        check(PointTables::Linear(slopes(rng), intercepts(rng)));
        check(PointTables::GrayStretch(
            static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
            static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng())));
        // Special tables with one entry changed are no longer special (or another shape).
        for (GrayTable table : {PointTables::Window(static_cast<std::uint8_t>(rng()),
                                                    static_cast<std::uint8_t>(rng())),
                                PointTables::Invert(), PointTables::Linear(1.0f, 0.0f)}) {
            table[rng() % 256] = static_cast<std::uint8_t>(rng());
            check(table);
        }
        check(RandomTable(rng));
    }
}

using CountFunction = std::function<void(const std::uint8_t *, std::size_t, std::size_t,
                                         std::size_t, std::uint64_t *)>;

// Both ways of counting, on random, constant and smooth rows (where neighbours repeat) of every
// width 1..200, with random strides; counts are added to what is there already.
TEST(CountHistogram, ByLevelsAndByPairsMatchTheNaiveCount)
{
    const std::vector<std::pair<const char *, CountFunction>> ways = {
        {"levels", PointKernels::Paths::CountByLevels},
        {"pairs",
         [](const std::uint8_t *bits, std::size_t w, std::size_t h, std::size_t stride,
            std::uint64_t *counts) {
             ASSERT_TRUE(PointKernels::Paths::CountByPairs(bits, w, h, stride, counts));
         }},
    };
    std::mt19937 rng(13);
    for (std::size_t width = 1; width <= 200; ++width) {
        for (std::size_t height : {1, 2, 9}) {
            const std::size_t stride = width + rng() % 9;
            Bytes rows(stride * height + 8);
            const int kind = static_cast<int>(width % 3);
            for (std::size_t i = 0; i < rows.size(); ++i) {
                const auto random = static_cast<std::uint8_t>(rng());
                rows[i] = kind == 0 ? random
                                    : (kind == 1 ? std::uint8_t{77}
                                                 : static_cast<std::uint8_t>(i / 5 + random % 2));
            }
            // The rows start at an odd address.
            const std::uint8_t *bits = rows.data() + 1;
            std::array<std::uint64_t, 256> expected{};
            expected[3] = 1000;
            for (std::size_t y = 0; y < height; ++y) {
                for (std::size_t x = 0; x < width; ++x)
                    ++expected[bits[y * stride + x]];
            }
            for (const auto &[name, count] : ways) {
                std::array<std::uint64_t, 256> actual{};
                actual[3] = 1000;
                count(bits, width, height, stride, actual.data());
                EXPECT_EQ(actual, expected) << name << " on " << width << " x " << height;
            }
        }
    }
}

// Above about a megapixel CountHistogram counts by pairs.
TEST(CountHistogram, LargeImagesWithOddWidths)
{
    std::mt19937 rng(14);
    for (std::int32_t width : {1001, 1002, 1003, 1004}) {
        const std::int32_t height = 1049;
        const auto stride = TestImages::Stride8(width);
        Bytes rows(stride * static_cast<std::size_t>(height));
        for (std::size_t i = 0; i < rows.size(); ++i)
            rows[i] = static_cast<std::uint8_t>(width == 1003 ? i / 4099 : rng());
        std::array<std::uint64_t, 256> expected{};
        for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
            for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x)
                ++expected[rows[y * stride + x]];
        }
        EXPECT_EQ(PointKernels::CountHistogram(rows.data(), width, height), expected) << width;
    }
}

// Blocks of a huge page and more are mapped separately; they must keep every promise of the
// small ones.
TEST(DibHandle, LargeBlocksAreZeroedWritableAndAligned)
{
    for (std::uint64_t size :
         {(std::uint64_t{2} << 20) - 1, std::uint64_t{2} << 20, (std::uint64_t{3} << 20) + 1078}) {
        DibHandle block = DibHandle::Allocate(size);
        ASSERT_FALSE(block.IsNull()) << size;
        EXPECT_EQ(block.Size(), size);
        {
            DibLock lock(block);
            const std::uint8_t *data = lock.Data();
            EXPECT_TRUE(std::all_of(data, data + size, [](std::uint8_t b) { return b == 0; }));
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) % 16, 0u);
#if defined(__linux__)
            // Huge-page aligned, so that the kernel can back the block with huge pages.
            if (size >= std::uint64_t{2} << 20) {
                EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) % (std::uint64_t{2} << 20), 0u);
            }
#endif
            std::fill(lock.Data(), lock.Data() + size, std::uint8_t{0x5A});
            EXPECT_EQ(lock.Data()[size - 1], 0x5A);
        }
        DibHandle moved = std::move(block);
        EXPECT_TRUE(block.IsNull());
        EXPECT_EQ(moved.Size(), size);
        moved.Reset();
        EXPECT_TRUE(moved.IsNull());
    }
}
