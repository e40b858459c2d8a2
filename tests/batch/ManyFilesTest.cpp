#include "BatchRun.h"

#include <chrono>

using namespace BatchRun;

namespace {

class ManyFilesTest : public BatchTest
{
protected:
    void SetUp() override { fs::create_directories(m_dir / "out"); }

    // Gray images of several sizes under in/.
    Args Inputs(int count) const
    {
        Args paths;
        for (int i = 0; i < count; ++i) {
            const std::int32_t w = 9 + i % 7, h = 9 + i % 3;
            paths.push_back(
                Put("in/" + std::to_string(i) + ".bmp", MakeGray8Bmp(w, h, RandomRows(w, h, i))));
        }
        return paths;
    }
    // What the one-file command writes for IN.
    Bytes Single(Args args, const std::string &in) const
    {
        args.insert(args.end(), {in, Path("single.bmp")});
        EXPECT_EQ(Run(args).code, 0) << in;
        return ReadFile(Path("single.bmp"));
    }
};

} // namespace

// Every file, compressed ones too, lands under its own name with the one-file command's bytes.
TEST_F(ManyFilesTest, EachFileAsTheOneFileCommandWritesIt)
{
    Args in = Inputs(6);
    const DibFields rleFields{.width = 5, .height = 3, .compression = 1, .sizeImage = 12};
    const Bytes codes{2, 7, 0, 0, 0, 3, 1, 2, 3, 0, 0, 1};
    in.push_back(Put("in/rle.bmp", MakeBmpFile(MakeDib(rleFields, GrayTable256(), codes))));
    for (const Args &op : {Args{"invert"}, Args{"linear", "-1.5", "+300"}, Args{"equalize"},
                           Args{"stretch", "10", "20", "200", "250"}})
        for (const char *jobs : {"1", "3"}) {
            Args args = op;
            args.insert(args.end(), {"-j", jobs, "--output-dir", Path("out")});
            args.insert(args.end(), in.begin(), in.end());
            const Result r = Run(args);
            EXPECT_EQ(r.code, 0) << op[0] << r.err;
            EXPECT_EQ(r.err, "tonecraft-batch: 7 done, 0 refused, 0 failed\n");
            for (const std::string &file : in)
                EXPECT_EQ(ReadFile(Path("out") / fs::path(file).filename()), Single(op, file))
                    << op[0] << ' ' << file;
        }
}

// Refused and failed files are named in order, the others go on; the worst outcome is the code.
TEST_F(ManyFilesTest, FailedFilesAreNamedAndTheOthersGoOn)
{
    const std::string good = Inputs(1)[0], text = Put("in/text.bmp", {'h', 'i'}), out = Path("out");
    const DibFields rgbFields{.width = 1, .height = 1, .bitCount = 24};
    const std::string rgb = Put("in/rgb.bmp", MakeBmpFile(MakeDib(rgbFields, {}, Bytes(4, 1))));
    const std::string missing = Path("in/missing.bmp"), tool = "\ntonecraft-batch: ";
    Check({
        {{"invert", "-j", "1", "-d", out, rgb, good, text},
         1,
         tool + "'" + rgb + "': 目前只支持256色位图的反色！" + tool + "'" + text
             + "': " + kReadError + "tonecraft-batch: 1 done, 2 refused, 0 failed\n"},
        {{"invert", "-j", "1", "-d", out, rgb, good, text, missing},
         3,
         "'" + missing + "': '" + missing
             + "': No such file or directory\ntonecraft-batch: 1 done, 2 refused, 1 failed\n"},
    });
    EXPECT_EQ(ReadFile(Path("out/0.bmp")), Single({"invert"}, good));
    EXPECT_FALSE(fs::exists(Path("out/rgb.bmp")));
    EXPECT_FALSE(fs::exists(Path("out/text.bmp")));
}

// Nothing is written when two inputs would land on one name, and nothing is read when the
// folder cannot take the outputs (an input FIFO without a writer would hang a read).
TEST_F(ManyFilesTest, BadNamesAndFoldersStopTheRunBeforeItStarts)
{
    const Args in = Inputs(2);
    const std::string twin = Put("other/0.bmp", ReadFile(in[0])), fifo = Path("in/fifo.bmp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string file = Put("file", {}), locked = Path("locked"), out = Path("out");
    fs::create_directory(locked), fs::permissions(locked, fs::perms(0555));
    fs::permissions(m_dir, fs::perms::all);
    const std::string wait = "timeout 20 ";
    Check({
        {{"invert", "-d", out, in[0], in[1], twin},
         2,
         "'" + in[0] + "' and '" + twin + "' would both be written to '" + Path("out/0.bmp") + "'"},
        {{"invert", "-d", out, in[0], "-"}, 2, "'-' has no file name"},
        {{"invert", "-d", out, "-j", "0", in[0]}, 2, "bad -j '0'"},
        {{"invert", "-d", out, "--jobs", "257", in[0]}, 2, "bad --jobs '257'"},
        {{"invert", "-d", out}, 2, "at least one IN.bmp"},
        {{"info", "-d", out, in[0]}, 2, "-d and -j go with a transform"},
        {{"invert", "-d", Path("none"), in[0], fifo}, 3, "none': No such file", wait},
        {{"invert", "-d", file, fifo}, 3, "'" + file + "': Not a directory\n", wait},
        {{"invert", "-d", locked, fifo}, 3, "locked': Permission denied\n", wait + kNobody},
    });
    EXPECT_TRUE(fs::is_empty(out));
    EXPECT_TRUE(fs::is_empty(locked));
}

// On a terminal a bar tells the progress, redrawn at most ten times a second and erased at
// the end; --quiet and a stderr that is no terminal get none.
TEST_F(ManyFilesTest, AProgressBarOnlyOnATerminal)
{
    const Args in = Inputs(300);
    Args args{"invert", "-j", "2", "-d", Path("out")};
    args.insert(args.end(), in.begin(), in.end());
    // `script` runs the tool on a raw terminal of its own and copies what shows there.
    const std::string terminal = "script -qec \"stty raw -echo; exec ";
    const std::string end = " >" + Path("stdout") + "\" " + Path("log") + " <" + Put("empty", {});
    const auto onTerminal = [&](const Args &a) {
        const Result r = Run(a, terminal, end);
        EXPECT_EQ(r.code, 0) << r.err;
        return r.out;
    };
    const std::string counts = "tonecraft-batch: 300 done, 0 refused, 0 failed\n";
    const auto start = std::chrono::steady_clock::now();
    const std::string screen = onTerminal(args);
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    std::size_t draws = 0;
    for (std::size_t at = screen.find("\r["); at != std::string::npos;
         at = screen.find("\r[", at + 1))
        ++draws;
    EXPECT_GE(draws, 1u) << screen;
    EXPECT_LE(draws, 10 * seconds.count() + 1) << seconds.count() << " s";
    EXPECT_NE(screen.find(" files  "), std::string::npos) << screen;
    EXPECT_TRUE(screen.ends_with("\r\033[K" + counts)) << screen;

    args.push_back("--quiet");
    EXPECT_EQ(onTerminal(args), counts);
    args.pop_back();
    EXPECT_EQ(Run(args).err, counts);
}
