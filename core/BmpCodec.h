#pragma once

#include "DibHandle.h"
#include "DibLayout.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

class CFile;

// BMP files to and from packed-DIB blocks; CDibImage::ReadBmpFile and WriteBmpFile forward
// here (their header states the contract).
namespace BmpCodec {

[[nodiscard]] DibHandle Read(CFile &file);
[[nodiscard]] bool Write(DibHandle &block, CFile &file);

// What the reader learns from the front of a file before it reads the rest.
struct FileFront
{
    std::uint64_t length = 0;            // of the whole file
    std::array<std::uint8_t, 124> dib{}; // the DIB header, layout.headerSize bytes of it
    DibLayout layout;
    std::uint64_t rowsAt = 0; // where the rows begin, in bytes from the DIB header's start
};

// Reads the file header and the DIB header of `file` (at its start) and checks them as Read
// does, the file's length included; nothing when Read would refuse the file for them. The
// file is left right behind the DIB header. Raises CFileException on a device error.
[[nodiscard]] std::optional<FileFront> ReadFront(CFile &file);

// The bytes that Write puts before the rows of an image whose packed DIB begins with `front`
// (header, masks and colour table: layout.RowsOffset() bytes): the file header, then `front`
// with biSizeImage set to the size of plain rows and, when `profile` is carried, the profile's
// offset pointing behind the rows. Nothing when Write refuses the image: a core header, or
// sizes beyond the file's 32-bit fields.
[[nodiscard]] std::optional<std::vector<std::uint8_t>>
WrittenFront(std::span<const std::uint8_t> front, const DibLayout &layout,
             std::optional<ProfileBytes> profile);

} // namespace BmpCodec
