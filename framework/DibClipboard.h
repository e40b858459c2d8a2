#pragma once

#include "Admission.h"

// The system clipboard as the image commands see it: whole images as packed DIBs. Paste
// takes, in this order, our DIB format, "image/bmp" (a BMP file) or any other image the
// toolkit can decode; the first of them present decides. Everything pasted goes through the
// same admission as a file.
class CDibClipboard
{
public:
    // Puts a duplicate of the packed DIB in `block` on the clipboard (see CDibMimeData),
    // replacing what it held. False, leaving the clipboard as it was, for a null block or
    // when memory runs out.
    static bool Copy(const DibHandle &block);

    // The clipboard's image fetched, decoded and admitted: a new block owned by the caller, or
    // a null one with the reason (kUnreadable also for nothing on offer, and for an image the
    // memory could not hold: MemoryBudget::LastRefusal then tells the sizes when the memory
    // check refused it). Throws std::bad_alloc when even the offered bytes do not fit.
    [[nodiscard]] static Admission Paste();

    // Whether the clipboard offers an image in a form Paste reads. Answered from the names
    // of the formats on offer alone, so asking often (menu states) fetches and decodes
    // nothing, however large the data another program offers.
    [[nodiscard]] static bool HasImage();
};
