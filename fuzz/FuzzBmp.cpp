// libFuzzer target: arbitrary bytes as a BMP file and as a packed DIB from the clipboard,
// through reading, the size check, admission, the accessors, writing, duplication, palette
// building, drawing, the PNG encoder and every point transform. Besides the sanitizers' reports it
// aborts when a result breaks a rule the core promises (see Require).
#include "DibImage.h"
#include "DibLayout.h"
#include "DibLock.h"
#include "MemFile.h"
#include "MemoryDC.h"
#include "Palette.h"
#include "PngRenderer.h"
#include "PointKernels.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <optional>
#include <span>
#include <vector>

namespace {

using Bytes = std::span<const std::uint8_t>;

// Rows larger than this are not admitted: an RLE header of a few bytes may ask for gigabytes
// of expanded rows, and transforms over them would only slow the search. Plain images are
// bounded by the input's own length anyway.
constexpr std::uint64_t kMaxRowsBytes = 64u << 20;

void Require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "broken rule: %s\n", what);
        std::abort();
    }
}

// Operation parameters taken from the input's last bytes, so mutations reach them too.
class CParameters
{
public:
    explicit CParameters(Bytes input)
        : m_input(input)
    { }

    std::uint8_t Byte() { return m_used < m_input.size() ? m_input[m_input.size() - ++m_used] : 0; }
    float Float()
    {
        std::uint8_t raw[4] = {Byte(), Byte(), Byte(), Byte()};
        float value = 0;
        std::memcpy(&value, raw, sizeof value);
        return value;
    }

private:
    Bytes m_input;
    std::size_t m_used = 0;
};

DibHandle ToHandle(Bytes bytes)
{
    DibHandle handle = DibHandle::Allocate(bytes.size());
    if (!bytes.empty() && !handle.IsNull()) {
        DibLock lock(handle); // ends before the handle is returned: no moving while locked
        std::memcpy(lock.Data(), bytes.data(), bytes.size());
    }
    return handle;
}

// What the program does with every block it is handed: the one admission, after refusing
// what exceeds the fuzzer's memory budget.
DibHandle Open(DibHandle block)
{
    AdmitResult checked = AdmitResult::kUnreadable;
    {
        DibReadLock lock(block);
        const std::optional<DibLayout> layout = MeasureHeader(lock.Bytes());
        std::uint64_t rowsBytes = 0;
        if (layout
            && (__builtin_mul_overflow(layout->stride, std::uint64_t{layout->height}, &rowsBytes)
                || rowsBytes > kMaxRowsBytes))
            return {};
        checked = CDibImage::CheckAdmission(lock.Bytes());
    }
    Admission admitted = CDibImage::Admit(std::move(block));
    Require(admitted.block.IsNull() || admitted.block.LockCount() == 0,
            "admission leaves the block locked");
    // The enable query of paste checks without admitting: both must give one answer, unless
    // memory for the expanded rows ran out.
    Require(
        admitted.result == checked
            || (checked == AdmitResult::kAdmitted && admitted.result == AdmitResult::kUnreadable),
        "checking and admitting agree");
    return std::move(admitted.block);
}

// The accessors must agree with the layout that admitted the block.
DibLayout CheckAccessors(const DibHandle &block)
{
    DibReadLock lock(block);
    const std::optional<DibLayout> layout = MeasureDib(lock.Bytes());
    Require(layout.has_value(), "an admitted block is readable");
    Require(!layout->IsRle(), "an admitted block has plain rows");
    const std::uint8_t *h = lock.Data();
    Require(CDibImage::GetImageWidth(h) == layout->width, "width");
    Require(CDibImage::GetImageHeight(h) == layout->height, "height");
    Require(CDibImage::GetBitCount(h) == layout->bitCount, "bit count");
    Require(CDibImage::GetCompression(h) == layout->compression, "compression");
    Require(CDibImage::GetMaskBytes(h) == layout->maskBytes, "mask bytes");
    Require(CDibImage::GetColorTableBytes(h) == layout->tableBytes, "colour table bytes");
    Require(CDibImage::GetColorCount(h) * (layout->IsCore() ? 3u : 4u) == layout->tableBytes,
            "colour count");
    Require(CDibImage::GetColorTable(h) == h + layout->TableOffset(), "colour table");
    Require(CDibImage::GetPixelBits(h) == h + layout->RowsOffset(), "pixel rows");
    return *layout;
}

