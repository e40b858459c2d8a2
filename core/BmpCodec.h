#pragma once

#include "DibHandle.h"

class CFile;

// BMP files to and from packed-DIB blocks; CDibImage::ReadBmpFile and WriteBmpFile forward
// here (their header states the contract).
namespace BmpCodec {

[[nodiscard]] DibHandle Read(CFile &file);
[[nodiscard]] bool Write(DibHandle &block, CFile &file);

} // namespace BmpCodec
