#include "DibDrawing.h"

#include "ByteOrder.h"
#include "DeviceContext.h"
#include "DibDecoder.h"
#include "DibLayout.h"
#include "DibLock.h"
#include "Palette.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <optional>
#include <vector>

namespace DibDrawing {

namespace {

// Rows decoded per call to the device: large enough to amortise the call, small enough that
// the strip stays in cache. Very wide areas take fewer rows, down to one, so that the strip
// stays within kStripPixels whenever a row fits.
constexpr std::int64_t kStripRows = 32;
constexpr std::int64_t kStripPixels = std::int64_t{1} << 18;

// Maps destination pixels to picture pixels along one axis: destination offset d (from the
// destination's start) samples picture coordinate srcStart + floor((2d + 1) * srcLength /
// (2 * dstLength)), the source pixel under the destination pixel's centre.
std::int64_t SampleAt(std::int64_t d, std::int64_t srcStart, std::int64_t srcLength,
                      std::int64_t dstLength)
{
    // Lengths reach 2^32, so the product needs more than 64 bits.
    __extension__ using Wide = __int128;
    return srcStart + static_cast<std::int64_t>((Wide{2 * d + 1} * srcLength) / (2 * dstLength));
}

// Draws the destination pixels inside `visible` (destination coordinates), each taking the
// picture pixel that SampleAt gives; pixels mapping outside the picture are left alone.
// Returns the scan lines drawn, or nothing (having drawn nothing) when its buffers cannot be
// had.
std::optional<int> DrawSampled(CDeviceContext &dc, const CDibDecoder &decoder, const Rect &dst,
                               const Rect &src, const Rect &visible)
{
    const std::int64_t w = decoder.Width();
    const std::int64_t h = decoder.Height();
    std::vector<std::uint32_t> columns;
    std::vector<std::int32_t> destX;
    std::vector<std::uint32_t> strip;
    const std::int64_t stripRowsMax
        = std::clamp<std::int64_t>(kStripPixels / visible.Width(), 1, kStripRows);
    try {
        columns.reserve(static_cast<std::size_t>(visible.Width()));
        destX.reserve(static_cast<std::size_t>(visible.Width()));
        strip.resize(static_cast<std::size_t>(visible.Width() * stripRowsMax));
    } catch (const std::bad_alloc &) {
        return std::nullopt;
    }

    // Columns of the picture the visible destination columns sample, as one run of
    // consecutive destination columns inside the picture (sampling is monotonic).
    for (std::int32_t x = visible.left; x < visible.right; ++x) {
        const std::int64_t sx
            = SampleAt(x - std::int64_t{dst.left}, src.left, src.Width(), dst.Width());
        if (sx >= 0 && sx < w) {
            columns.push_back(static_cast<std::uint32_t>(sx));
            destX.push_back(x);
        }
    }
    if (columns.empty())
        return 0;
    const std::size_t n = columns.size();
    // Equal widths sample consecutive columns: decode them as one run.
    const bool oneToOne = dst.Width() == src.Width();

    std::int32_t stripTop = 0;
    std::int64_t stripRows = 0;
    auto flush = [&] {
        if (stripRows > 0)
            dc.PutPixels(destX.front(), stripTop, static_cast<std::int32_t>(n),
                         static_cast<std::int32_t>(stripRows), strip.data(), n);
        stripRows = 0;
    };
    for (std::int32_t y = visible.top; y < visible.bottom; ++y) {
        const std::int64_t sy
            = SampleAt(y - std::int64_t{dst.top}, src.top, src.Height(), dst.Height());
        if (sy < 0 || sy >= h) {
            flush();
            continue;
        }
        if (stripRows == 0)
            stripTop = y;
        std::uint32_t *out = strip.data() + static_cast<std::size_t>(stripRows) * n;
        if (oneToOne)
            decoder.DecodeSpan(static_cast<std::uint32_t>(sy), columns.front(), n, out);
        else
            decoder.DecodeColumns(static_cast<std::uint32_t>(sy), columns, out);
        if (++stripRows == stripRowsMax)
            flush();
    }
    flush();
    return static_cast<int>(std::min<std::int64_t>(src.Height(), h));
}

} // namespace

bool BuildPalette(const DibHandle &block, CPalette &palette)
{
    if (block.IsNull())
        return false;
    DibReadLock image(block);
    const std::optional<DibLayout> layout = MeasureDib(image.Bytes());
    if (!layout)
        return false;
    const std::size_t entryBytes = layout->IsCore() ? 3 : 4;
    const std::size_t count = layout->tableBytes / entryBytes;
    if (count == 0)
        return false;

    DibHandle logPalette = DibHandle::Allocate(8 + 4 * std::uint64_t{count});
    if (logPalette.IsNull())
        return false;
    DibLock lock(logPalette);
    std::uint8_t *lp = lock.Data();
    ByteOrder::WriteU16(lp, 0x300);
    ByteOrder::WriteU16(lp + 2, static_cast<std::uint16_t>(count));
    const std::uint8_t *table = image.Data() + layout->TableOffset();
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t *e = table + i * entryBytes;
        std::uint8_t *out = lp + 4 + 4 * i;
        out[0] = e[2]; // the table is blue, green, red; a palette entry red, green, blue
        out[1] = e[1];
        out[2] = e[0];
        out[3] = 0;
    }
    return palette.CreatePalette(lock.Bytes());
}

int Draw(CDeviceContext &dc, const Rect &destination, const DibHandle &block, const Rect &source,
         const CPalette *palette)
{
    if (block.IsNull())
        return 0;
    DibReadLock image(block);
    const CPalette *previous = palette != nullptr ? dc.SelectPalette(palette, true) : nullptr;
    dc.SetStretchBltMode(CDeviceContext::kColorOnColor);

    int lines = 0;
    const std::optional<CDibDecoder> decoder = CDibDecoder::Create(image.Bytes());
    if (decoder && !destination.IsEmpty() && !source.IsEmpty()) {
        // Equal sizes map one to one (the unscaled copy); otherwise each destination pixel
        // takes the nearest source pixel. Only what the clip lets through is decoded.
        const Rect visible = destination.Intersected(dc.GetClipBox());
        std::optional<int> drawn = 0;
        if (!visible.IsEmpty())
            drawn = DrawSampled(dc, *decoder, destination, source, visible);
        // A drawing that could not be done is not reported as lines drawn.
        if (drawn && destination.Width() == source.Width()
            && destination.Height() == source.Height())
            drawn = static_cast<int>(decoder->Height());
        lines = drawn.value_or(0);
    }

    if (palette != nullptr && previous != nullptr)
        dc.SelectPalette(previous, true);
    return lines;
}

} // namespace DibDrawing
