#include "PointKernels.h"

#include "PointKernelPaths.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string_view>
#include <thread>

#if defined(__linux__)
#include <sched.h>
#endif

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

// 0 for the processors this process may run on.
std::atomic<unsigned> &ThreadLimit()
{
    static std::atomic<unsigned> limit{0};
    return limit;
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

void SetThreadCount(unsigned count)
{
    ThreadLimit().store(count, std::memory_order_relaxed);
}

namespace {

Paths::Rows RowsOf(std::uint8_t *bits, std::int32_t width, std::int32_t height)
{
    Paths::Rows rows{bits, static_cast<std::size_t>(width), static_cast<std::size_t>(height),
                     static_cast<std::size_t>(RowStride(static_cast<std::uint32_t>(width), 8))};
    // Rows without padding are one run: no row ends to peel.
    if (rows.stride == rows.width) {
        rows.width *= rows.height;
        rows.height = 1;
        rows.stride = rows.width;
    }
    return rows;
}

unsigned UsableProcessors()
{
#if defined(__linux__)
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0)
        return static_cast<unsigned>(std::max(1, CPU_COUNT(&set)));
#endif
    return std::max(1u, std::thread::hardware_concurrency());
}

// How many bands to split `rows` into: 1 below two bands' worth of bytes, which is all a small
// call pays for (no system call, no thread).
std::size_t BandCount(const Paths::Rows &rows)
{
    const std::size_t most = rows.stride * rows.height / Paths::kMinBandBytes;
    if (most < 2)
        return 1;
    const unsigned limit = ThreadLimit().load(std::memory_order_relaxed);
    const std::size_t threads = limit != 0 ? limit : UsableProcessors();
    return std::min({most, threads, rows.height == 1 ? most : rows.height});
}

// Band `index` of `count`: whole rows, or for one long run whole 64-byte pieces of it, so that
// the bands start as aligned as the run does and no two threads share a cache line.
Paths::Rows Band(const Paths::Rows &rows, std::size_t index, std::size_t count)
{
    if (rows.height == 1) {
        const std::size_t share = (rows.width / count + 63) & ~std::size_t{63};
        const std::size_t begin = std::min(rows.width, index * share);
        const std::size_t end
            = index + 1 == count ? rows.width : std::min(rows.width, begin + share);
        return {rows.bits + begin, end - begin, 1, rows.stride};
    }
    const std::size_t first = rows.height * index / count;
    const std::size_t last = rows.height * (index + 1) / count;
    return {rows.bits + first * rows.stride, rows.width, last - first, rows.stride};
}

// Calls work(band, index) for each of the `count` bands of `rows`, band 0 on the calling
// thread and each other one on a thread of its own, and returns when all are done. Threads are
// started per call: against a band of at least kMinBandBytes their start costs little, and a
// pool would keep threads alive in every program that ever called a kernel. When a thread
// cannot be started (out of memory or of threads) the calling thread does its band.
template<typename Work> void RunInBands(const Paths::Rows &rows, std::size_t count, Work work)
{
    const std::unique_ptr<std::thread[]> helpers(new (std::nothrow) std::thread[count - 1]);
    std::size_t started = 0;
    try {
        while (helpers && started + 1 < count) {
            helpers[started] = std::thread(work, Band(rows, started + 1, count), started + 1);
            ++started;
        }
    } catch (const std::exception &) { // std::system_error, or std::bad_alloc for its state
        // No thread to spare: the calling thread does the bands left over.
    }
    work(Band(rows, 0, count), std::size_t{0});
    for (std::size_t index = started + 1; index < count; ++index)
        work(Band(rows, index, count), index);
    for (std::size_t index = 0; index < started; ++index)
        helpers[index].join();
}

void ApplyShape(const Paths::RowKernels &kernels, const Paths::TableShape &shape,
                const GrayTable &table, const Paths::Rows &rows)
{
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

void CountRows(const Paths::Rows &rows, std::uint64_t *counts)
{
    // Below about a megapixel the pair table's set-up and folding would cost more than it saves.
    constexpr std::uint64_t kPairsFrom = std::uint64_t{1} << 20;
    if (std::uint64_t{rows.width} * rows.height < kPairsFrom
        || !Paths::CountByPairs(rows.bits, rows.width, rows.height, rows.stride, counts))
        Paths::CountByLevels(rows.bits, rows.width, rows.height, rows.stride, counts);
}

} // namespace

void ApplyTable(std::uint8_t *bits, std::int32_t width, std::int32_t height, const GrayTable &table)
{
    if (width <= 0 || height <= 0)
        return;
    const Paths::Rows rows = RowsOf(bits, width, height);
    const Paths::TableShape shape = Paths::ClassifyTable(table.data());
    if (shape.shape == Paths::Shape::Identity)
        return;
    const RowKernels &kernels = *Paths::KernelsFor(ActivePath());
    const std::size_t bands = BandCount(rows);
    if (bands == 1) {
        ApplyShape(kernels, shape, table, rows);
        return;
    }
    RunInBands(rows, bands, [&kernels, &shape, &table](const Paths::Rows &band, std::size_t) {
        ApplyShape(kernels, shape, table, band);
    });
}

GrayHistogram CountHistogram(const std::uint8_t *bits, std::int32_t width, std::int32_t height)
{
    GrayHistogram histogram{};
    if (width <= 0 || height <= 0)
        return histogram;
    // The rows are only read; the band geometry is shared with ApplyTable.
    const Paths::Rows rows = RowsOf(const_cast<std::uint8_t *>(bits), width, height);
    std::size_t bands = BandCount(rows);
    const std::unique_ptr<GrayHistogram[]> partial(
        bands > 1 ? new (std::nothrow) GrayHistogram[bands - 1]() : nullptr);
    if (!partial)
        bands = 1;
    if (bands == 1) {
        CountRows(rows, histogram.data());
        return histogram;
    }
    RunInBands(rows, bands, [&histogram, &partial](const Paths::Rows &band, std::size_t index) {
        CountRows(band, (index == 0 ? histogram : partial[index - 1]).data());
    });
    for (std::size_t index = 0; index + 1 < bands; ++index) {
        for (std::size_t g = 0; g < 256; ++g)
            histogram[g] += partial[index][g];
    }
    return histogram;
}

} // namespace PointKernels
