// This file is compiled with floating-point contraction off, so the linear table is the
// literal two-step rule (product in double, sum in double, then float) whatever the compiler
// flags. With an 8-bit value and a float slope the product is exact in double, so a fused
// multiply-add would give the same bytes today; the flag keeps it that way if the rule's
// operands ever change.
#include "PointTables.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace PointTables {

namespace {

// ln(n / d) for 0 < n < d with a relative error of a few units in the last place: near 1 the
// quotient's own rounding would cost the digits that tell levels close to 255 apart.
double LogOfFraction(int n, int d)
{
    const double quotient = static_cast<double>(n) / d;
    return 2 * n < d ? std::log(quotient) : std::log1p(static_cast<double>(n - d) / d);
}

} // namespace

GrayTable Linear(float slope, float intercept)
{
    GrayTable table{};
    for (int g = 0; g < 256; ++g) {
        const double product = static_cast<double>(g) * static_cast<double>(slope);
        const double sum = product + static_cast<double>(intercept);
        // The sum is rounded to float only inside 0..255: outside the float range that
        // conversion is undefined. Clamping the double first gives the same bytes, since a
        // sum above 255 rounds to a float of at least 255 and a negative one to at most -0.
        std::uint8_t result = 0;
        if (sum > 255.0)
            result = 255;
        else if (sum >= 0.0) // false for NaN as well, which gives 0
            result = static_cast<std::uint8_t>(static_cast<double>(static_cast<float>(sum)) + 0.5);
        table[static_cast<std::size_t>(g)] = result;
    }
    return table;
}

GrayTable Invert()
{
    return Linear(-1.0f, 255.0f);
}

GrayTable Threshold(std::uint8_t threshold)
{
    GrayTable table{};
    for (int g = 0; g < 256; ++g)
        table[static_cast<std::size_t>(g)] = g < threshold ? 0 : 255;
    return table;
}

GrayTable Window(std::uint8_t lower, std::uint8_t upper)
{
    GrayTable table{};
    for (int g = 0; g < 256; ++g) {
        std::uint8_t result = static_cast<std::uint8_t>(g);
        if (g < lower)
            result = 0;
        else if (g > upper)
            result = 255;
        table[static_cast<std::size_t>(g)] = result;
    }
    return table;
}

GrayTable GrayStretch(std::uint8_t x1, std::uint8_t y1, std::uint8_t x2, std::uint8_t y2)
{
    GrayTable table{};
    const int ix1 = x1, iy1 = y1, ix2 = x2, iy2 = y2;
    auto set = [&table](int g, int value) {
        table[static_cast<std::size_t>(g)] = static_cast<std::uint8_t>(value);
    };

    for (int g = 0; g <= ix1; ++g)
        set(g, ix1 > 0 ? (iy1 * g) / ix1 : 0);
    for (int g = ix1 + 1; g <= ix2; ++g)
        set(g, iy1 + ((iy2 - iy1) * (g - ix1)) / (ix2 - ix1));
    // When x1 > x2 this run starts after x1 yet still uses (x2, y2); 255 - x2 > 0 whenever
    // the run is not empty.
    const int thirdStart = (ix1 > ix2 ? ix1 : ix2) + 1;
    for (int g = thirdStart; g <= 255; ++g)
        set(g, iy2 + ((255 - iy2) * (g - ix2)) / (255 - ix2));
    return table;
}

GrayTable Gamma(float gamma)
{
    assert(std::isfinite(gamma) && gamma > 0);
    // Level g becomes the number of k in 0..254 with 255 (g/255)^G >= k + 1/2, that is with
    // G ln(g/255) >= ln((2k+1)/510): comparing logarithms keeps pow() out, whose last bits
    // differ between libraries. The comparison never needs a tie rule: G is a float, p/q in
    // lowest terms, and g^p 510^q = (2k+1)^q 255^p cannot hold, the left side being even and
    // the right odd. Nor is it ever close: over every float G, every g in 1..254 and every k,
    // the two sides differ by more than 9e-14 of their size (the tests check this), while the
    // logarithms here are within a few 1e-16. So any log and log1p that are not off by
    // hundreds of units in the last place give exactly these bytes.
    std::array<double, 255> halves{}; // ln((2k+1)/510), increasing with k
    for (int k = 0; k < 255; ++k)
        halves[static_cast<std::size_t>(k)] = LogOfFraction(2 * k + 1, 510);
    GrayTable table{};
    table[255] = 255;
    for (int g = 1; g < 255; ++g) {
        const double exponent = static_cast<double>(gamma) * LogOfFraction(g, 255);
        const auto below = std::upper_bound(halves.begin(), halves.end(), exponent);
        table[static_cast<std::size_t>(g)] = static_cast<std::uint8_t>(below - halves.begin());
    }
    return table;
}

GrayTable Equalize(const GrayHistogram &histogram, std::int32_t width, std::int32_t height)
{
    GrayTable table{};
    // A block holding W x H addressable bytes keeps the running sum below 2^48, so the
    // product with 255 fits comfortably in 64 bits.
    std::uint64_t cumulative = 0;
    for (std::size_t g = 0; g < 256; ++g) {
        cumulative += histogram[g];
        const std::uint64_t scaled = cumulative * 255 / static_cast<std::uint64_t>(height)
            / static_cast<std::uint64_t>(width);
        table[g] = static_cast<std::uint8_t>(scaled);
    }
    return table;
}

} // namespace PointTables
