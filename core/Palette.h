#pragma once

#include <cstdint>
#include <span>
#include <vector>

struct PaletteEntry
{
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t flags = 0;

    friend bool operator==(const PaletteEntry &, const PaletteEntry &) = default;
};

// A logical palette. There is no indexed display mode to realise it on, so it lives on as the
// entries it was created from; drawing decodes colours from the image's own table.
class CPalette
{
public:
    // Creates the palette from a LOGPALETTE: u16 version, u16 entry count, then 4-byte entries
    // (red, green, blue, flags). False, and no palette, when the bytes do not hold them all or
    // memory runs out.
    [[nodiscard]] bool CreatePalette(std::span<const std::uint8_t> logPalette);

    [[nodiscard]] bool IsCreated() const { return m_bCreated; }
    [[nodiscard]] std::uint16_t Version() const { return m_nVersion; }
    [[nodiscard]] std::span<const PaletteEntry> Entries() const { return m_entries; }

private:
    std::vector<PaletteEntry> m_entries;
    std::uint16_t m_nVersion = 0;
    bool m_bCreated = false;
};
