#pragma once

#include "TestImages.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace BatchRun {

using namespace TestImages;
namespace fs = std::filesystem;
using Args = std::vector<std::string>;

inline const std::string kReadError = "读取图像时出错！可能是不支持该类型的图像文件！\n";
inline const Bytes kOld{'o', 'l', 'd'}; // what an output held before a run that must keep it

// Root runs as nobody where a test needs a user who may not write everywhere.
inline const std::string kNobody
    = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";

// A run and a text its output holds (its error output when it fails); `shell` comes first (a
// ulimit, a pipe into standard input, another user), `tail` after (redirections, a pipe out).
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

// The tool run as a script runs it, on files in a folder of the test's own.
class BatchTest : public ::testing::Test
{
protected:
    void SetUp() override { fs::create_directories(m_dir); }
    void TearDown() override { fs::remove_all(m_dir), fs::remove(m_out), fs::remove(m_err); }

    std::string Path(const std::string &name) const { return (m_dir / name).string(); }
    std::string Put(const std::string &name, const Bytes &bytes) const
    {
        fs::create_directories(fs::path(Path(name)).parent_path());
        return WriteFile(Path(name), bytes), Path(name);
    }
    // 5 x 3 pixels: 200, then four 9s; the padding holds 7.
    std::string Input() const
    {
        const Bytes rows{200, 9, 9, 9, 9,   7, 7, 7, 200, 9, 9, 9,
                         9,   7, 7, 7, 200, 9, 9, 9, 9,   7, 7, 7};
        return Put("in.bmp", MakeGray8Bmp(5, 3, rows));
    }
    // A sanitizer report ends the tool with an exit code that no test accepts.
    static std::string Command(const Args &args)
    {
        std::string command = "env ASAN_OPTIONS=exitcode=86 UBSAN_OPTIONS=exitcode=87 ";
        command += TONECRAFT_BATCH_EXE;
        for (const std::string &a : args)
            command += " '" + a + "'";
        return command;
    }
    Result Run(const Args &args, const std::string &shell = "", const std::string &tail = "") const
    {
        const std::string command = shell + " " + Command(args) + " " + tail;
        const int status = std::system(("{ " + command + "; } >" + m_out + " 2>" + m_err).c_str());
        const Bytes out = ReadFile(m_out), err = ReadFile(m_err);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
                {out.begin(), out.end()},
                {err.begin(), err.end()}};
    }
    void Check(const Case &c) const
    {
        const Result r = Run(c.args, c.shell, c.tail);
        EXPECT_EQ(r.code, c.code) << c.text << r.err;
        EXPECT_EQ(c.code == 0 ? "" : r.out, "") << "a failed run writes no output: " << c.text;
        EXPECT_NE(("\n" + (c.code == 0 ? r.out : r.err)).find(c.text), std::string::npos) << c.text;
    }
    void Check(std::initializer_list<Case> cases) const
    {
        for (const Case &c : cases)
            Check(c);
    }
    // The output files being written in `folder`, which no run leaves behind.
    static std::vector<std::string> Temporaries(const std::string &folder)
    {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(folder))
            if (entry.path().filename().string().starts_with(".tonecraft-"))
                names.push_back(entry.path().string());
        return names;
    }

    const fs::path m_dir = fs::temp_directory_path()
        / ("tonecraft-batch-" + std::to_string(::getpid()) + "-"
           + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    const std::string m_out = m_dir.string() + ".out", m_err = m_dir.string() + ".err";
};

// Run-length codes that end at once (every pixel index 0): a few bytes for an image of any size.
inline Bytes EndedRle(std::int32_t width, std::int32_t height, std::uint16_t bits = 8)
{
    const DibFields f{40, width, height, bits, bits == 4 ? 2u : 1u, 0, 2};
    return MakeBmpFile(MakeDib(f, bits == 4 ? Bytes(64) : GrayTable256(), Bytes{0, 1}));
}

// A PNG's RGB rows, each after its filter byte; none when its signature, a length or a CRC is
// wrong or a chunk has more than 1 MiB (one chunk's 32-bit length cannot hold a big picture).
inline Bytes ReadPng(const std::string &path)
{
    const Bytes f = ReadFile(path);
    if (f.size() < 33 || std::string(f.begin(), f.begin() + 8) != "\x89PNG\r\n\x1A\n")
        return {};
    auto u32 = [&f](std::size_t at) { return __builtin_bswap32(GetU32(f, at)); };
    Bytes packed;
    for (std::size_t at = 8; at + 12 <= f.size(); at += 12 + u32(at)) {
        const std::size_t n = u32(at);
        const std::uint8_t *chunk = f.data() + at + 4;
        if (n > f.size() - at - 12 || n > (1 << 20)
            || crc32(0, chunk, static_cast<uInt>(4 + n)) != u32(at + 8 + n))
            return {};
        if (std::string(chunk, chunk + 4) == "IDAT")
            packed.insert(packed.end(), chunk + 4, chunk + 4 + n);
    }
    Bytes rows((1 + 3 * std::uint64_t{u32(16)}) * u32(20));
    uLongf size = rows.size();
    const bool whole = uncompress(rows.data(), &size, packed.data(), packed.size()) == Z_OK;
    return whole && size == rows.size() ? rows : Bytes{};
}

} // namespace BatchRun
