#include "PointKernels.h"

#include "PointKernelPaths.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

namespace PointKernels {

namespace Paths {

namespace {

// Each kernel copies the row geometry into locals first: its byte stores could otherwise alias
// the fields of `rows`, which would then be reloaded for every pixel and keep the compiler from
// vectorising the loop.
void PlainTable(const Rows &rows, const std::uint8_t *table)
{
    const std::size_t width = rows.width, height = rows.height, stride = rows.stride;
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t *row = rows.bits + y * stride;
        for (std::size_t x = 0; x < width; ++x)
            row[x] = table[row[x]];
    }
}

// The compiler vectorises these two with whatever the baseline instruction set offers.
void PlainInvert(const Rows &rows)
{
    const std::size_t width = rows.width, height = rows.height, stride = rows.stride;
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t *row = rows.bits + y * stride;
        for (std::size_t x = 0; x < width; ++x)
            row[x] = static_cast<std::uint8_t>(~row[x]);
    }
}

void PlainWindow(const Rows &rows, std::uint8_t lower, std::uint8_t upper)
{
    const std::size_t width = rows.width, height = rows.height, stride = rows.stride;
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t *row = rows.bits + y * stride;
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint8_t g = row[x];
            const std::uint8_t kept = g > upper ? std::uint8_t{255} : g;
            row[x] = g < lower ? std::uint8_t{0} : kept;
        }
    }
}

} // namespace

const RowKernels kPlainKernels{PlainTable, PlainInvert, PlainWindow};

TableShape ClassifyTable(const std::uint8_t *table)
{
    bool fill = true, identity = true, invert = true;
    for (int g = 0; g < 256; ++g) {
        const int value = table[g];
        fill = fill && value == table[0];
        identity = identity && value == g;
        invert = invert && value == 255 - g;
    }
    if (fill)
        return {Shape::Fill, table[0], 0};
    if (identity)
        return {Shape::Identity, 0, 0};
    if (invert)
        return {Shape::Invert, 0, 0};

    // Not constant, so some entry is not 0 and some entry is not 255. Several limit pairs can
    // give the same table (0 stays 0 with lower 0 or 1); the candidates are the first level
    // that does not become 0 and the last that does not become 255, and the window rule with
    // them must then give every entry.
    int lower = 0;
    while (table[lower] == 0)
        ++lower;
    int upper = 255;
    while (table[upper] == 255)
        --upper;
    for (int g = 0; g < 256; ++g) {
        const int expected = g < lower ? 0 : (g > upper ? 255 : g);
        if (table[g] != expected)
            return {Shape::General, 0, 0};
    }
    return {Shape::Window, static_cast<std::uint8_t>(lower), static_cast<std::uint8_t>(upper)};
}

void CountByLevels(const std::uint8_t *bits, std::size_t width, std::size_t height,
                   std::size_t stride, std::uint64_t *counts)
{
    // Four partial histograms break the store-to-load chain when neighbours share a level.
    // Their 32-bit counts are folded into the result before they could overflow.
    std::uint32_t partial[4][256] = {};
    auto fold = [&] {
        for (std::size_t g = 0; g < 256; ++g) {
            counts[g]
                += std::uint64_t{partial[0][g]} + partial[1][g] + partial[2][g] + partial[3][g];
        }
        std::fill(&partial[0][0], &partial[0][0] + 4 * 256, 0u);
    };
    std::uint64_t pending = 0;
    for (std::size_t y = 0; y < height; ++y) {
        if (pending + width > 0xFFFFFFFFu) {
            fold();
            pending = 0;
        }
        pending += width;
        const std::uint8_t *row = bits + y * stride;
        std::size_t x = 0;
        for (; x + 4 <= width; x += 4) {
            ++partial[0][row[x]];
            ++partial[1][row[x + 1]];
            ++partial[2][row[x + 2]];
            ++partial[3][row[x + 3]];
        }
        for (; x < width; ++x)
            ++partial[0][row[x]];
    }
    fold();
}

bool CountByPairs(const std::uint8_t *bits, std::size_t width, std::size_t height,
                  std::size_t stride, std::uint64_t *counts)
{
    constexpr std::size_t kPairs = 65536;
    const std::unique_ptr<std::uint32_t[]> pairs(new (std::nothrow) std::uint32_t[kPairs]());
    if (!pairs)
        return false;
    // Entry a + 256 b counts the pairs of levels a and b (in either order; each counts both of
    // its pixels). Folding adds each row of the table to one level and each column to another.
    auto fold = [&](bool more) {
        std::uint64_t columns[256] = {};
        for (std::size_t b = 0; b < 256; ++b) {
            const std::uint32_t *line = pairs.get() + 256 * b;
            std::uint64_t sum = 0;
            for (std::size_t a = 0; a < 256; ++a) {
                sum += line[a];
                columns[a] += line[a];
            }
            counts[b] += sum;
        }
        for (std::size_t a = 0; a < 256; ++a)
            counts[a] += columns[a];
        if (more)
            std::fill(pairs.get(), pairs.get() + kPairs, 0u);
    };
    std::uint64_t pending = 0;
    for (std::size_t y = 0; y < height; ++y) {
        if (pending + width / 2 > 0xFFFFFFFFu) {
            fold(true);
            pending = 0;
        }
        pending += width / 2;
        const std::uint8_t *row = bits + y * stride;
        std::size_t x = 0;
        // Four pairs from each eight bytes, two words at a time so that more increments are in
        // flight; the byte order of a word does not matter, as both pixels of a pair count.
        for (; x + 16 <= width; x += 16) {
            std::uint64_t first = 0, second = 0;
            std::memcpy(&first, row + x, 8);
            std::memcpy(&second, row + x + 8, 8);
            for (int shift = 0; shift < 64; shift += 16) {
                ++pairs[(first >> shift) & 0xFFFF];
                ++pairs[(second >> shift) & 0xFFFF];
            }
        }
        for (; x + 8 <= width; x += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, row + x, 8);
            for (int shift = 0; shift < 64; shift += 16)
                ++pairs[(word >> shift) & 0xFFFF];
        }
        for (; x + 2 <= width; x += 2)
            ++pairs[row[x] | std::size_t{row[x + 1]} << 8];
        if (x < width)
            ++counts[row[x]];
    }
    fold(false);
    return true;
}

} // namespace Paths

