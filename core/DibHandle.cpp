#include "DibHandle.h"

#include <cassert>
#include <cstdlib>
#include <limits>
#include <utility>

DibHandle::~DibHandle()
{
    Reset();
}

DibHandle::DibHandle(DibHandle &&other) noexcept
    : m_pBytes(std::exchange(other.m_pBytes, nullptr))
    , m_nSize(std::exchange(other.m_nSize, 0))
{
    assert(other.m_nLocks == 0);
}

DibHandle &DibHandle::operator=(DibHandle &&other) noexcept
{
    if (this != &other) {
        Reset();
        assert(other.m_nLocks == 0);
        m_pBytes = std::exchange(other.m_pBytes, nullptr);
        m_nSize = std::exchange(other.m_nSize, 0);
    }
    return *this;
}

DibHandle DibHandle::Allocate(std::uint64_t size) noexcept
{
    DibHandle handle;
    if (size > static_cast<std::uint64_t>(std::numeric_limits<std::ptrdiff_t>::max()))
        return handle;
    // calloc hands out large blocks as fresh zero pages, so zeroing costs nothing up front;
    // one byte is asked for at least, so an empty block is still a block.
    const auto bytes = static_cast<std::size_t>(size);
    void *memory = std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (memory == nullptr)
        return handle;
    handle.m_pBytes = static_cast<std::uint8_t *>(memory);
    handle.m_nSize = bytes;
    return handle;
}

void DibHandle::Reset() noexcept
{
    assert(m_nLocks == 0);
    std::free(m_pBytes);
    m_pBytes = nullptr;
    m_nSize = 0;
}
