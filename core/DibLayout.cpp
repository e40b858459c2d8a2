#include "DibLayout.h"

#include "ByteOrder.h"
#include "DibFormat.h"

using namespace DibFormat;

std::optional<DibLayout> MeasureHeader(std::span<const std::uint8_t> block)
{
    if (block.size() < 4)
        return std::nullopt;
    const std::uint8_t *h = block.data();
    DibLayout l;
    l.headerSize = ByteOrder::ReadU32(h + kOffSize);
    const bool core = l.headerSize == kCoreHeaderSize;
    if (!core && !IsInfoFamilySize(l.headerSize))
        return std::nullopt;
    if (block.size() < l.headerSize)
        return std::nullopt;

    std::uint32_t clrUsed = 0;
    if (core) {
        l.width = ByteOrder::ReadU16(h + kOffCoreWidth);
        l.height = ByteOrder::ReadU16(h + kOffCoreHeight);
        l.bitCount = ByteOrder::ReadU16(h + kOffCoreBitCount);
    } else {
        l.width = ByteOrder::ReadU32(h + kOffWidth);
        l.height = ByteOrder::ReadU32(h + kOffHeight);
        l.bitCount = ByteOrder::ReadU16(h + kOffBitCount);
        l.compression = ByteOrder::ReadU32(h + kOffCompression);
        clrUsed = ByteOrder::ReadU32(h + kOffClrUsed);
        l.maskBytes = MaskBytes(l.headerSize, l.compression);
    }

    const std::uint32_t tableBytes
        = std::uint32_t{ColorCount(l.bitCount, clrUsed)} * (core ? 3u : 4u);
    if (tableBytes > 0xFFFF) // the colour-table size is carried in 16 bits
        return std::nullopt;
    l.tableBytes = tableBytes;
    l.stride = RowStride(l.width, l.bitCount);

    if (l.IsRle()) {
        const bool depthMatches
            = (l.compression == 1 && l.bitCount == 8) || (l.compression == 2 && l.bitCount == 4);
        if (!depthMatches)
            return std::nullopt;
        l.rowsBytes = ByteOrder::ReadU32(h + kOffSizeImage);
    } else if (__builtin_mul_overflow(l.stride, std::uint64_t{l.height}, &l.rowsBytes)) {
        return std::nullopt;
    }

    return l;
}

std::optional<DibLayout> MeasureDib(std::span<const std::uint8_t> block)
{
    std::optional<DibLayout> layout = MeasureHeader(block);
    if (layout && (layout->rowsBytes > block.size() || layout->TotalBytes() > block.size()))
        return std::nullopt;
    return layout;
}

std::optional<ProfileBytes> FindProfile(std::span<const std::uint8_t> block,
                                        const DibLayout &layout)
{
    if (layout.headerSize != kV5HeaderSize || block.size() < kV5HeaderSize)
        return std::nullopt;
    const ProfileBytes profile{ByteOrder::ReadU32(block.data() + kOffProfileData),
                               ByteOrder::ReadU32(block.data() + kOffProfileSize)};
    if (profile.size == 0 || profile.offset < layout.TotalBytes()
        || profile.offset + profile.size > block.size())
        return std::nullopt;
    return profile;
}
