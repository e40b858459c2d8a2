#include "BatchRun.h"

using namespace BatchRun;

// A few bytes may describe gigabytes. Under an address-space limit the tool says why it refuses
// what does not fit, and renders a 30 MB row a part at a time.
TEST_F(BatchTest, ImagesBeyondTheMemoryAreRefusedAndWideOnesRenderInLittle)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer cannot run under an address-space limit";
#endif
    auto rle8 = [](std::int32_t width, std::int32_t height) { // ended at once: all index 0
        const DibFields f{.width = width, .height = height, .compression = 1, .sizeImage = 2};
        return MakeBmpFile(MakeDib(f, GrayTable256(), Bytes{0, 1}));
    };
    const std::string limit = "ulimit -v 196608;", bomb = Put("bomb.bmp", rle8(65535, 65535));
    const std::string refused = "MiB available\n" + kReadError;
    const Case cases[] = {
        {{"invert", "--max-pixels", "4294836225", bomb, Path("out")}, 1, refused, limit},
        {{"render", "--max-pixels", "4294836225", bomb, Path("out")}, 1, refused, limit},
        // An endless stream is refused in the same words; the reserve kept is shown.
        {{"info", "-"}, 1, refused, limit + "yes |"},
        {{"info", "-"}, 1, " MiB needed and 64 MiB kept in reserve, ", limit + "yes |"},
        {{"render", Put("wide.bmp", rle8(30000000, 1)), Path("wide.png")}, 0, "", limit},
    };
    for (const Case &c : cases)
        Check(c);
    EXPECT_EQ(ReadPng(Path("wide.png")), Bytes(90000001));
}

// A few bytes of run-length codes that expand into gigabytes are refused at once, unless a
// pixel limit of the user's own allows them; the limit applies to plain images as well.
TEST_F(BatchTest, CompressedBombsAreRefusedByDefaultAndPixelsByTheLimitGiven)
{
    const auto bmp = [this](const char *name, std::int32_t width, std::uint16_t bits) {
        const DibFields fields{.width = width,
                               .height = bits == 4 ? 1 : width,
                               .bitCount = bits,
                               .compression = bits == 4 ? 2u : 1u,
                               .sizeImage = 2};
        return Put(name, MakeBmpFile(MakeDib(fields, Bytes(bits == 4 ? 64 : 1024), Bytes{0, 1})));
    };
    const std::string bomb4 = bmp("bomb4.bmp", 0x7FFFFFFF, 4), bomb8 = bmp("bomb8.bmp", 65535, 8);
    const std::string rle = (BmpSuiteDir() / "g/pal8rle.bmp").string(), timeout = "timeout 60";
    const std::string limit = "the compressed rows would expand beyond 1 GiB and 1000 times the "
                              "file's size; --max-pixels N sets a limit of its own\n"
        + kReadError;
    const Case cases[] = {
        {{"render", bomb4, Path("out.png")}, 1, limit, timeout},
        {{"invert", bomb8, Path("out.bmp")}, 1, limit, timeout},
        {{"info", "--max-pixels", "8128", rle}, 0, "width=127 height=64 bits=8 colors=252"},
        {{"invert", rle, "--max-pixels", "8127", Path("out.bmp")},
         1,
         "the image has 8128 pixels, more than --max-pixels 8127\n" + kReadError},
        {{"info", "--max-pixels", "2147483646", bomb4}, 1, "more than --max-pixels 2147483646"},
        {{"info", "--max-pixels", "0", rle}, 2, "bad --max-pixels '0'"},
        {{"info", rle, "--max-pixels"}, 2, "--max-pixels needs a value"},
    };
    for (const Case &c : cases)
        Check(c);
    EXPECT_FALSE(fs::exists(Path("out.png")));
    EXPECT_FALSE(fs::exists(Path("out.bmp")));
}
