#pragma once

#include "File.h"

#include <QString>

#include <memory>

class CFileException;
class CPosixFile;
class CSafeOutputFile;

// A file on disk for the document's open, save and reload.
//  - kReadShareDenyWrite (0x20) opens an existing file for reading.
//  - kCreateReadWriteExclusive (0x1012) opens a file for saving, where a copy would put it
//    (CSafeOutputFile, the batch tool's rules too): a plain file is written beside the target
//    and put in its place by Close(), keeping its owner, group and permissions; a device or
//    FIFO takes the bytes straight away; a file with other hard links is rewritten in place by
//    Close(). Abort() throws the new bytes away, so an existing file is replaced only by a
//    complete new one.
// Device errors raise CFileException naming the path.
class CDiskFile : public CFile
{
public:
    static constexpr unsigned kReadShareDenyWrite = 0x0020;
    static constexpr unsigned kCreateReadWriteExclusive = 0x1012;

    CDiskFile();
    ~CDiskFile() override;
    CDiskFile(const CDiskFile &) = delete;
    CDiskFile &operator=(const CDiskFile &) = delete;

    // Opens `path` with one of the modes above. On failure fills `error` (when given) and
    // returns false.
    [[nodiscard]] bool Open(const QString &path, unsigned mode, CFileException *error);

    [[nodiscard]] std::uint64_t GetLength() override;
    [[nodiscard]] std::uint32_t Read(void *buffer, std::uint32_t count) override;
    [[nodiscard]] std::uint64_t ReadHuge(void *buffer, std::uint64_t count) override;
    void Seek(std::uint64_t position) override;
    void Write(const void *buffer, std::uint32_t count) override;
    void WriteHuge(const void *buffer, std::uint64_t count) override;

    // Finishes the file (for saving: puts the new file in place); raises CFileException.
    void Close();

    // Closes without raising; a file being saved is thrown away and the target left as it was.
    void Abort() noexcept;

    // The step that puts a completely written file in place (CSafeOutputFile::Commit); raises
    // CFileException when the target does not hold the new file. Tests replace it to make the
    // final rename fail. Returns the step installed so far; null restores the real one.
    using ReplaceStep = void (*)(CSafeOutputFile &file);
    static ReplaceStep SetReplaceStep(ReplaceStep step);

private:
    std::unique_ptr<CPosixFile> m_pReader;
    std::unique_ptr<CSafeOutputFile> m_pWriter;
};
