#pragma once

#include <cstdint>
#include <span>

// Expands an RLE8 or RLE4 stream into plain bottom-up rows of the same bit depth.
namespace RleDecoder {

struct Target
{
    std::uint8_t *rows = nullptr; // zero-filled: pixels no run sets keep index 0
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint64_t stride = 0; // bytes per row; stride x height bytes must follow `rows`
};

// Decodes end-of-line, end-of-bitmap, delta and absolute runs. Runs reaching past the right
// edge are clipped to the width; a code that would move past the last row, or a run that
// the stream ends inside, stops the decoding there. Never touches memory outside the
// stream or the target rows.
void Expand(std::span<const std::uint8_t> stream, bool rle4, const Target &target);

} // namespace RleDecoder