// Writes the block, reads the file back and expects the same header, masks, table and rows.
void CheckRoundTrip(DibHandle &block, const DibLayout &layout)
{
    CMemFile file;
    if (!CDibImage::WriteBmpFile(block, file))
        return;
    CMemFile written(file.Bytes());
    DibHandle reread = Open(CDibImage::ReadBmpFile(written));
    Require(!reread.IsNull(), "a written file is admitted again");
    DibReadLock before(block);
    DibReadLock after(reread);
    const auto dibBytes = static_cast<std::size_t>(layout.TotalBytes());
    auto same = [&](std::size_t from, std::size_t to) {
        return std::memcmp(before.Data() + from, after.Data() + from, to - from) == 0;
    };
    // A colour profile that goes along is written right after the rows; the header says so.
    constexpr std::size_t kProfileOffset = 112;
    const bool sameHeaderAndRows = layout.headerSize == 124
        ? same(0, kProfileOffset) && same(kProfileOffset + 4, dibBytes)
        : same(0, dibBytes);
    Require(after.Size() >= dibBytes && sameHeaderAndRows, "a written file reads back unchanged");
}

// Every transform in place; padding and everything outside the rows must keep their bytes.
void CheckTransforms(DibHandle &block, const DibLayout &layout, CParameters &p)
{
    const DibHandle copy = CDibImage::DuplicateBlock(block);
    DibLock lock(block);
    DibReadLock original(copy);
    Require(original.Size() == lock.Size()
                && std::memcmp(original.Data(), lock.Data(), lock.Size()) == 0,
            "a duplicate equals its source");
    if (!CDibImage::IsGrayLevelImage(lock.Data()))
        return;

    std::uint8_t *bits = CDibImage::GetPixelBits(lock.Data());
    const auto w = static_cast<std::int32_t>(layout.width);
    const auto h = static_cast<std::int32_t>(layout.height);
    const GrayHistogram counts = PointKernels::CountHistogram(bits, w, h);
    Require(std::accumulate(counts.begin(), counts.end(), std::uint64_t{0})
                == std::uint64_t{layout.width} * layout.height,
            "the histogram counts every pixel once");

    CDibImage::ApplyLinear(bits, w, h, p.Float(), p.Float());
    CDibImage::ApplyEqualize(bits, w, h);
    CDibImage::ApplyGrayStretch(bits, w, h, p.Byte(), p.Byte(), p.Byte(), p.Byte());
    CDibImage::ApplyWindow(bits, w, h, p.Byte(), p.Byte());
    CDibImage::ApplyThreshold(bits, w, h, p.Byte());
    const GrayHistogram binary = PointKernels::CountHistogram(bits, w, h);
    Require(binary[0] + binary[255] == std::uint64_t{layout.width} * layout.height,
            "a threshold leaves only 0 and 255");

    const auto rowsAt = static_cast<std::size_t>(layout.RowsOffset());
    const auto rowsEnd = static_cast<std::size_t>(layout.TotalBytes());
    Require(
        std::memcmp(original.Data(), lock.Data(), rowsAt) == 0
            && std::memcmp(original.Data() + rowsEnd, lock.Data() + rowsEnd, lock.Size() - rowsEnd)
                == 0,
        "transforms keep the bytes around the rows");
    for (std::size_t y = 0; y < layout.height; ++y) {
        const std::size_t padding = rowsAt + y * layout.stride + layout.width;
        Require(std::memcmp(original.Data() + padding, lock.Data() + padding,
                            layout.stride - layout.width)
                    == 0,
                "transforms keep the row padding");
    }
}

