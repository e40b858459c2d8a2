#include "NaiveTransforms.h"
#include "TestImages.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace TestImages;
using Args = std::vector<std::string>;

namespace {

const std::string kReadError = "读取图像时出错！可能是不支持该类型的图像文件！\n";
const Bytes kOld{'o', 'l', 'd'}; // an output file's contents before a run

// A run, and a text its output (or error output) holds; `shell` runs first: a ulimit, a pipe
// into standard input, another user, a redirection; `tail` follows: redirections, a pipe out.
struct Case
{
    Args args;
    int code;
    std::string text, shell = "", tail = "";
};

struct Result
{
    int code;
    std::string out, err;
};

// Runs the executable as a script would, on files in a folder of its own.
class BatchTest : public ::testing::Test
{
protected:
    void SetUp() override { fs::create_directories(m_dir); }
    void TearDown() override { fs::remove_all(m_dir), fs::remove(m_out), fs::remove(m_err); }

    std::string Path(const std::string &name) const { return (m_dir / name).string(); }
    std::string Put(const std::string &n, const Bytes &b) { return WriteFile(Path(n), b), Path(n); }
    std::size_t Files() const { return std::distance(fs::directory_iterator(m_dir), {}); }

    // A sanitizer report ends the tool with an exit code that no test accepts.
    Result Run(const Args &args, const std::string &shell = "", const std::string &tail = "") const
    {
        std::string command = "{ " + shell
            + " env ASAN_OPTIONS=exitcode=86 UBSAN_OPTIONS=exitcode=87 " + TONECRAFT_BATCH_EXE;
        for (const std::string &a : args)
            command += " '" + a + "'";
        const std::string redirect = "; } >" + m_out + " 2>" + m_err;
        const int status = std::system((command + " " + tail + redirect).c_str());
        const Bytes out = ReadFile(m_out), err = ReadFile(m_err);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
                {out.begin(), out.end()},
                {err.begin(), err.end()}};
    }
    void Check(const Case &c) const
    {
        const Result r = Run(c.args, c.shell, c.tail);
        EXPECT_EQ(r.code, c.code) << c.text << r.err;
        if (c.code != 0) {
            EXPECT_EQ(r.out, "") << c.text;
        }
        EXPECT_NE(("\n" + (c.code == 0 ? r.out : r.err)).find(c.text), std::string::npos) << c.text;
    }
    static std::string PipeFrom(const std::string &path) { return "cat '" + path + "' |"; }
    // 5 x 3 pixels: 200, then four 9s; the padding holds 7.
    std::string Input()
    {
        const Bytes rows{200, 9, 9, 9, 9,   7, 7, 7, 200, 9, 9, 9,
                         9,   7, 7, 7, 200, 9, 9, 9, 9,   7, 7, 7};
        return Put("in.bmp", MakeGray8Bmp(5, 3, rows));
    }
    // 2 x 2 pixels 10, 10, 20, 200, with padding 1, 2 and 3, 4.
    std::string Equalizable()
    {
        return Put("eq.bmp", MakeGray8Bmp(2, 2, Bytes{10, 10, 1, 2, 20, 200, 3, 4}));
    }

    const fs::path m_dir = fs::temp_directory_path()
        / ("tonecraft-batch-" + std::to_string(::getpid()) + "-"
           + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    const std::string m_out = m_dir.string() + ".out", m_err = m_dir.string() + ".err";
};

// A PNG's rows; none when its signature, a length or a CRC is wrong or a chunk has more than
// 1 MiB (one chunk's 32-bit length cannot hold a big picture).
Bytes ReadPng(const std::string &path)
{
    const Bytes f = ReadFile(path);
    auto u32 = [&f](std::size_t at) { return __builtin_bswap32(GetU32(f, at)); };
    Bytes packed;
    std::string type;
    for (std::size_t at = 8; type != "IEND"; at += 12 + u32(at)) {
        const std::size_t n = at + 12 <= f.size() ? u32(at) : f.size();
        const std::uint8_t *chunk = f.data() + at + 4;
        if (at + 12 + n > f.size() || n > (1 << 20)
            || crc32(0, chunk, static_cast<uInt>(4 + n)) != u32(at + 8 + n))
            return {};
        type.assign(chunk, chunk + 4);
        if (type == "IDAT")
            packed.insert(packed.end(), chunk + 4, chunk + 4 + n);
    }
    if (f.size() < 33 || std::string(f.begin(), f.begin() + 8) != "\x89PNG\r\n\x1A\n")
        return {};
    Bytes rows((1 + 3 * std::uint64_t{u32(16)}) * u32(20));
    uLongf size = rows.size();
    const bool whole = uncompress(rows.data(), &size, packed.data(), packed.size()) == Z_OK;
    return whole && size == rows.size() ? rows : Bytes{};
}

} // namespace

