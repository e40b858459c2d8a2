#include "PointThreDlg.h"

#include "DialogTemplates.h"

#include <QMouseEvent>

namespace {
constexpr CCurvePlot::Style kStyle{2, 2, false};
}

using namespace PlotGeometry;
namespace Id = DialogTemplates::Id;

CPointThreDlg::CPointThreDlg(QWidget *parent)
    : QDialog(parent)
    , m_controls(*this, *DialogTemplates::Find(Id::kThresholdParams))
    , m_fields(*this, m_controls, {{Id::kThreshold, &m_byThreshold, 0}})
    , m_plot(m_controls, Id::kPreview, kStyle, [this](CCurvePlot &plot) { DrawStep(plot); })
{
    setMouseTracking(true);
    m_fields.OnKillFocus([this] { m_plot.Repaint(); });
}

void CPointThreDlg::showEvent(QShowEvent *event)
{
    if (m_plot.FirstShow(m_rcDragArea)) {
        UpdateData(false);
        m_bDragging = false;
    }
    QDialog::showEvent(event);
}

void CPointThreDlg::accept()
{
    if (UpdateData(true))
        QDialog::accept();
}

void CPointThreDlg::DrawStep(CCurvePlot &plot) const
{
    const int x = SurfaceX(m_byThreshold);
    plot.SelectPen(CCurvePlot::Pen::Guide);
    plot.MoveTo(x, kTopEdge);
    plot.LineTo(x, kBaseLine);
    plot.SelectPen(CCurvePlot::Pen::Curve);
    plot.Text(x, kBaseLine + 1, QString::number(m_byThreshold));
    plot.MoveTo(kOriginX, kBaseLine);
    plot.LineTo(x, kBaseLine);
    plot.LineTo(x, kTopEdge);
    plot.LineTo(kRightEdge, kTopEdge);
}

void CPointThreDlg::mousePressEvent(QMouseEvent *event)
{
    const Point p = m_plot.At(*event);
    if (event->button() == Qt::LeftButton && OnColumn(m_rcDragArea, p, m_byThreshold)) {
        m_bDragging = true;
        setCursor(Qt::SizeHorCursor);
    }
    QDialog::mousePressEvent(event);
}

void CPointThreDlg::mouseMoveEvent(QMouseEvent *event)
{
    const Point p = m_plot.At(*event);
    if (Inside(m_rcDragArea, p) && m_bDragging) {
        m_byThreshold = static_cast<std::uint8_t>(ToGray(m_rcDragArea, p).x);
        setCursor(Qt::SizeHorCursor);
        UpdateData(false);
        m_plot.Repaint();
    } else if (m_bDragging || OnColumn(m_rcDragArea, p, m_byThreshold)) {
        setCursor(Qt::SizeHorCursor);
    } else {
        unsetCursor();
    }
    QDialog::mouseMoveEvent(event);
}

void CPointThreDlg::mouseReleaseEvent(QMouseEvent *event)
{
    // The step never follows a pointer whose button is up.
    CCurvePlot::Release(*this, *event, m_bDragging);
    QDialog::mouseReleaseEvent(event);
}
