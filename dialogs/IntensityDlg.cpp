#include "IntensityDlg.h"

#include "DialogTemplates.h"
#include "PointKernels.h"

#include <QMouseEvent>

#include <algorithm>
#include <limits>

namespace {
constexpr CCurvePlot::Style kStyle{1, 1, true};
}

using namespace PlotGeometry;
namespace Id = DialogTemplates::Id;

CIntensityDlg::CIntensityDlg(QWidget *parent)
    : QDialog(parent)
    , m_controls(*this, *DialogTemplates::Find(Id::kHistogram))
    , m_fields(*this, m_controls, {{Id::kHistLow, &m_iLow, 0}, {Id::kHistHigh, &m_iHigh, 1}})
    , m_plot(m_controls, Id::kPreview, kStyle, [this](CCurvePlot &plot) { DrawBars(plot); })
{
    setMouseTracking(true);
    m_fields.OnKillFocus([this] {
        if (OrderLimits(m_iLow, m_iHigh))
            UpdateData(false);
        m_plot.Repaint();
    });
}

void CIntensityDlg::showEvent(QShowEvent *event)
{
    if (m_plot.FirstShow(m_rcDragArea)) {
        UpdateData(false);
        CountLevels();
        m_nDragMode = 0;
    }
    QDialog::showEvent(event);
}

void CIntensityDlg::CountLevels()
{
    m_lCount.fill(0);
    if (m_lpBits == nullptr)
        return;
    // The kernel skips the row padding and counts nothing for a width or height of 0 or less.
    const GrayHistogram counts = PointKernels::CountHistogram(m_lpBits, m_lWidth, m_lHeight);
    constexpr std::uint64_t kMost = std::numeric_limits<std::int32_t>::max();
    for (std::size_t g = 0; g < counts.size(); ++g)
        m_lCount[g] = static_cast<std::int32_t>(std::min(counts[g], kMost));
}

void CIntensityDlg::accept()
{
    if (!UpdateData(true))
        return;
    (void)OrderLimits(m_iLow, m_iHigh);
    QDialog::accept();
}

void CIntensityDlg::DrawBars(CCurvePlot &plot) const
{
    // The limits are read with checks, so they always index a bin.
    std::int32_t max = 0;
    for (int g = m_iLow; g <= m_iHigh; ++g)
        max = std::max(max, m_lCount[static_cast<std::size_t>(g)]);
    plot.SelectPen(CCurvePlot::Pen::Axis);
    plot.MoveTo(kOriginX, kTopEdge);
    plot.LineTo(kOriginX + 4, kTopEdge);
    plot.Text(kOriginX + 1, kTopEdge + 1, QString::number(max));
    plot.SelectPen(CCurvePlot::Pen::Guide);
    for (const int level : {m_iLow, m_iHigh}) {
        plot.MoveTo(SurfaceX(level), kTopEdge);
        plot.LineTo(SurfaceX(level), kBaseLine);
    }
    if (max <= 0)
        return;
    plot.SelectPen(CCurvePlot::Pen::Curve);
    for (int g = m_iLow; g <= m_iHigh; ++g) {
        plot.MoveTo(SurfaceX(g), kBaseLine);
        plot.LineTo(SurfaceX(g), BarEnd(m_lCount[static_cast<std::size_t>(g)], max));
    }
}

void CIntensityDlg::mousePressEvent(QMouseEvent *event)
{
    m_plot.PressMarker(*this, *event, m_rcDragArea, m_nDragMode, m_iLow, m_iHigh);
    QDialog::mousePressEvent(event);
}

void CIntensityDlg::mouseMoveEvent(QMouseEvent *event)
{
    if (m_plot.MoveMarker(*this, *event, m_rcDragArea, m_nDragMode, m_iLow, m_iHigh)) {
        UpdateData(false);
        m_plot.Repaint();
    }
    QDialog::mouseMoveEvent(event);
}

void CIntensityDlg::mouseReleaseEvent(QMouseEvent *event)
{
    CCurvePlot::Release(*this, *event, m_nDragMode);
    QDialog::mouseReleaseEvent(event);
}
