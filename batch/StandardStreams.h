#pragma once

#include "MemFile.h"

#include <memory>
#include <string>
#include <string_view>

class CFile;

// "-" in place of IN on the command line: the image comes from standard input.
namespace StandardStreams {

inline constexpr std::string_view kDash = "-";

// Reads everything from the descriptor `fd` (a pipe, a terminal or a file, of any length, from
// where it stands to its end) into memory. Raises CFileException naming `name` on a read error
// or when memory runs out.
[[nodiscard]] CMemFile ReadAll(int fd, const std::string &name);

// The input named on the command line: the whole of standard input for "-", otherwise the file
// opened for reading. Raises CFileException on failure.
[[nodiscard]] std::unique_ptr<CFile> OpenInput(const std::string &path);

} // namespace StandardStreams