TEST_F(BatchTest, TransformsAreByteExactAndEverySuiteFileIsReadOrRefused)
{
    using NaiveTransforms::Linear, NaiveTransforms::Stretch;
    const std::pair<Args, int (*)(int)> cases[] = {
        {{"invert"}, [](int g) { return 255 - g; }},
        {{"linear", "-0.3e0", "+217.25"}, [](int g) { return Linear(g, -0.3f, 217.25f); }},
        {{"threshold", "128"}, [](int g) { return g < 128 ? 0 : 255; }},
        {{"window", "50", "200"}, [](int g) { return g < 50 ? 0 : (g > 200 ? 255 : g); }},
        {{"stretch", "50", "30", "200", "220"}, [](int g) { return Stretch(g, 50, 30, 200, 220); }},
        {{"gamma", "2.2"}, [](int g) { return NaiveTransforms::Gamma(g, 2.2f); }},
        {{"gamma", "0.45"}, [](int g) { return NaiveTransforms::Gamma(g, 0.45f); }},
    };
    for (const auto &[args, map] : cases) {
        for (std::int32_t w : {1, 3, 5, 31, 101}) {
            Bytes rows = RandomRows(w, 1 + w % 4, w), input = MakeGray8Bmp(w, 1 + w % 4, rows);
            input.insert(input.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0x01});
            Args full = args;
            full.insert(full.end(), {Put("in.bmp", input), Path("out.bmp")});
            ASSERT_EQ(Run(full).code, 0) << args[0] << " w=" << w;
            // The pixels mapped, the padding kept, biSizeImage set, trailing bytes dropped.
            for (std::size_t i = 0; i < rows.size(); ++i)
                if (i % Stride8(w) < static_cast<std::size_t>(w))
                    rows[i] = static_cast<std::uint8_t>(map(rows[i]));
            Bytes want = MakeGray8Bmp(w, 1 + w % 4, rows);
            PutU32(want, 14 + 20, static_cast<std::uint32_t>(rows.size()));
            EXPECT_EQ(ReadFile(Path("out.bmp")), want) << args[0] << " w=" << w;
        }
    }
    // The choosing operations give exactly the fixed ones with the numbers they print.
    const std::string random = Put("random.bmp", MakeGray8Bmp(31, 7, RandomRows(31, 7, 9)));
    const std::string stats = Run({"histogram", "--stats", random}).out;
    const std::string otsu
        = stats.substr(stats.find("otsu=") + 5, stats.find('\n') - stats.find("otsu=") - 5);
    const Result chosenT = Run({"threshold", "otsu", random, Path("otsu.bmp")});
    EXPECT_EQ(chosenT.err, "threshold: T=" + otsu + "\n");
    ASSERT_EQ(Run({"threshold", otsu, random, Path("fixed.bmp")}).code, 0);
    EXPECT_EQ(ReadFile(Path("otsu.bmp")), ReadFile(Path("fixed.bmp")));
    for (const char *percent : {"0", "0.35", "10", "99"}) {
        const Result chosen = Run({"stretch", "auto", percent, random, Path("auto.bmp")});
        unsigned x1 = 256, y1 = 256, x2 = 256, y2 = 256;
        ASSERT_EQ(
            std::sscanf(chosen.err.c_str(), "stretch: X1=%u Y1=%u X2=%u Y2=%u", &x1, &y1, &x2, &y2),
            4)
            << chosen.err;
        EXPECT_EQ(y1, 0u) << chosen.err;
        EXPECT_EQ(y2, 255u) << chosen.err;
        EXPECT_LE(x1, x2) << chosen.err;
        ASSERT_EQ(Run({"stretch", std::to_string(x1), "0", std::to_string(x2), "255", random,
                       Path("fixed.bmp")})
                      .code,
                  0);
        EXPECT_EQ(ReadFile(Path("auto.bmp")), ReadFile(Path("fixed.bmp"))) << percent;
    }

    const Args commands[]
        = {{"render"},          {"invert"},       {"threshold", "otsu"},
           {"stretch", "auto"}, {"gamma", "0.5"}, {"histogram", "--plot", Path("plot.png")}};
    for (const std::string &name : BmpSuiteFiles())
        for (Args args : commands) {
            args.push_back((BmpSuiteDir() / name).string());
            if (args[0] != "histogram")
                args.push_back(Path("out"));
            EXPECT_LE(Run(args).code, 1) << name << " " << args[0];
        }
}

