#include "PainterDC.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainter>

namespace {

// Whether the painter's engine has turned the pixels into output when drawImage returns. A
// recording engine (print preview, QPicture) keeps the image it is given and reads it when it
// replays, long after the strip buffer has been reused.
bool DrawsAtOnce(const QPainter &painter)
{
    const QPaintEngine *engine = painter.paintEngine();
    if (engine == nullptr)
        return false;
    switch (engine->type()) {
    case QPaintEngine::Raster:
    case QPaintEngine::OpenGL2:
    case QPaintEngine::Pdf:
        return true;
    default:
        return false;
    }
}

} // namespace

CPainterDC::CPainterDC(QPainter &painter, const QRect &clip)
    : m_painter(painter)
    , m_rcClip(clip)
{ }

CPainterDC::CPainterDC(QPainter &painter, const QRect &clip, const PrinterCaps &caps)
    : m_painter(painter)
    , m_rcClip(clip)
    , m_bPrinting(true)
    , m_caps(caps)
{ }

Rect CPainterDC::GetClipBox() const
{
    return {m_rcClip.left(), m_rcClip.top(), m_rcClip.left() + m_rcClip.width(),
            m_rcClip.top() + m_rcClip.height()};
}

const CPalette *CPainterDC::SelectPalette(const CPalette *palette, bool /*forceBackground*/)
{
    const CPalette *previous = m_lpPalette;
    m_lpPalette = palette;
    return previous;
}

int CPainterDC::SetStretchBltMode(int mode)
{
    const int previous = m_nStretchMode;
    m_nStretchMode = mode;
    return previous;
}

void CPainterDC::PutPixels(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                           const std::uint32_t *pixels, std::size_t stride)
{
    // Wraps the decoded strip without copying it; 0xFFRRGGBB is exactly Format_RGB32.
    const QImage strip(reinterpret_cast<const uchar *>(pixels), width, height,
                       static_cast<qsizetype>(stride * sizeof(std::uint32_t)),
                       QImage::Format_RGB32);
    if (DrawsAtOnce(m_painter))
        m_painter.drawImage(QPoint(x, y), strip);
    else
        m_painter.drawImage(QPoint(x, y), strip.copy());
}
