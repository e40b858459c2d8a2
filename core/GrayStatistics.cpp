#include "GrayStatistics.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdlib>

namespace GrayStatistics {

namespace {

// With at most 2^40 pixels: sum of levels < 2^48, sum of squares < 2^56, and every product
// below stays within 128 bits (or 256 for the Otsu comparison).
__extension__ typedef unsigned __int128 UInt128;

// A number of up to 256 bits as eight 32-bit limbs, least significant first.
using Wide = std::array<std::uint32_t, 8>;

Wide ToWide(UInt128 value)
{
    Wide w{};
    for (std::uint32_t &limb : w) {
        limb = static_cast<std::uint32_t>(value);
        value >>= 32;
    }
    return w;
}

// The caller keeps the product below 2^256.
Wide Multiply(const Wide &a, const Wide &b)
{
    Wide product{};
    for (std::size_t i = 0; i < a.size(); ++i) {
        std::uint64_t carry = 0;
        for (std::size_t j = 0; i + j < product.size(); ++j) {
            const std::uint64_t t = std::uint64_t{a[i]} * b[j] + product[i + j] + carry;
            product[i + j] = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
    }
    return product;
}

bool Less(const Wide &a, const Wide &b)
{
    for (std::size_t i = a.size(); i-- > 0;) {
        if (a[i] != b[i])
            return a[i] < b[i];
    }
    return false;
}

UInt128 SquareRootFloor(UInt128 x)
{
    auto r = static_cast<UInt128>(std::sqrt(static_cast<long double>(x)));
    while (r * r > x)
        --r;
    while ((r + 1) * (r + 1) <= x)
        ++r;
    return r;
}

// A non-negative count of ten-thousandths as "I.FFFF".
std::string FourDecimals(std::uint64_t tenThousandths)
{
    std::string fraction = std::to_string(tenThousandths % 10000);
    return std::to_string(tenThousandths / 10000) + "." + std::string(4 - fraction.size(), '0')
        + fraction;
}

// Between-class variance of the split at t is proportional to d^2 / (n0 n1) with
// d = n1 s0 - n0 s1 (n, s: count and level sum of the classes below and from t). Compared as
// cross products, so equal variances compare equal and the smallest t wins.
unsigned Otsu(const GrayHistogram &histogram, std::uint64_t pixels, std::uint64_t sum)
{
    unsigned best = 0;
    Wide bestNumerator{};
    Wide bestDenominator = ToWide(1);
    std::uint64_t n0 = 0, s0 = 0;
    for (unsigned t = 1; t < 256; ++t) {
        n0 += histogram[t - 1];
        s0 += (t - 1) * histogram[t - 1];
        const std::uint64_t n1 = pixels - n0, s1 = sum - s0;
        if (n0 == 0 || n1 == 0)
            continue;
        const UInt128 a = UInt128{n1} * s0, b = UInt128{n0} * s1;
        const Wide d = ToWide(a > b ? a - b : b - a);
        const Wide numerator = Multiply(d, d);
        const Wide denominator = ToWide(UInt128{n0} * n1);
        if (Less(Multiply(bestNumerator, denominator), Multiply(numerator, bestDenominator))) {
            best = t;
            bestNumerator = numerator;
            bestDenominator = denominator;
        }
    }
    return best;
}

// The level of the pixel at `rank` in ascending order.
unsigned LevelAtRank(const GrayHistogram &histogram, std::uint64_t rank)
{
    std::uint64_t below = 0;
    unsigned g = 0;
    while (below + histogram[g] <= rank)
        below += histogram[g++];
    return g;
}

// The number of pixels, or nothing when there are none or more than kMaxPixels.
std::optional<std::uint64_t> CountPixels(const GrayHistogram &histogram)
{
    std::uint64_t pixels = 0;
    for (const std::uint64_t count : histogram) {
        if (count > kMaxPixels - pixels)
            return std::nullopt;
        pixels += count;
    }
    return pixels == 0 ? std::nullopt : std::optional<std::uint64_t>(pixels);
}

std::uint64_t LevelSum(const GrayHistogram &histogram)
{
    std::uint64_t sum = 0;
    for (unsigned g = 0; g < 256; ++g)
        sum += g * histogram[g];
    return sum;
}

// floor(pixels * percent / 200) for 0 <= percent < 100, from the shortest decimal of percent:
// D * 10^E with at most nine digits in D.
std::uint64_t PixelsPerEnd(std::uint64_t pixels, float percent)
{
    char text[32] = {};
    const auto written
        = std::to_chars(text, text + sizeof text - 1, percent, std::chars_format::scientific);
    *written.ptr = '\0';
    std::uint64_t digits = 0;
    int exponent = 0;
    const char *p = text;
    for (; *p != 'e'; ++p) {
        if (*p == '.')
            continue;
        digits = digits * 10 + static_cast<std::uint64_t>(*p - '0');
        if (p != text)
            --exponent; // each digit after the point
    }
    exponent += static_cast<int>(std::strtol(p + 1, nullptr, 10));
    UInt128 numerator = UInt128{pixels} * digits; // below 2^40 * 10^9
    UInt128 denominator = 200;
    for (; exponent > 0; --exponent) // percent < 100: D * 10^E stays below 100
        numerator *= 10;
    for (; exponent < 0 && denominator <= numerator; ++exponent)
        denominator *= 10;
    return exponent < 0 ? 0 : static_cast<std::uint64_t>(numerator / denominator);
}

} // namespace

std::optional<std::uint8_t> OtsuThreshold(const GrayHistogram &histogram)
{
    const std::optional<std::uint64_t> pixels = CountPixels(histogram);
    if (!pixels)
        return std::nullopt;
    return static_cast<std::uint8_t>(Otsu(histogram, *pixels, LevelSum(histogram)));
}

std::optional<LevelRange> SaturatedRange(const GrayHistogram &histogram, float percent)
{
    const std::optional<std::uint64_t> pixels = CountPixels(histogram);
    if (!pixels || !(percent >= 0 && percent < 100))
        return std::nullopt;
    const std::uint64_t cut = PixelsPerEnd(*pixels, std::fabs(percent)); // no sign for -0
    return LevelRange{static_cast<std::uint8_t>(LevelAtRank(histogram, cut)),
                      static_cast<std::uint8_t>(LevelAtRank(histogram, *pixels - 1 - cut))};
}

std::optional<std::string> Describe(const GrayHistogram &histogram)
{
    std::uint64_t pixels = 0, sum = 0, squares = 0;
    unsigned lowest = 256, highest = 0;
    for (unsigned g = 0; g < 256; ++g) {
        const std::uint64_t count = histogram[g];
        if (count == 0)
            continue;
        if (count > kMaxPixels - pixels)
            return std::nullopt;
        pixels += count;
        sum += g * count;
        squares += g * g * count;
        lowest = std::min(lowest, g);
        highest = g;
    }
    if (pixels == 0)
        return std::nullopt;

    const std::uint64_t meanScaled = sum * 10000;
    const std::uint64_t mean
        = meanScaled / pixels + (2 * (meanScaled % pixels) >= pixels ? 1u : 0u);

    // stddev * 10^4 = sqrt(10^8 (n Q - S^2)) / n, rounded up from a half exactly when
    // 4 x >= ((2k + 1) n)^2.
    const UInt128 x = (UInt128{pixels} * squares - UInt128{sum} * sum) * 100000000u;
    auto deviation = static_cast<std::uint64_t>(SquareRootFloor(x) / pixels);
    const UInt128 halfUp = UInt128{2 * deviation + 1} * pixels;
    if (4 * x >= halfUp * halfUp)
        ++deviation;

    const unsigned medianTwice
        = LevelAtRank(histogram, (pixels - 1) / 2) + LevelAtRank(histogram, pixels / 2);

    return "pixels=" + std::to_string(pixels) + " min=" + std::to_string(lowest)
        + " max=" + std::to_string(highest) + " mean=" + FourDecimals(mean) + " median="
        + std::to_string(medianTwice / 2) + (medianTwice % 2 != 0 ? ".5" : "") + " stddev="
        + FourDecimals(deviation) + " otsu=" + std::to_string(Otsu(histogram, pixels, sum));
}

} // namespace GrayStatistics
