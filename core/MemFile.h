#pragma once

#include "File.h"

#include <cstdint>
#include <vector>

// A CFile over a byte vector: reading starts at the first byte, writing appends.
// Used for decoding from memory and by tests; it raises CFileException only when memory
// runs out while writing.
class CMemFile : public CFile
{
public:
    CMemFile() = default;
    explicit CMemFile(std::vector<std::uint8_t> bytes);

    [[nodiscard]] std::uint64_t GetLength() override;
    [[nodiscard]] std::uint32_t Read(void *buffer, std::uint32_t count) override;
    [[nodiscard]] std::uint64_t ReadHuge(void *buffer, std::uint64_t count) override;
    void Seek(std::uint64_t position) override;
    void Write(const void *buffer, std::uint32_t count) override;
    void WriteHuge(const void *buffer, std::uint64_t count) override;

    [[nodiscard]] const std::vector<std::uint8_t> &Bytes() const { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_nReadPos = 0;
};
