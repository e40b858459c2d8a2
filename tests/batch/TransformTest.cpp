#include "BatchRun.h"
#include "NaiveTransforms.h"

#include <array>
#include <cstdio>
#include <sstream>

using namespace BatchRun;

namespace {

struct Transform
{
    Args args;
    int (*map)(int);
};

} // namespace

// The pixels mapped, the padding kept, biSizeImage set and bytes after the rows dropped.
TEST_F(BatchTest, TransformsAreByteExact)
{
    using namespace NaiveTransforms;
    const Transform transforms[] = {
        {{"invert"}, [](int g) { return 255 - g; }},
        {{"linear", "-0.3e0", "+217.25"}, [](int g) { return Linear(g, -0.3f, 217.25f); }},
        {{"window", "50", "200"}, [](int g) { return g < 50 ? 0 : (g > 200 ? 255 : g); }},
        {{"stretch", "50", "30", "200", "220"}, [](int g) { return Stretch(g, 50, 30, 200, 220); }},
        {{"gamma", "2.2"}, [](int g) { return Gamma(g, 2.2f); }},
    };
    for (const Transform &t : transforms)
        for (std::int32_t w : {1, 3, 5, 31, 101}) {
            SCOPED_TRACE(t.args[0] + " width " + std::to_string(w));
            Bytes rows = RandomRows(w, 1 + w % 4, w), input = MakeGray8Bmp(w, 1 + w % 4, rows);
            input.insert(input.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0x01});
            Args args = t.args;
            args.insert(args.end(), {Put("in.bmp", input), Path("out.bmp")});
            ASSERT_EQ(Run(args).code, 0);
            for (std::size_t i = 0; i < rows.size(); ++i)
                if (i % Stride8(w) < static_cast<std::size_t>(w))
                    rows[i] = static_cast<std::uint8_t>(t.map(rows[i]));
            Bytes want = MakeGray8Bmp(w, 1 + w % 4, rows);
            PutU32(want, 14 + 20, static_cast<std::uint32_t>(rows.size()));
            EXPECT_EQ(ReadFile(Path("out.bmp")), want);
        }
}

// What a choosing operation prints on standard error (nothing with --quiet, anywhere after the
// word) are the parameters with which the fixed one writes the same.
TEST_F(BatchTest, ChoosingOperationsWriteWhatTheFixedOnesWriteWithTheNumbersPrinted)
{
    const std::string in = Put("in.bmp", MakeGray8Bmp(31, 7, RandomRows(31, 7, 9)));
    for (Args args :
         {Args{"threshold", "otsu"}, Args{"stretch", "auto", "0"}, Args{"stretch", "auto", "0.35"},
          Args{"stretch", "auto", "10"}, Args{"stretch", "auto", "99"}}) {
        args.insert(args.end(), {in, Path("chosen.bmp")});
        const std::string printed = Run(args).err;
        SCOPED_TRACE(printed);
        std::istringstream words(printed);
        Args fixed{args[0]};
        for (std::string word; words >> word;)
            if (word.find('=') != std::string::npos)
                fixed.push_back(word.substr(word.find('=') + 1));
        fixed.insert(fixed.end(), {in, Path("fixed.bmp")});
        ASSERT_EQ(Run(fixed).code, 0);
        EXPECT_EQ(ReadFile(Path("chosen.bmp")), ReadFile(Path("fixed.bmp")));
    }
    // The share left out at each end narrows the range that goes to 0..255.
    const auto range = [&](const char *percent) {
        std::array<unsigned, 4> xy{}; // X1 Y1 X2 Y2
        const std::string printed = Run({"stretch", "auto", percent, in, Path("r.bmp")}).err;
        EXPECT_EQ(std::sscanf(printed.c_str(), "stretch: X1=%u Y1=%u X2=%u Y2=%u", &xy[0], &xy[1],
                              &xy[2], &xy[3]),
                  4);
        return xy;
    };
    const std::array<unsigned, 4> all = range("0"), tenth = range("10");
    EXPECT_EQ(all[1], 0u);
    EXPECT_EQ(all[3], 255u);
    EXPECT_LT(all[0], tenth[0]);
    EXPECT_GT(all[2], tenth[2]);
    EXPECT_EQ(Run({"stretch", "auto", "--quiet", "1", in, Path("quiet.bmp")}).err, "");
    EXPECT_EQ(Run({"threshold", "otsu", in, "--quiet", Path("quiet.bmp")}).err, "");
}
