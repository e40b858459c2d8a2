#include "CurvePlot.h"

#include "DialogBuilder.h"
#include "PlotSurface.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kBlue = qRgb(0, 0, 255);
constexpr QRgb kGreen = qRgb(0, 255, 0);

// Thin solid lines are drawn one step short with both ends (square caps); wide and dotted ones
// with flat caps, which stop a line at its end point.
QPen MakePen(QRgb colour, int width, bool dotted)
{
    const bool thinSolid = width == 1 && !dotted;
    QPen pen(QColor(colour), width, dotted ? Qt::CustomDashLine : Qt::SolidLine,
             thinSolid ? Qt::SquareCap : Qt::FlatCap);
    if (dotted)
        pen.setDashPattern({1, 1});
    return pen;
}

} // namespace

using namespace PlotGeometry;

CCurvePlot::CCurvePlot(CDialogBuilder &controls, int previewId, const Style &style, Part part)
    : m_style(style)
    , m_part(std::move(part))
    , m_surface(*controls.Surface(previewId))
    , m_image(kSurfaceWidth, kSurfaceHeight, QImage::Format_RGB32)
{
    // The control shows the buffer at one pixel per device pixel: at a ratio above 1 it takes
    // fewer dialog units than the buffer has pixels.
    const qreal ratio = m_surface.devicePixelRatioF();
    controls.MakeRoom(previewId,
                      QSize(static_cast<int>(std::ceil(kSurfaceWidth / ratio)),
                            static_cast<int>(std::ceil(kSurfaceHeight / ratio))));
    m_surface.SetSource([this]() -> const QImage & { return Surface(); });
}

const QImage &CCurvePlot::Surface()
{
    if (m_bStale)
        Render();
    // Drawn at one surface pixel per buffer pixel; shown at one buffer pixel per device pixel.
    m_image.setDevicePixelRatio(m_surface.devicePixelRatioF());
    return m_image;
}

void CCurvePlot::Repaint()
{
    Invalidate();
    Show();
}

void CCurvePlot::Show()
{
    m_surface.update();
}

bool CCurvePlot::FirstShow(PlotGeometry::Area &dragArea)
{
    if (m_bShown)
        return false;
    m_bShown = true;
    dragArea = PlotGeometry::DragArea(m_surface.x(), m_surface.y());
    Invalidate();
    return true;
}

PlotGeometry::Point CCurvePlot::At(const QMouseEvent &event) const
{
    // Surface pixels from the control's top-left: device pixels, whatever the ratio.
    const QPointF local
        = (event.position() - QPointF(m_surface.pos())) * m_surface.devicePixelRatioF();
    return {m_surface.x() + static_cast<int>(std::floor(local.x())),
            m_surface.y() + static_cast<int>(std::floor(local.y()))};
}

void CCurvePlot::Release(QWidget &dialog, const QMouseEvent &event, int &dragMode)
{
    if (event.button() == Qt::LeftButton && dragMode != 0) {
        dragMode = 0;
        dialog.unsetCursor();
    }
}

void CCurvePlot::Release(QWidget &dialog, const QMouseEvent &event, bool &dragging)
{
    int mode = dragging ? 1 : 0;
    Release(dialog, event, mode);
    dragging = mode != 0;
}

void CCurvePlot::PressMarker(QWidget &dialog, const QMouseEvent &event,
                             const PlotGeometry::Area &area, int &dragMode, int lower,
                             int upper) const
{
    if (event.button() != Qt::LeftButton)
        return;
    if (const int marker = PlotGeometry::MarkerAt(area, At(event), lower, upper)) {
        dragMode = marker;
        dialog.setCursor(Qt::SizeHorCursor);
    }
}

bool CCurvePlot::MoveMarker(QWidget &dialog, const QMouseEvent &event,
                            const PlotGeometry::Area &area, int dragMode, int &lower,
                            int &upper) const
{
    using namespace PlotGeometry;
    const Point p = At(event);
    const bool drag = Inside(area, p) && dragMode != 0;
    if (drag) {
        const int g = ToGray(area, p).x;
        if (dragMode == 1)
            lower = DragLower(g, upper, lower);
        else
            upper = DragUpper(g, lower, upper);
    }
    if (dragMode != 0 || MarkerAt(area, p, lower, upper) != 0)
        dialog.setCursor(Qt::SizeHorCursor);
    else
        dialog.unsetCursor();
    return drag;
}

void CCurvePlot::InvertLine(PlotGeometry::Point from, PlotGeometry::Point to)
{
    if (m_bStale)
        Render();
    m_image.setDevicePixelRatio(1); // surface pixels
    QPainter painter(&m_image);
    painter.setCompositionMode(QPainter::RasterOp_NotDestination);
    painter.setPen(MakePen(qRgb(0, 0, 0), 1, true));
    painter.drawLine(from.x, from.y, to.x, to.y);
}

