#include "TestImages.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace TestImages;
using Args = std::vector<std::string>;

namespace {

struct Result
{
    int code;
    std::string out, err;
};

// Folders of inputs and outputs, and the tool run on them as a script would run it.
class ManyFilesTest : public ::testing::Test
{
protected:
    void SetUp() override { fs::create_directories(m_dir / "out"); }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Path(const std::string &name) const { return (m_dir / name).string(); }
    std::string Put(const std::string &n, const Bytes &b)
    {
        fs::create_directories(fs::path(Path(n)).parent_path());
        return WriteFile(Path(n), b), Path(n);
    }
    static std::string Command(const Args &args)
    {
        std::string command = std::string("env ASAN_OPTIONS=exitcode=86 UBSAN_OPTIONS=exitcode=87 ")
            + TONECRAFT_BATCH_EXE;
        for (const std::string &a : args)
            command += " '" + a + "'";
        return command;
    }
    // `shell` runs first: a ulimit, another user, a time limit.
    Result Run(const Args &args, const std::string &shell = "") const
    {
        const std::string out = Path("stdout"), err = Path("stderr");
        const int status = std::system(
            ("{ " + shell + " " + Command(args) + "; } >" + out + " 2>" + err).c_str());
        const Bytes o = ReadFile(out), e = ReadFile(err);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
                {o.begin(), o.end()},
                {e.begin(), e.end()}};
    }
    // What the one-file command writes for IN.
    Bytes Single(Args args, const std::string &in)
    {
        args.insert(args.end(), {in, Path("single.bmp")});
        EXPECT_EQ(Run(args).code, 0) << in;
        return ReadFile(Path("single.bmp"));
    }
    std::vector<std::string> Temporaries(const std::string &folder) const
    {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(folder))
            if (entry.path().filename().string().starts_with(".tonecraft-"))
                names.push_back(entry.path().string());
        return names;
    }
    // Gray images of several sizes under in/.
    std::vector<std::string> Inputs(int count, std::int32_t side = 9)
    {
        std::vector<std::string> paths;
        for (int i = 0; i < count; ++i) {
            const std::int32_t w = side + i % 7, h = side + i % 3;
            const auto seed = static_cast<std::uint32_t>(i);
            paths.push_back(Put("in/" + std::to_string(i) + ".bmp",
                                MakeGray8Bmp(w, h, RandomRows(w, h, seed))));
        }
        return paths;
    }

    const fs::path m_dir = fs::temp_directory_path()
        / ("tonecraft-many-" + std::to_string(::getpid()) + "-"
           + ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

} // namespace

// Every file lands under its own name with the bytes of the one-file command; refused and
// failed files are named, the others go on, and the worst outcome is the exit code.
TEST_F(ManyFilesTest, EachFileAsTheOneFileCommandWritesIt)
{
    std::vector<std::string> in = Inputs(7);
    const Args operations[] = {{"invert"},
                               {"linear", "-1.5", "+300"},
                               {"equalize"},
                               {"stretch", "10", "20", "200", "250"}};
    for (const Args &op : operations)
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

    const std::string rgb
        = Put("in/rgb.bmp",
              MakeBmpFile(MakeDib({.width = 1, .height = 1, .bitCount = 24}, {}, Bytes(4, 1))));
    const std::string text = Put("in/text.bmp", {'h', 'i'});
    const Bytes codes{2, 7, 0, 0, 0, 3, 1, 2, 3, 0, 0, 1}; // 5 x 3, RLE8
    const std::string rle
        = Put("in/rle.bmp",
              MakeBmpFile(MakeDib({.width = 5, .height = 3, .compression = 1, .sizeImage = 12},
                                  GrayTable256(), codes)));
    Args args{"invert", "-j", "1", "-d", Path("out")}; // messages in the order of the files
    args.insert(args.end(), {in[0], rgb, text, rle});
    Result r = Run(args);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err,
              "tonecraft-batch: '" + rgb
                  + "': 目前只支持256色位图的反色！\n"
                    "tonecraft-batch: '"
                  + text
                  + "': 读取图像时出错！可能是不支持该类型的图像文件！\n"
                    "tonecraft-batch: 2 done, 2 refused, 0 failed\n");
    EXPECT_EQ(ReadFile(Path("out/rle.bmp")), Single({"invert"}, rle));
    EXPECT_FALSE(fs::exists(Path("out/rgb.bmp")));
    EXPECT_FALSE(fs::exists(Path("out/text.bmp")));

    args.push_back(Path("in/missing.bmp"));
    r = Run(args);
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("'" + Path("in/missing.bmp") + "': '" + Path("in/missing.bmp")
                         + "': No such file or directory\n"),
              std::string::npos);
    EXPECT_TRUE(r.err.ends_with("tonecraft-batch: 2 done, 2 refused, 1 failed\n")) << r.err;
}

