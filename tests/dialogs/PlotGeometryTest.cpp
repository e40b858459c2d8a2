#include "PlotGeometry.h"

#include <gtest/gtest.h>

using namespace PlotGeometry;

// The drag area of a preview at dialog (100, 50) is surface x 10..265 and y 25..279; a handle
// covers 4 x 4 pixels, and at the edges only its part inside the area.
TEST(PlotGeometry, DragAreaHandlesAndClamps)
{
    constexpr Area area = DragArea(100, 50);
    EXPECT_TRUE(area == (Area{110, 75, 366, 330}));
    EXPECT_TRUE(Inside(area, {365, 329}));
    for (const Point p : {Point{109, 200}, {366, 200}, {200, 74}, {200, 330}})
        EXPECT_FALSE(Inside(area, p) || OnColumn(area, p, p.x - 110)) << p.x << ", " << p.y;
    auto pixels = [&area](int gx, int gy) {
        int n = 0;
        for (int y = 60; y < 340; ++y)
            for (int x = 100; x < 380; ++x)
                n += OnHandle(area, {x, y}, gx, gy);
        return n;
    };
    EXPECT_TRUE(pixels(50, 30) == 16);
    EXPECT_TRUE(pixels(0, 100) == 8);
    EXPECT_TRUE(pixels(255, 100) == 12);
    EXPECT_TRUE(pixels(100, 0) == 8);
    EXPECT_TRUE(OnHandle(area, {158, 298}, 50, 30));
    EXPECT_TRUE(OnHandle(area, {161, 301}, 50, 30));
    EXPECT_FALSE(OnHandle(area, {162, 301}, 50, 30));

    // A dragged limit stays a level short of the other one (g, other, current: lower, upper).
    const int clamps[][5] = {
        {50, 100, 60, 50, 101}, {150, 100, 60, 99, 150},   {100, 100, 60, 99, 101},
        {0, 0, 0, 0, 1},        {255, 255, 255, 254, 255},
    };
    for (const auto &c : clamps) {
        EXPECT_TRUE(DragLower(c[0], c[1], c[2]) == c[3]) << c[0] << " vs " << c[1];
        EXPECT_TRUE(DragUpper(c[0], c[1], c[2]) == c[4]) << c[0] << " vs " << c[1];
    }
}

TEST(PlotGeometry, LinesAndBars)
{
    const struct
    {
        float slope, intercept;
        Segment ends;
    } lines[] = {
        {2, -128, {{64, 0}, {192, 255}}},      {-1, 255, {{0, 255}, {255, 0}}},
        {0, 300, {{0, 255}, {255, 255}}},      {0.5f, -200, {{0, 0}, {255, 0}}},
        {1, -255, {{255, 0}, {255, 0}}},       {0, 100.5f, {{0, 101}, {255, 101}}},
        {-2, 300, {{23, 255}, {150, 0}}},      {-1, 0, {{0, 0}, {255, 0}}},
        {-0.5f, 300, {{90, 255}, {255, 173}}}, {-0.1f, 300, {{0, 255}, {255, 255}}},
        {1e30f, 5, {{0, 5}, {0, 255}}},
    };
    for (const auto &c : lines)
        EXPECT_EQ(LineEnds(c.slope, c.intercept), c.ends) << c.slope << " x + " << c.intercept;

    // The intercept comes from the start point and the float slope; no line through one column.
    const auto steep = LineThrough({10, 279}, {17, 162}); // gray (0, 1) to (7, 118)
    EXPECT_TRUE(steep);
    EXPECT_TRUE(steep->slope == 117.0f / 7);
    EXPECT_TRUE(steep->intercept == 1.0f);
    EXPECT_FALSE(LineThrough({50, 100}, {50, 200}));

    // Full height is rows 280 up to 26; the products need 64 bits.
    EXPECT_TRUE(BarEnd(7, 7) == 25);
    EXPECT_TRUE(BarEnd(0, 7) == 281);
    EXPECT_TRUE(BarEnd(1, 2) == 153);
    EXPECT_TRUE(BarEnd(0, 0) == 281);
    EXPECT_EQ(BarEnd(100'000'000, 100'000'000), 25);
    EXPECT_EQ(BarEnd(2'147'483'647, 2'147'483'647), 25);
}
