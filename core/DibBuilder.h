#pragma once

#include "DibHandle.h"

#include <cstddef>
#include <cstdint>

// Packed DIBs made from pictures that come from elsewhere (another program's image on the
// clipboard, say).
namespace DibBuilder {

// A packed DIB with a 40-byte info header and bottom-up rows of the picture whose `height`
// top-down rows of `width` pixels start at `top`, `rowPixels` values apart. Each pixel is
// 0xAARRGGBB; alpha is ignored. The image is 8-bit with a 256-entry gray table when every
// pixel is gray (red = green = blue), 24-bit otherwise. Null when a size is 0 or less, when
// the result would not fit a BMP file's 32-bit sizes, or when memory runs out.
[[nodiscard]] DibHandle FromRgb32(const std::uint32_t *top, std::int32_t width, std::int32_t height,
                                  std::size_t rowPixels);

} // namespace DibBuilder