namespace {

using Paths::RowKernels;

bool ProcessorRuns(KernelPath path)
{
    switch (path) {
    case KernelPath::Plain:
        return true;
#if defined(TONECRAFT_X86_KERNELS)
    case KernelPath::Avx2:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2");
    case KernelPath::Avx512Vbmi:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")
            && __builtin_cpu_supports("avx512vbmi");
#endif
    default:
        return false;
    }
}

constexpr KernelPath kAllPaths[] = {KernelPath::Plain, KernelPath::Avx2, KernelPath::Avx512Vbmi};

KernelPath InitialPath()
{
    if (const char *named = std::getenv("TONECRAFT_KERNELS")) {
        for (KernelPath path : kAllPaths) {
            if (std::string_view(named) == PathName(path) && ProcessorRuns(path))
                return path;
        }
    }
    KernelPath best = KernelPath::Plain;
    for (KernelPath path : kAllPaths) {
        if (ProcessorRuns(path))
            best = path;
    }
    return best;
}

std::atomic<KernelPath> &Active()
{
    static std::atomic<KernelPath> active{InitialPath()};
    return active;
}

} // namespace

const RowKernels *Paths::KernelsFor(KernelPath path)
{
    if (!ProcessorRuns(path))
        return nullptr;
    switch (path) {
    case KernelPath::Plain:
        return &kPlainKernels;
#if defined(TONECRAFT_X86_KERNELS)
    case KernelPath::Avx2:
        return &kAvx2Kernels;
    case KernelPath::Avx512Vbmi:
        return &kAvx512VbmiKernels;
#endif
    default:
        return nullptr;
    }
}

bool CanRun(KernelPath path)
{
    return ProcessorRuns(path);
}

KernelPath ActivePath()
{
    return Active().load(std::memory_order_relaxed);
}

bool SelectPath(KernelPath path)
{
    if (!ProcessorRuns(path))
        return false;
    Active().store(path, std::memory_order_relaxed);
    return true;
}

const char *PathName(KernelPath path)
{
    switch (path) {
    case KernelPath::Plain:
        return "plain";
    case KernelPath::Avx2:
        return "avx2";
    case KernelPath::Avx512Vbmi:
        return "avx512vbmi";
    }
    return "unknown";
}

void ApplyTable(std::uint8_t *bits, std::int32_t width, std::int32_t height, const GrayTable &table)
{
    if (width <= 0 || height <= 0)
        return;
    Paths::Rows rows{bits, static_cast<std::size_t>(width), static_cast<std::size_t>(height),
                     static_cast<std::size_t>(RowStride(static_cast<std::uint32_t>(width), 8))};
    // Rows without padding are one run: no row ends to peel.
    if (rows.stride == rows.width) {
        rows.width *= rows.height;
        rows.height = 1;
        rows.stride = rows.width;
    }
    const Paths::TableShape shape = Paths::ClassifyTable(table.data());
    const RowKernels &kernels = *Paths::KernelsFor(ActivePath());
    switch (shape.shape) {
    case Paths::Shape::Identity:
        return;
    case Paths::Shape::Fill:
        for (std::size_t y = 0; y < rows.height; ++y)
            std::memset(rows.bits + y * rows.stride, shape.a, rows.width);
        return;
    case Paths::Shape::Invert:
        kernels.invert(rows);
        return;
    case Paths::Shape::Window:
        kernels.window(rows, shape.a, shape.b);
        return;
    case Paths::Shape::General:
        kernels.applyTable(rows, table.data());
        return;
    }
}

GrayHistogram CountHistogram(const std::uint8_t *bits, std::int32_t width, std::int32_t height)
{
    GrayHistogram histogram{};
    if (width <= 0 || height <= 0)
        return histogram;
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    const auto stride = static_cast<std::size_t>(RowStride(w, 8));
    // Below about a megapixel the pair table's set-up and folding would cost more than it saves.
    constexpr std::uint64_t kPairsFrom = std::uint64_t{1} << 20;
    if (std::uint64_t{w} * h < kPairsFrom
        || !Paths::CountByPairs(bits, w, h, stride, histogram.data()))
        Paths::CountByLevels(bits, w, h, stride, histogram.data());
    return histogram;
}

} // namespace PointKernels
