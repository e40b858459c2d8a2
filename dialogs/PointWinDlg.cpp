#include "PointWinDlg.h"

#include "DialogTemplates.h"

#include <QMouseEvent>

namespace {
constexpr CCurvePlot::Style kStyle{2, 2, false};
}

using namespace PlotGeometry;
namespace Id = DialogTemplates::Id;

CPointWinDlg::CPointWinDlg(QWidget *parent)
    : QDialog(parent)
    , m_controls(*this, *DialogTemplates::Find(Id::kWindowParams))
    , m_fields(*this, m_controls, {{Id::kWinLow, &m_byLow, 0}, {Id::kWinHigh, &m_byHigh, 1}})
    , m_plot(m_controls, Id::kPreview, kStyle, [this](CCurvePlot &plot) { DrawWindow(plot); })
{
    setMouseTracking(true);
    m_fields.OnKillFocus([this] {
        if (OrderLimits(m_byLow, m_byHigh))
            UpdateData(false);
        m_plot.Repaint();
    });
}

void CPointWinDlg::showEvent(QShowEvent *event)
{
    if (m_plot.FirstShow(m_rcDragArea)) {
        UpdateData(false);
        m_nDragMode = 0;
    }
    QDialog::showEvent(event);
}

void CPointWinDlg::accept()
{
    if (!UpdateData(true))
        return;
    (void)OrderLimits(m_byLow, m_byHigh);
    QDialog::accept();
}

void CPointWinDlg::DrawWindow(CCurvePlot &plot) const
{
    const int low = m_byLow;
    const int high = m_byHigh;
    plot.SelectPen(CCurvePlot::Pen::Guide);
    for (const int level : {low, high}) {
        plot.MoveTo(SurfaceX(level), kTopEdge);
        plot.LineTo(SurfaceX(level), kBaseLine);
    }
    plot.SelectPen(CCurvePlot::Pen::Curve);
    for (const int level : {low, high})
        plot.Text(SurfaceX(level), SurfaceY(level) + 1, QStringLiteral("(%1, %1)").arg(level));
    plot.MoveTo(kOriginX, kBaseLine);
    plot.LineTo(SurfaceX(low), kBaseLine);
    plot.LineTo(SurfaceX(low), SurfaceY(low));
    plot.LineTo(SurfaceX(high), SurfaceY(high));
    plot.LineTo(SurfaceX(high), kTopEdge);
    plot.LineTo(kRightEdge, kTopEdge);
}

void CPointWinDlg::mousePressEvent(QMouseEvent *event)
{
    m_plot.PressMarker(*this, *event, m_rcDragArea, m_nDragMode, m_byLow, m_byHigh);
    QDialog::mousePressEvent(event);
}

void CPointWinDlg::mouseMoveEvent(QMouseEvent *event)
{
    int low = m_byLow;
    int high = m_byHigh;
    if (m_plot.MoveMarker(*this, *event, m_rcDragArea, m_nDragMode, low, high)) {
        m_byLow = static_cast<std::uint8_t>(low);
        m_byHigh = static_cast<std::uint8_t>(high);
        UpdateData(false);
        m_plot.Repaint();
    }
    QDialog::mouseMoveEvent(event);
}

void CPointWinDlg::mouseReleaseEvent(QMouseEvent *event)
{
    CCurvePlot::Release(*this, *event, m_nDragMode);
    QDialog::mouseReleaseEvent(event);
}
