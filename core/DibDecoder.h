#pragma once

#include "DibLayout.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// Turns pixels of a packed DIB into opaque 0xFFRRGGBB colours, a few at a time, straight
// from the block: 1, 4 and 8 bits through the colour table (indices past its end are
// black), 16 bits as 5-5-5 or by bit-field masks, 24 bits, 32 bits as 8-8-8 or by masks
// (alpha ignored). The block must outlive the decoder.
class CDibDecoder
{
public:
    // A decoder for the block, or nothing when it is not readable (see MeasureDib) or holds a
    // kind of pixel that cannot be drawn: other bit counts, compressed rows, masks on depths
    // other than 16 and 32.
    [[nodiscard]] static std::optional<CDibDecoder> Create(std::span<const std::uint8_t> block);

    [[nodiscard]] std::uint32_t Width() const { return m_layout.width; }
    [[nodiscard]] std::uint32_t Height() const { return m_layout.height; }

    // Colours of the pixels at `columns` (each < Width()) of picture row `row` (0 is the top
    // row, < Height()), written to `out`.
    void DecodeColumns(std::uint32_t row, std::span<const std::uint32_t> columns,
                       std::uint32_t *out) const;

    // Colours of `count` consecutive pixels of picture row `row` from column `first` on.
    void DecodeSpan(std::uint32_t row, std::uint32_t first, std::size_t count,
                    std::uint32_t *out) const;

private:
    template<typename ColumnAt>
    void Decode(std::uint32_t row, std::size_t n, ColumnAt columnAt, std::uint32_t *out) const;

    struct Channel
    {
        std::uint32_t mask = 0;
        int shift = 0;
        int bits = 0;
        std::array<std::uint8_t, 256> levels{}; // value -> 0..255, for channels of 8 bits or less
    };
    enum class Kind { Indexed, Rgb16, Rgb24, Rgb32 };

    CDibDecoder() = default;
    void SetMasks(std::uint32_t red, std::uint32_t green, std::uint32_t blue);
    [[nodiscard]] std::uint32_t FromMasks(std::uint32_t pixel) const;

    DibLayout m_layout;
    const std::uint8_t *m_lpRows = nullptr;
    Kind m_kind = Kind::Indexed;
    std::array<std::uint32_t, 256> m_colors{};
    std::array<Channel, 3> m_channels{};
};
