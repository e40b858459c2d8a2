#pragma once

#include <algorithm>
#include <cstdint>

// A rectangle as the drawing code passes it: left and top inclusive, right and bottom
// exclusive, y growing downward.
struct Rect
{
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    [[nodiscard]] std::int64_t Width() const { return std::int64_t{right} - left; }
    [[nodiscard]] std::int64_t Height() const { return std::int64_t{bottom} - top; }
    [[nodiscard]] bool IsEmpty() const { return Width() <= 0 || Height() <= 0; }

    [[nodiscard]] Rect Intersected(const Rect &other) const
    {
        return {std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
                std::min(bottom, other.bottom)};
    }

    friend bool operator==(const Rect &, const Rect &) = default;
};
