#include "Palette.h"

#include "ByteOrder.h"

#include <new>

bool CPalette::CreatePalette(std::span<const std::uint8_t> logPalette)
{
    m_bCreated = false;
    m_entries.clear();
    if (logPalette.size() < 4)
        return false;
    const std::uint16_t count = ByteOrder::ReadU16(logPalette.data() + 2);
    if (logPalette.size() < 4 + std::size_t{count} * 4)
        return false;
    try {
        m_entries.resize(count);
    } catch (const std::bad_alloc &) {
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t *e = logPalette.data() + 4 + 4 * i;
        m_entries[i] = {e[0], e[1], e[2], e[3]};
    }
    m_nVersion = ByteOrder::ReadU16(logPalette.data());
    m_bCreated = true;
    return true;
}
