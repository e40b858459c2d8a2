#pragma once

#include <cstddef>
#include <cstdint>

// The row kernels behind PointKernels, one set per instruction-set path, and the shapes of
// table they have special kernels for. Internal to the core (and its tests and benchmarks).
//
// Only declarations and plain structs live here: the files defining the wide paths are compiled
// with their own target flags, and an inline function shared with them could be emitted there
// with wide instructions and then picked by the linker for every caller.
namespace PointKernels {
enum class KernelPath : std::uint8_t;
}

namespace PointKernels::Paths {

// `height` rows of `width` bytes, the first at `bits`, each `stride` bytes after the previous
// one (stride >= width). Only the first `width` bytes of each row are read or written.
struct Rows
{
    std::uint8_t *bits;
    std::size_t width;
    std::size_t height;
    std::size_t stride;
};

// One path's kernels. Each gives exactly the bytes of the plain table loop for the table it
// stands for.
struct RowKernels
{
    // g becomes table[g]; `table` holds 256 entries.
    void (*applyTable)(const Rows &rows, const std::uint8_t *table);
    // g becomes 255 - g.
    void (*invert)(const Rows &rows);
    // g < lower becomes 0, otherwise g > upper becomes 255, otherwise g stays (lower > upper
    // allowed: then every g >= lower becomes 255).
    void (*window)(const Rows &rows, std::uint8_t lower, std::uint8_t upper);
};

// What a 256-entry table does, as far as a special kernel can do it faster.
enum class Shape {
    General,  // anything else: the table kernel
    Identity, // table[g] == g: nothing to do
    Fill,     // every entry is `a`
    Invert,   // table[g] == 255 - g
    Window,   // the window rule with lower `a` and upper `b` (threshold t is window t, t - 1)
};

struct TableShape
{
    Shape shape;
    std::uint8_t a;
    std::uint8_t b;
};

// The shape of `table` (256 entries); General unless the table is exactly one of the others.
[[nodiscard]] TableShape ClassifyTable(const std::uint8_t *table);

// Adds the number of pixels of each level in `height` rows of `width` bytes, `stride` bytes
// apart from `bits` on, to counts[0..255]. By levels: one increment per pixel into one of four
// interleaved 256-entry tables. By pairs: one increment per two neighbouring pixels into a
// 65536-entry table (256 KiB, allocated for the call), folded into levels at the end; cheaper
// per pixel on large images, above all smooth ones where neighbours repeat. CountByPairs is
// false, adding nothing, when its table cannot be allocated.
void CountByLevels(const std::uint8_t *bits, std::size_t width, std::size_t height,
                   std::size_t stride, std::uint64_t *counts);
[[nodiscard]] bool CountByPairs(const std::uint8_t *bits, std::size_t width, std::size_t height,
                                std::size_t stride, std::uint64_t *counts);

// Each thread of a split call gets at least this many bytes of rows (padding included): a band
// of it takes a few hundred microseconds, against tens for starting a thread. Rows of less than
// twice this stay on the calling thread.
constexpr std::size_t kMinBandBytes = std::size_t{2} << 20;

// The kernels of `path`, or null when this processor (or this build) cannot run it.
[[nodiscard]] const RowKernels *KernelsFor(KernelPath path);

// The kernels of the plain loops, which every processor runs.
extern const RowKernels kPlainKernels;

#if defined(TONECRAFT_X86_KERNELS)
// AVX2 (32-byte registers, 16-entry byte shuffles).
extern const RowKernels kAvx2Kernels;
// AVX-512 F, BW and VBMI (64-byte registers, 128-entry byte permutes, byte masks).
extern const RowKernels kAvx512VbmiKernels;
#endif

} // namespace PointKernels::Paths