TEST_F(BatchTest, CommandsPrintTheirResults)
{
    const std::string in = Input(), eq = Equalizable();
    const std::string rle
        = Put("rle.bmp",
              MakeBmpFile(MakeDib({.width = 4, .height = 1, .compression = 1, .sizeImage = 2},
                                  GrayTable256(), Bytes{0, 1})));
    // 10, 10, 20, 200 equalise to 127, 127, 191, 255; the padding stays.
    const std::string equalized("\x7F\x7F\x01\x02\xBF\xFF\x03\x04");
    ASSERT_EQ(::mkfifo(Path("fifo-in").c_str(), 0600), 0);
    const Args stats{"histogram", "--stats", in};
    const Case cases[] = {
        {{"info", in}, 0, "\nwidth=5 height=3 bits=8 colors=256 header=40 compression=0\n"},
        {{"info", rle}, 0, "\nwidth=4 height=1 bits=8 colors=256 header=40 compression=1\n"},
        {{"histogram", in}, 0, "\n7 0\n8 0\n9 12\n10 0\n"},
        {stats, 0, "\npixels=15 min=9 max=200 mean=47.2000 median=9 stddev=76.4000 otsu=10\n"},
        {{"table", "linear", "2.0", "-128.0"}, 0, "\n191 254\n192 255\n"},
        {{"table", "stretch", "50", "30", "200", "220"}, 0, "\n25 15\n"},
        {{"table", "stretch", "50", "30", "200", "220"}, 0, "\n210 226\n"},
        // A slope whose products leave the float range.
        {{"table", "linear", "1e38", "-1e-50"}, 0, "\n0 0\n1 255\n"},
        // Links to a pipe, pipes and FIFOs as IN and OUT.
        {{"equalize", eq, "-"}, 0, equalized},
        {{"equalize", eq, "/dev/stdout"}, 0, equalized, "", "| cat"},
        {{"equalize", eq, "/dev/stdout"}, 0, equalized}, // a file whose path is longer than 64
        {{"equalize", eq, "/dev/fd/3"}, 0, equalized, "", "3>&1 1>&2 | cat"},
        {{"equalize", "/dev/stdin", "-"}, 0, equalized, PipeFrom(eq)},
        {{"equalize", Path("fifo-in"), "-"},
         0,
         equalized,
         "cat '" + eq + "' >'" + Path("fifo-in") + "' &"},
        {{"--help"}, 0, "\n  tonecraft-batch histogram [--stats] IN.bmp\n"},
        {{"--help"}, 0, "\n  tonecraft-batch stretch auto [SATURATED] [--quiet] IN.bmp OUT.bmp\n"},
        // 255 (128/255)^2 = 64.25; 255 (100/255)^(1/2) = 159.69.
        {{"table", "gamma", "2"}, 0, "\n128 64\n"},
        {{"table", "gamma", "+0.5"}, 0, "\n100 160\n"},
    };
    for (const Case &c : cases)
        Check(c);
}

