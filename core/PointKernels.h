#pragma once

#include "DibLayout.h"
#include "PointTables.h"

#include <cstdint>

// Row kernels over 8-bit pixel rows: `height` rows of `width` pixels, each row padded to
// RowStride(width, 8) bytes, starting at `bits`. Only the first `width` bytes of a row are
// read or written; padding keeps its values. A width or height of 0 or less touches nothing.
// The caller guarantees that stride x height bytes follow `bits`. Rows may start at any address.
// Rows of several megabytes in all are split into bands of rows, one thread each, on as many
// threads as the processors this process may run on (see SetThreadCount); smaller ones stay on
// the calling thread. The bytes are the same either way. Calls from several threads at once
// are fine as long as their rows do not overlap.
namespace PointKernels {

// Replaces every pixel g by table[g].
void ApplyTable(std::uint8_t *bits, std::int32_t width, std::int32_t height,
                const GrayTable &table);

// Counts the pixels of each gray level.
[[nodiscard]] GrayHistogram CountHistogram(const std::uint8_t *bits, std::int32_t width,
                                           std::int32_t height);

// The instruction-set paths of the kernels. Every path gives the same bytes as the plain table
// loop; they differ only in speed.
enum class KernelPath : std::uint8_t {
    Plain,      // portable loops, every processor
    Avx2,       // x86-64 with AVX2
    Avx512Vbmi, // x86-64 with AVX-512 F, BW and VBMI
};

// True when this processor and this build can run `path` (always for Plain).
[[nodiscard]] bool CanRun(KernelPath path);

// The path ApplyTable and CountHistogram take: the fastest this processor runs, unless the
// environment variable TONECRAFT_KERNELS (plain, avx2 or avx512vbmi, read once at the first
// call) or SelectPath chose another it can run.
[[nodiscard]] KernelPath ActivePath();

// Makes `path` the active path for every later call from any thread. False, changing nothing,
// when this processor cannot run it. For tests and benchmarks; not meant to race with kernels.
bool SelectPath(KernelPath path);

// Makes ApplyTable and CountHistogram use at most `count` threads on one call; 0, the default,
// stands for the processors this process may run on (its affinity mask, read at each call that
// is large enough to split). For tests and benchmarks; not meant to race with kernels.
void SetThreadCount(unsigned count);

// "plain", "avx2" or "avx512vbmi".
[[nodiscard]] const char *PathName(KernelPath path);

} // namespace PointKernels
