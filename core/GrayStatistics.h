#pragma once

#include "PointTables.h"

#include <cstdint>
#include <optional>
#include <string>

// Summary statistics of a gray-level histogram, computed in integers and printed exactly.
namespace GrayStatistics {

// The most pixels Describe takes: far beyond any image that fits in memory, and small enough
// for its exact arithmetic.
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 40;

// One line "pixels=N min=A max=B mean=M median=D stddev=S otsu=T" (no newline).
// mean and stddev (the population standard deviation) are rounded to the nearest at four
// decimals; median is the middle level, or halfway between the two middle levels for an even
// count ("127" or "127.5"); otsu is the T of the threshold operation (classes g < T and g >= T)
// with the largest between-class variance, the smallest such T, so an image of one level
// gives 0. Nothing when the histogram counts no pixel or more than kMaxPixels.
[[nodiscard]] std::optional<std::string> Describe(const GrayHistogram &histogram);

// The otsu level of Describe; nothing when Describe gives nothing.
[[nodiscard]] std::optional<std::uint8_t> OtsuThreshold(const GrayHistogram &histogram);

struct LevelRange
{
    std::uint8_t low;
    std::uint8_t high;
};

// The darkest and brightest levels left after setting aside `percent` percent of the N pixels
// in all, half at each end: c = floor(N * percent / 200) pixels at each end, low the level of
// the pixel at rank c and high that of rank N - 1 - c in ascending order (ranks from 0), so
// low <= high. The float percent counts as the shortest decimal that reads back as it (0.35f
// is 0.35), and c is computed exactly from that decimal. Nothing when percent is not in
// 0 <= percent < 100 or Describe would give nothing.
[[nodiscard]] std::optional<LevelRange> SaturatedRange(const GrayHistogram &histogram,
                                                       float percent);

} // namespace GrayStatistics
