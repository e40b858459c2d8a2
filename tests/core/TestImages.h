#pragma once

#include "DibHandle.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

// Hand-made DIBs and BMP files for the test suites.
namespace TestImages {

using Bytes = std::vector<std::uint8_t>;

// Little-endian fields of byte vectors.
void PutU32(Bytes &bytes, std::size_t at, std::uint32_t value);
[[nodiscard]] std::uint32_t GetU32(std::span<const std::uint8_t> bytes, std::size_t at);

struct DibFields
{
    std::uint32_t headerSize = 40; // 12 writes a core header
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t bitCount = 8;
    std::uint32_t compression = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t sizeImage = 0;
};

// A packed DIB: header (the given size, zero beyond the fields), then `masks`, `table` and
// `rows` exactly as given.
[[nodiscard]] Bytes MakeDib(const DibFields &fields, std::span<const std::uint8_t> table,
                            std::span<const std::uint8_t> rows,
                            std::span<const std::uint8_t> masks = {});

[[nodiscard]] Bytes GrayTable256();

// A BMP file: the 14-byte file header (bfOffBits as given, or header + masks + table when 0)
// followed by the packed DIB.
[[nodiscard]] Bytes MakeBmpFile(std::span<const std::uint8_t> dib, std::uint32_t offBits = 0);

// An 8-bit, 256-colour BMP file with the given rows (stride x height bytes, bottom-up).
[[nodiscard]] Bytes MakeGray8Bmp(std::int32_t width, std::int32_t height,
                                 std::span<const std::uint8_t> rows);

// Random 8-bit rows for a width x height image, padding bytes included (random as well).
[[nodiscard]] Bytes RandomRows(std::int32_t width, std::int32_t height, std::uint32_t seed);

[[nodiscard]] std::size_t Stride8(std::int32_t width);

[[nodiscard]] DibHandle ReadBmp(std::span<const std::uint8_t> file);

// Runs the accessors, a transform (on gray-level images) and WriteBmpFile over an admitted
// block, for the sanitizers to see any access outside it. The written file, or nothing.
Bytes ExerciseAdmitted(DibHandle &block);

[[nodiscard]] DibHandle ToHandle(std::span<const std::uint8_t> bytes);
[[nodiscard]] Bytes FromHandle(const DibHandle &handle);

[[nodiscard]] Bytes ReadFile(const std::filesystem::path &path);
void WriteFile(const std::filesystem::path &path, std::span<const std::uint8_t> bytes);

// The public BMP suite's folder, and its .bmp files sorted, like "g/pal8.bmp".
[[nodiscard]] std::filesystem::path BmpSuiteDir();
[[nodiscard]] std::vector<std::string> BmpSuiteFiles();

} // namespace TestImages
