#include "BatchTool.h"

#include "NaiveTransforms.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace fs = std::filesystem;
using TestImages::Bytes;

namespace {

const std::string kReadError = "读取图像时出错！可能是不支持该类型的图像文件！\n";

struct Result
{
    int code = -1;
    std::string out;
    std::string err;
};

Result RunTool(std::vector<std::string> args)
{
    std::vector<std::string_view> views(args.begin(), args.end());
    std::ostringstream out, err;
    Result r;
    r.code = CBatchTool::Run(views, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

class BatchToolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path()
            / ("tonecraft-batch-" + std::to_string(::getpid()) + "-"
               + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Put(const std::string &name, const Bytes &bytes)
    {
        TestImages::WriteFile(m_dir / name, bytes);
        return (m_dir / name).string();
    }
    std::string PathOf(const std::string &name) const { return (m_dir / name).string(); }
    std::size_t FilesInDir() const
    {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()));
    }

    fs::path m_dir;
};

// The file the tool must write for an input file whose rows went through `map`: the same
// header, table and (mapped) rows, biSizeImage set, trailing bytes dropped.
Bytes ExpectedOutput(std::int32_t w, std::int32_t h, const Bytes &rows,
                     const std::function<int(int)> &map)
{
    Bytes mapped = rows;
    const std::size_t stride = TestImages::Stride8(w);
    for (std::size_t y = 0; y < static_cast<std::size_t>(h); ++y) {
        for (std::size_t x = 0; x < static_cast<std::size_t>(w); ++x)
            mapped[y * stride + x] = static_cast<std::uint8_t>(map(mapped[y * stride + x]));
    }
    Bytes file = TestImages::MakeGray8Bmp(w, h, mapped);
    const auto sizeImage = static_cast<std::uint32_t>(mapped.size());
    for (int i = 0; i < 4; ++i)
        file[14 + 20 + static_cast<std::size_t>(i)]
            = static_cast<std::uint8_t>(sizeImage >> (8 * i));
    return file;
}

struct OperationCase
{
    std::vector<std::string> params;
    std::string name;
    std::function<int(int)> map;
};

std::vector<OperationCase> OperationCases()
{
    return {
        {{}, "invert", [](int g) { return 255 - g; }},
        {{"2", "-128"}, "linear", [](int g) { return NaiveTransforms::Linear(g, 2.0f, -128.0f); }},
        {{"0.3", "17.25"},
         "linear",
         [](int g) { return NaiveTransforms::Linear(g, 0.3f, 17.25f); }},
        {{"-1.7e0", "300"},
         "linear",
         [](int g) { return NaiveTransforms::Linear(g, -1.7f, 300.0f); }},
        {{"128"}, "threshold", [](int g) { return g < 128 ? 0 : 255; }},
        {{"0"}, "threshold", [](int) { return 255; }},
        {{"50", "200"}, "window", [](int g) { return g < 50 ? 0
                                                  : g > 200 ? 255
                                                            : g; }},
        {{"100", "50"}, "window", [](int g) { return g < 100 ? 0 : 255; }},
        {{"50", "30", "200", "220"},
         "stretch",
         [](int g) { return NaiveTransforms::Stretch(g, 50, 30, 200, 220); }},
        {{"200", "100", "50", "150"},
         "stretch",
         [](int g) {
             return g <= 200 ? NaiveTransforms::Stretch(g, 200, 100, 255, 255)
                             : 150 + 105 * (g - 50) / 205;
         }},
    };
}

} // namespace

