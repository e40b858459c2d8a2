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
// where it stands to its end) into memory. Null when the memory cannot hold it (refused like an
// image too big for it: MemoryBudget::LastRefusal tells the sizes). Raises CFileException
// naming `name` on a read error.
[[nodiscard]] std::unique_ptr<CMemFile> ReadAll(int fd, const std::string &name);

// The input named on the command line: the whole of standard input for "-", the whole stream
// for a pipe, FIFO or device (its length is not known in advance), otherwise the file opened
// for reading. Null when the memory cannot hold a stream; raises CFileException on failure.
[[nodiscard]] std::unique_ptr<CFile> OpenInput(const std::string &path);

} // namespace StandardStreams
