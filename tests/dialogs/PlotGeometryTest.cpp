#include "PlotGeometry.h"

#include <gtest/gtest.h>

using namespace PlotGeometry;

// A preview control at dialog (100, 50): surface x 10..265 is dialog x 110..365, surface y
// 25..279 is dialog y 75..329.
constexpr Area kArea = DragArea(100, 50);

TEST(PlotGeometry, DragAreaAndHitTests)
{
    const struct
    {
        Point p;
        bool inside;
        Point gray;
    } cases[] = {
        {{110, 75}, true, {0, 255}}, {{365, 329}, true, {255, 1}}, {{109, 200}, false, {}},
        {{366, 200}, false, {}},     {{200, 74}, false, {}},       {{200, 330}, false, {}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Inside(kArea, c.p), c.inside) << c.p.x << ", " << c.p.y;
        EXPECT_TRUE(!c.inside || ToGray(kArea, c.p) == c.gray) << c.p.x << ", " << c.p.y;
    }
    EXPECT_EQ(ToSurface(kArea, {110, 75}), (Point{10, 25}));
    // A column marker at level 128 is dialog x 238 only, inside the area.
    EXPECT_TRUE(OnColumn(kArea, {238, 80}, 128));
    for (const Point p : {Point{237, 80}, Point{239, 80}, Point{238, 330}})
        EXPECT_FALSE(OnColumn(kArea, p, 128)) << p.x << ", " << p.y;

    // The 4 x 4 handle of gray (50, 30) covers dialog x 158..161, y 298..301; at the edges only
    // its part inside the area counts.
    const struct
    {
        int gx, gy, pixels;
        Point first, last;
    } handles[] = {
        {50, 30, 16, {158, 298}, {161, 301}},   {0, 100, 8, {110, 228}, {111, 231}},
        {255, 100, 12, {363, 228}, {365, 231}}, {100, 255, 8, {208, 75}, {211, 76}},
        {100, 0, 8, {208, 328}, {211, 329}},
    };
    for (const auto &h : handles) {
        int count = 0;
        Point first{1000, 1000}, last{};
        for (int y = 60; y < 340; ++y)
            for (int x = 100; x < 380; ++x)
                if (OnHandle(kArea, {x, y}, h.gx, h.gy))
                    ++count, first = count == 1 ? Point{x, y} : first, last = {x, y};
        EXPECT_EQ(count, h.pixels) << h.gx << ", " << h.gy;
        EXPECT_TRUE(first == h.first && last == h.last) << h.gx << ", " << h.gy;
    }
}

TEST(PlotGeometry, DragClampsStopShortOfTheOtherElement)
{
    const struct
    {
        int g, other, current, lower, upper;
    } cases[] = {
        {50, 100, 60, 50, 101},    {150, 100, 60, 99, 150},
        {100, 100, 60, 99, 101},   {0, 0, 0, 0, 1}, // no level below 0: the lower one stays
        {255, 255, 255, 254, 255},                  // no level above 255: the upper one stays
    };
    for (const auto &c : cases) {
        EXPECT_EQ(DragLower(c.g, c.other, c.current), c.lower) << c.g << " vs " << c.other;
        EXPECT_EQ(DragUpper(c.g, c.other, c.current), c.upper) << c.g << " vs " << c.other;
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
        {1e30f, 5, {{0, 5}, {0, 255}}}, // steep lines still give levels 0..255
    };
    for (const auto &c : lines)
        EXPECT_EQ(LineEnds(c.slope, c.intercept), c.ends) << c.slope << " x + " << c.intercept;

    // Gray (0, 128) to (128, 255), either way round; the intercept comes from the start point
    // and the float slope. No line through one column.
    for (const auto &[from, to] :
         {std::pair{Point{10, 152}, Point{138, 25}}, {{138, 25}, {10, 152}}}) {
        const auto line = LineThrough(from, to);
        EXPECT_TRUE(line && line->slope == 0.9921875f && line->intercept == 128.0f);
    }
    const auto steep = LineThrough({10, 279}, {17, 162}); // gray (0, 1) to (7, 118)
    EXPECT_TRUE(steep && steep->slope == 117.0f / 7 && steep->intercept == 1.0f);
    EXPECT_FALSE(LineThrough({50, 100}, {50, 200}) || LineThrough({50, 100}, {50, 100}));

    // Full height is rows 280 up to 26; the products need 64 bits.
    const struct
    {
        std::int64_t count, max;
        int end;
    } bars[] = {
        {7, 7, 25},
        {0, 7, 281},
        {1, 2, 153},
        {100'000'000, 100'000'000, 25},
        {2'147'483'647, 2'147'483'647, 25},
        {0, 0, 281},
    };
    for (const auto &c : bars)
        EXPECT_EQ(BarEnd(c.count, c.max), c.end) << c.count << " of " << c.max;
}
