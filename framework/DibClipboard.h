#pragma once

#include "DibHandle.h"

// The system clipboard as the image commands see it: whole images as packed DIBs. Paste
// takes, in this order, our DIB format, "image/bmp" (a BMP file) or any other image the
// toolkit can decode; the first of them present decides. Everything pasted goes through the
// same admission as a file, and whatever fails it counts as no image.
class CDibClipboard
{
public:
    // Puts a duplicate of the packed DIB in `block` on the clipboard (see CDibMimeData),
    // replacing what it held. False, leaving the clipboard as it was, for a null block or
    // when memory runs out.
    static bool Copy(const DibHandle &block);

    // A new, admitted block of the clipboard's image, owned by the caller; null when the
    // clipboard holds none (nothing, text, or data that fails admission).
    [[nodiscard]] static DibHandle Paste();

    // Whether Paste would give an image now. The answer is kept until the clipboard changes,
    // so asking often (menu states) costs nothing.
    [[nodiscard]] static bool HasImage();
};