TEST_F(BatchToolTest, TransformsAreByteExactOnRandomImagesWithPaddingAndTrailingBytes)
{
    std::mt19937 rng(7);
    for (const OperationCase &op : OperationCases()) {
        for (std::int32_t w : {1, 3, 5, 31, 101}) {
            const std::int32_t h = 1 + static_cast<std::int32_t>(rng() % 9);
            const Bytes rows = TestImages::RandomRows(w, h, rng());
            Bytes input = TestImages::MakeGray8Bmp(w, h, rows);
            input.insert(input.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0x01}); // trailing junk
            std::vector<std::string> args{op.name};
            args.insert(args.end(), op.params.begin(), op.params.end());
            args.push_back(Put("in.bmp", input));
            args.push_back(PathOf("out.bmp"));
            const Result r = RunTool(args);
            ASSERT_EQ(r.code, 0) << op.name << " w=" << w << ": " << r.err;
            EXPECT_EQ(TestImages::ReadFile(PathOf("out.bmp")), ExpectedOutput(w, h, rows, op.map))
                << op.name << " w=" << w;
        }
    }
}

TEST_F(BatchToolTest, EqualizeMatchesTheWorkedExample)
{
    // 2 x 2 image 10, 10, 20, 200: 10 -> 127, 20 -> 191, 200 -> 255; padding untouched.
    const Bytes rows{10, 10, 0xAA, 0xBB, 20, 200, 0xCC, 0xDD};
    const Result r = RunTool(
        {"equalize", Put("in.bmp", TestImages::MakeGray8Bmp(2, 2, rows)), PathOf("out.bmp")});
    ASSERT_EQ(r.code, 0) << r.err;
    const Bytes want{127, 127, 0xAA, 0xBB, 191, 255, 0xCC, 0xDD};
    const Bytes out = TestImages::ReadFile(PathOf("out.bmp"));
    EXPECT_EQ(Bytes(out.end() - 8, out.end()), want);
}

TEST_F(BatchToolTest, InfoAndHistogramDescribeTheImage)
{
    Bytes rows(8 * 3, 7); // padding bytes hold 7, which no pixel has
    for (std::size_t y = 0; y < 3; ++y) {
        for (std::size_t x = 0; x < 5; ++x)
            rows[y * 8 + x] = static_cast<std::uint8_t>(x == 0 ? 200 : 9);
    }
    const std::string in = Put("in.bmp", TestImages::MakeGray8Bmp(5, 3, rows));
    Result r = RunTool({"info", in});
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "width=5 height=3 bits=8 colors=256 header=40 compression=0\n");

    r = RunTool({"histogram", in});
    ASSERT_EQ(r.code, 0);
    std::istringstream lines(r.out);
    int gray = 0;
    std::uint64_t count = 0, total = 0;
    int seen = 0;
    while (lines >> gray >> count) {
        EXPECT_EQ(gray, seen++);
        EXPECT_EQ(count, gray == 9 ? 12u : gray == 200 ? 3u : 0u) << "gray " << gray;
        total += count;
    }
    EXPECT_EQ(seen, 256);
    EXPECT_EQ(total, 15u);

    r = RunTool({"histogram", "--stats", in});
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "pixels=15 min=9 max=200 mean=47.2000 median=9 stddev=76.4000 otsu=10\n");
}

