#include "BatchRun.h"

#include <array>

using namespace BatchRun;

namespace {

// The colour at (x, y) of `rows` as ReadPng gives them.
int Rgb(const Bytes &rows, std::size_t width, std::size_t x, std::size_t y)
{
    const std::uint8_t *p = rows.data() + y * (1 + 3 * width) + 1 + 3 * x;
    return p[0] << 16 | p[1] << 8 | p[2];
}

} // namespace

// The dialog's picture at three times its size: a bar per level on the axis, the highest 762
// pixels tall, others in proportion rounded down (count x 762 needs 64 bits), and the ticks.
TEST_F(BatchTest, HistogramPlotDrawsEveryLevelsBarInProportionToTheHighestCount)
{
    std::array<std::uint64_t, 256> counts{};
    counts[0] = 440000, counts[50] = 2850000, counts[100] = 5700000, counts[200] = 10000;
    Bytes rows;
    for (std::size_t g = 0; g < 256; ++g)
        rows.insert(rows.end(), counts[g], static_cast<std::uint8_t>(g));
    const std::string in = Put("in.bmp", MakeGray8Bmp(3000, 3000, rows));
    ASSERT_EQ(Run({"histogram", "--plot", Path("plot.png"), in}).code, 0);
    const Bytes file = ReadFile(Path("plot.png")), png = ReadPng(Path("plot.png"));
    ASSERT_EQ(__builtin_bswap32(GetU32(file, 16)), 990u);
    ASSERT_EQ(__builtin_bswap32(GetU32(file, 20)), 900u);
    ASSERT_FALSE(png.empty());
    constexpr int kBlue = 0x0000FF, kRed = 0xFF0000, kWhite = 0xFFFFFF;
    for (std::uint64_t g = 0; g < 256; ++g) {
        SCOPED_TRACE("level " + std::to_string(g));
        const std::size_t x = (10 + g) * 3 + 1;
        std::uint64_t height = 0;
        while (height < 839 && Rgb(png, 990, x, 839 - height) == kBlue)
            ++height;
        EXPECT_LE(height * 5700000, 762 * counts[g]);
        EXPECT_LT(762 * counts[g], (height + 1) * 5700000);
        EXPECT_EQ(Rgb(png, 990, x, 840), kBlue); // the bar covers the axis
        // A long tick every 10 levels, a short one between.
        EXPECT_EQ(Rgb(png, 990, x, 843), g % 5 == 0 ? kRed : kWhite);
        EXPECT_EQ(Rgb(png, 990, x, 849), g % 10 == 0 ? kRed : kWhite);
    }
}

// The picture's rows, top first, in the palette's colours; drawn in bands of 64 rows.
TEST_F(BatchTest, RenderWritesThePaletteColoursTopRowFirst)
{
    const Bytes rows = RandomRows(3000, 130, 3);
    Bytes table(1024); // index i: blue i, green i, red 255 - i
    for (std::size_t i = 0; i < 1024; ++i)
        table[i] = static_cast<std::uint8_t>(i % 4 == 2 ? 255 - i / 4 : i / 4);
    const std::string in
        = Put("in.bmp", MakeBmpFile(MakeDib({.width = 3000, .height = 130}, table, rows)));
    ASSERT_EQ(Run({"render", in, Path("out.png")}).code, 0);
    const Bytes png = ReadPng(Path("out.png"));
    ASSERT_EQ(png.size(), 130 * 9001u);
    for (const auto &[x, y] : {std::pair{0, 0}, {2999, 1}, {1, 63}, {0, 64}, {2999, 129}}) {
        const int i = rows[(129 - y) * 3000 + x];
        EXPECT_EQ(Rgb(png, 3000, x, y), (255 - i) << 16 | i << 8 | i) << y;
    }
}
