#include "TestImages.h"

#include "DibImage.h"
#include "DibLayout.h"
#include "DibLock.h"
#include "MemFile.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace TestImages {

void PutU32(Bytes &bytes, std::size_t at, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetU32(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16
        | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

Bytes MakeDib(const DibFields &fields, std::span<const std::uint8_t> table,
              std::span<const std::uint8_t> rows, std::span<const std::uint8_t> masks)
{
    // A core header holds 16-bit width, height, planes and bit count.
    const bool core = fields.headerSize == 12;
    const auto width = static_cast<std::uint32_t>(fields.width);
    const auto height = static_cast<std::uint32_t>(fields.height);
    // clang-format off
    const std::uint32_t values[] = {fields.headerSize, core ? (width & 0xFFFF) | height << 16 : width,
                                    core ? 1u | fields.bitCount << 16 : height, 1u | fields.bitCount << 16,
                                    fields.compression, fields.sizeImage, 0, 0, fields.clrUsed};
    // clang-format on
    Bytes dib(std::max(fields.headerSize, 40u), 0);
    for (std::size_t i = 0; i < std::size(values); ++i)
        PutU32(dib, 4 * i, values[i]);
    dib.resize(fields.headerSize);
    for (const auto &part : {masks, table, rows})
        dib.insert(dib.end(), part.begin(), part.end());
    return dib;
}

Bytes GrayTable256()
{
    Bytes table(1024, 0);
    for (std::size_t i = 0; i < 1024; ++i)
        table[i] = i % 4 == 3 ? 0 : static_cast<std::uint8_t>(i / 4);
    return table;
}

Bytes MakeBmpFile(std::span<const std::uint8_t> dib, std::uint32_t offBits)
{
    // Sized up front and copied into: growing a 14-byte vector by insert trips g++ 12's
    // -Warray-bounds at -O3 (a false positive).
    Bytes file(14 + dib.size(), 0);
    file[0] = 'B', file[1] = 'M';
    PutU32(file, 2, static_cast<std::uint32_t>(14 + dib.size()));
    if (offBits == 0 && dib.size() >= 4) {
        const std::uint32_t headerSize = GetU32(dib, 0);
        // Good enough for the builders above: header plus a 256-entry table when 8-bit.
        offBits = 14 + headerSize + (dib.size() > headerSize + 1024 ? 1024u : 0u);
    }
    PutU32(file, 10, offBits);
    std::copy(dib.begin(), dib.end(), file.begin() + 14);
    return file;
}

Bytes MakeGray8Bmp(std::int32_t width, std::int32_t height, std::span<const std::uint8_t> rows)
{
    return MakeBmpFile(MakeDib({.width = width, .height = height}, GrayTable256(), rows),
                       14 + 40 + 1024);
}

std::size_t Stride8(std::int32_t width)
{
    return static_cast<std::size_t>(RowStride(static_cast<std::uint32_t>(width), 8));
}

Bytes RandomRows(std::int32_t width, std::int32_t height, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes rows(Stride8(width) * static_cast<std::size_t>(height));
    std::generate(rows.begin(), rows.end(), [&rng] { return static_cast<std::uint8_t>(rng()); });
    return rows;
}

DibHandle ReadBmp(std::span<const std::uint8_t> file)
{
    CMemFile memFile(Bytes(file.begin(), file.end()));
    return CDibImage::ReadBmpFile(memFile);
}

Bytes WriteBmp(DibHandle &block)
{
    CMemFile out;
    return CDibImage::WriteBmpFile(block, out) ? out.Bytes() : Bytes{};
}

Bytes ExerciseAdmitted(DibHandle &block)
{
    if (DibLock lock(block); CDibImage::IsGrayLevelImage(lock.Data())) {
        std::uint8_t *h = lock.Data();
        (void)CDibImage::ApplyEqualize(CDibImage::GetPixelBits(h),
                                       static_cast<std::int32_t>(CDibImage::GetImageWidth(h)),
                                       static_cast<std::int32_t>(CDibImage::GetImageHeight(h)));
    }
    return WriteBmp(block);
}

DibHandle ToHandle(std::span<const std::uint8_t> bytes)
{
    DibHandle handle = DibHandle::Allocate(bytes.size());
    if (handle.IsNull())
        throw std::bad_alloc();
    if (!bytes.empty())
        std::memcpy(DibLock(handle).Data(), bytes.data(), bytes.size());
    return handle;
}

Bytes FromHandle(const DibHandle &handle)
{
    DibReadLock lock(handle);
    return Bytes(lock.Data(), lock.Data() + lock.Size());
}

Bytes ReadFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return in ? Bytes(std::istreambuf_iterator<char>(in), {})
              : throw std::runtime_error(path.string());
}

void WriteFile(const std::filesystem::path &path, std::span<const std::uint8_t> bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::filesystem::path BmpSuiteDir()
{
    return TONECRAFT_BMPSUITE_DIR;
}

std::vector<std::string> BmpSuiteFiles()
{
    std::vector<std::string> files;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(BmpSuiteDir())) {
        if (entry.path().extension() == ".bmp")
            files.push_back(std::filesystem::relative(entry.path(), BmpSuiteDir()).string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace TestImages
