#pragma once

#include <cstdint>
#include <optional>
#include <span>

// Where the parts of a packed DIB lie, measured in 64-bit arithmetic from its header.
struct DibLayout
{
    std::uint32_t headerSize = 0; // 12 (core) or an info-family size
    std::uint32_t maskBytes = 0;  // bit-field masks between a 40-byte header and the colour table
    std::uint32_t tableBytes = 0; // colour table, 3- or 4-byte entries
    std::uint32_t width = 0;      // as stored, taken as unsigned
    std::uint32_t height = 0;     // as stored, taken as unsigned
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0; // 0 for a core header
    std::uint64_t stride = 0;      // bytes per plain row, padded to 4
    std::uint64_t rowsBytes = 0;   // stride x height, or biSizeImage for RLE streams

    [[nodiscard]] bool IsCore() const { return headerSize == 12; }
    [[nodiscard]] bool IsRle() const { return compression == 1 || compression == 2; }
    [[nodiscard]] std::uint64_t TableOffset() const
    {
        return std::uint64_t{headerSize} + maskBytes;
    }
    [[nodiscard]] std::uint64_t RowsOffset() const { return TableOffset() + tableBytes; }
    [[nodiscard]] std::uint64_t TotalBytes() const { return RowsOffset() + rowsBytes; }
};

// The layout that the header at the start of `block` describes, or nothing when the header
// itself cannot be read: a header size other than 12 or an info-family size, a block shorter
// than its header, a colour table larger than 16 bits of bytes, an RLE compression on the
// wrong bit depth, or rows too large for 64-bit arithmetic. The rest of the block is not
// looked at.
[[nodiscard]] std::optional<DibLayout> MeasureHeader(std::span<const std::uint8_t> block);

// The layout of the packed DIB at the start of `block`, or nothing when the block cannot be
// read safely: MeasureHeader fails, or the block has fewer bytes than the header, masks, colour
// table and rows need. This is the single admission check for every block that
// enters the program.
[[nodiscard]] std::optional<DibLayout> MeasureDib(std::span<const std::uint8_t> block);

// The colour profile (embedded, or the name of a linked one) that a 124-byte header points at,
// as an offset from the header's start and a size; only when it lies inside `block`, after
// the rows, so that it can be carried along when the rows change place.
struct ProfileBytes
{
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};
[[nodiscard]] std::optional<ProfileBytes> FindProfile(std::span<const std::uint8_t> block,
                                                      const DibLayout &layout);

// Bytes of one row of `width` pixels at `bitCount` bits, padded to a multiple of 4.
[[nodiscard]] constexpr std::uint64_t RowStride(std::uint64_t width, std::uint64_t bitCount)
{
    return ((width * bitCount + 31) / 32) * 4;
}
