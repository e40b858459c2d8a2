#include "DibBuilder.h"

#include "ByteOrder.h"
#include "DibFormat.h"
#include "DibLayout.h"
#include "DibLock.h"

using namespace DibFormat;

namespace {

constexpr std::uint8_t Red(std::uint32_t pixel)
{
    return static_cast<std::uint8_t>(pixel >> 16);
}
constexpr std::uint8_t Green(std::uint32_t pixel)
{
    return static_cast<std::uint8_t>(pixel >> 8);
}
constexpr std::uint8_t Blue(std::uint32_t pixel)
{
    return static_cast<std::uint8_t>(pixel);
}

bool IsGrayPicture(const std::uint32_t *top, std::size_t width, std::size_t height,
                   std::size_t rowPixels)
{
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint32_t *row = top + y * rowPixels;
        for (std::size_t x = 0; x < width; ++x) {
            if (Red(row[x]) != Green(row[x]) || Green(row[x]) != Blue(row[x]))
                return false;
        }
    }
    return true;
}

} // namespace

namespace DibBuilder {

DibHandle FromRgb32(const std::uint32_t *top, std::int32_t width, std::int32_t height,
                    std::size_t rowPixels)
{
    if (top == nullptr || width <= 0 || height <= 0)
        return {};
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    const bool gray = IsGrayPicture(top, w, h, rowPixels);
    const std::uint16_t bitCount = gray ? 8 : 24;
    const std::uint32_t tableBytes = gray ? 256 * 4 : 0;
    const std::uint64_t stride = RowStride(w, bitCount);
    std::uint64_t rowsBytes = 0;
    if (__builtin_mul_overflow(stride, std::uint64_t{h}, &rowsBytes) || rowsBytes > 0xFFFFFFFFu)
        return {};
    const std::uint64_t total = kInfoHeaderSize + tableBytes + rowsBytes;
    if (total > 0xFFFFFFFFu - kFileHeaderSize)
        return {};

    DibHandle block = DibHandle::Allocate(total);
    if (block.IsNull())
        return block;
    {
        DibLock lock(block);
        std::uint8_t *dib = lock.Data();
        ByteOrder::WriteU32(dib + kOffSize, kInfoHeaderSize);
        ByteOrder::WriteU32(dib + kOffWidth, static_cast<std::uint32_t>(width));
        ByteOrder::WriteU32(dib + kOffHeight, static_cast<std::uint32_t>(height));
        ByteOrder::WriteU16(dib + 12, 1); // planes
        ByteOrder::WriteU16(dib + kOffBitCount, bitCount);
        ByteOrder::WriteU32(dib + kOffSizeImage, static_cast<std::uint32_t>(rowsBytes));
        std::uint8_t *table = dib + kInfoHeaderSize;
        for (std::uint32_t i = 0; i < tableBytes / 4; ++i) {
            table[4 * i] = table[4 * i + 1] = table[4 * i + 2] = static_cast<std::uint8_t>(i);
        }
        std::uint8_t *rows = table + tableBytes;
        for (std::size_t y = 0; y < h; ++y) {
            // Picture rows are top-down; a DIB stores the bottom row first.
            const std::uint32_t *from = top + (h - 1 - y) * rowPixels;
            std::uint8_t *to = rows + y * stride;
            for (std::size_t x = 0; x < w; ++x) {
                if (gray) {
                    to[x] = Blue(from[x]);
                } else {
                    to[3 * x] = Blue(from[x]);
                    to[3 * x + 1] = Green(from[x]);
                    to[3 * x + 2] = Red(from[x]);
                }
            }
        }
    }
    return block;
}

} // namespace DibBuilder
