#pragma once

class CFile;
class DibHandle;

// Draws a whole picture at natural size the way an image view shows it (the view's gray
// background, then the picture through DrawToDevice) and writes it as an 8-bit RGB PNG. The
// picture is drawn and compressed a band of rows (or, for very wide pictures, a part of a row)
// at a time, so the memory needed grows with the width, not the area, and the compressed rows
// go out in IDAT chunks of bounded size as they come.
namespace PngRenderer {

enum class Outcome {
    Done,
    NoPixels,      // a width or height of 0
    DrawingFailed, // a drawable picture that could not be drawn (no memory for the drawing)
    EncodingFailed,
};

// Writes the PNG to `out`; device errors propagate as CFileException. On any outcome but Done
// what was written is incomplete and must be thrown away.
[[nodiscard]] Outcome Render(const DibHandle &block, CFile &out);

} // namespace PngRenderer
