#include "BatchRun.h"

using namespace BatchRun;

// A few bytes may describe gigabytes. Under an address-space limit the tool says why it refuses
// what does not fit, and renders a 30 MB row a part at a time.
TEST_F(BatchTest, ImagesBeyondTheMemoryAreRefusedAndWideOnesRenderInLittle)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer cannot run under an address-space limit";
#endif
    const std::string limit = "ulimit -v 196608;", bomb = Put("bomb.bmp", EndedRle(65535, 65535));
    const std::string refused = "MiB available\n" + kReadError;
    Check({
        {{"invert", "--max-pixels", "4294836225", bomb, Path("out")}, 1, refused, limit},
        {{"render", "--max-pixels", "4294836225", bomb, Path("out")}, 1, refused, limit},
        // An endless stream is refused in the same words; the reserve kept is shown.
        {{"info", "-"}, 1, refused, limit + "yes |"},
        {{"info", "-"}, 1, " MiB needed and 64 MiB kept in reserve, ", limit + "yes |"},
        {{"render", Put("wide.bmp", EndedRle(30000000, 1)), Path("wide.png")}, 0, "", limit},
    });
    EXPECT_EQ(ReadPng(Path("wide.png")), Bytes(90000001));
}

// A few bytes of run-length codes that expand into gigabytes are refused at once, unless a
// pixel limit of the user's own allows them; the limit applies to plain images as well.
TEST_F(BatchTest, CompressedBombsAreRefusedByDefaultAndPixelsByTheLimitGiven)
{
    const std::string bomb4 = Put("bomb4.bmp", EndedRle(0x7FFFFFFF, 1, 4));
    const std::string bomb8 = Put("bomb8.bmp", EndedRle(65535, 65535));
    const std::string rle = (BmpSuiteDir() / "g/pal8rle.bmp").string(), timeout = "timeout 60";
    const std::string limit = "the compressed rows would expand beyond 1 GiB and 1000 times the "
                              "file's size; --max-pixels N sets a limit of its own\n"
        + kReadError;
    Check({
        {{"render", bomb4, Path("out.png")}, 1, limit, timeout},
        {{"invert", bomb8, Path("out.bmp")}, 1, limit, timeout},
        {{"info", "--max-pixels", "8128", rle}, 0, "width=127 height=64 bits=8 colors=252"},
        {{"invert", rle, "--max-pixels", "8127", Path("out.bmp")},
         1,
         "the image has 8128 pixels, more than --max-pixels 8127\n" + kReadError},
        {{"info", "--max-pixels", "2147483646", bomb4}, 1, "more than --max-pixels 2147483646"},
        {{"info", "--max-pixels", "0", rle}, 2, "bad --max-pixels '0'"},
        {{"info", rle, "--max-pixels"}, 2, "--max-pixels needs a value"},
    });
    EXPECT_FALSE(fs::exists(Path("out.png")));
    EXPECT_FALSE(fs::exists(Path("out.bmp")));
}
