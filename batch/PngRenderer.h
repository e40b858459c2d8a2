#pragma once

#include <optional>
#include <string>

class DibHandle;

// Draws a whole picture at natural size the way an image view shows it (the view's gray
// background, then the picture through DrawToDevice) and encodes the result as PNG bytes.
// Nothing when the picture is too large for one image or the encoder fails.
namespace PngRenderer {

[[nodiscard]] std::optional<std::string> Render(const DibHandle &block);

} // namespace PngRenderer
