#include "BatchRun.h"
#include "FileException.h"
#include "ManyFiles.h"
#include "SafeOutputFile.h"

#include <memory>
#include <sys/stat.h>

using namespace BatchRun;

namespace {

struct Target
{
    const char *name;
    void (*prepare)(const fs::path &dir); // what is there before the output is opened
    const char *readBack;                 // where the new bytes must be found afterwards
};

const Target kTargets[] = {
    {"new", [](const fs::path &) {}, "new"},
    {"existing", [](const fs::path &d) { WriteFile(d / "existing", Bytes{1}); }, "existing"},
    {"hard-linked",
     [](const fs::path &d) {
         WriteFile(d / "hard-linked", Bytes{1}),
             fs::create_hard_link(d / "hard-linked", d / "other");
     },
     "other"},
    {"symbolic link",
     [](const fs::path &d) {
         fs::create_directories(d / "sub");
         WriteFile(d / "sub/file", Bytes{1});
         fs::create_symlink("sub/file", d / "symbolic link");
     },
     "sub/file"},
};

} // namespace

// Outputs put in place together land as each would alone, and a file that fails takes none of
// the others with it and leaves its own target as it was.
TEST_F(BatchTest, OutputsCommittedTogetherLandAsAlone)
{
    const fs::path dir = m_dir;
    std::vector<std::unique_ptr<CSafeOutputFile>> outputs;
    for (const Target &t : kTargets) {
        t.prepare(dir);
        outputs.push_back(std::make_unique<CSafeOutputFile>((dir / t.name).string()));
        const std::string bytes = t.name;
        outputs.back()->File().Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    }
    WriteFile(dir / "lost", Bytes{1});
    outputs.push_back(std::make_unique<CSafeOutputFile>((dir / "lost").string()));
    // Its temporary file is the only one left so far.
    for (const auto &entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().starts_with(".tonecraft-")
            && fs::file_size(entry.path()) == 0)
            fs::remove(entry.path());

    std::vector<CSafeOutputFile *> group;
    for (const auto &output : outputs)
        group.push_back(output.get());
    const std::vector<std::exception_ptr> failures = CSafeOutputFile::CommitTogether(group);

    ASSERT_EQ(failures.size(), outputs.size());
    for (std::size_t i = 0; i < std::size(kTargets); ++i) {
        const Target &t = kTargets[i];
        EXPECT_FALSE(failures[i]) << t.name;
        const std::string bytes = t.name;
        EXPECT_EQ(ReadFile(dir / t.readBack), Bytes(bytes.begin(), bytes.end())) << t.name;
    }
    EXPECT_TRUE(fs::is_symlink(dir / "symbolic link"));
    EXPECT_THROW(std::rethrow_exception(failures.back()), CFileException);
    EXPECT_EQ(ReadFile(dir / "lost"), Bytes{1});
    for (const auto &entry : fs::directory_iterator(dir))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".tonecraft-")) << entry.path();
}

// A run of more files than a group holds puts every one in place, inverted.
TEST_F(BatchTest, ManyFilesCrossGroupsWhole)
{
    const int count = 2 * static_cast<int>(CManyFiles::kGroupFiles) + 3;
    Args args{"invert", "-j", "2", "-d", Path("out")};
    for (int i = 0; i < count; ++i)
        args.push_back(
            Put("in/" + std::to_string(i) + ".bmp", MakeGray8Bmp(4, 2, RandomRows(4, 2, i))));
    fs::create_directories(Path("out"));
    const Result r = Run(args);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "tonecraft-batch: " + std::to_string(count) + " done, 0 refused, 0 failed\n");
    for (int i = 0; i < count; ++i) {
        Bytes inverted = RandomRows(4, 2, i);
        for (std::uint8_t &level : inverted)
            level = static_cast<std::uint8_t>(255 - level);
        const Bytes expected = MakeBmpFile(
            MakeDib({.width = 4, .height = 2, .sizeImage = 8}, GrayTable256(), inverted),
            14 + 40 + 1024);
        EXPECT_EQ(ReadFile(Path("out/" + std::to_string(i) + ".bmp")), expected) << i;
    }
}

// A FIFO among the outputs gets its end at once, not with its group: what its reader does next
// may be what the next input waits for.
TEST_F(BatchTest, AFifoAmongManyOutputsEndsAtOnce)
{
    const std::string first = Put("in/a.bmp", MakeGray8Bmp(4, 2, RandomRows(4, 2, 1)));
    const std::string second = Put("b.bmp", MakeGray8Bmp(4, 2, RandomRows(4, 2, 2)));
    fs::create_directories(Path("out"));
    ASSERT_EQ(::mkfifo(Path("out/a.bmp").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(Path("in/b.bmp").c_str(), 0600), 0);
    const std::string reader = "timeout 20 sh -c \"cat '" + Path("out/a.bmp") + "' >'"
        + Path("got.bmp") + "' && cat '" + second + "' >'" + Path("in/b.bmp") + "'\" &";
    const Result r = Run({"invert", "-j", "1", "-d", Path("out"), first, Path("in/b.bmp")},
                         reader + " timeout 20");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadFile(Path("got.bmp")).size(), ReadFile(first).size());
    EXPECT_EQ(ReadFile(Path("out/b.bmp")).size(), ReadFile(second).size());
}
