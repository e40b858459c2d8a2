#include "BmpCodec.h"

#include "ByteOrder.h"
#include "DibFormat.h"
#include "DibLayout.h"
#include "DibLock.h"
#include "File.h"

#include <array>
#include <cstring>
#include <optional>

using namespace DibFormat;

namespace BmpCodec {

namespace {

// A writer may leave a gap between the colour table and the rows and say so in bfOffBits.
// The block's rows must follow the table directly, so they are moved up over the gap.
void CloseGapBeforeRows(std::span<std::uint8_t> dib, std::uint32_t offBits)
{
    const std::optional<DibLayout> layout = MeasureHeader(dib);
    if (!layout || offBits < kFileHeaderSize)
        return;
    const std::uint64_t rowsAt = offBits - std::uint64_t{kFileHeaderSize};
    if (rowsAt <= layout->RowsOffset() || rowsAt >= dib.size())
        return;
    const auto from = static_cast<std::size_t>(rowsAt);
    const auto to = static_cast<std::size_t>(layout->RowsOffset());
    const std::size_t count = dib.size() - from;
    std::memmove(dib.data() + to, dib.data() + from, count);
    std::memset(dib.data() + to + count, 0, from - to);
}

} // namespace

DibHandle Read(CFile &file)
{
    const std::uint64_t length = file.GetLength();
    // Checked before reading: a file that grows after its length was taken must not make
    // the read below run past the block.
    if (length < kFileHeaderSize)
        return {};
    std::array<std::uint8_t, kFileHeaderSize> fileHeader{};
    if (file.Read(fileHeader.data(), kFileHeaderSize) < kFileHeaderSize)
        return {};
    if (ByteOrder::ReadU16(fileHeader.data() + kOffType) != kBmpSignature)
        return {};

    // The block is as long as the whole file, as it always was: 14 spare zero bytes at the end.
    DibHandle block = DibHandle::Allocate(length);
    if (block.IsNull())
        return block;
    const std::uint64_t dibBytes = length - kFileHeaderSize;
    {
        DibLock lock(block);
        if (file.ReadHuge(lock.Data(), dibBytes) != dibBytes)
            return {};
        CloseGapBeforeRows(lock.Bytes().first(static_cast<std::size_t>(dibBytes)),
                           ByteOrder::ReadU32(fileHeader.data() + kOffOffBits));
    }
    return block;
}

bool Write(DibHandle &block, CFile &file)
{
    if (block.IsNull())
        return false;
    DibLock lock(block);
    std::uint8_t *dib = lock.Data();
    if (lock.Size() < 4 || !IsInfoFamilySize(ByteOrder::ReadU32(dib)))
        return false;
    // A block shorter than its header says is refused instead of being read past its end.
    std::optional<DibLayout> layout = MeasureDib(lock.Bytes());
    if (!layout)
        return false;

    const std::uint64_t fileBytes = kFileHeaderSize + layout->TotalBytes();
    if (layout->rowsBytes > 0xFFFFFFFFu || fileBytes > 0xFFFFFFFFu)
        return false;
    if (!layout->IsRle())
        ByteOrder::WriteU32(dib + kOffSizeImage, static_cast<std::uint32_t>(layout->rowsBytes));

    std::array<std::uint8_t, kFileHeaderSize> fileHeader{};
    ByteOrder::WriteU16(fileHeader.data() + kOffType, kBmpSignature);
    ByteOrder::WriteU32(fileHeader.data() + kOffFileSize, static_cast<std::uint32_t>(fileBytes));
    ByteOrder::WriteU32(fileHeader.data() + kOffOffBits,
                        static_cast<std::uint32_t>(kFileHeaderSize + layout->RowsOffset()));
    file.Write(fileHeader.data(), kFileHeaderSize);
    file.WriteHuge(dib, layout->TotalBytes());
    return true;
}

} // namespace BmpCodec
