#pragma once

#include "PointTables.h"

#include <cstdint>

// Row kernels over 8-bit pixel rows: `height` rows of `width` pixels, each row padded to
// GrayRowStride(width) bytes, starting at `bits`. Only the first `width` bytes of a row are
// read or written; padding keeps its values. A width or height of 0 or less touches nothing.
// The caller guarantees that stride x height bytes follow `bits`.
namespace PointKernels {

[[nodiscard]] constexpr std::int64_t GrayRowStride(std::int32_t width)
{
    return ((std::int64_t{width} * 8 + 31) / 32) * 4;
}

// Replaces every pixel g by table[g].
void ApplyTable(std::uint8_t *bits, std::int32_t width, std::int32_t height,
                const GrayTable &table);

// Counts the pixels of each gray level.
[[nodiscard]] GrayHistogram CountHistogram(const std::uint8_t *bits, std::int32_t width,
                                           std::int32_t height);

} // namespace PointKernels
