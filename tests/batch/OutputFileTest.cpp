#include "BatchRun.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>

using namespace BatchRun;

// Into a FIFO, a longest name, another's setuid file.
TEST_F(BatchTest, OutputsLandWhereACopyWouldPutThem)
{
    const std::string in = Input(), owned = Put("owned.bmp", kOld), longest(250, 'n');
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    Bytes fifo;
    std::thread reader([&] { fifo = ReadFile(Path("fifo")); });
    const uid_t owner = ::geteuid() == 0 ? 65534 : ::geteuid(); // a change of owner clears setuid
    ASSERT_EQ(::chown(owned.c_str(), owner, gid_t(-1)), 0);
    ASSERT_EQ(::chmod(owned.c_str(), 06754), 0);
    for (const std::string &name : {Path("plain.bmp"), Path("fifo"), owned, Path(longest)})
        Check({{"invert", in, name}, 0, ""});
    reader.join();
    const Bytes want = ReadFile(Path("plain.bmp"));
    EXPECT_EQ(ReadFile(owned), want);
    EXPECT_EQ(ReadFile(Path(longest)), want);
    EXPECT_EQ(fifo, want);
    EXPECT_TRUE(fs::is_fifo(Path("fifo")));
    struct stat info = {};
    ::stat(owned.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0754u);
    EXPECT_EQ(info.st_uid, owner);
    EXPECT_EQ(Temporaries(m_dir.string()), Args{});
}

// Pipes, links to a pipe and FIFOs as IN and OUT; an image beyond a pipe's buffer comes in pieces.
TEST_F(BatchTest, ImagesGoThroughPipesWhole)
{
    const std::string eq = Put("eq.bmp", MakeGray8Bmp(2, 2, Bytes{10, 10, 1, 2, 20, 200, 3, 4}));
    const std::string equalized("\x7F\x7F\x01\x02\xBF\xFF\x03\x04"), fifo = Path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Longer than the 64 bytes a descriptor's link reports, and than a first guess of 255.
    const std::string deep = Put(std::string(250, 'd') + "/" + std::string(250, 'd'), {});
    Check({
        {{"equalize", eq, "-"}, 0, equalized},
        {{"equalize", eq, "/dev/stdout"}, 0, equalized, "", "| cat"},
        {{"equalize", eq, "/dev/stdout"}, 0, "", "", ">'" + deep + "'"},
        {{"equalize", eq, "/dev/fd/3"}, 0, equalized, "", "3>&1 1>&2 | cat"},
        {{"equalize", "/dev/stdin", "-"}, 0, equalized, "cat '" + eq + "' |"},
        {{"equalize", fifo, "-"}, 0, equalized, "cat '" + eq + "' >'" + fifo + "' &"},
    });
    const Bytes written = ReadFile(deep);
    EXPECT_NE(std::string(written.begin(), written.end()).find(equalized), std::string::npos);

    const std::string big = Put("big.bmp", MakeGray8Bmp(1501, 777, RandomRows(1501, 777, 5)));
    const Result piped = Run({"invert", "-", "-"}, "cat '" + big + "' |");
    EXPECT_EQ(piped.code, 0) << piped.err;
    EXPECT_EQ(piped.out, Run({"invert", big, "-"}).out);
}

TEST_F(BatchTest, RefusalsAndFileErrorsLeaveTheOutputAlone)
{
    const std::string in = Input(), out = Put("out.bmp", kOld), text = Put("t.bmp", {'h', 'i'});
    auto bmp = [this](const char *name, DibFields f, const Bytes &table, std::size_t bytes) {
        return Put(name, MakeBmpFile(MakeDib(f, table, Bytes(bytes, 1))));
    };
    const std::string rgb = bmp("rgb.bmp", {.width = 1, .height = 1, .bitCount = 24}, {}, 4);
    const std::string empty = bmp("empty.bmp", {.width = 0, .height = 1}, GrayTable256(), 0);
    const std::string topDown = bmp("topdown.bmp", {.width = 4, .height = -1}, GrayTable256(), 4);
    const std::string core = bmp("c.bmp", {12, 4, 1}, Bytes(768), 4); // read, not written
    const std::string full = Path("full");
    const std::string wide = Put("wide.bmp", MakeGray8Bmp(1000, 200, RandomRows(1000, 200, 2)));
    ASSERT_EQ(::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
    fs::create_directory(Path("taken"));
    // A read-only file is not replaced though the folder allows a rename, and another's file in
    // a sticky folder cannot be renamed over.
    const bool root = ::geteuid() == 0;
    fs::create_directory(Path("sticky")), fs::permissions(m_dir, fs::perms::all);
    const std::string locked = Put("locked.bmp", kOld), sticky = Put("sticky/t.bmp", kOld);
    fs::permissions(Path("sticky"), fs::perms(01777)), fs::permissions(sticky, fs::perms(0666));
    fs::permissions(locked, fs::perms::owner_read | fs::perms::others_read);
    const std::string noSpace = "'standard output': No space left";
    Check({
        {{"invert", rgb, out}, 1, "\n目前只支持256色位图的反色！\n"},
        {{"histogram", rgb}, 1, "\n目前只支持查看256色位图灰度直方图！\n"},
        {{"threshold", "otsu", rgb, out}, 1, "\n目前只支持256色位图的阈值变换！\n"},
        {{"histogram", "--plot", out, rgb}, 1, "\n目前只支持查看256色位图灰度直方图！\n"},
        {{"threshold", "otsu", empty, out}, 1, "no pixels to choose from"},
        {{"invert", text, out}, 1, "\n" + kReadError},
        {{"invert", topDown, out}, 1, "\nBMP图像太大！\n" + kReadError},
        {{"invert", core, out}, 1, "\n无法保存BMP图像！\n"},
        {{"invert", "-", "-"}, 1, kReadError, "cat '" + text + "' |"},
        {{"invert", Path("missing.bmp"), out}, 3, "missing.bmp': No such file or directory"},
        {{"info", m_dir.string()}, 3, "Is a directory"},
        {{"invert", in, Path("no-such-dir/out.bmp")}, 3, "no-such-dir/out.bmp': No such file"},
        {{"invert", in, Path("taken")}, 3, "taken': Is a directory"},
        {{"invert", in, locked}, 3, "locked.bmp': Permission denied", kNobody},
        {{"invert", in, sticky},
         root ? 3 : 0,
         root ? "t.bmp': Operation not permitted" : "",
         kNobody},
        {{"info", in}, 3, noSpace, "exec >'" + full + "';"},
        {{"invert", in, "-"}, 3, noSpace, "exec >'" + full + "';"},
        {{"invert", wide, Path("capped.bmp")}, 3, "capped.bmp': File too large", "ulimit -f 100;"},
    });
    EXPECT_EQ(ReadFile(out), kOld);
    EXPECT_EQ(ReadFile(locked), kOld);
    if (root) {
        EXPECT_EQ(ReadFile(sticky), kOld);
    }
    EXPECT_FALSE(fs::exists(Path("capped.bmp")));
    EXPECT_EQ(Temporaries(m_dir.string()), Args{});
}
