#include "RowBands.h"

#include "ByteOrder.h"
#include "DibFormat.h"
#include "File.h"

#include <algorithm>
#include <utility>

using namespace DibFormat;

namespace {

constexpr std::uint32_t kLargestSide = 0x7FFFFFFF;

} // namespace

CRowBands::CRowBands(BmpCodec::FileFront front)
    : m_front(std::move(front))
{ }

std::optional<CRowBands> CRowBands::Open(CFile &file, std::uint64_t bandBytes)
{
    std::optional<BmpCodec::FileFront> front = BmpCodec::ReadFront(file);
    if (!front)
        return std::nullopt;
    const DibLayout &layout = front->layout;
    const bool profile = layout.headerSize == kV5HeaderSize
        && ByteOrder::ReadU32(front->dib.data() + kOffProfileSize) != 0;
    if (layout.IsRle() || layout.bitCount != 8 || layout.width == 0 || layout.height == 0
        || layout.width > kLargestSide || layout.height > kLargestSide || profile)
        return std::nullopt;

    CRowBands bands(std::move(*front));
    // The masks and the colour table follow the header directly; the reader took them so.
    bands.m_head.resize(static_cast<std::size_t>(layout.RowsOffset()));
    std::copy_n(bands.m_front.dib.begin(), layout.headerSize, bands.m_head.begin());
    const std::uint64_t rest = layout.RowsOffset() - layout.headerSize;
    if (file.ReadHuge(bands.m_head.data() + layout.headerSize, rest) != rest)
        return std::nullopt;

    // Bands of whole rows; a row larger than a band is cut into pieces of a multiple of 4
    // bytes, so that each piece is padded rows of its own for the kernels.
    bandBytes = std::max<std::uint64_t>(bandBytes / 4 * 4, 4);
    const std::uint64_t stride = layout.stride;
    bands.m_nBandBytes = stride <= bandBytes ? bandBytes / stride * stride : bandBytes;
    bands.m_buffer.resize(static_cast<std::size_t>(std::min(bands.m_nBandBytes, layout.rowsBytes)));
    return bands;
}

void CRowBands::Rewind(CFile &file)
{
    file.Seek(kFileHeaderSize + m_front.rowsAt);
    m_nDone = 0;
    m_bShort = false;
}

std::optional<CRowBands::Band> CRowBands::Next(CFile &file)
{
    const DibLayout &layout = m_front.layout;
    if (m_bShort || m_nDone == layout.rowsBytes)
        return std::nullopt;
    const std::uint64_t stride = layout.stride;
    Band band;
    band.bits = m_buffer.data();
    if (stride <= m_nBandBytes) {
        band.bytes = std::min(m_nBandBytes, layout.rowsBytes - m_nDone);
        band.width = static_cast<std::int32_t>(layout.width);
        band.height = static_cast<std::int32_t>(band.bytes / stride);
    } else {
        const std::uint64_t inRow = m_nDone % stride;
        band.bytes = std::min(m_nBandBytes, stride - inRow);
        const std::uint64_t pixels = layout.width > inRow ? layout.width - inRow : 0;
        band.width = static_cast<std::int32_t>(std::min(pixels, band.bytes));
        band.height = 1;
    }
    if (file.ReadHuge(band.bits, band.bytes) != band.bytes) {
        m_bShort = true;
        return std::nullopt;
    }
    m_nDone += band.bytes;
    return band;
}
