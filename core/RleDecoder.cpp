#include "RleDecoder.h"

#include <cstddef>

namespace RleDecoder {

namespace {

class CRowWriter
{
public:
    CRowWriter(const Target &target, bool rle4)
        : m_target(target)
        , m_bRle4(rle4)
    { }

    // Stores one pixel at the cursor and advances; pixels right of the width are dropped.
    void Put(std::uint8_t value)
    {
        if (m_x < m_target.width) {
            std::uint8_t *row = m_target.rows + m_y * m_target.stride;
            if (m_bRle4) {
                std::uint8_t &byte = row[m_x / 2];
                byte = (m_x % 2 == 0) ? static_cast<std::uint8_t>((byte & 0x0F) | (value << 4))
                                      : static_cast<std::uint8_t>((byte & 0xF0) | (value & 0x0F));
            } else {
                row[m_x] = value;
            }
        }
        ++m_x;
    }

    void NextLine()
    {
        m_x = 0;
        ++m_y;
    }

    void Move(std::uint8_t dx, std::uint8_t dy)
    {
        m_x += dx;
        m_y += dy;
    }

    [[nodiscard]] bool InsideImage() const { return m_y < m_target.height; }

private:
    const Target &m_target;
    bool m_bRle4;
    std::uint64_t m_x = 0; // 64-bit: repeated deltas may push it far past the width
    std::uint64_t m_y = 0;
};

} // namespace

void Expand(std::span<const std::uint8_t> stream, bool rle4, const Target &target)
{
    CRowWriter writer(target, rle4);
    const std::size_t n = stream.size();
    std::size_t pos = 0;
    while (pos + 2 <= n && writer.InsideImage()) {
        const std::uint8_t count = stream[pos];
        const std::uint8_t code = stream[pos + 1];
        pos += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i) {
                const bool high = (i % 2) == 0;
                writer.Put(rle4 ? static_cast<std::uint8_t>(high ? code >> 4 : code & 0x0F) : code);
            }
        } else if (code == 0) {
            writer.NextLine();
        } else if (code == 1) {
            return;
        } else if (code == 2) {
            if (pos + 2 > n)
                return;
            writer.Move(stream[pos], stream[pos + 1]);
            pos += 2;
        } else {
            // Absolute run: `code` pixels follow literally, padded to a 16-bit boundary.
            const std::size_t dataBytes = rle4 ? (code + 1u) / 2 : code;
            const std::size_t paddedBytes = (dataBytes + 1) & ~std::size_t{1};
            if (pos + dataBytes > n)
                return;
            for (int i = 0; i < code; ++i) {
                if (rle4) {
                    const std::uint8_t byte = stream[pos + static_cast<std::size_t>(i / 2)];
                    writer.Put(static_cast<std::uint8_t>(i % 2 == 0 ? byte >> 4 : byte & 0x0F));
                } else {
                    writer.Put(stream[pos + static_cast<std::size_t>(i)]);
                }
            }
            pos += paddedBytes;
        }
    }
}

} // namespace RleDecoder