TEST_F(BatchTest, BadCommandLinesAreRefusedWithTheUsage)
{
    const std::string in = Input(), out = Put("out.bmp", kOld);
    const Case cases[] = {
        {{}, 2, "no command"},
        {{"sharpen", in, out}, 2, "sharpen"},
        {{"threshold", "256", in, out}, 2, "T '256'"},
        {{"threshold", "12a", in, out}, 2, "T '12a'"},
        {{"window", "10", in, out}, 2, "window takes"},
        {{"invert", in, out, out}, 2, "invert takes"},
        {{"linear", "1", "inf", in, out}, 2, "INTERCEPT 'inf'"},
        {{"histogram", in, "--stats"}, 2, "histogram takes"},
        {{"table"}, 2, "OPERATION"},
        {{"table", "equalize"}, 2, "OPERATION 'equalize'"},
        {{"table", "linear", "1"}, 2, "takes 2"},
        {{"gamma", "1e-50", in, out}, 2, "G '1e-50': expected a finite decimal number above 0"},
        {{"gamma", "0", in, out}, 2, "G '0'"},
        {{"gamma", "-2", in, out}, 2, "G '-2'"},
        {{"gamma", "nan", in, out}, 2, "G 'nan'"},
        {{"gamma", in, out}, 2, "gamma takes 1 parameters"},
        {{"table", "gamma", "1e39"}, 2, "G '1e39'"},
        {{"stretch", "auto", "100", in, out}, 2, "SATURATED '100'"},
        {{"stretch", "auto", "-1", in, out}, 2, "SATURATED '-1'"},
        {{"stretch", "auto", "5%", in, out}, 2, "SATURATED '5%'"},
        {{"stretch", "auto", "1", "2", in, out}, 2, "stretch auto takes 0 to 1 parameters"},
        {{"threshold", "otsu", "7", in, out}, 2, "threshold otsu takes 0 parameters"},
        {{"threshold", "", in, out}, 2, "T ''"},
        {{"table", "threshold", "otsu"}, 2, "T 'otsu'"},
        {{"histogram", "--plot", in}, 2, "histogram --plot takes OUT.png and IN.bmp"},
    };
    for (const Case &c : cases)
        Check(c);
    EXPECT_EQ(ReadFile(out), kOld);
}

TEST_F(BatchTest, RefusedImagesAndFileErrorsLeaveTheOutputAlone)
{
    const std::string in = Input(), out = Put("out.bmp", kOld), text = Put("t.bmp", {'h', 'i'});
    const std::string wide = Put("wide.bmp", MakeGray8Bmp(1000, 200, RandomRows(1000, 200, 2)));
    auto bmp = [this](const char *name, DibFields f, const Bytes &table, std::size_t bytes) {
        return Put(name, MakeBmpFile(MakeDib(f, table, Bytes(bytes, 1))));
    };
    const std::string rgb = bmp("rgb.bmp", {.width = 1, .height = 1, .bitCount = 24}, {}, 4);
    const std::string empty = bmp("empty.bmp", {.width = 0, .height = 1}, GrayTable256(), 0);
    const std::string topDown = bmp("topdown.bmp", {.width = 4, .height = -1}, GrayTable256(), 4);
    const std::string cut = bmp("cut.bmp", {.width = 64, .height = 64}, GrayTable256(), 4095);
    // A core header: read and transformed, but not written.
    const std::string core
        = bmp("c.bmp", {.headerSize = 12, .width = 4, .height = 1}, Bytes(768), 4);
    fs::create_directory(Path("taken"));
    // Root runs as nobody: a read-only file is not replaced though the folder allows a rename,
    // and another's file in a sticky folder cannot be renamed over.
    const bool root = ::geteuid() == 0;
    fs::create_directory(Path("sticky")), fs::permissions(m_dir, fs::perms::all);
    const std::string locked = Put("locked.bmp", kOld), sticky = Put("sticky/t.bmp", kOld);
    fs::permissions(Path("sticky"), fs::perms(01777)), fs::permissions(sticky, fs::perms(0666));
    fs::permissions(locked, fs::perms::owner_read | fs::perms::others_read);
    const char *nobody = root ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
    const std::string full = "exec >/dev/full;", noSpace = "'standard output': No space left";
    const Case cases[] = {
        {{"invert", rgb, out}, 1, "\n目前只支持256色位图的反色！\n"},
        {{"histogram", rgb}, 1, "\n目前只支持查看256色位图灰度直方图！\n"},
        {{"gamma", "2", rgb, out}, 1, "\n目前只支持256色位图的伽马变换！\n"},
        {{"threshold", "otsu", rgb, out}, 1, "\n目前只支持256色位图的阈值变换！\n"},
        {{"stretch", "auto", rgb, out}, 1, "\n目前只支持256色位图的灰度拉伸！\n"},
        {{"histogram", "--plot", out, rgb}, 1, "\n目前只支持查看256色位图灰度直方图！\n"},
        {{"threshold", "otsu", empty, out}, 1, "no pixels to choose from"},
        {{"histogram", "--plot", Path("no-such-dir/p.png"), in}, 3, "no-such-dir/p.png': No such"},
        {{"invert", text, out}, 1, "\n" + kReadError},
        {{"invert", topDown, out}, 1, "\nBMP图像太大！\n" + kReadError},
        {{"invert", cut, out}, 1, kReadError},
        {{"invert", core, out}, 1, "\n无法保存BMP图像！\n"},
        {{"invert", "-", "-"}, 1, kReadError, PipeFrom(text)},
        {{"invert", Path("missing.bmp"), out}, 3, "missing.bmp': No such file or directory"},
        {{"info", m_dir.string()}, 3, "Is a directory"},
        {{"invert", in, Path("no-such-dir/out.bmp")}, 3, "no-such-dir/out.bmp': No such file"},
        {{"invert", in, Path("taken")}, 3, "taken': Is a directory"},
        {{"invert", in, locked}, 3, "locked.bmp': Permission denied", nobody},
        {{"invert", in, sticky},
         root ? 3 : 0,
         root ? "t.bmp': Operation not permitted" : "",
         nobody},
        {{"info", in}, 3, noSpace, full},
        {{"invert", in, "-"}, 3, noSpace, full},
        {{"invert", wide, Path("capped.bmp")}, 3, "capped.bmp': File too large", "ulimit -f 100;"},
    };
    for (const Case &c : cases)
        Check(c);
    EXPECT_EQ(ReadFile(out), kOld);
    EXPECT_EQ(ReadFile(locked), kOld);
    if (root) {
        EXPECT_EQ(ReadFile(sticky), kOld);
    }
    EXPECT_EQ(Files(), 12u) << "a temporary file was left behind";
}

