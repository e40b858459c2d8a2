#pragma once

#include <array>
#include <cstdint>

// A gray-level point operation as a table: new value = table[old value].
using GrayTable = std::array<std::uint8_t, 256>;

// Pixel counts per gray level.
using GrayHistogram = std::array<std::uint64_t, 256>;

namespace PointTables {

// g * slope + intercept, product and sum in double, rounded to float; above 255 gives 255,
// below 0 (or not a number) gives 0, otherwise rounded half up.
[[nodiscard]] GrayTable Linear(float slope, float intercept);

// slope -1, intercept 255: g becomes 255 - g.
[[nodiscard]] GrayTable Invert();

// g < threshold gives 0, otherwise 255.
[[nodiscard]] GrayTable Threshold(std::uint8_t threshold);

// g < lower gives 0, otherwise g > upper gives 255, otherwise g stays.
[[nodiscard]] GrayTable Window(std::uint8_t lower, std::uint8_t upper);

// Piecewise linear through (0,0), (x1,y1), (x2,y2), (255,255), integer arithmetic with
// quotients truncated toward zero; x1 > x2 leaves a jump at x1.
[[nodiscard]] GrayTable GrayStretch(std::uint8_t x1, std::uint8_t y1, std::uint8_t x2,
                                    std::uint8_t y2);

// 255 (g / 255)^gamma rounded half up, for a finite gamma > 0; the same bytes on every machine
// (see the function).
[[nodiscard]] GrayTable Gamma(float gamma);

// table[g] = (cumulative count up to g) * 255 / height / width, each division truncating.
// Both sizes must be positive.
[[nodiscard]] GrayTable Equalize(const GrayHistogram &histogram, std::int32_t width,
                                 std::int32_t height);

} // namespace PointTables
