#include "PngRenderer.h"

#include "DibDecoder.h"
#include "DibImage.h"
#include "DibLock.h"
#include "File.h"
#include "MemoryDC.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

namespace PngRenderer {

namespace {

// The view's background, RGB(128, 128, 128), where nothing is drawn.
constexpr std::uint32_t kBackground = 0xFF808080u;
// Pixels drawn at a time: a band of whole rows, or a part of one very wide row.
constexpr std::uint32_t kTilePixels = 1u << 18;
constexpr std::uint32_t kMaxBandRows = 64;
// Compressed bytes per IDAT chunk.
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

void PutU32(std::uint8_t *out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

void WriteChunk(CFile &out, const char *type, const std::uint8_t *data, std::size_t size)
{
    std::array<std::uint8_t, 8> head{};
    PutU32(head.data(), static_cast<std::uint32_t>(size));
    std::memcpy(head.data() + 4, type, 4);
    uLong crc = crc32(0, head.data() + 4, 4);
    if (size != 0)
        crc = crc32(crc, data, static_cast<uInt>(size));
    std::array<std::uint8_t, 4> tail{};
    PutU32(tail.data(), static_cast<std::uint32_t>(crc));
    out.Write(head.data(), 8);
    if (size != 0)
        out.Write(data, static_cast<std::uint32_t>(size));
    out.Write(tail.data(), 4);
}

// A deflate stream whose output leaves as IDAT chunks of kChunkBytes (the last one shorter).
class CIdatWriter
{
public:
    explicit CIdatWriter(CFile &out)
        : m_out(out)
        , m_chunk(kChunkBytes)
    {
        m_bOpen = deflateInit(&m_stream, Z_DEFAULT_COMPRESSION) == Z_OK;
        m_stream.next_out = m_chunk.data();
        m_stream.avail_out = static_cast<uInt>(m_chunk.size());
    }
    ~CIdatWriter()
    {
        if (m_bOpen)
            deflateEnd(&m_stream);
    }
    CIdatWriter(const CIdatWriter &) = delete;
    CIdatWriter &operator=(const CIdatWriter &) = delete;

    [[nodiscard]] bool IsOpen() const { return m_bOpen; }

    [[nodiscard]] bool Put(const std::uint8_t *bytes, std::size_t size)
    {
        m_stream.next_in = const_cast<Bytef *>(bytes);
        m_stream.avail_in = static_cast<uInt>(size);
        return Pump(Z_NO_FLUSH);
    }

    [[nodiscard]] bool Finish()
    {
        if (!Pump(Z_FINISH))
            return false;
        if (m_stream.avail_out != m_chunk.size())
            WriteChunk(m_out, "IDAT", m_chunk.data(), m_chunk.size() - m_stream.avail_out);
        return true;
    }

private:
    bool Pump(int flush)
    {
        for (;;) {
            const int status = deflate(&m_stream, flush);
            if (status == Z_STREAM_END)
                return true;
            if (status != Z_OK && status != Z_BUF_ERROR)
                return false;
            if (m_stream.avail_out == 0) {
                WriteChunk(m_out, "IDAT", m_chunk.data(), m_chunk.size());
                m_stream.next_out = m_chunk.data();
                m_stream.avail_out = static_cast<uInt>(m_chunk.size());
                continue;
            }
            if (flush == Z_NO_FLUSH && m_stream.avail_in == 0)
                return true;
            if (status == Z_BUF_ERROR)
                return false;
        }
    }

    CFile &m_out;
    std::vector<std::uint8_t> m_chunk;
    z_stream m_stream{};
    bool m_bOpen = false;
};

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
        CIdatWriter idat(out);
        if (!idat.IsOpen())
            return Outcome::EncodingFailed;

        static const std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        out.Write(kSignature, sizeof kSignature);
        std::array<std::uint8_t, 13> header{};
        PutU32(header.data(), width);
        PutU32(header.data() + 4, height);
        header[8] = 8; // bits per channel; then truecolour, deflate, filter set 0, no interlace
        header[9] = 2;
        WriteChunk(out, "IHDR", header.data(), header.size());

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
                    static const std::uint8_t kNoFilter = 0;
                    if (left == 0 && !idat.Put(&kNoFilter, 1))
                        return Outcome::EncodingFailed;
                    const std::uint32_t *pixels = dc.Row(static_cast<std::int32_t>(top + r));
                    for (std::size_t x = 0; x < columns; ++x) {
                        rgb[3 * x] = static_cast<std::uint8_t>(pixels[x] >> 16);
                        rgb[3 * x + 1] = static_cast<std::uint8_t>(pixels[x] >> 8);
                        rgb[3 * x + 2] = static_cast<std::uint8_t>(pixels[x]);
                    }
                    if (!idat.Put(rgb.data(), std::size_t{columns} * 3))
                        return Outcome::EncodingFailed;
                }
            }
        }
        if (!idat.Finish())
            return Outcome::EncodingFailed;
        WriteChunk(out, "IEND", nullptr, 0);
    } catch (const std::bad_alloc &) {
        return Outcome::DrawingFailed;
    }
    return Outcome::Done;
}

} // namespace PngRenderer
