#include "LinerParaDlg.h"

#include "DialogTemplates.h"

#include <QMouseEvent>

namespace {
constexpr CCurvePlot::Style kStyle{2, 2, false};
}

using namespace PlotGeometry;
namespace Id = DialogTemplates::Id;

CLinerParaDlg::CLinerParaDlg(QWidget *parent)
    : QDialog(parent)
    , m_controls(*this, *DialogTemplates::Find(Id::kLinearParams))
    , m_fields(*this, m_controls, {{Id::kSlope, &m_fSlope, 0}, {Id::kIntercept, &m_fIntercept, 1}})
    , m_plot(m_controls, Id::kPreview, kStyle, [this](CCurvePlot &plot) { DrawLine(plot); })
{
    setMouseTracking(true);
    m_fields.OnKillFocus([this] { m_plot.Repaint(); });
}

void CLinerParaDlg::showEvent(QShowEvent *event)
{
    if (m_plot.FirstShow(m_rcDragArea)) {
        UpdateData(false);
        m_bDragging = false;
    }
    QDialog::showEvent(event);
}

void CLinerParaDlg::accept()
{
    if (UpdateData(true))
        QDialog::accept();
}

void CLinerParaDlg::DrawLine(CCurvePlot &plot) const
{
    const Segment ends = LineEnds(m_fSlope, m_fIntercept);
    plot.SelectPen(CCurvePlot::Pen::Curve);
    for (const Point &end : {ends.start, ends.end})
        plot.Text(SurfaceX(end.x), SurfaceY(end.y) + 1,
                  QStringLiteral("(%1, %2)").arg(end.x).arg(end.y));
    plot.MoveTo(SurfaceX(ends.start.x), SurfaceY(ends.start.y));
    plot.LineTo(SurfaceX(ends.end.x), SurfaceY(ends.end.y));
}

void CLinerParaDlg::mousePressEvent(QMouseEvent *event)
{
    const Point p = m_plot.At(*event);
    // Qt grabs the mouse for the widget that took the press until the release, so the
    // release is seen wherever it happens.
    if (event->button() == Qt::LeftButton && Inside(m_rcDragArea, p)) {
        m_ptStart = ToSurface(m_rcDragArea, p);
        m_bDragging = true;
        m_bBandDrawn = false;
        setCursor(Qt::CrossCursor);
    }
    QDialog::mousePressEvent(event);
}

void CLinerParaDlg::mouseMoveEvent(QMouseEvent *event)
{
    const Point p = m_plot.At(*event);
    if (Inside(m_rcDragArea, p)) {
        setCursor(Qt::CrossCursor);
        if (m_bDragging) {
            if (m_bBandDrawn)
                m_plot.InvertLine(m_ptStart, m_ptEnd);
            m_ptEnd = ToSurface(m_rcDragArea, p);
            m_plot.InvertLine(m_ptStart, m_ptEnd);
            m_bBandDrawn = true;
            m_plot.Show();
        }
    } else if (m_bDragging) {
        setCursor(Qt::ForbiddenCursor);
    } else {
        unsetCursor();
    }
    QDialog::mouseMoveEvent(event);
}

void CLinerParaDlg::mouseReleaseEvent(QMouseEvent *event)
{
    const Point p = m_plot.At(*event);
    if (event->button() == Qt::LeftButton && m_bDragging) {
        if (Inside(m_rcDragArea, p)) {
            m_ptEnd = ToSurface(m_rcDragArea, p);
            if (const auto line = LineThrough(m_ptStart, m_ptEnd)) {
                m_fSlope = line->slope;
                m_fIntercept = line->intercept;
                UpdateData(false);
            }
            m_plot.Repaint();
        } else if (m_bBandDrawn) {
            m_plot.InvertLine(m_ptStart, m_ptEnd);
            m_plot.Show();
        }
        m_bBandDrawn = false;
        m_bDragging = false;
    }
    QDialog::mouseReleaseEvent(event);
}
