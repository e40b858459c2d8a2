#include "PngRenderer.h"

#include "DeviceContext.h"
#include "DibImage.h"
#include "DibLock.h"

#include <zlib.h>

#include <array>
#include <cstring>
#include <new>
#include <vector>

namespace PngRenderer {

namespace {

// The view's background, RGB(128, 128, 128), where nothing is drawn.
constexpr std::uint32_t kBackground = 0xFF808080u;

// A device over a canvas of opaque pixels the size of the picture.
class CCanvasDC : public CDeviceContext
{
public:
    CCanvasDC(std::vector<std::uint32_t> &pixels, std::int32_t width, std::int32_t height)
        : m_pixels(pixels)
        , m_nWidth(width)
        , m_nHeight(height)
    { }

    Rect GetClipBox() const override { return {0, 0, m_nWidth, m_nHeight}; }
    const CPalette *SelectPalette(const CPalette *palette, bool) override
    {
        const CPalette *previous = m_lpPalette;
        m_lpPalette = palette;
        return previous;
    }
    int SetStretchBltMode(int mode) override { return mode; }
    void PutPixels(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                   const std::uint32_t *pixels, std::size_t stride) override
    {
        // Drawing stays inside the clip box, which is the canvas.
        for (std::int32_t r = 0; r < height; ++r) {
            std::memcpy(m_pixels.data() + static_cast<std::size_t>(y + r) * Width() + Index(x),
                        pixels + static_cast<std::size_t>(r) * stride,
                        static_cast<std::size_t>(width) * sizeof(std::uint32_t));
        }
    }

private:
    [[nodiscard]] std::size_t Width() const { return static_cast<std::size_t>(m_nWidth); }
    static std::size_t Index(std::int32_t v) { return static_cast<std::size_t>(v); }

    std::vector<std::uint32_t> &m_pixels;
    std::int32_t m_nWidth;
    std::int32_t m_nHeight;
    const CPalette *m_lpPalette = nullptr;
};

void PutU32(std::string &out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void PutChunk(std::string &out, const char *type, const std::string &data)
{
    PutU32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.append(type, 4);
    out += data;
    const auto *bytes = reinterpret_cast<const Bytef *>(out.data() + start);
    PutU32(out, static_cast<std::uint32_t>(crc32(0, bytes, static_cast<uInt>(out.size() - start))));
}

// 8-bit RGB PNG of the canvas: each row a filter byte (none) and its red, green, blue bytes.
std::optional<std::string> EncodePng(const std::vector<std::uint32_t> &pixels, std::uint32_t width,
                                     std::uint32_t height)
{
    const std::size_t rowBytes = 1 + std::size_t{width} * 3;
    std::vector<Bytef> raw(rowBytes * height);
    for (std::size_t y = 0; y < height; ++y) {
        Bytef *row = raw.data() + y * rowBytes;
        row[0] = 0;
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint32_t p = pixels[y * width + x];
            row[1 + 3 * x] = static_cast<Bytef>(p >> 16);
            row[2 + 3 * x] = static_cast<Bytef>(p >> 8);
            row[3 + 3 * x] = static_cast<Bytef>(p);
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef *>(packed.data()), &packedSize, raw.data(),
                  static_cast<uLong>(raw.size()), Z_DEFAULT_COMPRESSION)
        != Z_OK)
        return std::nullopt;
    packed.resize(packedSize);

    std::string header;
    PutU32(header, width);
    PutU32(header, height);
    header += std::string{8, 2, 0, 0, 0}; // 8 bits, truecolour, deflate, no filter set, plain
    std::string png("\x89PNG\r\n\x1a\n", 8);
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", packed);
    PutChunk(png, "IEND", {});
    return png;
}

} // namespace

std::optional<std::string> Render(const DibHandle &block)
{
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    {
        DibReadLock lock(block);
        width = CDibImage::GetImageWidth(lock.Data());
        height = CDibImage::GetImageHeight(lock.Data());
    }
    // PNG and one in-memory canvas both want sane sizes: at most 2^31 - 1 per side, and a
    // canvas that the address space can hold.
    if (width == 0 || height == 0 || std::uint64_t{width} * height > (std::uint64_t{1} << 32))
        return std::nullopt;
    try {
        std::vector<std::uint32_t> pixels(std::size_t{width} * height, kBackground);
        CCanvasDC dc(pixels, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
        const Rect picture{0, 0, static_cast<std::int32_t>(width),
                           static_cast<std::int32_t>(height)};
        CDibImage::DrawToDevice(dc, picture, block, picture, nullptr);
        return EncodePng(pixels, width, height);
    } catch (const std::bad_alloc &) {
        return std::nullopt;
    }
}

} // namespace PngRenderer