// A canvas over the clip that also checks every painted block lies inside the destination.
class CCheckingDC : public CMemoryDC
{
public:
    CCheckingDC(Rect clip, Rect destination)
        : CMemoryDC(clip, 0)
        , m_destination(destination)
    { }
    void PutPixels(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                   const std::uint32_t *pixels, std::size_t stride) override
    {
        const Rect painted{x, y, x + width, y + height};
        Require(width > 0 && height > 0 && stride >= static_cast<std::size_t>(width),
                "painted blocks are not empty");
        Require(painted.Intersected(m_destination) == painted,
                "painting stays inside the destination");
        CMemoryDC::PutPixels(x, y, width, height, pixels, stride);
        Require(StrayPixels() == 0, "painting stays inside the clip");
    }

private:
    Rect m_destination;
};

// Palette building, and drawing at natural size and stretched, under a clip from the input.
void CheckDrawing(DibHandle &block, const DibLayout &layout, CParameters &p)
{
    CPalette palette;
    const bool built = CDibImage::BuildPalette(block, palette);
    Require(!built || palette.Entries().size() * (layout.IsCore() ? 3 : 4) == layout.tableBytes,
            "the palette has one entry per colour-table entry");
    const auto w = static_cast<std::int32_t>(layout.width);
    const auto h = static_cast<std::int32_t>(layout.height);
    const Rect picture{0, 0, w, h};
    const Rect clip{p.Byte() - 64, p.Byte() - 64, p.Byte() + 1, p.Byte() + 1};
    CCheckingDC natural(clip, picture);
    CDibImage::DrawToDevice(natural, picture, block, picture, built ? &palette : nullptr);
    const Rect stretched{p.Byte() - 128, p.Byte() - 128, p.Byte(), p.Byte()};
    CCheckingDC scaled(clip, stretched);
    CDibImage::DrawToDevice(scaled, stretched, block, picture, nullptr);
}

// The PNG of a small enough picture: signature, header and end chunk where they belong.
void CheckPng(const DibHandle &block)
{
    if (block.IsNull())
        return;
    std::uint64_t pixels = 0;
    {
        DibReadLock lock(block);
        pixels = std::uint64_t{CDibImage::GetImageWidth(lock.Data())}
            * CDibImage::GetImageHeight(lock.Data());
    }
    if (pixels == 0 || pixels > (1u << 20))
        return;
    CMemFile png;
    Require(PngRenderer::Render(block, png) == PngRenderer::Outcome::Done, "a picture renders");
    const std::vector<std::uint8_t> &bytes = png.Bytes();
    static const std::uint8_t kStart[]
        = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    Require(bytes.size() > sizeof kStart + 12
                && std::memcmp(bytes.data(), kStart, sizeof kStart) == 0
                && std::memcmp(bytes.data() + bytes.size() - 8, "IEND", 4) == 0,
            "a PNG starts with its header and ends with IEND");
}

void Exercise(DibHandle block, CParameters &p)
{
    if (block.IsNull())
        return;
    const DibLayout layout = CheckAccessors(block);
    CheckRoundTrip(block, layout);
    CheckDrawing(block, layout, p);
    CheckTransforms(block, layout, p);
    Require(block.LockCount() == 0, "every lock is released");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const Bytes input(data, size);

    // The clipboard path: the bytes as a packed DIB.
    const bool readable = CDibImage::IsBlockReadable(input);
    DibHandle clip = Open(ToHandle(input));
    Require(readable || clip.IsNull(), "only readable blocks are admitted");
    CParameters clipParameters(input);
    Exercise(std::move(clip), clipParameters);

    // The file path, through a file of exactly the input's length: the block may hold only
    // what came from the file (the 14 spare bytes at its end are no part of the image).
    CMemFile file(std::vector<std::uint8_t>(input.begin(), input.end()));
    DibHandle raw = CDibImage::ReadBmpFile(file);
    if (!raw.IsNull()) {
        DibReadLock lock(raw);
        Require(lock.Size() == size, "a block read from a file is the file's length");
        const std::optional<DibLayout> layout = MeasureHeader(lock.Bytes());
        Require(layout.has_value(), "a block read from a file has a readable header");
        if (layout->width <= 0x7FFFFFFFu && layout->height <= 0x7FFFFFFFu)
            Require(layout->TotalBytes() <= size - 14, "a block read from a file came from it");
    }
    CParameters fileParameters(input);
    DibHandle opened = Open(std::move(raw));
    CheckPng(opened);
    Exercise(std::move(opened), fileParameters);
    return 0;
}