// Outputs through a link, into a file of two names, a FIFO, a longest name, a setuid file.
TEST_F(BatchTest, OutputsLandWhereACopyWouldPutThem)
{
    const std::string in = Input(), owned = Put("owned.bmp", kOld), longest(250, 'n');
    Put("target.bmp", kOld), Put("first.bmp", kOld);
    fs::create_symlink("target.bmp", Path("link.bmp"));
    fs::create_hard_link(Path("first.bmp"), Path("second.bmp"));
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    Bytes fifo;
    std::thread reader([&] { fifo = ReadFile(Path("fifo")); });
    const uid_t owner = ::geteuid() == 0 ? 65534 : ::geteuid(); // a change of owner clears setuid
    ASSERT_FALSE(::chown(owned.c_str(), owner, gid_t(-1)) || ::chmod(owned.c_str(), 06754));
    for (const std::string &name : {Path("plain.bmp"), Path("link.bmp"), Path("second.bmp"),
                                    Path("fifo"), owned, Path(longest)})
        Check({{"invert", in, name}, 0, ""});
    reader.join();
    const Bytes want = ReadFile(Path("plain.bmp"));
    for (const std::string name : {"target.bmp", "first.bmp", "owned.bmp", longest.c_str()})
        EXPECT_EQ(ReadFile(Path(name)), want) << name;
    EXPECT_EQ(fifo, want);
    EXPECT_TRUE(fs::is_symlink(Path("link.bmp")));
    EXPECT_TRUE(fs::is_fifo(Path("fifo")));
    EXPECT_EQ(fs::hard_link_count(Path("first.bmp")), 2u);
    struct stat info = {};
    ::stat(owned.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0754u);
    EXPECT_EQ(info.st_uid, owner);
    EXPECT_EQ(Files(), 9u) << "a temporary file was left behind";
}

// The numbers a choosing operation took, on standard error; with --quiet (anywhere after the
// word) none. 15 pixels: none left out at 0.35 percent, three at each end at 40.
TEST_F(BatchTest, ChoosingOperationsPrintWhatTheyChoseUnlessQuiet)
{
    const std::string in = Input();
    const std::pair<Args, std::string> chosen[] = {
        {{"threshold", "otsu", in, Path("o.bmp")}, "threshold: T=10\n"},
        {{"stretch", "auto", in, Path("o.bmp")}, "stretch: X1=9 Y1=0 X2=200 Y2=255\n"},
        {{"stretch", "auto", "40", in, Path("o.bmp")}, "stretch: X1=9 Y1=0 X2=9 Y2=255\n"},
        {{"stretch", "auto", "--quiet", "1", in, Path("o.bmp")}, ""},
        {{"threshold", "otsu", in, "--quiet", Path("o.bmp")}, ""},
    };
    for (const auto &[args, text] : chosen) {
        const Result r = Run(args);
        EXPECT_EQ(r.code, 0) << args[1] << r.err;
        EXPECT_EQ(r.out, "") << args[1];
        EXPECT_EQ(r.err, text) << args[1];
    }
}

