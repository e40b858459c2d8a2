#include "PointKernels.h"

#include <algorithm>
#include <cstddef>

namespace PointKernels {

void ApplyTable(std::uint8_t *bits, std::int32_t width, std::int32_t height, const GrayTable &table)
{
    if (width <= 0 || height <= 0)
        return;
    const auto stride = static_cast<std::size_t>(GrayRowStride(width));
    const auto w = static_cast<std::size_t>(width);
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint8_t *row = bits + static_cast<std::size_t>(y) * stride;
        for (std::size_t x = 0; x < w; ++x)
            row[x] = table[row[x]];
    }
}

GrayHistogram CountHistogram(const std::uint8_t *bits, std::int32_t width, std::int32_t height)
{
    GrayHistogram histogram{};
    if (width <= 0 || height <= 0)
        return histogram;
    const auto stride = static_cast<std::size_t>(GrayRowStride(width));
    const auto w = static_cast<std::size_t>(width);
    // Four partial histograms break the store-to-load chain when neighbours share a level.
    // Their 32-bit counts are folded into the result before they could overflow.
    std::uint32_t partial[4][256] = {};
    auto fold = [&] {
        for (std::size_t g = 0; g < 256; ++g) {
            histogram[g]
                += std::uint64_t{partial[0][g]} + partial[1][g] + partial[2][g] + partial[3][g];
        }
        std::fill(&partial[0][0], &partial[0][0] + 4 * 256, 0u);
    };
    std::uint64_t pending = 0;
    for (std::int32_t y = 0; y < height; ++y) {
        if (pending + w > 0xFFFFFFFFu) {
            fold();
            pending = 0;
        }
        pending += w;
        const std::uint8_t *row = bits + static_cast<std::size_t>(y) * stride;
        std::size_t x = 0;
        for (; x + 4 <= w; x += 4) {
            ++partial[0][row[x]];
            ++partial[1][row[x + 1]];
            ++partial[2][row[x + 2]];
            ++partial[3][row[x + 3]];
        }
        for (; x < w; ++x)
            ++partial[0][row[x]];
    }
    fold();
    return histogram;
}

} // namespace PointKernels
