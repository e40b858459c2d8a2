#include "DibDecoder.h"

#include "ByteOrder.h"
#include "DibFormat.h"

#include <algorithm>
#include <bit>

using namespace DibFormat;

namespace {

constexpr std::uint32_t kOpaque = 0xFF000000u;

std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    return kOpaque | (r << 16) | (g << 8) | b;
}

// A channel value of `bits` bits scaled to 0..255 with rounding, whether the channel is
// narrower or wider than 8 bits: 5-bit 31 and 10-bit 1023 both give 255.
std::uint32_t ScaleToByte(std::uint64_t value, int bits)
{
    if (bits == 0)
        return 0;
    const std::uint64_t max = (std::uint64_t{1} << bits) - 1;
    // min() guards masks with gaps, whose values can exceed the run of bits they span.
    return static_cast<std::uint32_t>(std::min<std::uint64_t>((value * 255 + max / 2) / max, 255));
}

} // namespace

std::optional<CDibDecoder> CDibDecoder::Create(std::span<const std::uint8_t> block)
{
    const std::optional<DibLayout> layout = MeasureDib(block);
    if (!layout)
        return std::nullopt;
    CDibDecoder d;
    d.m_layout = *layout;
    d.m_lpRows = block.data() + layout->RowsOffset();
    const auto compression = static_cast<Compression>(layout->compression);
    const bool masked
        = compression == Compression::BitFields || compression == Compression::AlphaBitFields;

    switch (layout->bitCount) {
    case 1:
    case 4:
    case 8: {
        if (compression != Compression::Rgb)
            return std::nullopt;
        d.m_kind = Kind::Indexed;
        const std::size_t entryBytes = layout->IsCore() ? 3 : 4;
        const std::size_t count = layout->tableBytes / entryBytes;
        const std::uint8_t *table = block.data() + layout->TableOffset();
        for (std::size_t i = 0; i < d.m_colors.size(); ++i) {
            const std::uint8_t *e = table + i * entryBytes;
            d.m_colors[i] = i < count ? Rgb(e[2], e[1], e[0]) : kOpaque;
        }
        return d;
    }
    case 24:
        if (compression != Compression::Rgb)
            return std::nullopt;
        d.m_kind = Kind::Rgb24;
        return d;
    case 16:
    case 32:
        if (compression != Compression::Rgb && !masked)
            return std::nullopt;
        d.m_kind = layout->bitCount == 16 ? Kind::Rgb16 : Kind::Rgb32;
        if (masked) {
            // A 40-byte header is followed by its masks; later headers hold them at 40.
            const std::uint8_t *m = block.data() + 40;
            d.SetMasks(ByteOrder::ReadU32(m), ByteOrder::ReadU32(m + 4), ByteOrder::ReadU32(m + 8));
        } else if (layout->bitCount == 16) {
            d.SetMasks(0x7C00, 0x03E0, 0x001F);
        } else {
            d.SetMasks(0xFF0000, 0x00FF00, 0x0000FF);
        }
        return d;
    default:
        return std::nullopt;
    }
}

void CDibDecoder::SetMasks(std::uint32_t red, std::uint32_t green, std::uint32_t blue)
{
    const std::uint32_t masks[] = {red, green, blue};
    for (std::size_t i = 0; i < 3; ++i) {
        Channel &c = m_channels[i];
        c.mask = masks[i];
        c.shift = c.mask == 0 ? 0 : std::countr_zero(c.mask);
        c.bits = std::popcount(c.mask);
        if (c.bits <= 8) {
            for (std::uint32_t v = 0; v < 256; ++v)
                c.levels[v] = static_cast<std::uint8_t>(ScaleToByte(v, c.bits));
        }
    }
}

std::uint32_t CDibDecoder::FromMasks(std::uint32_t pixel) const
{
    std::uint32_t rgb[3];
    for (std::size_t i = 0; i < 3; ++i) {
        const Channel &c = m_channels[i];
        const std::uint32_t v = (pixel & c.mask) >> c.shift;
        rgb[i] = c.bits <= 8 ? c.levels[v & 0xFF] : ScaleToByte(v, c.bits);
    }
    return Rgb(rgb[0], rgb[1], rgb[2]);
}

template<typename ColumnAt>
void CDibDecoder::Decode(std::uint32_t row, std::size_t n, ColumnAt columnAt,
                         std::uint32_t *out) const
{
    const std::uint8_t *line
        = m_lpRows + std::uint64_t{m_layout.height - 1 - row} * m_layout.stride;
    switch (m_kind) {
    case Kind::Indexed:
        if (m_layout.bitCount == 8) {
            for (std::size_t i = 0; i < n; ++i)
                out[i] = m_colors[line[columnAt(i)]];
        } else if (m_layout.bitCount == 4) {
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint32_t x = columnAt(i);
                const std::uint8_t byte = line[x / 2];
                out[i] = m_colors[(x % 2 == 0) ? byte >> 4 : byte & 0x0F];
            }
        } else {
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint32_t x = columnAt(i);
                out[i] = m_colors[(line[x / 8] >> (7 - x % 8)) & 1];
            }
        }
        break;
    case Kind::Rgb24:
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t *p = line + std::size_t{columnAt(i)} * 3;
            out[i] = Rgb(p[2], p[1], p[0]);
        }
        break;
    case Kind::Rgb16:
        for (std::size_t i = 0; i < n; ++i)
            out[i] = FromMasks(ByteOrder::ReadU16(line + std::size_t{columnAt(i)} * 2));
        break;
    case Kind::Rgb32:
        for (std::size_t i = 0; i < n; ++i)
            out[i] = FromMasks(ByteOrder::ReadU32(line + std::size_t{columnAt(i)} * 4));
        break;
    }
}

void CDibDecoder::DecodeColumns(std::uint32_t row, std::span<const std::uint32_t> columns,
                                std::uint32_t *out) const
{
    Decode(
        row, columns.size(), [columns](std::size_t i) { return columns[i]; }, out);
}

void CDibDecoder::DecodeSpan(std::uint32_t row, std::uint32_t first, std::size_t count,
                             std::uint32_t *out) const
{
    Decode(
        row, count, [first](std::size_t i) { return first + static_cast<std::uint32_t>(i); }, out);
}
