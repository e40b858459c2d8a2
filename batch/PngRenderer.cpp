#include "PngRenderer.h"

#include "DibDecoder.h"
#include "DibImage.h"
#include "DibLock.h"
#include "File.h"
#include "MemoryDC.h"
#include "PngWriter.h"

#include <algorithm>
#include <new>
#include <vector>

namespace PngRenderer {

namespace {

// The view's background, RGB(128, 128, 128), where nothing is drawn.
constexpr std::uint32_t kBackground = 0xFF808080u;
// Pixels drawn at a time: a band of whole rows, or a part of one very wide row.
constexpr std::uint32_t kTilePixels = 1u << 18;
constexpr std::uint32_t kMaxBandRows = 64;

} // namespace

Outcome Render(const DibHandle &block, CFile &out)
{
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool drawable = false;
    {
        DibReadLock lock(block);
        width = CDibImage::GetImageWidth(lock.Data());
        height = CDibImage::GetImageHeight(lock.Data());
        drawable = CDibDecoder::Create(lock.Bytes()).has_value();
    }
    // Admitted images have sides of at least 0 and at most 2^31 - 1 as PNG wants.
    if (width == 0 || height == 0)
        return Outcome::NoPixels;

    const std::uint32_t tileWidth = std::min(width, kTilePixels);
    const std::uint32_t bandRows = std::clamp(kTilePixels / width, 1u, kMaxBandRows);
    const Rect picture{0, 0, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
    try {
        // Each tile is drawn on a canvas that is the tile: its clip box, so the drawing decodes
        // only the tile's pixels. The first tile is the largest; its canvas serves them all.
        CMemoryDC dc(Rect{0, 0, static_cast<std::int32_t>(tileWidth),
                          static_cast<std::int32_t>(std::min(bandRows, height))},
                     kBackground);
        std::vector<std::uint8_t> rgb(std::size_t{tileWidth} * 3);
        CPngWriter png(out);
        if (!png.Begin(width, height))
            return Outcome::EncodingFailed;

        // Several tiles per band only when a band is one row: the tiles of that row then go
        // out left to right, which is the order the rows' bytes take.
        for (std::uint32_t top = 0; top < height; top += bandRows) {
            const std::uint32_t rows = std::min(bandRows, height - top);
            for (std::uint32_t left = 0; left < width; left += tileWidth) {
                const std::uint32_t columns = std::min(tileWidth, width - left);
                const Rect tile{static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                                static_cast<std::int32_t>(left + columns),
                                static_cast<std::int32_t>(top + rows)};
                dc.Reset(tile, kBackground);
                if (drawable && CDibImage::DrawToDevice(dc, picture, block, picture, nullptr) == 0)
                    return Outcome::DrawingFailed;
                for (std::uint32_t r = 0; r < rows; ++r) {
                    if (left == 0 && !png.BeginRow())
                        return Outcome::EncodingFailed;
                    const std::uint32_t *pixels = dc.Row(static_cast<std::int32_t>(top + r));
                    for (std::size_t x = 0; x < columns; ++x) {
                        rgb[3 * x] = static_cast<std::uint8_t>(pixels[x] >> 16);
                        rgb[3 * x + 1] = static_cast<std::uint8_t>(pixels[x] >> 8);
                        rgb[3 * x + 2] = static_cast<std::uint8_t>(pixels[x]);
                    }
                    if (!png.Put(rgb.data(), std::size_t{columns} * 3))
                        return Outcome::EncodingFailed;
                }
            }
        }
        if (!png.Finish())
            return Outcome::EncodingFailed;
    } catch (const std::bad_alloc &) {
        return Outcome::DrawingFailed;
    }
    return Outcome::Done;
}

} // namespace PngRenderer
