#pragma once

#include <optional>
#include <string>

class DibHandle;

// Draws a whole picture at natural size the way an image view shows it (the view's gray
// background, then the picture through DrawToDevice) onto an RGB canvas and encodes it as PNG
// bytes. Nothing for a picture without pixels, one too large for a canvas in memory, or when
// the encoder fails.
namespace PngRenderer {

[[nodiscard]] std::optional<std::string> Render(const DibHandle &block);

} // namespace PngRenderer