TEST_F(BatchToolTest, HelpAndVersionGoToStandardOutput)
{
    Result r = RunTool({"--help"});
    EXPECT_EQ(r.code, 0);
    const std::string usageError = RunTool({}).err;
    EXPECT_EQ(r.out, usageError.substr(usageError.find('\n') + 1)) << "the usage, as on errors";
    EXPECT_NE(r.out.find("histogram [--stats] IN.bmp"), std::string::npos);
    EXPECT_TRUE(r.err.empty());
    r = RunTool({"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.starts_with("tonecraft-batch 1.")) << r.out;
}

TEST_F(BatchToolTest, TablePrintsTheMappingOfTheWorkedExamples)
{
    auto line = [](const Result &r, int g) {
        std::istringstream in(r.out);
        std::string s;
        for (int i = 0; i <= g; ++i)
            std::getline(in, s);
        return s;
    };
    const Result linear = RunTool({"table", "linear", "2.0", "-128.0"});
    ASSERT_EQ(linear.code, 0);
    EXPECT_EQ(line(linear, 64), "64 0");
    EXPECT_EQ(line(linear, 100), "100 72");
    EXPECT_EQ(line(linear, 191), "191 254");
    EXPECT_EQ(line(linear, 192), "192 255");
    const Result stretch = RunTool({"table", "stretch", "50", "30", "200", "220"});
    ASSERT_EQ(stretch.code, 0);
    EXPECT_EQ(line(stretch, 25), "25 15");
    EXPECT_EQ(line(stretch, 100), "100 93");
    EXPECT_EQ(line(stretch, 210), "210 226");
    EXPECT_EQ(line(stretch, 255), "255 255");
    EXPECT_EQ(std::count(stretch.out.begin(), stretch.out.end(), '\n'), 256);
    EXPECT_EQ(line(RunTool({"table", "invert"}), 100), "100 155");
}

TEST_F(BatchToolTest, BadCommandLinesAreUsageErrorsNamingTheArgument)
{
    const std::string in = Put("in.bmp", TestImages::MakeGray8Bmp(1, 1, Bytes(4, 0)));
    const std::string out = PathOf("out.bmp");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "no command"},
        {{"sharpen", in, out}, "sharpen"},
        {{"threshold", "256", in, out}, "T '256'"},
        {{"threshold", "-1", in, out}, "T '-1'"},
        {{"threshold", "12a", in, out}, "T '12a'"},
        {{"threshold", "", in, out}, "T ''"},
        {{"window", "10", in, out}, "window takes"},
        {{"stretch", "1", "2", "3", "x", in, out}, "Y2 'x'"},
        {{"linear", "nan", "0", in, out}, "SLOPE 'nan'"},
        {{"linear", "1", "inf", in, out}, "INTERCEPT 'inf'"},
        {{"linear", "1e39", "0", in, out}, "SLOPE '1e39'"},
        {{"linear", "1,5", "0", in, out}, "SLOPE '1,5'"},
        {{"info"}, "info takes"},
        {{"histogram", "--stats"}, "histogram takes"},
        {{"histogram", in, "--stats"}, "histogram takes"},
        {{"info", in, out}, "info takes"},
        {{"table"}, "OPERATION"},
        {{"table", "equalize"}, "OPERATION 'equalize'"},
        {{"table", "linear", "1"}, "takes 2"},
    };
    for (const auto &[args, mention] : cases) {
        const Result r = RunTool(args);
        EXPECT_EQ(r.code, 2) << mention;
        EXPECT_NE(r.err.find(mention), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(BatchToolTest, RefusedImagesLeaveTheOutputUntouched)
{
    const Bytes old{'o', 'l', 'd'};
    const std::string out = Put("out.bmp", old);
    const Bytes rgb = TestImages::MakeBmpFile(
        TestImages::MakeDib({.width = 2, .height = 2, .bitCount = 24}, {}, Bytes(16, 1)));
    const std::string in24 = Put("rgb.bmp", rgb);
    const std::vector<std::pair<std::vector<std::string>, std::string>> refusals = {
        {{"invert", in24, out}, "目前只支持256色位图的反色！\n"},
        {{"linear", "1", "0", in24, out}, "目前只支持256色位图的线性变换！\n"},
        {{"threshold", "1", in24, out}, "目前只支持256色位图的阈值变换！\n"},
        {{"window", "1", "2", in24, out}, "目前只支持256色位图的窗口变换！\n"},
        {{"stretch", "1", "2", "3", "4", in24, out}, "目前只支持256色位图的灰度拉伸！\n"},
        {{"equalize", in24, out}, "目前只支持256色位图的直方图均衡！\n"},
        {{"histogram", in24}, "目前只支持查看256色位图灰度直方图！\n"},
        {{"invert", Put("text.bmp", Bytes{'h', 'e', 'l', 'l', 'o'}), out}, kReadError},
        {{"invert", Put("short.bmp", Bytes{'B', 'M', 0, 0}), out}, kReadError},
    };
    for (const auto &[args, message] : refusals) {
        const Result r = RunTool(args);
        EXPECT_EQ(r.code, 1) << args[0];
        EXPECT_EQ(r.err, message);
    }

    // A top-down image is refused as too big first, then as unreadable.
    Bytes topDown = TestImages::MakeGray8Bmp(4, 1, Bytes(4, 3));
    topDown[14 + 8] = topDown[14 + 9] = topDown[14 + 10] = topDown[14 + 11] = 0xFF;
    Result r = RunTool({"invert", Put("topdown.bmp", topDown), out});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "BMP图像太大！\n" + kReadError);

    // Rows missing from the file: refused rather than read past the block.
    Bytes truncated = TestImages::MakeGray8Bmp(64, 64, Bytes(64 * 64, 1));
    truncated.resize(truncated.size() - 100);
    r = RunTool({"invert", Put("truncated.bmp", truncated), out});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, kReadError);

    // A 256-colour image with a core header transforms, but cannot be saved.
    Bytes coreTable(768, 0);
    const Bytes core = TestImages::MakeBmpFile(
        TestImages::MakeDib({.headerSize = 12, .width = 4, .height = 1}, coreTable, Bytes(4, 9)),
        14 + 12 + 768);
    r = RunTool({"invert", Put("core.bmp", core), out});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "无法保存BMP图像！\n");

    EXPECT_EQ(TestImages::ReadFile(out), old);
    EXPECT_EQ(FilesInDir(), 7u) << "a temporary file was left behind";
}

