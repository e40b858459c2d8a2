#include "PngWriter.h"

#include "File.h"

#include <array>
#include <cstring>

namespace {

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

} // namespace

CPngWriter::CPngWriter(CFile &out)
    : m_out(out)
    , m_chunk(kChunkBytes)
{
    m_bOpen = deflateInit(&m_stream, Z_DEFAULT_COMPRESSION) == Z_OK;
    m_stream.next_out = m_chunk.data();
    m_stream.avail_out = static_cast<uInt>(m_chunk.size());
}

CPngWriter::~CPngWriter()
{
    if (m_bOpen)
        deflateEnd(&m_stream);
}

bool CPngWriter::Begin(std::uint32_t width, std::uint32_t height)
{
    if (!m_bOpen)
        return false;
    static const std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    m_out.Write(kSignature, sizeof kSignature);
    std::array<std::uint8_t, 13> header{};
    PutU32(header.data(), width);
    PutU32(header.data() + 4, height);
    header[8] = 8; // bits per channel; then truecolour, deflate, filter set 0, no interlace
    header[9] = 2;
    WriteChunk(m_out, "IHDR", header.data(), header.size());
    return true;
}

bool CPngWriter::BeginRow()
{
    static const std::uint8_t kNoFilter = 0;
    return Put(&kNoFilter, 1);
}

bool CPngWriter::Put(const std::uint8_t *bytes, std::size_t size)
{
    m_stream.next_in = const_cast<Bytef *>(bytes);
    m_stream.avail_in = static_cast<uInt>(size);
    return Pump(Z_NO_FLUSH);
}

bool CPngWriter::Finish()
{
    if (!Pump(Z_FINISH))
        return false;
    if (m_stream.avail_out != m_chunk.size())
        WriteChunk(m_out, "IDAT", m_chunk.data(), m_chunk.size() - m_stream.avail_out);
    WriteChunk(m_out, "IEND", nullptr, 0);
    return true;
}

bool CPngWriter::Pump(int flush)
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
