#pragma once

#include "DibHandle.h"
#include "Rect.h"

class CDeviceContext;
class CPalette;

// Palette building and drawing of packed DIBs; CDibImage::BuildPalette and DrawToDevice
// forward here (their header states the contract).
namespace DibDrawing {

[[nodiscard]] bool BuildPalette(const DibHandle &block, CPalette &palette);
int Draw(CDeviceContext &dc, const Rect &destination, const DibHandle &block, const Rect &source,
         const CPalette *palette);

} // namespace DibDrawing
