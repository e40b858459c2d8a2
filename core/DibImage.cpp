#include "DibImage.h"

#include "BmpCodec.h"
#include "ByteOrder.h"
#include "DibDrawing.h"
#include "DibFormat.h"
#include "DibLayout.h"
#include "DibLock.h"
#include "PointKernels.h"
#include "PointTables.h"
#include "RleDecoder.h"

#include <cstring>

using namespace DibFormat;

namespace {

bool IsInfoFamily(const std::uint8_t *header)
{
    return IsInfoFamilySize(ByteOrder::ReadU32(header + kOffSize));
}

} // namespace

std::uint32_t CDibImage::GetImageWidth(const std::uint8_t *header)
{
    return IsInfoFamily(header) ? ByteOrder::ReadU32(header + kOffWidth)
                                : ByteOrder::ReadU16(header + kOffCoreWidth);
}

std::uint32_t CDibImage::GetImageHeight(const std::uint8_t *header)
{
    return IsInfoFamily(header) ? ByteOrder::ReadU32(header + kOffHeight)
                                : ByteOrder::ReadU16(header + kOffCoreHeight);
}

std::uint16_t CDibImage::GetBitCount(const std::uint8_t *header)
{
    return ByteOrder::ReadU16(header + (IsInfoFamily(header) ? kOffBitCount : kOffCoreBitCount));
}

std::uint32_t CDibImage::GetCompression(const std::uint8_t *header)
{
    return IsInfoFamily(header) ? ByteOrder::ReadU32(header + kOffCompression) : 0;
}

std::uint16_t CDibImage::GetColorCount(const std::uint8_t *header)
{
    return ColorCount(GetBitCount(header),
                      IsInfoFamily(header) ? ByteOrder::ReadU32(header + kOffClrUsed) : 0);
}

std::uint16_t CDibImage::GetColorTableBytes(const std::uint8_t *header)
{
    const unsigned entryBytes = IsInfoFamily(header) ? 4 : 3;
    return static_cast<std::uint16_t>(GetColorCount(header) * entryBytes);
}

std::uint32_t CDibImage::GetMaskBytes(const std::uint8_t *header)
{
    return MaskBytes(ByteOrder::ReadU32(header + kOffSize), GetCompression(header));
}

const std::uint8_t *CDibImage::GetColorTable(const std::uint8_t *header)
{
    return header + ByteOrder::ReadU32(header + kOffSize) + GetMaskBytes(header);
}

std::uint8_t *CDibImage::GetPixelBits(std::uint8_t *header)
{
    return const_cast<std::uint8_t *>(GetPixelBits(static_cast<const std::uint8_t *>(header)));
}

const std::uint8_t *CDibImage::GetPixelBits(const std::uint8_t *header)
{
    return GetColorTable(header) + GetColorTableBytes(header);
}

bool CDibImage::IsGrayLevelImage(const std::uint8_t *header)
{
    // The transforms walk 8-bit rows; a 256-entry table on other depths would make them
    // run past (1, 4 bits) or through the wrong bytes of (16+ bits) the image's rows.
    return GetColorCount(header) == 256 && GetBitCount(header) == 8;
}

DibHandle CDibImage::DuplicateBlock(const DibHandle &source)
{
    if (source.IsNull())
        return {};
    DibHandle copy = DibHandle::Allocate(source.Size());
    if (copy.IsNull())
        return copy;
    {
        // The locks end before `copy` is returned: a handle must not be moved while locked.
        DibLock to(copy);
        DibReadLock from(source);
        std::memcpy(to.Data(), from.Data(), from.Size());
    }
    return copy;
}

bool CDibImage::IsBlockReadable(std::span<const std::uint8_t> block)
{
    return MeasureDib(block).has_value();
}

namespace {

constexpr std::uint32_t kLargestSize = 0x7FFFFFFF;

// Bytes of the plain rows an RLE image expands into, or nothing when they could not be
// described by a BMP file's 32-bit size fields.
std::optional<std::uint64_t> ExpandedRowsBytes(const DibLayout &layout)
{
    std::uint64_t plainBytes = 0;
    if (__builtin_mul_overflow(layout.stride, std::uint64_t{layout.height}, &plainBytes)
        || plainBytes > 0xFFFFFFFFu || layout.RowsOffset() + plainBytes > 0xFFFFFFFFu - 14)
        return std::nullopt;
    return plainBytes;
}

} // namespace

AdmitResult CDibImage::CheckAdmission(std::span<const std::uint8_t> block,
                                      const AdmissionLimits &limits)
{
    // Width and height lie within the first 12 bytes of every header kind.
    if (block.size() < 12)
        return AdmitResult::kUnreadable;
    if (GetImageWidth(block.data()) > kLargestSize || GetImageHeight(block.data()) > kLargestSize)
        return AdmitResult::kTooBig;
    const std::optional<DibLayout> layout = MeasureDib(block);
    if (!layout)
        return AdmitResult::kUnreadable;
    return CheckAdmission(*layout, block.size(), limits);
}

