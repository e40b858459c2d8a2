#include "PlotGeometry.h"

#include <gtest/gtest.h>

using namespace PlotGeometry;

// The drag area of a preview at dialog (100, 50) is surface x 10..265 and y 25..279; a handle
// covers 4 x 4 pixels, and at the edges only its part inside the area.
TEST(PlotGeometry, DragAreaHandlesAndClamps)
{
    constexpr Area area = DragArea(100, 50);
    EXPECT_EQ(area, (Area{110, 75, 366, 330}));
    EXPECT_TRUE(Inside(area, {365, 329}));
    for (const Point p : {Point{109, 200}, {366, 200}, {200, 74}, {200, 330}}) {
        EXPECT_FALSE(Inside(area, p)) << p.x << ", " << p.y;
        EXPECT_FALSE(OnColumn(area, p, p.x - 110)) << p.x << ", " << p.y;
    }
    // The handle of gray (0, 100) covers x 108..111 and y 228..231, less the part left of the area.
    EXPECT_FALSE(OnHandle(area, {109, 228}, 0, 100));
    EXPECT_TRUE(OnHandle(area, {110, 228}, 0, 100));
    EXPECT_TRUE(OnHandle(area, {111, 231}, 0, 100));
    EXPECT_FALSE(OnHandle(area, {112, 231}, 0, 100));
    EXPECT_FALSE(OnHandle(area, {111, 232}, 0, 100));

    // A dragged limit stays a level short of the other one.
    struct Clamp
    {
        int g, other, current, lower, upper;
    };
    for (const Clamp &c : {Clamp{50, 100, 60, 50, 101},
                           {150, 100, 60, 99, 150},
                           {100, 100, 60, 99, 101},
                           {0, 0, 0, 0, 1},
                           {255, 255, 255, 254, 255}}) {
        EXPECT_EQ(DragLower(c.g, c.other, c.current), c.lower) << c.g << " vs " << c.other;
        EXPECT_EQ(DragUpper(c.g, c.other, c.current), c.upper) << c.g << " vs " << c.other;
    }
}

TEST(PlotGeometry, LinesAndBars)
{
    struct LineCase
    {
        float slope, intercept;
        Segment ends;
    };
    for (const LineCase &c : {
             LineCase{2, -128, {{64, 0}, {192, 255}}},
             {-1, 255, {{0, 255}, {255, 0}}},
             {0, 300, {{0, 255}, {255, 255}}},
             {0.5f, -200, {{0, 0}, {255, 0}}},
             {1, -255, {{255, 0}, {255, 0}}},
             {0, 100.5f, {{0, 101}, {255, 101}}},
             {-2, 300, {{23, 255}, {150, 0}}},
             {-1, 0, {{0, 0}, {255, 0}}},
             {-0.5f, 300, {{90, 255}, {255, 173}}},
             {-0.1f, 300, {{0, 255}, {255, 255}}},
             {1e30f, 5, {{0, 5}, {0, 255}}},
         })
        EXPECT_EQ(LineEnds(c.slope, c.intercept), c.ends) << c.slope << " x + " << c.intercept;

    // The intercept comes from the start point and the float slope; no line through one column.
    const auto steep = LineThrough({10, 279}, {17, 162}); // gray (0, 1) to (7, 118)
    ASSERT_TRUE(steep);
    EXPECT_EQ(steep->slope, 117.0f / 7);
    EXPECT_EQ(steep->intercept, 1.0f);
    EXPECT_FALSE(LineThrough({50, 100}, {50, 200}));

    // Full height is rows 280 up to 26; the products need 64 bits.
    EXPECT_EQ(BarEnd(7, 7), 25);
    EXPECT_EQ(BarEnd(0, 7), 281);
    EXPECT_EQ(BarEnd(1, 2), 153);
    EXPECT_EQ(BarEnd(0, 0), 281);
    EXPECT_EQ(BarEnd(2'147'483'647, 2'147'483'647), 25);
}
