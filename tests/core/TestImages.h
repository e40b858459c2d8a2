#pragma once

#include "DibHandle.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace TestImages {

using Bytes = std::vector<std::uint8_t>;

void PutU32(Bytes &bytes, std::size_t at, std::uint32_t value);
[[nodiscard]] std::uint32_t GetU32(std::span<const std::uint8_t> bytes, std::size_t at);

struct DibFields
{
    std::uint32_t headerSize = 40; // 12 writes a core header
    std::int32_t width = 0, height = 0;
    std::uint16_t bitCount = 8;
    std::uint32_t compression = 0, clrUsed = 0, sizeImage = 0;
};

// Header (zero beyond the fields), then `masks`, `table` and `rows` as given.
[[nodiscard]] Bytes MakeDib(const DibFields &fields, std::span<const std::uint8_t> table,
                            std::span<const std::uint8_t> rows,
                            std::span<const std::uint8_t> masks = {});

[[nodiscard]] Bytes GrayTable256();

// bfOffBits 0 puts the rows behind the header and, for 8 bits, 256 table entries.
[[nodiscard]] Bytes MakeBmpFile(std::span<const std::uint8_t> dib, std::uint32_t offBits = 0);

[[nodiscard]] Bytes MakeGray8Bmp(std::int32_t width, std::int32_t height,
                                 std::span<const std::uint8_t> rows);

[[nodiscard]] Bytes RandomRows(std::int32_t width, std::int32_t height, std::uint32_t seed);

[[nodiscard]] std::size_t Stride8(std::int32_t width);

[[nodiscard]] DibHandle ReadBmp(std::span<const std::uint8_t> file);
[[nodiscard]] Bytes WriteBmp(DibHandle &block); // empty when the writer refuses

// For the sanitizers: accessors, a transform and the writer on an admitted block. The file.
Bytes ExerciseAdmitted(DibHandle &block);

[[nodiscard]] DibHandle ToHandle(std::span<const std::uint8_t> bytes);
[[nodiscard]] Bytes FromHandle(const DibHandle &handle); // empty for a null handle

[[nodiscard]] Bytes ReadFile(const std::filesystem::path &path);
void WriteFile(const std::filesystem::path &path, std::span<const std::uint8_t> bytes);

// The public BMP suite's folder, and its .bmp files sorted, like "g/pal8.bmp".
[[nodiscard]] std::filesystem::path BmpSuiteDir();
[[nodiscard]] std::vector<std::string> BmpSuiteFiles();

} // namespace TestImages