AdmitResult CDibImage::CheckAdmission(const DibLayout &layout, std::uint64_t blockBytes,
                                      const AdmissionLimits &limits)
{
    if (layout.width > kLargestSize || layout.height > kLargestSize)
        return AdmitResult::kTooBig;
    const std::optional<std::uint64_t> expanded
        = layout.IsRle() ? ExpandedRowsBytes(layout) : layout.rowsBytes;
    if (!expanded)
        return AdmitResult::kUnreadable;
    if (limits.maxPixels)
        return std::uint64_t{layout.width} * layout.height > *limits.maxPixels
            ? AdmitResult::kTooManyPixels
            : AdmitResult::kAdmitted;
    const std::uint64_t expandedBlock = layout.RowsOffset() + *expanded;
    std::uint64_t ratioBytes = 0;
    if (layout.IsRle() && expandedBlock > kExpansionFloorBytes
        && !__builtin_mul_overflow(blockBytes, kExpansionRatio, &ratioBytes)
        && expandedBlock > ratioBytes)
        return AdmitResult::kExpansionTooLarge;
    return AdmitResult::kAdmitted;
}

Admission CDibImage::Admit(DibHandle block, const AdmissionLimits &limits)
{
    AdmitResult result = AdmitResult::kUnreadable;
    {
        DibReadLock lock(block);
        result = CheckAdmission(lock.Bytes(), limits);
    }
    if (result != AdmitResult::kAdmitted)
        return {DibHandle{}, result};
    DibHandle admitted = AdmitBlock(std::move(block));
    const AdmitResult outcome
        = admitted.IsNull() ? AdmitResult::kUnreadable : AdmitResult::kAdmitted;
    return {std::move(admitted), outcome};
}

DibHandle CDibImage::AdmitBlock(DibHandle block)
{
    std::optional<DibLayout> layout;
    {
        DibReadLock lock(block);
        layout = MeasureDib(lock.Bytes());
    }
    if (!layout)
        return {};
    if (!layout->IsRle())
        return block;

    const std::optional<std::uint64_t> expanded = ExpandedRowsBytes(*layout);
    if (!expanded)
        return {};
    const std::uint64_t plainBytes = *expanded;

    // A colour profile after the compressed rows follows the plain ones.
    std::optional<ProfileBytes> profile;
    {
        DibReadLock lock(block);
        profile = FindProfile(lock.Bytes(), *layout);
    }
    const std::uint64_t profileAt = layout->RowsOffset() + plainBytes;
    DibHandle plain = DibHandle::Allocate(profileAt + (profile ? profile->size : 0));
    if (plain.IsNull())
        return plain;
    {
        DibReadLock from(block);
        DibLock to(plain);
        const auto rowsOffset = static_cast<std::size_t>(layout->RowsOffset());
        std::memcpy(to.Data(), from.Data(), rowsOffset);
        if (profile) {
            std::memcpy(to.Data() + profileAt, from.Data() + profile->offset,
                        static_cast<std::size_t>(profile->size));
            ByteOrder::WriteU32(to.Data() + kOffProfileData, static_cast<std::uint32_t>(profileAt));
        }
        ByteOrder::WriteU32(to.Data() + kOffCompression, 0);
        ByteOrder::WriteU32(to.Data() + kOffSizeImage, static_cast<std::uint32_t>(plainBytes));
        const RleDecoder::Target target{to.Data() + rowsOffset, layout->width, layout->height,
                                        layout->stride};
        RleDecoder::Expand(
            from.Bytes().subspan(rowsOffset, static_cast<std::size_t>(layout->rowsBytes)),
            layout->compression == 2, target);
    }
    return plain;
}

DibHandle CDibImage::ReadBmpFile(CFile &file)
{
    return BmpCodec::Read(file);
}

bool CDibImage::WriteBmpFile(DibHandle &block, CFile &file)
{
    return BmpCodec::Write(block, file);
}

bool CDibImage::BuildPalette(const DibHandle &block, CPalette &palette)
{
    return DibDrawing::BuildPalette(block, palette);
}

int CDibImage::DrawToDevice(CDeviceContext &dc, const Rect &destination, const DibHandle &block,
                            const Rect &source, const CPalette *palette)
{
    return DibDrawing::Draw(dc, destination, block, source, palette);
}

bool CDibImage::ApplyLinear(std::uint8_t *bits, std::int32_t width, std::int32_t height,
                            float slope, float intercept)
{
    PointKernels::ApplyTable(bits, width, height, PointTables::Linear(slope, intercept));
    return true;
}

bool CDibImage::ApplyThreshold(std::uint8_t *bits, std::int32_t width, std::int32_t height,
                               std::uint8_t threshold)
{
    PointKernels::ApplyTable(bits, width, height, PointTables::Threshold(threshold));
    return true;
}

bool CDibImage::ApplyWindow(std::uint8_t *bits, std::int32_t width, std::int32_t height,
                            std::uint8_t lower, std::uint8_t upper)
{
    PointKernels::ApplyTable(bits, width, height, PointTables::Window(lower, upper));
    return true;
}

bool CDibImage::ApplyGrayStretch(std::uint8_t *bits, std::int32_t width, std::int32_t height,
                                 std::uint8_t x1, std::uint8_t y1, std::uint8_t x2, std::uint8_t y2)
{
    PointKernels::ApplyTable(bits, width, height, PointTables::GrayStretch(x1, y1, x2, y2));
    return true;
}

bool CDibImage::ApplyEqualize(std::uint8_t *bits, std::int32_t width, std::int32_t height)
{
    // An empty image has nothing to count and would divide by a zero pixel count.
    if (width <= 0 || height <= 0)
        return true;
    const GrayHistogram histogram = PointKernels::CountHistogram(bits, width, height);
    PointKernels::ApplyTable(bits, width, height, PointTables::Equalize(histogram, width, height));
    return true;
}
