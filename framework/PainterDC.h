#pragma once

#include "DeviceContext.h"

#include <QRect>

class QPainter;

// A device context over a QPainter (a widget, an image, a printer). `clip` is the area to be
// painted in the painter's logical coordinates: a view passes the exposed rectangle after its
// scroll translation, a whole-image render the image's rectangle.
class CPainterDC : public CDeviceContext
{
public:
    CPainterDC(QPainter &painter, const QRect &clip);
    // A printer or print-preview context.
    CPainterDC(QPainter &painter, const QRect &clip, const PrinterCaps &caps);

    [[nodiscard]] bool IsPrinting() const { return m_bPrinting; }
    [[nodiscard]] const PrinterCaps &GetPrinterCaps() const { return m_caps; }

    [[nodiscard]] Rect GetClipBox() const override;
    const CPalette *SelectPalette(const CPalette *palette, bool forceBackground) override;
    int SetStretchBltMode(int mode) override;
    void PutPixels(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                   const std::uint32_t *pixels, std::size_t stride) override;

    [[nodiscard]] QPainter &Painter() const { return m_painter; }

private:
    QPainter &m_painter;
    QRect m_rcClip;
    const CPalette *m_lpPalette = nullptr;
    int m_nStretchMode = 1;
    bool m_bPrinting = false;
    PrinterCaps m_caps;
};