TEST_F(BatchToolTest, FileErrorsNameTheFileAndLeaveNoTemporaryFiles)
{
    const std::string in = Put("in.bmp", TestImages::MakeGray8Bmp(1, 1, Bytes(4, 0)));

    Result r = RunTool({"invert", PathOf("missing.bmp"), PathOf("out.bmp")});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("missing.bmp"), std::string::npos);
    EXPECT_NE(r.err.find("No such file or directory"), std::string::npos);

    r = RunTool({"info", m_dir.string()});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("Is a directory"), std::string::npos);

    r = RunTool({"invert", in, PathOf("no-such-dir/out.bmp")});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("no-such-dir/out.bmp"), std::string::npos);

    // Renaming over a directory fails at the very end: nothing may be left behind.
    fs::create_directory(PathOf("taken"));
    r = RunTool({"invert", in, PathOf("taken")});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(fs::is_directory(PathOf("taken")));
    EXPECT_EQ(FilesInDir(), 2u);
}

TEST_F(BatchToolTest, ReplacingAFileKeepsItsPermissions)
{
    const std::string in = Put("in.bmp", TestImages::MakeGray8Bmp(1, 1, Bytes(4, 0)));
    const std::string out = Put("out.bmp", Bytes{1});
    fs::permissions(out, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_EQ(RunTool({"invert", in, out}).code, 0);
    EXPECT_EQ(fs::status(out).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(TestImages::ReadFile(out).size(), 14u + 40 + 1024 + 4);

    // The input itself may be the output: it is replaced only once the new file is complete.
    ASSERT_EQ(RunTool({"invert", in, in}).code, 0);
    EXPECT_EQ(TestImages::ReadFile(in).back(), 0);
    EXPECT_EQ(TestImages::ReadFile(in)[14 + 40 + 1024], 255);
}

// The real executable, as a script would run it: exit codes, and every file of the public
// suite through info and invert without a crash or sanitizer report.
class BatchExecutableTest : public BatchToolTest
{
protected:
    // With `pipeFrom`, standard input is a pipe fed from that file.
    Result Exec(const std::vector<std::string> &args, const std::string &pipeFrom = "",
                const std::string &stdoutTo = "")
    {
        std::string command = pipeFrom.empty() ? "" : "cat '" + pipeFrom + "' | ";
        command += "ASAN_OPTIONS=exitcode=86 UBSAN_OPTIONS=exitcode=87:halt_on_error=1 '"
            + std::string(TONECRAFT_BATCH_EXE) + "'";
        for (const std::string &a : args)
            command += " '" + a + "'";
        command += " >'" + (stdoutTo.empty() ? PathOf("stdout") : stdoutTo) + "' 2>'"
            + PathOf("stderr") + "'";
        const int status = std::system(command.c_str());
        Result r;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        const Bytes out = TestImages::ReadFile(PathOf("stdout"));
        const Bytes err = TestImages::ReadFile(PathOf("stderr"));
        r.out.assign(out.begin(), out.end());
        r.err.assign(err.begin(), err.end());
        return r;
    }
};

TEST_F(BatchExecutableTest, ExitCodesReachTheShell)
{
    const std::string in = Put("in.bmp", TestImages::MakeGray8Bmp(3, 1, Bytes{1, 2, 3, 0}));
    EXPECT_EQ(Exec({"invert", in, PathOf("out.bmp")}).code, 0);
    EXPECT_EQ(Exec({"info", PathOf("out.bmp")}).out,
              "width=3 height=1 bits=8 colors=256 header=40 compression=0\n");
    EXPECT_EQ(Exec({"info", Put("bad.bmp", Bytes{'x'})}).code, 1);
    EXPECT_EQ(Exec({"threshold", "300", in, PathOf("out.bmp")}).code, 2);
    EXPECT_EQ(Exec({"info", PathOf("missing.bmp")}).code, 3);
}

TEST_F(BatchExecutableTest, DashReadsStandardInputAndWritesStandardOutput)
{
    // Larger than a pipe's buffer and than one read, so the image arrives in pieces.
    const std::string in
        = Put("in.bmp", TestImages::MakeGray8Bmp(1501, 777, TestImages::RandomRows(1501, 777, 5)));
    ASSERT_EQ(Exec({"stretch", "96", "0", "159", "255", in, PathOf("file.bmp")}).code, 0);
    const Result r = Exec({"stretch", "96", "0", "159", "255", "-", "-"}, in);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(TestImages::ReadFile(PathOf("stdout")), TestImages::ReadFile(PathOf("file.bmp")));
    EXPECT_EQ(Exec({"histogram", "--stats", "-"}, in).out, Exec({"histogram", "--stats", in}).out);

    // The same refusals and exit codes as with files, and nothing half-written.
    const std::string text = Put("text.bmp", Bytes{'h', 'i'});
    const std::string diskFull = "tonecraft-batch: 'standard output': No space left on device\n";
    struct Case
    {
        std::vector<std::string> args;
        std::string pipeFrom, stdoutTo;
        int code;
        std::string message;
    };
    const Case cases[] = {
        {{"invert", "-", "-"}, text, "", 1, kReadError},
        {{"info", "-"}, text, "", 1, kReadError},
        {{"invert", in, "-"}, "", "/dev/full", 3, diskFull},
        {{"histogram", in}, "", "/dev/full", 3, diskFull},
    };
    for (const Case &c : cases) {
        const Result bad = Exec(c.args, c.pipeFrom, c.stdoutTo);
        EXPECT_EQ(bad.code, c.code) << c.message;
        EXPECT_EQ(bad.err, c.message);
        if (c.stdoutTo.empty()) {
            EXPECT_TRUE(bad.out.empty()) << c.message;
        }
    }
}

TEST_F(BatchExecutableTest, EverySuiteFileIsReadOrRefusedCleanly)
{
    for (const std::string &name : TestImages::BmpSuiteFiles()) {
        const std::string path = (TestImages::BmpSuiteDir() / name).string();
        for (const std::vector<std::string> &args :
             {std::vector<std::string>{"info", path},
              std::vector<std::string>{"invert", path, PathOf("out.bmp")}}) {
            const Result r = Exec(args);
            EXPECT_TRUE(r.code == 0 || r.code == 1) << args[0] << " " << name << ": " << r.code;
            EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << name << r.err;
            EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << name << r.err;
        }
    }
}
