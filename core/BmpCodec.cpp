#include "BmpCodec.h"

#include "ByteOrder.h"
#include "DibFormat.h"
#include "DibLayout.h"
#include "DibLock.h"
#include "File.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

using namespace DibFormat;

namespace BmpCodec {

namespace {

// The longest header of the info family.
constexpr std::uint32_t kLargestHeaderSize = 124;

// Where the rows begin in the packed DIB of the file: right behind the colour table, unless
// the file header places them after a gap (bfOffBits further on).
std::uint64_t RowsStart(const DibLayout &layout, std::uint32_t offBits)
{
    const std::uint64_t behindTable = layout.RowsOffset();
    if (offBits < kFileHeaderSize)
        return behindTable;
    return std::max<std::uint64_t>(behindTable, offBits - std::uint64_t{kFileHeaderSize});
}

// Bytes of the packed DIB the file must hold for its header, masks, table and rows. The rows
// of an image with a negative width or height are not counted: the document refuses such an
// image by its size, with its own message, before anything reads them.
std::optional<std::uint64_t> BytesNeeded(const DibLayout &layout, std::uint32_t offBits)
{
    constexpr std::uint32_t kLargestSide = 0x7FFFFFFF;
    if (layout.width > kLargestSide || layout.height > kLargestSide)
        return layout.RowsOffset();
    std::uint64_t needed = 0;
    if (__builtin_add_overflow(RowsStart(layout, offBits), layout.rowsBytes, &needed))
        return std::nullopt;
    return needed;
}

} // namespace

std::optional<FileFront> ReadFront(CFile &file)
{
    FileFront front;
    front.length = file.GetLength();
    // Checked before reading: a file that grows after its length was taken must not make
    // the read below run past the block.
    if (front.length < kFileHeaderSize)
        return std::nullopt;
    std::array<std::uint8_t, kFileHeaderSize> fileHeader{};
    if (file.Read(fileHeader.data(), kFileHeaderSize) < kFileHeaderSize)
        return std::nullopt;
    if (ByteOrder::ReadU16(fileHeader.data() + kOffType) != kBmpSignature)
        return std::nullopt;
    const std::uint32_t offBits = ByteOrder::ReadU32(fileHeader.data() + kOffOffBits);

    // The header is read and measured on its own first, so that a file that cannot be an image
    // (or that says it holds more than it does) is refused before its body costs anything.
    std::array<std::uint8_t, kLargestHeaderSize> &header = front.dib;
    if (file.Read(header.data(), 4) < 4)
        return std::nullopt;
    const std::uint32_t headerSize = ByteOrder::ReadU32(header.data());
    if (headerSize != kCoreHeaderSize && !IsInfoFamilySize(headerSize))
        return std::nullopt;
    if (file.Read(header.data() + 4, headerSize - 4) < headerSize - 4)
        return std::nullopt;
    const std::optional<DibLayout> layout = MeasureHeader(std::span(header).first(headerSize));
    if (!layout)
        return std::nullopt;
    const std::optional<std::uint64_t> needed = BytesNeeded(*layout, offBits);
    if (!needed || *needed > front.length - kFileHeaderSize)
        return std::nullopt;
    front.layout = *layout;
    front.rowsAt = RowsStart(*layout, offBits);
    return front;
}

DibHandle Read(CFile &file)
{
    const std::optional<FileFront> front = ReadFront(file);
    if (!front)
        return {};
    const std::uint64_t length = front->length;
    const DibLayout &layout = front->layout;
    const std::uint32_t headerSize = layout.headerSize;
    const std::uint64_t dibBytes = length - kFileHeaderSize;

    // The block is as long as the whole file, as it always was: 14 spare zero bytes at the end.
    DibHandle block = DibHandle::Allocate(length);
    if (block.IsNull())
        return block;
    {
        DibLock lock(block);
        std::memcpy(lock.Data(), front->dib.data(), headerSize);
        const std::uint64_t bodyBytes = dibBytes - headerSize;
        if (file.ReadHuge(lock.Data() + headerSize, bodyBytes) != bodyBytes)
            return {};
        // The block's rows must follow the table directly: rows after a gap are moved up.
        const std::uint64_t rowsAt = front->rowsAt;
        if (rowsAt > layout.RowsOffset() && rowsAt < dibBytes) {
            const auto from = static_cast<std::size_t>(rowsAt);
            const auto to = static_cast<std::size_t>(layout.RowsOffset());
            const auto count = static_cast<std::size_t>(dibBytes - rowsAt);
            std::memmove(lock.Data() + to, lock.Data() + from, count);
            std::memset(lock.Data() + to + count, 0, from - to);
            // A colour profile after the rows moved up with them.
            if (headerSize == kV5HeaderSize) {
                const std::uint32_t profileAt = ByteOrder::ReadU32(lock.Data() + kOffProfileData);
                if (profileAt >= rowsAt)
                    ByteOrder::WriteU32(lock.Data() + kOffProfileData,
                                        profileAt - static_cast<std::uint32_t>(from - to));
            }
        }
    }
    return block;
}

std::optional<std::vector<std::uint8_t>> WrittenFront(std::span<const std::uint8_t> front,
                                                      const DibLayout &layout,
                                                      std::optional<ProfileBytes> profile)
{
    if (!IsInfoFamilySize(layout.headerSize) || front.size() != layout.RowsOffset())
        return std::nullopt;
    const std::uint64_t profileBytes = profile ? profile->size : 0;
    const std::uint64_t fileBytes = kFileHeaderSize + layout.TotalBytes() + profileBytes;
    if (layout.rowsBytes > 0xFFFFFFFFu || fileBytes > 0xFFFFFFFFu)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(kFileHeaderSize + front.size());
    std::uint8_t *dib = bytes.data() + kFileHeaderSize;
    std::memcpy(dib, front.data(), front.size());
    ByteOrder::WriteU16(bytes.data() + kOffType, kBmpSignature);
    ByteOrder::WriteU32(bytes.data() + kOffFileSize, static_cast<std::uint32_t>(fileBytes));
    ByteOrder::WriteU32(bytes.data() + kOffOffBits,
                        static_cast<std::uint32_t>(kFileHeaderSize + layout.RowsOffset()));
    if (!layout.IsRle())
        ByteOrder::WriteU32(dib + kOffSizeImage, static_cast<std::uint32_t>(layout.rowsBytes));
    // A colour profile is written after the rows, and the header points there.
    if (profile)
        ByteOrder::WriteU32(dib + kOffProfileData, static_cast<std::uint32_t>(layout.TotalBytes()));
    return bytes;
}

bool Write(DibHandle &block, CFile &file)
{
    if (block.IsNull())
        return false;
    DibLock lock(block);
    std::uint8_t *dib = lock.Data();
    // A block shorter than its header says is refused instead of being read past its end.
    const std::optional<DibLayout> layout = MeasureDib(lock.Bytes());
    if (!layout)
        return false;
    const std::optional<ProfileBytes> profile = FindProfile(lock.Bytes(), *layout);
    const std::optional<std::vector<std::uint8_t>> front = WrittenFront(
        lock.Bytes().first(static_cast<std::size_t>(layout->RowsOffset())), *layout, profile);
    if (!front)
        return false;
    // The size of plain rows stays set in the image itself.
    if (!layout->IsRle())
        ByteOrder::WriteU32(dib + kOffSizeImage, static_cast<std::uint32_t>(layout->rowsBytes));

    file.WriteHuge(front->data(), front->size());
    file.WriteHuge(dib + layout->RowsOffset(), layout->rowsBytes);
    if (profile)
        file.WriteHuge(dib + profile->offset, profile->size);
    return true;
}

} // namespace BmpCodec
