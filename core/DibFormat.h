#pragma once

#include <cstdint>

// Numbers of the BMP file format and the packed DIB that several core files share.
namespace DibFormat {

constexpr std::uint16_t kBmpSignature = 0x4D42; // "BM"
constexpr std::uint32_t kFileHeaderSize = 14;

constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;

// Offsets inside the 14-byte file header.
constexpr std::uint32_t kOffType = 0;
constexpr std::uint32_t kOffFileSize = 2;
constexpr std::uint32_t kOffReserved1 = 6;
constexpr std::uint32_t kOffReserved2 = 8;
constexpr std::uint32_t kOffOffBits = 10;

// Offsets inside an info-family header (the first 40 bytes of every size from 40 up).
constexpr std::uint32_t kOffSize = 0;
constexpr std::uint32_t kOffWidth = 4;
constexpr std::uint32_t kOffHeight = 8;
constexpr std::uint32_t kOffBitCount = 14;
constexpr std::uint32_t kOffCompression = 16;
constexpr std::uint32_t kOffSizeImage = 20;
constexpr std::uint32_t kOffClrUsed = 32;

// The 124-byte header's colour profile: offset from the header's start, and size.
constexpr std::uint32_t kV5HeaderSize = 124;
constexpr std::uint32_t kOffProfileData = 112;
constexpr std::uint32_t kOffProfileSize = 116;

// Offsets inside the 12-byte core header.
constexpr std::uint32_t kOffCoreWidth = 4;
constexpr std::uint32_t kOffCoreHeight = 6;
constexpr std::uint32_t kOffCoreBitCount = 10;

enum class Compression : std::uint32_t {
    Rgb = 0,
    Rle8 = 1,
    Rle4 = 2,
    BitFields = 3,
    Jpeg = 4,
    Png = 5,
    AlphaBitFields = 6,
};

// True for 40 and the later, longer headers whose first 40 bytes share the info layout.
[[nodiscard]] constexpr bool IsInfoFamilySize(std::uint32_t size)
{
    return size == 40 || size == 52 || size == 56 || size == 64 || size == 108 || size == 124;
}

// Colour-table entries: an info-family header's biClrUsed (low 16 bits) when not 0, otherwise
// 2, 16 or 256 for 1, 4 or 8 bits per pixel and 0 for every other depth. A core header has no
// biClrUsed: pass 0.
[[nodiscard]] constexpr std::uint16_t ColorCount(std::uint16_t bitCount, std::uint32_t clrUsed)
{
    if (clrUsed != 0)
        return static_cast<std::uint16_t>(clrUsed & 0xFFFF);
    switch (bitCount) {
    case 1:
        return 2;
    case 4:
        return 16;
    case 8:
        return 256;
    default:
        return 0;
    }
}

// Bytes of bit-field masks between the header and the colour table: only a 40-byte header is
// followed by them (later headers carry their masks inside).
[[nodiscard]] constexpr std::uint32_t MaskBytes(std::uint32_t headerSize, std::uint32_t compression)
{
    if (headerSize != kInfoHeaderSize)
        return 0;
    if (compression == static_cast<std::uint32_t>(Compression::BitFields))
        return 12;
    if (compression == static_cast<std::uint32_t>(Compression::AlphaBitFields))
        return 16;
    return 0;
}

} // namespace DibFormat
