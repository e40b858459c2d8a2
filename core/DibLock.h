#pragma once

#include "DibHandle.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

// Scope guard that locks a DibHandle: Data() is the block's first byte, valid until the guard
// ends. Locking a null handle yields null and an empty span. DibLock gives write access,
// DibReadLock read-only access to a const handle.
template<bool Writable> class DibLockT
{
public:
    using Byte = std::conditional_t<Writable, std::uint8_t, const std::uint8_t>;
    using Handle = std::conditional_t<Writable, DibHandle, const DibHandle>;

    explicit DibLockT(Handle &handle) noexcept
        : m_lpHandle(&handle)
    {
        ++m_lpHandle->m_nLocks;
    }
    ~DibLockT() { --m_lpHandle->m_nLocks; }
    DibLockT(const DibLockT &) = delete;
    DibLockT &operator=(const DibLockT &) = delete;

    [[nodiscard]] Byte *Data() const noexcept { return m_lpHandle->m_pBytes; }
    [[nodiscard]] std::size_t Size() const noexcept { return m_lpHandle->m_nSize; }
    [[nodiscard]] std::span<Byte> Bytes() const noexcept { return {Data(), Size()}; }

private:
    Handle *m_lpHandle;
};

using DibLock = DibLockT<true>;
using DibReadLock = DibLockT<false>;
