#include "BatchRun.h"
#include "BatchTool.h"

#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/resource.h>

using namespace BatchRun;

namespace {

struct Outcome
{
    int code;
    std::string err;
    Bytes out;
};

// One in-process run of the tool with rows in bands of `band` bytes ("0": the whole image).
Outcome Transform(Args args, const std::string &in, const fs::path &out, const char *band)
{
    ::setenv("TONECRAFT_BAND_BYTES", band, 1);
    fs::remove(out);
    args.insert(args.end(), {in, out.string()});
    const std::vector<std::string_view> views(args.begin(), args.end());
    std::ostringstream text, err;
    const int code = CBatchTool::Run(views, text, err);
    ::unsetenv("TONECRAFT_BAND_BYTES");
    return {code, err.str(), fs::exists(out) ? ReadFile(out) : Bytes{}};
}

// Small files of every header kind and row placement, as a BMP writer might leave them.
std::vector<Bytes> BuiltImages()
{
    std::vector<Bytes> files;
    for (const std::uint32_t header : {12u, 40u, 56u, 108u, 124u}) {
        for (const std::size_t gap : {0u, 6u}) {
            const Bytes table(header == 12 ? 768 : 1024, 0x40); // 256 entries of 3 or 4 bytes
            Bytes rows(gap, 0xEE);
            const Bytes pixels = RandomRows(21, 5, header + gap);
            rows.insert(rows.end(), pixels.begin(), pixels.end());
            Bytes dib = MakeDib({.headerSize = header, .width = 21, .height = 5}, table, rows);
            dib.insert(dib.end(), gap, 0x5A); // bytes after the rows
            files.push_back(MakeBmpFile(dib, 14 + header + table.size() + gap));
        }
    }
    const Bytes rows = RandomRows(7, 3, 1);
    const Bytes mask(12, 0xFF);
    files.push_back(MakeBmpFile(MakeDib({.width = 7, .height = 3, .compression = 3, .clrUsed = 256},
                                        GrayTable256(), rows, mask),
                                14 + 40 + 12 + 1024));
    Bytes profiled = MakeDib({.headerSize = 124, .width = 7, .height = 3}, GrayTable256(), rows);
    PutU32(profiled, 112, static_cast<std::uint32_t>(profiled.size()));
    PutU32(profiled, 116, 5);
    profiled.insert(profiled.end(), {'s', 'R', 'G', 'B', 0});
    files.push_back(MakeBmpFile(profiled, 14 + 124 + 1024));
    files.push_back(MakeGray8Bmp(7, -3, rows));                               // top-down
    files.push_back(MakeGray8Bmp(0, 3, {}));                                  // no pixels
    files.push_back(MakeGray8Bmp(7, 3, Bytes(rows.begin(), rows.end() - 1))); // short
    return files;
}

} // namespace

TEST_F(BatchTest, EveryFileStreamsToTheBytesOfTheWholeImagePath)
{
    std::vector<std::string> inputs;
    for (const std::string &name : BmpSuiteFiles())
        inputs.push_back((BmpSuiteDir() / name).string());
    for (const Bytes &file : BuiltImages()) {
        inputs.push_back(Path("built" + std::to_string(inputs.size()) + ".bmp"));
        WriteFile(inputs.back(), file);
    }
    const Args transforms[] = {{"invert"},
                               {"linear", "1.5", "-20"},
                               {"threshold", "100"},
                               {"window", "50", "200"},
                               {"stretch", "50", "30", "200", "220"},
                               {"gamma", "0.5"},
                               {"equalize"},
                               {"threshold", "otsu"},
                               {"stretch", "auto"},
                               {"invert", "--max-pixels", "20"}};
    int done = 0;
    for (const std::string &in : inputs) {
        for (const Args &args : transforms) {
            const Outcome whole = Transform(args, in, Path("whole.bmp"), "0");
            done += whole.code == 0;
            // 4 bytes cut rows up, 64 hold a few (not whole 21-pixel rows); then the default.
            for (const char *band : {"4", "64", "4194304"}) {
                SCOPED_TRACE(in + " " + args[0] + " in bands of " + band);
                const Outcome bands = Transform(args, in, Path("bands.bmp"), band);
                EXPECT_EQ(bands.code, whole.code);
                EXPECT_EQ(bands.err, whole.err);
                EXPECT_TRUE(bands.out == whole.out);
            }
        }
    }
    EXPECT_GE(done, 100); // enough of the files are transformed, not all refused
}

// A plain image larger than the address space the tool may take inverts all the same, in
// bands: the peak resident memory stays within 64 MiB, where the whole image is refused.
TEST_F(BatchTest, AnImageBeyondTheMemoryLimitInvertsInBoundedMemory)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory needs more address space than the limit";
#endif
    const std::string in = Path("in.bmp"), out = Path("out.bmp");
    constexpr std::size_t kWidth = 20000, kHeight = 15000; // 300 MB of rows
    const Bytes head = MakeGray8Bmp(kWidth, kHeight, {});
    {
        const Bytes rows = RandomRows(kWidth, 100, 7);
        std::ofstream file(in, std::ios::binary);
        file.write(reinterpret_cast<const char *>(head.data()), std::ssize(head));
        for (std::size_t y = 0; y < kHeight; y += 100)
            file.write(reinterpret_cast<const char *>(rows.data()), std::ssize(rows));
    }
    const auto run = [&](const char *band) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const rlimit limit{256 << 20, 256 << 20};
            const int err = ::open(m_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (::setrlimit(RLIMIT_AS, &limit) == 0 && ::dup2(err, STDERR_FILENO) >= 0
                && ::setenv("TONECRAFT_BAND_BYTES", band, 1) == 0)
                ::execl(TONECRAFT_BATCH_EXE, "tonecraft-batch", "invert", in.c_str(), out.c_str(),
                        nullptr);
            ::_exit(127);
        }
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        return std::pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss >> 10);
    };
    EXPECT_EQ(run("0").first, 1); // the whole image does not fit
    const auto [code, peakMiB] = run("4194304");
    EXPECT_EQ(code, 0);
    EXPECT_LE(peakMiB, 64);
    EXPECT_EQ(fs::file_size(out), head.size() + kWidth * kHeight);
}
