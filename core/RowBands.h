#pragma once

#include "BmpCodec.h"
#include "DibLayout.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

class CFile;

// The plain 8-bit rows of a BMP file, read a band at a time into a buffer of its own, so that
// a point operation on a file of any size needs the memory of one band. The headers are read
// once, with the reader's own checks (BmpCodec::ReadFront); the rows are read in file order,
// from the file itself, as often as the operation needs (a table from the image's counts
// takes two passes). The block path stays the one definition of the format: an image this
// class does not stream is read whole.
class CRowBands
{
public:
    static constexpr std::uint64_t kBandBytes = std::uint64_t{4} << 20;

    // The rows of `file` (at its start), in bands of about `bandBytes` (at least 4), or
    // nothing when this class leaves the image to the block path: the reader refuses it, its
    // rows are compressed, it has no pixels, a width or height beyond 2^31 - 1, another depth
    // than 8 bits, or a colour profile. Raises CFileException on a device error.
    [[nodiscard]] static std::optional<CRowBands> Open(CFile &file,
                                                       std::uint64_t bandBytes = kBandBytes);

    [[nodiscard]] const DibLayout &Layout() const { return m_front.layout; }
    // The length of the whole file.
    [[nodiscard]] std::uint64_t FileLength() const { return m_front.length; }

    // Header, masks and colour table: the first Layout().RowsOffset() bytes of the packed DIB,
    // as the reader's block begins.
    [[nodiscard]] std::span<const std::uint8_t> Head() const { return m_head; }

    // A band as the row kernels take it: `height` rows of `width` pixels at `bits`, each
    // padded to RowStride(width, 8); `bytes` of them in all. It is whole rows of the image or,
    // when one row is larger than a band, a piece of one row (its pixels counted in `width`,
    // none when the piece is padding alone).
    struct Band
    {
        std::uint8_t *bits = nullptr;
        std::int32_t width = 0;
        std::int32_t height = 0;
        std::uint64_t bytes = 0;
    };

    // Starts a pass over the rows at the first one. Raises CFileException.
    void Rewind(CFile &file);

    // Reads the next band of the pass into the buffer, which the caller may change before
    // the next call; nothing after the last band, or when the file ended before its rows
    // (then Complete() stays false). Raises CFileException.
    [[nodiscard]] std::optional<Band> Next(CFile &file);

    // True once the pass has read every row.
    [[nodiscard]] bool Complete() const { return m_nDone == m_front.layout.rowsBytes; }

private:
    explicit CRowBands(BmpCodec::FileFront front);

    BmpCodec::FileFront m_front;
    std::vector<std::uint8_t> m_head;
    std::vector<std::uint8_t> m_buffer;
    std::uint64_t m_nBandBytes = 0; // whole rows, or the size of a piece of one row
    std::uint64_t m_nDone = 0;      // bytes of rows read in this pass
    bool m_bShort = false;
};
