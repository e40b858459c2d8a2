#include "BatchRun.h"

using namespace BatchRun;

TEST_F(BatchTest, CommandsPrintTheirResults)
{
    const std::string in = Input();
    const std::string rle = Put("rle.bmp", EndedRle(4, 1));
    Check({
        {{"info", in}, 0, "\nwidth=5 height=3 bits=8 colors=256 header=40 compression=0\n"},
        {{"info", rle}, 0, "\nwidth=4 height=1 bits=8 colors=256 header=40 compression=1\n"},
        {{"histogram", in}, 0, "\n7 0\n8 0\n9 12\n10 0\n"},
        {{"histogram", "--stats", in},
         0,
         "\npixels=15 min=9 max=200 mean=47.2000 median=9 stddev=76.4000 otsu=10\n"},
        {{"table", "linear", "2.0", "-128.0"}, 0, "\n191 254\n192 255\n"},
    });
}

TEST_F(BatchTest, BadCommandLinesAreRefusedWithTheUsage)
{
    const std::string in = Input(), out = Put("out.bmp", kOld);
    Check({
        {{}, 2, "no command"},
        {{"sharpen", in, out}, 2, "sharpen"},
        {{"threshold", "256", in, out}, 2, "T '256'"},
        {{"window", "10", in, out}, 2, "window takes"},
        {{"invert", in, out, out}, 2, "invert takes"},
        {{"histogram", in, "--stats"}, 2, "histogram takes"},
        {{"histogram", "--plot", in}, 2, "histogram --plot takes OUT.png and IN.bmp"},
        {{"table"}, 2, "OPERATION"},
        {{"table", "equalize"}, 2, "OPERATION 'equalize'"},
        {{"table", "linear", "1"}, 2, "takes 2"},
        {{"table", "threshold", "otsu"}, 2, "T 'otsu'"},
        {{"gamma", "1e-50", in, out}, 2, "G '1e-50': expected a finite decimal number above 0"},
        {{"gamma", "0", in, out}, 2, "G '0'"},
        {{"gamma", in, out}, 2, "gamma takes 1 parameters"},
        {{"stretch", "auto", "100", in, out}, 2, "SATURATED '100'"},
        {{"stretch", "auto", "-1", in, out}, 2, "SATURATED '-1'"},
        {{"stretch", "auto", "1", "2", in, out}, 2, "stretch auto takes 0 to 1 parameters"},
        {{"threshold", "otsu", "7", in, out}, 2, "threshold otsu takes 0 parameters"},
    });
    EXPECT_EQ(ReadFile(out), kOld);
}