// Larger than a pipe's buffer and than one read, so the image arrives in pieces.
TEST_F(BatchTest, AnImageThroughAPipeArrivesWhole)
{
    const std::string big = Put("big.bmp", MakeGray8Bmp(1501, 777, RandomRows(1501, 777, 5)));
    const Result piped = Run({"invert", "-", "-"}, PipeFrom(big));
    EXPECT_EQ(piped.code, 0) << piped.err;
    EXPECT_EQ(piped.out, Run({"invert", big, "-"}).out);
}

// The dialog's picture at three times its size: a bar per level standing on the axis, the
// highest count 762 pixels tall and every other in proportion, rounded down, and the axis
// ticks. The highest count is large enough that count x 762 needs more than 32 bits.
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
    const std::uint32_t width = __builtin_bswap32(GetU32(file, 16));
    ASSERT_EQ(width, 990u);
    ASSERT_EQ(__builtin_bswap32(GetU32(file, 20)), 900u);
    ASSERT_FALSE(png.empty());
    auto rgb = [&](int x, int y) {
        const std::uint8_t *p = png.data() + y * (1 + 3 * width) + 1 + 3 * x;
        return p[0] << 16 | p[1] << 8 | p[2];
    };
    constexpr int kBlue = 0x0000FF, kRed = 0xFF0000, kWhite = 0xFFFFFF;
    for (std::uint64_t g = 0; g < 256; ++g) {
        const int x = static_cast<int>(10 + g) * 3 + 1;
        std::uint64_t height = 0;
        while (height < 839 && rgb(x, 839 - static_cast<int>(height)) == kBlue)
            ++height;
        EXPECT_LE(height * 5700000, 762 * counts[g]) << "level " << g;
        EXPECT_LT(762 * counts[g], (height + 1) * 5700000) << "level " << g;
        EXPECT_EQ(rgb(x, 840), kBlue) << g; // the bar covers the axis
        // A long tick every 10 levels, a short one between.
        EXPECT_EQ(rgb(x, 843), g % 5 == 0 ? kRed : kWhite) << g;
        EXPECT_EQ(rgb(x, 849), g % 10 == 0 ? kRed : kWhite) << g;
    }
}

// The picture's rows in the palette's colours. A signal that ends the tool mid-write takes the
// temporary output file with it.
TEST_F(BatchTest, RenderWritesBoundedChunksAndSignalsLeaveNoTemporaryFile)
{
    const Bytes rows = RandomRows(3000, 3000, 3);
    Bytes table(1024); // index i: blue i, green i, red 255 - i
    for (std::size_t i = 0; i < 1024; ++i)
        table[i] = static_cast<std::uint8_t>(i % 4 == 2 ? 255 - i / 4 : i / 4);
    const std::string in
        = Put("in.bmp", MakeBmpFile(MakeDib({.width = 3000, .height = 3000}, table, rows)));
    ASSERT_EQ(Run({"render", in, Path("out.png")}).code, 0);
    const Bytes png = ReadPng(Path("out.png"));
    ASSERT_EQ(png.size(), 3000 * 9001u);
    // Row y of the PNG is the picture's top row y, stored as BMP row 2999 - y.
    for (const auto &[x, y] : {std::pair{0, 0}, {2999, 1}, {1, 63}, {0, 64}, {2999, 2999}}) {
        const int i = rows[(2999 - y) * 3000 + x];
        const std::uint8_t *rgb = png.data() + y * 9001 + 1 + 3 * x;
        EXPECT_EQ(rgb[0] << 16 | rgb[1] << 8 | rgb[2], (255 - i) << 16 | i << 8 | i) << y;
    }

    fs::remove(Path("out.png"));
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE,
                       SIGXCPU, SIGVTALRM, SIGPROF, SIGRTMIN}) {
        const pid_t child = ::fork();
        const rlimit noCore{0, 0};
        if (child == 0)
            ::setrlimit(RLIMIT_CORE, &noCore),
                ::execl(TONECRAFT_BATCH_EXE, "b", "render", in.c_str(), Path("o").c_str(), nullptr),
                ::_exit(127);
        for (int i = 0; i < 20000 && Files() == 1; ++i)
            ::usleep(500);
        const bool writing = Files() > 1;
        ::kill(child, signal);
        int status = 0;
        ASSERT_TRUE(::waitpid(child, &status, 0) == child);
        ASSERT_TRUE(writing);
        if (!WIFSIGNALED(status))
            GTEST_SKIP() << "the render ended before the signal came";
        fs::remove(Path("o")); // the signal may come after the rename, on a busy machine
        EXPECT_TRUE(WTERMSIG(status) == signal) << "signal " << signal;
        EXPECT_TRUE(Files() == 1) << "signal " << signal;
    }
}