// Nothing is written when two inputs would land on one name, and nothing is read when the
// folder cannot take the outputs (an input FIFO without a writer would hang a read).
TEST_F(ManyFilesTest, BadNamesAndFoldersStopTheRunBeforeItStarts)
{
    const std::vector<std::string> in = Inputs(2);
    const std::string twin = Put("other/0.bmp", ReadFile(in[0]));
    ASSERT_EQ(::mkfifo(Path("in/fifo.bmp").c_str(), 0644), 0);
    const std::string file = Put("file", {}), locked = Path("locked");
    fs::create_directory(locked), fs::permissions(locked, fs::perms(0555));
    fs::permissions(m_dir, fs::perms::all);
    const bool root = ::geteuid() == 0;
    const char *nobody = root ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
    const std::tuple<Args, int, std::string, std::string> cases[] = {
        {{"invert", "-d", Path("out"), in[0], in[1], twin},
         2,
         "'" + in[0] + "' and '" + twin + "' would both be written to '" + Path("out/0.bmp") + "'",
         ""},
        {{"invert", "-d", Path("out"), in[0], "-"}, 2, "'-' has no file name", ""},
        {{"invert", "-d", Path("out"), "-j", "0", in[0]}, 2, "bad -j '0'", ""},
        {{"invert", "-d", Path("out"), "--jobs", "257", in[0]}, 2, "bad --jobs '257'", ""},
        {{"invert", "-d", Path("out")}, 2, "at least one IN.bmp", ""},
        {{"info", "-d", Path("out"), in[0]}, 2, "-d and -j go with a transform", ""},
        {{"invert", "-d", Path("none"), in[0], Path("in/fifo.bmp")},
         3,
         "'" + Path("none") + "': No such file or directory\n",
         "timeout 20"},
        {{"invert", "-d", file, Path("in/fifo.bmp")},
         3,
         "'" + file + "': Not a directory\n",
         "timeout 20"},
        {{"invert", "-d", locked, Path("in/fifo.bmp")},
         3,
         "'" + locked + "': Permission denied\n",
         std::string("timeout 20 ") + nobody},
    };
    for (const auto &[args, code, text, shell] : cases) {
        const Result r = Run(args, shell);
        EXPECT_EQ(r.code, code) << text << r.err;
        EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
        EXPECT_TRUE(fs::is_empty(Path("out"))) << text;
        EXPECT_TRUE(fs::is_empty(locked)) << text;
    }
}

// A signal that ends the run takes the temporary file of every worker with it.
TEST_F(ManyFilesTest, ASignalRemovesTheTemporaryFileOfEveryWorker)
{
    std::vector<std::string> in = Inputs(4, 3000);
    Args args{"invert", "-j", "4", "-d", Path("out")};
    args.insert(args.end(), in.begin(), in.end());
    for (int attempt = 0; attempt < 5; ++attempt) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl("/bin/sh", "sh", "-c", ("exec " + Command(args) + " 2>/dev/null").c_str(),
                    nullptr);
            ::_exit(127);
        }
        std::size_t seen = 0;
        for (int i = 0; i < 20000 && seen < 2; ++i, ::usleep(200))
            seen = Temporaries(Path("out")).size();
        ::kill(child, SIGTERM);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        const std::vector<std::string> left = Temporaries(Path("out"));
        EXPECT_TRUE(left.empty()) << left.size() << " left, e.g. " << left.front();
        for (const std::string &name : left)
            fs::remove(name);
        if (seen >= 2 && WIFSIGNALED(status))
            return;
    }
    GTEST_SKIP() << "the workers never wrote two files at once before the run ended";
}

// On a terminal a bar tells the progress, redrawn at most ten times a second and erased at
// the end; --quiet and a stderr that is no terminal get none.
TEST_F(ManyFilesTest, AProgressBarOnlyOnATerminal)
{
    std::vector<std::string> in = Inputs(300);
    Args args{"invert", "-j", "2", "-d", Path("out")};
    args.insert(args.end(), in.begin(), in.end());
    const auto runOnTerminal = [&](const Args &a, double &seconds) {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(master, 0);
        EXPECT_EQ(::grantpt(master), 0);
        EXPECT_EQ(::unlockpt(master), 0);
        const std::string slave = ::ptsname(master);
        const auto start = std::chrono::steady_clock::now();
        const pid_t child = ::fork();
        if (child == 0) {
            ::setsid();
            const int tty = ::open(slave.c_str(), O_RDWR);
            termios raw{};
            ::tcgetattr(tty, &raw), ::cfmakeraw(&raw), ::tcsetattr(tty, TCSANOW, &raw);
            ::dup2(tty, STDERR_FILENO), ::close(tty), ::close(master);
            ::execl("/bin/sh", "sh", "-c", ("exec " + Command(a) + " >/dev/null").c_str(), nullptr);
            ::_exit(127);
        }
        std::string screen;
        char buffer[4096];
        for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
            screen.append(buffer, static_cast<std::size_t>(n));
        int status = 0;
        ::waitpid(child, &status, 0);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ::close(master);
        EXPECT_EQ(status, 0) << screen;
        return screen;
    };
    double seconds = 0;
    const std::string screen = runOnTerminal(args, seconds);
    std::size_t draws = 0;
    for (std::size_t at = screen.find("\r["); at != std::string::npos;
         at = screen.find("\r[", at + 1))
        ++draws;
    EXPECT_GE(draws, 1u) << screen;
    EXPECT_LE(draws, 10 * seconds + 1) << seconds << " s";
    EXPECT_NE(screen.find(" files  "), std::string::npos) << screen;
    EXPECT_TRUE(screen.ends_with("\r\033[Ktonecraft-batch: 300 done, 0 refused, 0 failed\n"))
        << screen.substr(screen.size() - std::min<std::size_t>(screen.size(), 200));

    args.push_back("--quiet");
    EXPECT_EQ(runOnTerminal(args, seconds), "tonecraft-batch: 300 done, 0 refused, 0 failed\n");
    args.pop_back();
    EXPECT_EQ(Run(args).err, "tonecraft-batch: 300 done, 0 refused, 0 failed\n");
}
