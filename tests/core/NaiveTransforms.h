#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <span>

// Plain one-pixel versions of the point mappings, written from their rules, not from the core's
// code. Results are ints, so that a value outside 0..255 shows as a mismatch, not wrapped.
namespace NaiveTransforms {

// In double, rounded to float, then clamped (NaN to 0) and rounded half up. The volatile keeps
// the product from being fused with the sum.
inline int Linear(int g, float slope, float intercept)
{
    volatile double product = static_cast<double>(g) * static_cast<double>(slope);
    const float v = static_cast<float>(product + static_cast<double>(intercept));
    return v > 255.0f
        ? 255
        : (std::isnan(v) || v < 0.0f ? 0 : static_cast<int>(static_cast<double>(v) + 0.5));
}

inline int Stretch(int g, int x1, int y1, int x2, int y2)
{
    if (g <= x1)
        return x1 == 0 ? 0 : y1 * g / x1;
    if (g <= x2)
        return y1 + (y2 - y1) * (g - x1) / (x2 - x1);
    return y2 + (255 - y2) * (g - x2) / (255 - x2);
}

// 255 (g/255)^G rounded half up, in long double: far finer than the distance from any entry to
// a half for the exponents the tests give (which they check).
inline int Gamma(int g, float gamma)
{
    const long double v
        = 255 * std::pow(static_cast<long double>(g) / 255, static_cast<long double>(gamma));
    return static_cast<int>(std::floor(v + 0.5L));
}

inline std::array<std::uint64_t, 256> Histogram(std::span<const std::uint8_t> rows, int width,
                                                int height, std::size_t stride)
{
    std::array<std::uint64_t, 256> counts{};
    for (std::size_t i = 0; i < stride * static_cast<std::size_t>(std::max(height, 0)); ++i)
        counts[rows[i]] += i % stride < static_cast<std::size_t>(width);
    return counts;
}

// Each cumulative sum recomputed from level 0, then N x 255 / H / W.
inline int Equalize(int g, const std::array<std::uint64_t, 256> &counts, std::uint64_t width,
                    std::uint64_t height)
{
    std::uint64_t n = 0;
    for (int i = 0; i <= g; ++i)
        n += counts[static_cast<std::size_t>(i)];
    return static_cast<int>(n * 255 / height / width);
}

} // namespace NaiveTransforms
