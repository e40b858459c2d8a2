#include "PlotGeometry.h"

#include <gtest/gtest.h>

using namespace PlotGeometry;

namespace {
// A preview control at dialog (100, 50): surface x 10..265 is dialog x 110..365, surface y
// 25..279 is dialog y 75..329.
constexpr Area kArea = DragArea(100, 50);
} // namespace

TEST(PlotGeometry, DragAreaEdgesAndConversion)
{
    EXPECT_EQ(kArea, (Area{110, 75, 366, 330}));
    struct Case
    {
        Point p;
        bool inside;
        Point gray;
    } const cases[] = {
        {{110, 75}, true, {0, 255}},  // surface column 10, row 25
        {{365, 329}, true, {255, 1}}, // surface column 265, row 279
        {{109, 200}, false, {}},      // column 9
        {{366, 200}, false, {}},      // column 266
        {{200, 74}, false, {}},       // row 24
        {{200, 330}, false, {}},      // row 280: output 0
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Inside(kArea, c.p), c.inside) << c.p.x << ", " << c.p.y;
        if (c.inside) {
            EXPECT_EQ(ToGray(kArea, c.p), c.gray);
        }
    }
    EXPECT_EQ(ToSurface(kArea, Point{110, 75}), (Point{10, 25}));
}

TEST(PlotGeometry, HitTestsAreExact)
{
    // A column marker at level 128: dialog x 238 only.
    EXPECT_TRUE(OnColumn(kArea, {238, 80}, 128));
    EXPECT_FALSE(OnColumn(kArea, {237, 80}, 128));
    EXPECT_FALSE(OnColumn(kArea, {239, 80}, 128));
    EXPECT_FALSE(OnColumn(kArea, {238, 330}, 128)); // same column, below the area

    // The handle of gray (50, 30) covers dialog x 158..161, y 298..301.
    int hits = 0;
    for (int y = 290; y < 310; ++y)
        for (int x = 155; x < 165; ++x)
            hits += OnHandle(kArea, {x, y}, 50, 30) ? 1 : 0;
    EXPECT_EQ(hits, 16);
    EXPECT_TRUE(OnHandle(kArea, {158, 298}, 50, 30));
    EXPECT_TRUE(OnHandle(kArea, {161, 301}, 50, 30));
    EXPECT_FALSE(OnHandle(kArea, {162, 301}, 50, 30));

    // At the edges only the part of a handle inside the area counts.
    struct Edge
    {
        int gx, gy, pixels;
    } const edges[] = {{0, 100, 8}, {255, 100, 12}, {100, 255, 8}, {100, 0, 8}};
    for (const Edge &e : edges) {
        int count = 0;
        for (int y = 60; y < 340; ++y)
            for (int x = 100; x < 380; ++x)
                count += OnHandle(kArea, {x, y}, e.gx, e.gy) ? 1 : 0;
        EXPECT_EQ(count, e.pixels) << e.gx << ", " << e.gy;
    }
}

TEST(PlotGeometry, DragClampsStopShortOfTheOtherElement)
{
    struct Case
    {
        int g, other, current, lower, upper;
    } const cases[] = {
        {50, 100, 60, 50, 101},    // free on the lower side, clamped on the upper
        {150, 100, 60, 99, 150},   // clamped on the lower side, free on the upper
        {100, 100, 60, 99, 101},   // meeting the other is not allowed either
        {0, 0, 0, 0, 1},           // no level below 0: the lower one stays
        {255, 255, 255, 254, 255}, // no level above 255: the upper one stays
    };
    for (const Case &c : cases) {
        EXPECT_EQ(DragLower(c.g, c.other, c.current), c.lower) << c.g << " vs " << c.other;
        EXPECT_EQ(DragUpper(c.g, c.other, c.current), c.upper) << c.g << " vs " << c.other;
    }
}

TEST(PlotGeometry, LineEndsClipToTheSquare)
{
    struct Case
    {
        float slope, intercept;
        Segment ends;
    } const cases[] = {
        {2, -128, {{64, 0}, {192, 255}}},
        {-1, 255, {{0, 255}, {255, 0}}},
        {0, 300, {{0, 255}, {255, 255}}},
        {0.5f, -200, {{0, 0}, {255, 0}}},
        {1, -255, {{255, 0}, {255, 0}}},
        {0, 100.5f, {{0, 101}, {255, 101}}}, // halves round up
        {-2, 300, {{23, 255}, {150, 0}}},    // falling line entering from the top
        {-1, 0, {{0, 0}, {255, 0}}},
        {-0.5f, 300, {{90, 255}, {255, 173}}}, // falling from above into the right edge
        {-0.1f, 300, {{0, 255}, {255, 255}}},  // falling but above the square throughout
        {1e30f, 5, {{0, 5}, {0, 255}}},        // steep lines still give levels 0..255
    };
    for (const Case &c : cases)
        EXPECT_EQ(LineEnds(c.slope, c.intercept), c.ends) << c.slope << " x + " << c.intercept;
}

TEST(PlotGeometry, LineThroughTwoPoints)
{
    // Gray (0, 128) to (128, 255).
    const auto line = LineThrough({10, 152}, {138, 25});
    ASSERT_TRUE(line);
    EXPECT_EQ(line->slope, 0.9921875f);
    EXPECT_EQ(line->intercept, 128.0f);
    // Drawn right to left gives the same line; the intercept uses the stored float slope.
    const auto back = LineThrough({138, 25}, {10, 152});
    ASSERT_TRUE(back);
    EXPECT_EQ(back->slope, 0.9921875f);
    EXPECT_EQ(back->intercept, 128.0f);
    EXPECT_FALSE(LineThrough({50, 100}, {50, 200}));
    EXPECT_FALSE(LineThrough({50, 100}, {50, 100}));
}

TEST(PlotGeometry, BarEnds)
{
    struct Case
    {
        std::int64_t count, max;
        int end;
    } const cases[] = {
        {7, 7, 25},  // full height: rows 280 down to 26
        {0, 7, 281}, // only the base pixel
        {1, 2, 153},
        {100'000'000, 100'000'000, 25}, // the product needs 64 bits
        {2'147'483'647, 2'147'483'647, 25},
        {0, 0, 281},
    };
    for (const Case &c : cases)
        EXPECT_EQ(BarEnd(c.count, c.max), c.end) << c.count << " of " << c.max;
}
