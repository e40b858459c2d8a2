#include "PosixFile.h"

#include "FileException.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// The kernel moves at most about 2 GiB per call; larger requests are looped.
constexpr std::uint64_t kMaxChunk = 1u << 30;

[[noreturn]] void Throw(int osError, const std::string &path)
{
    throw CFileException(CFileException::CauseFromErrno(osError), osError, path);
}

} // namespace

CPosixFile CPosixFile::OpenForReading(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        Throw(errno, path);
    CPosixFile file(fd, path);
    struct stat info
    { };
    if (::fstat(fd, &info) != 0)
        file.ThrowLastError();
    if (S_ISDIR(info.st_mode))
        Throw(EISDIR, path);
    return file;
}

CPosixFile::CPosixFile(int fd, std::string path)
    : m_nFd(fd)
    , m_strPath(std::move(path))
{ }

CPosixFile::~CPosixFile()
{
    if (m_nFd >= 0)
        ::close(m_nFd);
}

CPosixFile::CPosixFile(CPosixFile &&other) noexcept
    : m_nFd(std::exchange(other.m_nFd, -1))
    , m_strPath(std::move(other.m_strPath))
{ }

void CPosixFile::ThrowLastError() const
{
    Throw(errno, m_strPath);
}

std::uint64_t CPosixFile::GetLength()
{
    struct stat info
    { };
    if (::fstat(m_nFd, &info) != 0)
        ThrowLastError();
    return static_cast<std::uint64_t>(info.st_size);
}

std::uint32_t CPosixFile::Read(void *buffer, std::uint32_t count)
{
    return static_cast<std::uint32_t>(ReadHuge(buffer, count));
}

std::uint64_t CPosixFile::ReadHuge(void *buffer, std::uint64_t count)
{
    auto *bytes = static_cast<std::uint8_t *>(buffer);
    std::uint64_t done = 0;
    while (done < count) {
        const auto chunk = static_cast<std::size_t>(std::min(count - done, kMaxChunk));
        const ssize_t got = ::read(m_nFd, bytes + done, chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            ThrowLastError();
        }
        if (got == 0)
            break;
        done += static_cast<std::uint64_t>(got);
    }
    return done;
}

void CPosixFile::Seek(std::uint64_t position)
{
    if (::lseek(m_nFd, static_cast<off_t>(std::min<std::uint64_t>(position, INT64_MAX)), SEEK_SET)
        < 0)
        ThrowLastError();
}

void CPosixFile::Write(const void *buffer, std::uint32_t count)
{
    WriteHuge(buffer, count);
}

void CPosixFile::WriteHuge(const void *buffer, std::uint64_t count)
{
    const auto *bytes = static_cast<const std::uint8_t *>(buffer);
    std::uint64_t done = 0;
    while (done < count) {
        const auto chunk = static_cast<std::size_t>(std::min(count - done, kMaxChunk));
        const ssize_t put = ::write(m_nFd, bytes + done, chunk);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            ThrowLastError();
        }
        done += static_cast<std::uint64_t>(put);
    }
}

void CPosixFile::Close()
{
    const int fd = std::exchange(m_nFd, -1);
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR)
        ThrowLastError();
}