void CCurvePlot::Render()
{
    m_image.setDevicePixelRatio(1); // surface pixels
    QPainter painter(&m_image);
    m_lpPainter = &painter;
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(Qt::white);
    painter.fillRect(QRect(0, 0, kSurfaceWidth, kSurfaceHeight), Qt::white);
    SelectPen(Pen::Default);
    painter.drawRect(0, 0, kSurfaceWidth - 1, kSurfaceHeight - 1);

    if (m_style.histogram) {
        DrawHistogramFrame();
        m_part(*this);
    } else {
        DrawCurveFrame();
        m_part(*this);
        SelectPen(Pen::Default);
        MoveTo(kOriginX, kTopEdge);
        LineTo(kRightEdge, kTopEdge);
        LineTo(kRightEdge, kBaseLine);
    }
    m_lpPainter = nullptr;
    m_bStale = false;
}

void CCurvePlot::DrawAxes()
{
    SelectPen(Pen::Axis);
    MoveTo(kOriginX, kAxisTop);
    LineTo(kOriginX, kBaseLine);
    LineTo(kAxisRight, kBaseLine);
}

void CCurvePlot::DrawArrowHeads()
{
    MoveTo(kOriginX, kAxisTop);
    LineTo(kOriginX - kArrowSize, kAxisTop + kArrowSize);
    MoveTo(kOriginX, kAxisTop);
    LineTo(kOriginX + kArrowSize, kAxisTop + kArrowSize);
}

void CCurvePlot::DrawCurveFrame()
{
    DrawAxes();
    Text(kOriginX, kBaseLine + 1, QStringLiteral("0"));
    Text(kRightEdge, kBaseLine + 1, QStringLiteral("255"));
    Text(kOriginX + 1, kTopEdge, QStringLiteral("255"));
    LineTo(kAxisRight - kArrowSize, kBaseLine - kArrowSize);
    MoveTo(kAxisRight, kBaseLine);
    LineTo(kAxisRight - kArrowSize, kBaseLine + kArrowSize);
    DrawArrowHeads();
}

void CCurvePlot::DrawHistogramFrame()
{
    DrawAxes();
    // Labels every 50 levels below ticks every 5, the even ones longer.
    for (const int level : {0, 50, 100, 150, 200})
        Text(SurfaceX(level), kBaseLine + 3, QString::number(level));
    Text(kRightEdge, kBaseLine + 3, QStringLiteral("255"));
    for (int g = 0; g < 256; g += 5) {
        MoveTo(SurfaceX(g), kBaseLine);
        LineTo(SurfaceX(g), kBaseLine + (g % 2 == 0 ? 4 : 2));
    }
    MoveTo(kAxisRight - kArrowSize, kBaseLine - kArrowSize);
    LineTo(kAxisRight, kBaseLine);
    LineTo(kAxisRight - kArrowSize, kBaseLine + kArrowSize);
    DrawArrowHeads();
}

void CCurvePlot::SelectPen(Pen pen)
{
    Q_ASSERT(m_lpPainter != nullptr);
    m_bThinSolid = pen == Pen::Default || (pen == Pen::Axis && m_style.axisWidth == 1)
        || (pen == Pen::Curve && m_style.curveWidth == 1);
    switch (pen) {
    case Pen::Default:
        m_lpPainter->setPen(MakePen(qRgb(0, 0, 0), 1, false));
        break;
    case Pen::Axis:
        m_lpPainter->setPen(MakePen(kRed, m_style.axisWidth, false));
        break;
    case Pen::Curve:
        m_lpPainter->setPen(MakePen(kBlue, m_style.curveWidth, false));
        break;
    case Pen::Guide:
        m_lpPainter->setPen(MakePen(kGreen, 1, true));
        break;
    }
}

void CCurvePlot::MoveTo(int x, int y)
{
    m_ptCurrent = QPoint(x, y);
}

void CCurvePlot::LineTo(int x, int y)
{
    Q_ASSERT(m_lpPainter != nullptr);
    const QPoint to(x, y);
    if (m_bThinSolid) {
        // A flat-capped line covers the pixels between its ends whatever its direction, so it
        // would drop the upper end of a line drawn upwards instead of B. Draw both ends of a
        // line one step shorter instead.
        const QPoint delta = to - m_ptCurrent;
        const int steps = std::max(std::abs(delta.x()), std::abs(delta.y()));
        if (steps > 0) {
            const QPoint last = m_ptCurrent
                + QPoint(qRound(delta.x() * (steps - 1) / double(steps)),
                         qRound(delta.y() * (steps - 1) / double(steps)));
            if (last == m_ptCurrent)
                m_lpPainter->drawPoint(last); // a zero-length line draws nothing
            else
                m_lpPainter->drawLine(m_ptCurrent, last);
        }
    } else {
        m_lpPainter->drawLine(m_ptCurrent, to);
    }
    m_ptCurrent = to;
}

void CCurvePlot::Text(int x, int y, const QString &text)
{
    Q_ASSERT(m_lpPainter != nullptr);
    const QPen pen = m_lpPainter->pen();
    m_lpPainter->setPen(Qt::black);
    m_lpPainter->drawText(QPoint(x, y + QFontMetrics(m_lpPainter->font()).ascent()), text);
    m_lpPainter->setPen(pen);
}

void CCurvePlot::Handle(int left, int top)
{
    Q_ASSERT(m_lpPainter != nullptr);
    m_lpPainter->fillRect(left, top, 4, 4, QColor(kGreen));
    m_lpPainter->setBrush(Qt::NoBrush);
    m_lpPainter->drawRect(left, top, 3, 3);
}
