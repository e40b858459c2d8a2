#include "CurvePlot.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QWidget>

#include <algorithm>
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

CCurvePlot::CCurvePlot(const Style &style, Part part)
    : m_style(style)
    , m_part(std::move(part))
    , m_image(PlotGeometry::kSurfaceWidth, PlotGeometry::kSurfaceHeight, QImage::Format_RGB32)
{ }

const QImage &CCurvePlot::Surface()
{
    if (m_bStale)
        Render();
    return m_image;
}

void CCurvePlot::Paint(QPainter &painter, QPoint origin)
{
    painter.drawImage(origin, Surface());
}

void CCurvePlot::InvertLine(PlotGeometry::Point from, PlotGeometry::Point to)
{
    if (m_bStale)
        Render();
    QPainter painter(&m_image);
    painter.setCompositionMode(QPainter::RasterOp_NotDestination);
    painter.setPen(MakePen(qRgb(0, 0, 0), 1, true));
    painter.drawLine(from.x, from.y, to.x, to.y);
}

void CCurvePlot::Render()
{
    QPainter painter(&m_image);
    m_lpPainter = &painter;
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(Qt::white);
    painter.fillRect(m_image.rect(), Qt::white);
    SelectPen(Pen::Default);
    painter.drawRect(0, 0, PlotGeometry::kSurfaceWidth - 1, PlotGeometry::kSurfaceHeight - 1);

    if (m_style.histogram) {
        DrawHistogramFrame();
        m_part(*this);
    } else {
        DrawCurveFrame();
        m_part(*this);
        SelectPen(Pen::Default);
        MoveTo(10, 25);
        LineTo(265, 25);
        LineTo(265, 280);
    }
    m_lpPainter = nullptr;
    m_bStale = false;
}

void CCurvePlot::DrawCurveFrame()
{
    SelectPen(Pen::Axis);
    MoveTo(10, 10);
    LineTo(10, 280);
    LineTo(320, 280);
    Text(10, 281, QStringLiteral("0"));
    Text(265, 281, QStringLiteral("255"));
    Text(11, 25, QStringLiteral("255"));
    LineTo(315, 275);
    MoveTo(320, 280);
    LineTo(315, 285);
    MoveTo(10, 10);
    LineTo(5, 15);
    MoveTo(10, 10);
    LineTo(15, 15);
}

void CCurvePlot::DrawHistogramFrame()
{
    SelectPen(Pen::Axis);
    MoveTo(10, 10);
    LineTo(10, 280);
    LineTo(320, 280);
    for (const int level : {0, 50, 100, 150, 200})
        Text(10 + level, 283, QString::number(level));
    Text(265, 283, QStringLiteral("255"));
    for (int g = 0; g < 256; g += 5) {
        MoveTo(g + 10, 280);
        LineTo(g + 10, g % 2 == 0 ? 284 : 282);
    }
    MoveTo(315, 275);
    LineTo(320, 280);
    LineTo(315, 285);
    MoveTo(10, 10);
    LineTo(5, 15);
    MoveTo(10, 10);
    LineTo(15, 15);
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

void CCurvePlot::Repaint(QWidget &owner, QPoint origin)
{
    Invalidate();
    owner.update(QRect(origin, QSize(PlotGeometry::kSurfaceWidth, PlotGeometry::kSurfaceHeight)));
}