// A few bytes may describe gigabytes. Under an address-space limit the tool says why it refuses
// what does not fit, and renders a 30 MB row a part at a time.
TEST_F(BatchTest, ImagesBeyondTheMemoryAreRefusedAndWideOnesRenderInLittle)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer cannot run under an address-space limit";
#endif
    auto rle8 = [](std::int32_t width, std::int32_t height) { // ended at once: all index 0
        return MakeBmpFile(
            MakeDib({.width = width, .height = height, .compression = 1, .sizeImage = 2},
                    GrayTable256(), Bytes{0, 1}));
    };
    const std::string limit = "ulimit -v 196608;", bomb = Put("bomb.bmp", rle8(65535, 65535));
    for (const char *command : {"invert", "render"})
        Check({{command, "--max-pixels", "4294836225", bomb, Path("out")},
               1,
               "MiB available\n" + kReadError,
               limit});
    // An endless stream is refused in the same words; the reserve kept is shown.
    Check({{"info", "-"}, 1, "MiB available\n" + kReadError, limit + "yes |"});
    Check({{"info", "-"}, 1, " MiB needed and 64 MiB kept in reserve, ", limit + "yes |"});
    Check({{"render", Put("wide.bmp", rle8(30000000, 1)), Path("wide.png")}, 0, "", limit});
    const Bytes png = ReadPng(Path("wide.png"));
    EXPECT_TRUE(png.size() == 90000001);
    EXPECT_TRUE(std::count(png.begin(), png.end(), 0) == 90000001);
}

// A few bytes of run-length codes that expand into gigabytes are refused at once, unless a
// pixel limit of the user's own allows them; the limit applies to plain images as well.
TEST_F(BatchTest, CompressedBombsAreRefusedByDefaultAndPixelsByTheLimitGiven)
{
    const auto bmp = [this](const char *name, std::int32_t width, std::int32_t height,
                            std::uint16_t bits) {
        const DibFields fields{.width = width,
                               .height = height,
                               .bitCount = bits,
                               .compression = bits == 4 ? 2u : 1u,
                               .sizeImage = 2};
        return Put(name, MakeBmpFile(MakeDib(fields, Bytes(bits == 4 ? 64 : 1024), Bytes{0, 1})));
    };
    const std::string bomb4 = bmp("bomb4.bmp", 0x7FFFFFFF, 1, 4);
    const std::string bomb8 = bmp("bomb8.bmp", 65535, 65535, 8);
    ASSERT_EQ(fs::file_size(bomb4), 120u);
    ASSERT_EQ(fs::file_size(bomb8), 1080u);
    const std::string rle = (BmpSuiteDir() / "g/pal8rle.bmp").string(), timeout = "timeout 60";
    const std::string limit = "the compressed rows would expand beyond 1 GiB and 1000 times the "
                              "file's size; --max-pixels N sets a limit of its own\n"
        + kReadError;
    const Case cases[] = {
        {{"render", bomb4, Path("out.png")}, 1, limit, timeout},
        {{"invert", bomb8, Path("out.bmp")}, 1, limit, timeout},
        {{"info", rle}, 0, "width=127 height=64 bits=8 colors=252 header=40 compression=1\n"},
        {{"info", "--max-pixels", "8128", rle}, 0, "width=127 height=64"},
        {{"invert", rle, "--max-pixels", "8127", Path("out.bmp")},
         1,
         "the image has 8128 pixels, more than --max-pixels 8127\n" + kReadError},
        {{"info", "--max-pixels", "2147483646", bomb4}, 1, "more than --max-pixels 2147483646"},
        {{"info", "--max-pixels", "0", rle}, 2, "bad --max-pixels '0'"},
        {{"info", "--max-pixels", "-5", rle}, 2, "bad --max-pixels '-5'"},
        {{"info", rle, "--max-pixels"}, 2, "--max-pixels needs a value"},
    };
    for (const Case &c : cases)
        Check(c);
    EXPECT_FALSE(fs::exists(Path("out.png")));
    EXPECT_FALSE(fs::exists(Path("out.bmp")));
}
