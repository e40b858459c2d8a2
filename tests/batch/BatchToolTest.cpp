#include "BatchTool.h"

#include "NaiveTransforms.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
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

// A PNG's chunks, checked (signature, lengths, CRCs), and its inflated rows.
struct Png
{
    Bytes rows;
    std::size_t idatChunks = 0;
    std::size_t largestIdat = 0;
};

std::optional<Png> ReadPng(const std::string &path)
{
    const Bytes file = TestImages::ReadFile(path);
    const Bytes signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (file.size() < 8 || !std::equal(signature.begin(), signature.end(), file.begin()))
        return std::nullopt;
    auto u32 = [&file](std::size_t at) {
        return std::uint32_t{file[at]} << 24 | std::uint32_t{file[at + 1]} << 16
            | std::uint32_t{file[at + 2]} << 8 | file[at + 3];
    };
    Png png;
    Bytes packed;
    std::size_t at = 8;
    while (at + 12 <= file.size()) {
        const std::size_t length = u32(at);
        if (at + 12 + length > file.size()
            || crc32(0, file.data() + at + 4, static_cast<uInt>(4 + length))
                != u32(at + 8 + length))
            return std::nullopt;
        const std::string type(file.begin() + static_cast<std::ptrdiff_t>(at) + 4,
                               file.begin() + static_cast<std::ptrdiff_t>(at) + 8);
        if (type == "IDAT") {
            packed.insert(packed.end(), file.begin() + static_cast<std::ptrdiff_t>(at) + 8,
                          file.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
            ++png.idatChunks;
            png.largestIdat = std::max(png.largestIdat, length);
        }
        at += 12 + length;
        if (type == "IEND")
            break;
    }
    const std::uint64_t rowBytes = 1 + 3 * std::uint64_t{u32(16)};
    png.rows.resize(rowBytes * u32(20));
    uLongf size = png.rows.size();
    if (at != file.size()
        || uncompress(png.rows.data(), &size, packed.data(), packed.size()) != Z_OK
        || size != png.rows.size())
        return std::nullopt;
    return png;
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

    // A plus sign, a number too small for a float (0) and a slope whose products leave the
    // float range.
    EXPECT_EQ(line(RunTool({"table", "linear", "+1", "1e-50"}), 100), "100 100");
    const Result steep = RunTool({"table", "linear", "1e38", "-1e-50"});
    ASSERT_EQ(steep.code, 0) << steep.err;
    EXPECT_EQ(line(steep, 0), "0 0");
    EXPECT_EQ(line(steep, 1), "1 255");
    EXPECT_EQ(line(RunTool({"table", "linear", "-3e38", "+255"}), 1), "1 0");
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
        {{"linear", "+-1", "0", in, out}, "SLOPE '+-1'"},
        {{"linear", "1", "-1e400", in, out}, "INTERCEPT '-1e400'"},
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
    truncated.resize(truncated.size() - 1);
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

TEST_F(BatchToolTest, OutputLandsWhereItsNameLeads)
{
    const std::string in = Put("in.bmp", TestImages::MakeGray8Bmp(1, 1, Bytes(4, 0)));
    const Bytes old{'o', 'l', 'd'};
    ASSERT_EQ(RunTool({"invert", in, PathOf("expected.bmp")}).code, 0);
    const Bytes expected = TestImages::ReadFile(PathOf("expected.bmp"));

    // Through a symbolic link to its target; the link stays a link.
    Put("target.bmp", old);
    fs::create_symlink("target.bmp", PathOf("link.bmp"));
    ASSERT_EQ(RunTool({"invert", in, PathOf("link.bmp")}).code, 0);
    EXPECT_TRUE(fs::is_symlink(PathOf("link.bmp")));
    EXPECT_EQ(TestImages::ReadFile(PathOf("target.bmp")), expected);

    // Into the same file when other names share it.
    Put("first.bmp", old);
    fs::create_hard_link(PathOf("first.bmp"), PathOf("second.bmp"));
    ASSERT_EQ(RunTool({"invert", in, PathOf("second.bmp")}).code, 0);
    EXPECT_EQ(fs::hard_link_count(PathOf("first.bmp")), 2u);
    EXPECT_EQ(TestImages::ReadFile(PathOf("first.bmp")), expected);

    // Straight into a FIFO, which stays one.
    ASSERT_EQ(::mkfifo(PathOf("fifo").c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] {
        std::ifstream fifo(PathOf("fifo"), std::ios::binary);
        received.assign(std::istreambuf_iterator<char>(fifo), {});
    });
    const Result viaFifo = RunTool({"invert", in, PathOf("fifo")});
    reader.join();
    EXPECT_EQ(viaFifo.code, 0) << viaFifo.err;
    EXPECT_TRUE(fs::is_fifo(PathOf("fifo")));
    EXPECT_EQ(Bytes(received.begin(), received.end()), expected);

    // A name as long as a name may be still gets a temporary file beside it.
    ASSERT_EQ(RunTool({"invert", in, PathOf(std::string(250, 'n'))}).code, 0);
    EXPECT_EQ(TestImages::ReadFile(PathOf(std::string(250, 'n'))), expected);

    // Setuid and setgid are cleared; the owner is kept where the user may keep it (root).
    const std::string owned = Put("owned.bmp", old);
    ASSERT_EQ(::chmod(owned.c_str(), 06755), 0);
    const uid_t owner = ::geteuid() == 0 ? 65534 : ::geteuid();
    ASSERT_EQ(::chown(owned.c_str(), owner, static_cast<gid_t>(-1)), 0);
    ASSERT_EQ(RunTool({"invert", in, owned}).code, 0);
    struct stat info
    { };
    ASSERT_EQ(::stat(owned.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);
    EXPECT_EQ(info.st_uid, owner);
    EXPECT_EQ(FilesInDir(), 9u) << "a temporary file was left behind";
}

// A file the user may not write is not replaced, even in a folder that would let a rename
// through. Run as an ordinary user (root drops to nobody in a child).
TEST_F(BatchToolTest, AFileTheUserMayNotWriteIsRefused)
{
    const std::string in = Put("in.bmp", TestImages::MakeGray8Bmp(1, 1, Bytes(4, 0)));
    const std::string out = Put("out.bmp", Bytes{'o', 'l', 'd'});
    fs::permissions(m_dir, fs::perms::all);
    fs::permissions(out, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(77);
        const Result r = RunTool({"invert", in, out});
        const bool named = r.err.find("Permission denied") != std::string::npos;
        ::_exit(r.code == 3 && named ? 0 : 10 + r.code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "cannot drop root";
    EXPECT_EQ(status, 0) << "child exit " << WEXITSTATUS(status) << " (10 + the tool's code)";
    EXPECT_EQ(TestImages::ReadFile(out), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(FilesInDir(), 2u);
}

// The real executable, as a script would run it: exit codes, and every file of the public
// suite through info and invert without a crash or sanitizer report.
class BatchExecutableTest : public BatchToolTest
{
protected:
    // A shell prefix that feeds standard input through a pipe from `path` (none when empty).
    static std::string PipeFrom(const std::string &path)
    {
        return path.empty() ? "" : "cat '" + path + "' |";
    }

    // `shell` runs first in the same shell (a ulimit, or PipeFrom); `out` takes standard output.
    Result Exec(const std::vector<std::string> &args, const std::string &shell = "",
                std::string out = "")
    {
        if (out.empty())
            out = PathOf("stdout");
        std::string command = shell
            + " ASAN_OPTIONS=exitcode=86 UBSAN_OPTIONS=exitcode=87:halt_on_error=1 '"
            + std::string(TONECRAFT_BATCH_EXE) + "'";
        for (const std::string &a : args)
            command += " '" + a + "'";
        command += " >'" + out + "' 2>'" + PathOf("stderr") + "'";
        const int status = std::system(command.c_str());
        Result r;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        const Bytes printed = fs::is_regular_file(out) ? TestImages::ReadFile(out) : Bytes{};
        const Bytes err = TestImages::ReadFile(PathOf("stderr"));
        r.out.assign(printed.begin(), printed.end());
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
    const Result r = Exec({"stretch", "96", "0", "159", "255", "-", "-"}, PipeFrom(in));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(TestImages::ReadFile(PathOf("stdout")), TestImages::ReadFile(PathOf("file.bmp")));
    EXPECT_EQ(Exec({"histogram", "--stats", "-"}, PipeFrom(in)).out,
              Exec({"histogram", "--stats", in}).out);

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
        const Result bad = Exec(c.args, PipeFrom(c.pipeFrom), c.stdoutTo);
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

TEST_F(BatchExecutableTest, FailedWritesToStandardOutputAreFileErrors)
{
    const std::string in = Put("in.bmp", TestImages::MakeGray8Bmp(3, 1, Bytes{1, 2, 3, 0}));
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"info", in}, {"histogram", in}, {"table", "invert"}}) {
        const Result r = Exec(args, "", "/dev/full");
        EXPECT_EQ(r.code, 3) << args[0];
        EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    }
}

// The temporary output file goes with the process when a signal ends it mid-write.
TEST_F(BatchExecutableTest, SignalsDuringAWriteLeaveNoTemporaryFile)
{
    const std::string in = Put(
        "in.bmp", TestImages::MakeGray8Bmp(3000, 3000, TestImages::RandomRows(3000, 3000, 5)));
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::execl(TONECRAFT_BATCH_EXE, "tonecraft-batch", "render", in.c_str(),
                    PathOf("out.png").c_str(), nullptr);
            ::_exit(127);
        }
        bool caught = false;
        for (int i = 0; i < 20000 && !caught; ++i) {
            caught = FilesInDir() > 1;
            if (!caught)
                ::usleep(500);
        }
        ::kill(child, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(caught);
        if (!WIFSIGNALED(status))
            GTEST_SKIP() << "the render ended before the signal came";
        EXPECT_EQ(WTERMSIG(status), signal);
        // On a busy machine the signal may come after the rename: a finished output may
        // stay, a temporary file never.
        std::error_code ignored;
        fs::remove(PathOf("out.png"), ignored);
        EXPECT_EQ(FilesInDir(), 1u) << "signal " << signal;
    }
}

// A file of a few bytes may describe an image of gigabytes. Under an address-space limit the
// tool refuses what does not fit, saying why, and does within the limit what fits.
TEST_F(BatchExecutableTest, ImagesBeyondTheMemoryAreRefusedAndWideOnesRenderInLittle)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer cannot run under an address-space limit";
#endif
    // Rows of runs of 255 pixels of index `value`, 2 x `width` / 255 bytes per row.
    auto rle8 = [](std::int32_t width, std::int32_t height, std::uint8_t value) {
        Bytes stream;
        for (std::int32_t y = 0; y < std::min(height, 2); ++y) {
            for (std::int32_t x = 0; x < width; x += 255)
                stream.insert(stream.end(),
                              {static_cast<std::uint8_t>(std::min(255, width - x)), value});
            stream.insert(stream.end(), {0, 0});
        }
        stream.insert(stream.end(), {0, 1});
        const auto size = static_cast<std::uint32_t>(stream.size());
        return TestImages::MakeBmpFile(TestImages::MakeDib(
            {.width = width, .height = height, .compression = 1, .sizeImage = size},
            TestImages::GrayTable256(), stream));
    };
    const std::string limit = "ulimit -v 196608;"; // 192 MiB
    const std::string bomb = Put("bomb.bmp", rle8(65535, 65535, 9));
    for (const char *command : {"invert", "render"}) {
        const Result r = Exec({command, bomb, PathOf("out")}, limit);
        EXPECT_EQ(r.code, 1) << command << r.err;
        EXPECT_NE(r.err.find("not enough memory"), std::string::npos) << command << r.err;
        EXPECT_NE(r.err.find(kReadError), std::string::npos) << command << r.err;
    }

    // 30 megapixels in one row: a 30 MB block, drawn and compressed a part at a time.
    const Result wide
        = Exec({"render", Put("wide.bmp", rle8(30000000, 1, 0)), PathOf("wide.png")}, limit);
    ASSERT_EQ(wide.code, 0) << wide.err;
    const std::optional<Png> png = ReadPng(PathOf("wide.png"));
    ASSERT_TRUE(png.has_value());
    ASSERT_EQ(png->rows.size(), 1 + 3u * 30000000);
    EXPECT_EQ(std::count(png->rows.begin() + 1, png->rows.end(), 0), 90000000)
        << "not drawn in black";
    EXPECT_EQ(FilesInDir(), 5u) << "a temporary file was left behind";
}

// Compressed rows go out in chunks of bounded size (one chunk's 32-bit length cannot hold a
// big picture), and decode to the picture's rows.
TEST_F(BatchExecutableTest, RenderSplitsTheCompressedRowsIntoBoundedChunks)
{
    const Bytes rows = TestImages::RandomRows(1200, 1200, 3);
    const std::string in = Put("in.bmp", TestImages::MakeGray8Bmp(1200, 1200, rows));
    ASSERT_EQ(Exec({"render", in, PathOf("out.png")}).code, 0);
    const std::optional<Png> png = ReadPng(PathOf("out.png"));
    ASSERT_TRUE(png.has_value());
    EXPECT_GT(png->idatChunks, 1u);
    EXPECT_LE(png->largestIdat, std::size_t{1} << 20);
    // Row y of the PNG is the picture's top row y, stored as BMP row 1199 - y.
    for (std::size_t y : {0, 1, 63, 64, 1199}) {
        for (std::size_t x : {0, 1, 1199}) {
            const std::uint8_t gray = rows[(1199 - y) * 1200 + x];
            const std::uint8_t *rgb = png->rows.data() + y * 3601 + 1 + 3 * x;
            EXPECT_EQ(Bytes(rgb, rgb + 3), Bytes(3, gray)) << x << "," << y;
        }
    }
}
