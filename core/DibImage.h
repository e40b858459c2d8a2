#pragma once

#include "Admission.h"
#include "DibHandle.h"
#include "Rect.h"

#include <cstdint>
#include <span>

class CDeviceContext;
struct DibLayout;
class CFile;
class CPalette;

// Every image-core operation. The class has no state: all operations are static and work
// only on their arguments, so they are usable without an object; the document still keeps
// one instance as the way the shell reaches them.
//
// The accessors take the address of a locked packed DIB (its first header byte) and trust
// it: call them only on blocks that passed AdmitBlock (or IsBlockReadable).
class CDibImage
{
public:
    CDibImage() = default;
    virtual ~CDibImage() = default;

    // --- Accessors -----------------------------------------------------------------------
    // Width and height as stored: an info header's signed fields taken as unsigned, a core
    // header's 16-bit fields zero-extended.
    [[nodiscard]] static std::uint32_t GetImageWidth(const std::uint8_t *header);
    [[nodiscard]] static std::uint32_t GetImageHeight(const std::uint8_t *header);
    [[nodiscard]] static std::uint16_t GetBitCount(const std::uint8_t *header);
    // biCompression of an info-family header; 0 for a core header.
    [[nodiscard]] static std::uint32_t GetCompression(const std::uint8_t *header);
    // Colour-table entries: an info-family header's biClrUsed (low 16 bits) when not 0,
    // otherwise 2, 16 or 256 for 1, 4 or 8 bits per pixel and 0 for every other depth.
    [[nodiscard]] static std::uint16_t GetColorCount(const std::uint8_t *header);
    // GetColorCount x 4 (info family) or x 3 (core header), kept to 16 bits.
    [[nodiscard]] static std::uint16_t GetColorTableBytes(const std::uint8_t *header);
    // Bytes of bit-field masks that follow a 40-byte header (12 for compression 3, 16 for 6).
    [[nodiscard]] static std::uint32_t GetMaskBytes(const std::uint8_t *header);
    // First byte of the colour table: after the header and any masks.
    [[nodiscard]] static const std::uint8_t *GetColorTable(const std::uint8_t *header);
    // First pixel row: after the header, the masks and the colour table.
    [[nodiscard]] static std::uint8_t *GetPixelBits(std::uint8_t *header);
    [[nodiscard]] static const std::uint8_t *GetPixelBits(const std::uint8_t *header);

    // True when the point operations may run on the image: 256 colours on 8-bit rows.
    [[nodiscard]] static bool IsGrayLevelImage(const std::uint8_t *header);

    // A byte-for-byte copy of the whole block, or null (null source, no memory).
    [[nodiscard]] static DibHandle DuplicateBlock(const DibHandle &source);

    // --- Admission -------------------------------------------------------------------------
    // True when the block holds its header, masks, colour table and rows (see MeasureDib).
    [[nodiscard]] static bool IsBlockReadable(std::span<const std::uint8_t> block);

    // Lets a block in: null when it is not readable; an RLE8/RLE4 block comes back expanded
    // into plain rows (compression 0, same depth and colour table); any other block comes
    // back as it was. No size check: use Admit.
    [[nodiscard]] static DibHandle AdmitBlock(DibHandle block);

    // The one admission of every block that enters the program (file, clipboard): the size
    // check (a width or height above 2^31 - 1 is too big), the limits (by default: compressed
    // rows may not expand into a block beyond kExpansionFloorBytes and kExpansionRatio times
    // the block's own size), then AdmitBlock. The block is released unless admitted.
    [[nodiscard]] static Admission Admit(DibHandle block, const AdmissionLimits &limits = {});

    // What Admit would answer for these bytes, without copying or expanding them.
    [[nodiscard]] static AdmitResult CheckAdmission(std::span<const std::uint8_t> block,
                                                    const AdmissionLimits &limits = {});

    // The same for an image known by its layout alone, whose packed DIB holds `blockBytes`
    // bytes, header and rows included (rows read a band at a time from a file).
    [[nodiscard]] static AdmitResult CheckAdmission(const DibLayout &layout,
                                                    std::uint64_t blockBytes,
                                                    const AdmissionLimits &limits = {});

    // --- BMP files -------------------------------------------------------------------------
    // The packed DIB of the whole file in a new block of the file's length (the last 14
    // bytes zero), or null for a file not starting with "BM", a header that cannot be read
    // (refused before the rest of the file is read), a file shorter than its header, masks,
    // colour table and rows (the rows from where bfOffBits puts them when that is past the
    // table; an image with a negative width or height is measured without its rows), or a
    // block the memory cannot hold. Rows placed after a gap are moved up behind the colour
    // table. Device errors propagate as CFileException; the block is released then.
    [[nodiscard]] static DibHandle ReadBmpFile(CFile &file);

    // Writes the block as a BMP file: file header, then header, masks, colour table and
    // rows. Refuses (false) a null or short block, a core header, and sizes that do not fit
    // the file's 32-bit fields. Rewrites biSizeImage of plain images. Device errors
    // propagate as CFileException.
    [[nodiscard]] static bool WriteBmpFile(DibHandle &block, CFile &file);

    // --- Palette and drawing ---------------------------------------------------------------
    // Fills `palette` with the image's colour table (entries in red, green, blue order, flags
    // 0). False, leaving no palette, for a null or unreadable block, an image without a
    // colour table, or no memory.
    [[nodiscard]] static bool BuildPalette(const DibHandle &block, CPalette &palette);

    // Draws the `source` rectangle of the picture (picture coordinates: x to the right, y down
    // from the top row) into the `destination` rectangle of `dc`: one to one when both have
    // the same size, otherwise each destination pixel takes the nearest source pixel. Only the
    // part inside the device's clip box is decoded. With a palette, it is selected (in the
    // background) for the drawing and the previous one selected back. Returns the number of
    // scan lines drawn; 0 for a null or unreadable block or a kind of image that cannot be
    // drawn (see CDibDecoder), which then draws nothing, and 0 when the drawing's buffers
    // cannot be had (nothing is drawn then either).
    static int DrawToDevice(CDeviceContext &dc, const Rect &destination, const DibHandle &block,
                            const Rect &source, const CPalette *palette);

    // --- Point transforms ------------------------------------------------------------------
    // Each maps every pixel of `height` 8-bit rows of `width` pixels at `bits` in place (see
    // PointTables for the mappings) and returns true. Padding bytes keep their values; a
    // width or height of 0 or less changes nothing.
    static bool ApplyLinear(std::uint8_t *bits, std::int32_t width, std::int32_t height,
                            float slope, float intercept);
    static bool ApplyThreshold(std::uint8_t *bits, std::int32_t width, std::int32_t height,
                               std::uint8_t threshold);
    static bool ApplyWindow(std::uint8_t *bits, std::int32_t width, std::int32_t height,
                            std::uint8_t lower, std::uint8_t upper);
    static bool ApplyGrayStretch(std::uint8_t *bits, std::int32_t width, std::int32_t height,
                                 std::uint8_t x1, std::uint8_t y1, std::uint8_t x2,
                                 std::uint8_t y2);
    static bool ApplyEqualize(std::uint8_t *bits, std::int32_t width, std::int32_t height);
};
