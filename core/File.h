#pragma once

#include <cstdint>

// An open file as the BMP reader and writer see it, already positioned at its start.
// Implementations raise CFileException for device errors; a short read at the end of the
// file is not an error.
class CFile
{
public:
    virtual ~CFile() = default;

    // Total length of the file in bytes.
    [[nodiscard]] virtual std::uint64_t GetLength() = 0;

    // Reads up to `count` bytes into `buffer`; returns how many were read (fewer only at the end
    // of the file). Read is the small-record variant, ReadHuge takes any size.
    [[nodiscard]] virtual std::uint32_t Read(void *buffer, std::uint32_t count) = 0;
    [[nodiscard]] virtual std::uint64_t ReadHuge(void *buffer, std::uint64_t count) = 0;

    // Makes the next read start `position` bytes from the file's start (at its end, when it is
    // shorter).
    virtual void Seek(std::uint64_t position) = 0;

    // Writes all `count` bytes or raises CFileException.
    virtual void Write(const void *buffer, std::uint32_t count) = 0;
    virtual void WriteHuge(const void *buffer, std::uint64_t count) = 0;
};
