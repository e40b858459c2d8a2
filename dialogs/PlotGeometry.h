#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>

// The pixel geometry shared by the parameter dialogs, free of any toolkit so that it is tested
// without widgets. Surface coordinates are pixels of the 330 x 300 preview surface, origin at the
// preview control's top-left; dialog coordinates are the dialog's client pixels. Gray levels are
// 0..255 on both axes: input g at surface x = 10 + g, output v at surface y = 280 - v.
namespace PlotGeometry {

constexpr int kSurfaceWidth = 330;
constexpr int kSurfaceHeight = 300;
constexpr int kOriginX = 10;               // surface x of input level 0, the vertical axis
constexpr int kBaseLine = 280;             // surface y of output level 0, the horizontal axis
constexpr int kRightEdge = kOriginX + 255; // surface x of input level 255
constexpr int kTopEdge = kBaseLine - 255;  // surface y of output level 255
constexpr int kAxisTop = 10;               // surface y of the vertical axis's arrow tip
constexpr int kAxisRight = 320;            // surface x of the horizontal axis's arrow tip
constexpr int kArrowSize = 5;              // arrow heads reach back this far on both sides

struct Point
{
    int x = 0;
    int y = 0;
    friend bool operator==(const Point &, const Point &) = default;
};

// Left and top inclusive, right and bottom exclusive.
struct Area
{
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    friend bool operator==(const Area &, const Area &) = default;
};

[[nodiscard]] constexpr int SurfaceX(int g)
{
    return kOriginX + g;
}
[[nodiscard]] constexpr int SurfaceY(int v)
{
    return kBaseLine - v;
}

// The drag area for a preview control whose top-left lies at (left, top) in dialog coordinates:
// surface x 10..265 and y 25..279, so the row of output 0 is just outside.
[[nodiscard]] constexpr Area DragArea(int left, int top)
{
    return {left + kOriginX, top + kTopEdge, left + kOriginX + 256, top + kTopEdge + 255};
}

[[nodiscard]] constexpr bool Inside(const Area &area, Point p)
{
    return area.left <= p.x && p.x < area.right && area.top <= p.y && p.y < area.bottom;
}

// Gray coordinates of a dialog point: input from x, output from y (1..255 inside the area).
[[nodiscard]] constexpr Point ToGray(const Area &area, Point p)
{
    return {p.x - area.left, area.top + 255 - p.y};
}

// Surface coordinates of a dialog point.
[[nodiscard]] constexpr Point ToSurface(const Area &area, Point p)
{
    return {p.x - area.left + kOriginX, p.y - area.top + kTopEdge};
}

// A press or hover on a vertical marker at `level`: its exact column, anywhere in the area.
[[nodiscard]] constexpr bool OnColumn(const Area &area, Point p, int level)
{
    return Inside(area, p) && p.x == area.left + level;
}

// A press or hover on the 4 x 4 handle of the gray point (gx, gy): the pixels the handle covers.
[[nodiscard]] constexpr bool OnHandle(const Area &area, Point p, int gx, int gy)
{
    const int cx = area.left + gx;
    const int cy = area.top + 255 - gy;
    return Inside(area, p) && cx - 2 <= p.x && p.x < cx + 2 && cy - 2 <= p.y && p.y < cy + 2;
}

// A dragged lower element follows `g` but stays one level below `upper`; when no such level
// exists (upper is 0) it keeps `current`, which is then at most `upper`.
[[nodiscard]] constexpr int DragLower(int g, int upper, int current)
{
    if (g < upper)
        return g;
    return upper > 0 ? upper - 1 : std::min(current, upper);
}

// The mirror of DragLower: stays one level above `lower`, or keeps `current` when lower is 255.
[[nodiscard]] constexpr int DragUpper(int g, int lower, int current)
{
    if (g > lower)
        return g;
    return lower < 255 ? lower + 1 : std::max(current, lower);
}

// Puts two limits in order, swapping crossed ones; true when they were crossed.
template<typename T> constexpr bool OrderLimits(T &lower, T &upper)
{
    if (lower <= upper)
        return false;
    std::swap(lower, upper);
    return true;
}

// Which of two vertical markers a press at `p` takes: 1 the lower (first when both share a
// column), 2 the upper, 0 neither.
[[nodiscard]] constexpr int MarkerAt(const Area &area, Point p, int lower, int upper)
{
    if (OnColumn(area, p, lower))
        return 1;
    return OnColumn(area, p, upper) ? 2 : 0;
}

// The visible part of output = slope x input + intercept, clipped to the 0..255 square, as two
// gray points (first the one at the smaller input).
struct Segment
{
    Point start;
    Point end;
    friend bool operator==(const Segment &, const Segment &) = default;
};

[[nodiscard]] inline Segment LineEnds(float slope, float intercept)
{
    const double k = slope;
    const double b = intercept;
    const double e = k * 255 + b;
    // Every value rounded here is non-negative, so truncation after adding 0.5 rounds half up.
    const auto r = [](double v) { return static_cast<int>(v + 0.5); };
    if (k >= 0) {
        if (e < 0)
            return {{0, 0}, {255, 0}};
        if (b >= 255)
            return {{0, 255}, {255, 255}};
        const Point start = b < 0 ? Point{r(-b / k), 0} : Point{0, r(b)};
        const Point end = e > 255 ? Point{r((255 - b) / k), 255} : Point{255, r(e)};
        return {start, end};
    }
    if (b <= 0)
        return {{0, 0}, {255, 0}};
    if (e >= 255)
        return {{0, 255}, {255, 255}};
    const Point start = b > 255 ? Point{r((255 - b) / k), 255} : Point{0, r(b)};
    const Point end = e < 0 ? Point{r(-b / k), 0} : Point{255, r(e)};
    return {start, end};
}

struct Line
{
    float slope = 0;
    float intercept = 0;
};

// The line through two surface points; none when they share a column (a vertical line or no
// line at all).
[[nodiscard]] inline std::optional<Line> LineThrough(Point startSurface, Point endSurface)
{
    if (startSurface.x == endSurface.x)
        return std::nullopt;
    const int gx1 = startSurface.x - kOriginX;
    const int gy1 = kBaseLine - startSurface.y;
    const int gx2 = endSurface.x - kOriginX;
    const int gy2 = kBaseLine - endSurface.y;
    const auto slope = static_cast<float>(static_cast<double>(gy2 - gy1) / (gx2 - gx1));
    const auto intercept = static_cast<float>(gy1 - gx1 * slope);
    return Line{slope, intercept};
}

// Surface row where the histogram bar of `count` ends (exclusive), full height 256 for `max`.
// The product is 64-bit: a count can be as large as a whole image.
[[nodiscard]] constexpr int BarEnd(std::int64_t count, std::int64_t max)
{
    if (max <= 0)
        return kBaseLine + 1;
    return kBaseLine + 1 - static_cast<int>(count * 256 / max);
}

} // namespace PlotGeometry
