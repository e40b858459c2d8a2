#include "MemFile.h"

#include "FileException.h"

#include <algorithm>
#include <cstring>
#include <utility>

CMemFile::CMemFile(std::vector<std::uint8_t> bytes)
    : m_bytes(std::move(bytes))
{ }

std::uint64_t CMemFile::GetLength()
{
    return m_bytes.size();
}

std::uint32_t CMemFile::Read(void *buffer, std::uint32_t count)
{
    return static_cast<std::uint32_t>(ReadHuge(buffer, count));
}

std::uint64_t CMemFile::ReadHuge(void *buffer, std::uint64_t count)
{
    const std::size_t n
        = static_cast<std::size_t>(std::min<std::uint64_t>(count, m_bytes.size() - m_nReadPos));
    if (n != 0)
        std::memcpy(buffer, m_bytes.data() + m_nReadPos, n);
    m_nReadPos += n;
    return n;
}

void CMemFile::Seek(std::uint64_t position)
{
    m_nReadPos = static_cast<std::size_t>(std::min<std::uint64_t>(position, m_bytes.size()));
}

void CMemFile::Write(const void *buffer, std::uint32_t count)
{
    WriteHuge(buffer, count);
}

void CMemFile::WriteHuge(const void *buffer, std::uint64_t count)
{
    const auto *bytes = static_cast<const std::uint8_t *>(buffer);
    try {
        m_bytes.insert(m_bytes.end(), bytes, bytes + count);
    } catch (const std::exception &) { // out of memory is this file's "disk full"
        throw CFileException(CFileException::Cause::DiskFull, 0, "memory");
    }
}
