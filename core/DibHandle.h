#pragma once

#include <cstddef>
#include <cstdint>

template<bool Writable> class DibLockT;

// Owner of one zero-initialised byte block holding a packed DIB (header, colour table, rows).
// A null handle means "no image". The contents are reached only through a DibLock, which pins
// the block for its lifetime. Move-only: exactly one holder owns a block and frees it.
class DibHandle
{
public:
    DibHandle() noexcept = default;
    ~DibHandle();
    DibHandle(DibHandle &&other) noexcept;
    DibHandle &operator=(DibHandle &&other) noexcept;
    DibHandle(const DibHandle &) = delete;
    DibHandle &operator=(const DibHandle &) = delete;

    // A new block of exactly `size` zero bytes, or a null handle when memory runs out, the
    // size cannot be addressed or it does not fit what the machine can give (MemoryBudget). Never
    // throws. Blocks of 2 MiB and more start on a 2 MiB boundary and ask for huge pages (Linux);
    // smaller ones are at least 16-byte aligned.
    [[nodiscard]] static DibHandle Allocate(std::uint64_t size) noexcept;

    [[nodiscard]] bool IsNull() const noexcept { return m_pBytes == nullptr; }
    explicit operator bool() const noexcept { return m_pBytes != nullptr; }

    // Size of the block in bytes; 0 for a null handle.
    [[nodiscard]] std::size_t Size() const noexcept { return m_nSize; }

    // Number of locks currently held; a block must not be moved or freed while locked.
    [[nodiscard]] int LockCount() const noexcept { return m_nLocks; }

    // Frees the block (if any) and becomes null.
    void Reset() noexcept;

private:
    friend class DibLockT<true>;
    friend class DibLockT<false>;

    std::uint8_t *m_pBytes = nullptr;
    std::size_t m_nSize = 0;
    mutable int m_nLocks = 0;
};
