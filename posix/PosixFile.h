#pragma once

#include "File.h"

#include <string>

// A CFile on a POSIX file descriptor; every system error becomes a CFileException naming the
// path. Reads and writes go straight between the caller's buffer and the kernel.
class CPosixFile : public CFile
{
public:
    // Opens an existing file for reading; raises CFileException on failure.
    [[nodiscard]] static CPosixFile OpenForReading(const std::string &path);

    // Takes ownership of an open descriptor.
    CPosixFile(int fd, std::string path);
    ~CPosixFile() override;
    CPosixFile(CPosixFile &&other) noexcept;
    CPosixFile &operator=(CPosixFile &&) = delete;
    CPosixFile(const CPosixFile &) = delete;
    CPosixFile &operator=(const CPosixFile &) = delete;

    [[nodiscard]] std::uint64_t GetLength() override;
    [[nodiscard]] std::uint32_t Read(void *buffer, std::uint32_t count) override;
    [[nodiscard]] std::uint64_t ReadHuge(void *buffer, std::uint64_t count) override;
    void Seek(std::uint64_t position) override;
    void Write(const void *buffer, std::uint32_t count) override;
    void WriteHuge(const void *buffer, std::uint64_t count) override;

    // Closes the descriptor, raising CFileException when the system reports a late error.
    void Close();

    [[nodiscard]] int Descriptor() const { return m_nFd; }
    [[nodiscard]] const std::string &Path() const { return m_strPath; }

    // Raises the CFileException for the current errno and this file.
    [[noreturn]] void ThrowLastError() const;

private:
    int m_nFd;
    std::string m_strPath;
};
