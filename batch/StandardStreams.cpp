#include "StandardStreams.h"

#include "FileException.h"
#include "MemoryBudget.h"
#include "PosixFile.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace StandardStreams {

std::unique_ptr<CMemFile> ReadAll(int fd, const std::string &name)
{
    // A pipe has no length to ask for in advance: grow as the bytes come.
    std::vector<std::uint8_t> bytes;
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    std::uint64_t asked = 0; // the old block and the new one while the bytes move over
    try {
        for (;;) {
            const std::size_t used = bytes.size();
            if (used + kChunk > bytes.capacity()) {
                // Growing copies the bytes so far into a block twice their size; an endless
                // pipe is refused before it takes the machine down.
                const std::size_t grown = std::max(2 * bytes.capacity(), used + kChunk);
                asked = std::uint64_t{grown} + used;
                if (!MemoryBudget::Allows(asked))
                    return nullptr;
                bytes.reserve(grown);
            }
            bytes.resize(used + kChunk);
            const ssize_t got = ::read(fd, bytes.data() + used, kChunk);
            if (got < 0 && errno == EINTR) {
                bytes.resize(used);
                continue;
            }
            if (got < 0) {
                const int error = errno;
                throw CFileException(CFileException::CauseFromErrno(error), error, name);
            }
            bytes.resize(used + static_cast<std::size_t>(got));
            if (got == 0)
                break;
        }
        bytes.shrink_to_fit();
        return std::make_unique<CMemFile>(std::move(bytes));
    } catch (const std::bad_alloc &) {
        MemoryBudget::NoteRefusal(asked);
        return nullptr;
    }
}

std::unique_ptr<CFile> OpenInput(const std::string &path)
{
    if (path == kDash)
        return ReadAll(STDIN_FILENO, "standard input");
    auto file = std::make_unique<CPosixFile>(CPosixFile::OpenForReading(path));
    struct stat info
    { };
    if (::fstat(file->Descriptor(), &info) != 0)
        file->ThrowLastError();
    if (S_ISREG(info.st_mode))
        return file;
    return ReadAll(file->Descriptor(), path);
}

} // namespace StandardStreams
