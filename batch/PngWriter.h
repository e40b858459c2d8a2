#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

class CFile;

// Writes one 8-bit RGB PNG to a file as its rows come: each row a "no filter" byte and then its
// pixels, in as many pieces as the caller likes, deflated into IDAT chunks of at most 1 MiB.
// Device errors propagate from the file as CFileException; after any false result what was
// written is incomplete and must be thrown away.
class CPngWriter
{
public:
    // Allocates the chunk buffer (std::bad_alloc when there is no memory for it).
    explicit CPngWriter(CFile &out);
    ~CPngWriter();
    CPngWriter(const CPngWriter &) = delete;
    CPngWriter &operator=(const CPngWriter &) = delete;

    // The signature and the header; width and height 1..2^31 - 1.
    [[nodiscard]] bool Begin(std::uint32_t width, std::uint32_t height);
    // Starts the next row.
    [[nodiscard]] bool BeginRow();
    // The next `size` bytes of the row: red, green, blue per pixel.
    [[nodiscard]] bool Put(const std::uint8_t *bytes, std::size_t size);
    // The last chunks, once every row is complete.
    [[nodiscard]] bool Finish();

private:
    bool Pump(int flush);

    CFile &m_out;
    std::vector<std::uint8_t> m_chunk;
    z_stream m_stream{};
    bool m_bOpen = false;
};
