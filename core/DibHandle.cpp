#include "DibHandle.h"

#include "MemoryBudget.h"

#include <cassert>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#define TONECRAFT_MAPPED_BLOCKS
#endif

#if defined(__SANITIZE_ADDRESS__)
#define TONECRAFT_ASAN
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TONECRAFT_ASAN
#endif
#endif
#if defined(TONECRAFT_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace {

#if defined(TONECRAFT_MAPPED_BLOCKS)
// Blocks of at least one huge page (an image of about 2 megapixels and up) are mapped straight
// from the kernel, starting on a huge-page boundary, and marked for huge pages: a whole-file
// read into a fresh block then takes one fault per 2 MiB instead of one per 4 KiB. Fresh
// mappings are zero, and their pages are only cleared when first touched, so a block that is
// read into or copied into is written once, not zeroed first. Smaller blocks come from calloc,
// which does the same for the sizes where it maps memory itself.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

bool IsMapped(std::size_t size)
{
    return size >= kHugePage;
}

std::size_t PageSize()
{
    const long size = ::sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::size_t>(size) : 4096;
}

// Bytes of the mapping behind a block of `size` bytes: whole pages.
std::size_t MappedLength(std::size_t size)
{
    const std::size_t page = PageSize();
    return (size + page - 1) / page * page;
}

void *MapZeroed(std::size_t size)
{
    const std::size_t length = MappedLength(size);
    // Room to slide the start up to the next huge-page boundary.
    if (length < size || length > std::numeric_limits<std::size_t>::max() - kHugePage)
        return nullptr;
    const std::size_t reserved = length + kHugePage;
    void *raw
        = ::mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto rawStart = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t start = (rawStart + kHugePage - 1) & ~std::uintptr_t{kHugePage - 1};
    const std::size_t before = start - rawStart;
    const std::size_t after = reserved - before - length;
    auto *bytes = reinterpret_cast<std::uint8_t *>(start);
    if (before != 0)
        ::munmap(raw, before);
    if (after != 0)
        ::munmap(bytes + length, after);
#if defined(MADV_HUGEPAGE)
    // Advice only: without transparent huge pages the block is simply made of small pages.
    (void)::madvise(bytes, length, MADV_HUGEPAGE);
#endif
#if defined(TONECRAFT_ASAN)
    // The rest of the last page is not part of the block.
    ASAN_POISON_MEMORY_REGION(bytes + size, length - size);
#endif
    return bytes;
}

void Unmap(std::uint8_t *bytes, std::size_t size)
{
    const std::size_t length = MappedLength(size);
#if defined(TONECRAFT_ASAN)
    // A later mapping at the same address must not inherit the poisoned tail.
    ASAN_UNPOISON_MEMORY_REGION(bytes, length);
#endif
    ::munmap(bytes, length);
}
#endif

} // namespace

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
    if (size > static_cast<std::uint64_t>(std::numeric_limits<std::ptrdiff_t>::max())
        || !MemoryBudget::Allows(size))
        return handle;
    const auto bytes = static_cast<std::size_t>(size);
    void *memory = nullptr;
#if defined(TONECRAFT_MAPPED_BLOCKS)
    if (IsMapped(bytes))
        memory = MapZeroed(bytes);
    else
#endif
        // One byte is asked for at least, so an empty block is still a block.
        memory = std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (memory == nullptr)
        return handle;
    handle.m_pBytes = static_cast<std::uint8_t *>(memory);
    handle.m_nSize = bytes;
    return handle;
}

void DibHandle::Reset() noexcept
{
    assert(m_nLocks == 0);
#if defined(TONECRAFT_MAPPED_BLOCKS)
    if (m_pBytes != nullptr && IsMapped(m_nSize))
        Unmap(m_pBytes, m_nSize);
    else
#endif
        std::free(m_pBytes);
    m_pBytes = nullptr;
    m_nSize = 0;
}
