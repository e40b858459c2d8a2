#include "IntensityDlg.h"

#include "DialogTemplates.h"
#include "FieldExchange.h"
#include "PointKernels.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <limits>
#include <utility>

namespace {
constexpr CCurvePlot::Style kStyle{1, 1, true};
}

using namespace PlotGeometry;
namespace Id = DialogTemplates::Id;

CIntensityDlg::CIntensityDlg(QWidget *parent)
    : QDialog(parent)
    , m_controls(*this, *DialogTemplates::Find(Id::kHistogram))
    , m_plot(kStyle, [this](CCurvePlot &plot) { DrawBars(plot); })
{
    m_controls.MakeRoom(Id::kPreview, {kSurfaceWidth, kSurfaceHeight});
    setMouseTracking(true);
    for (const int id : {Id::kHistLow, Id::kHistHigh})
        m_controls.OnKillFocus(id, [this] {
            (void)UpdateData(true);
            OrderLimits();
            Repaint();
        });
}

void CIntensityDlg::Load(const PointParameters &p)
{
    m_iLow = p.level[0];
    m_iHigh = p.level[1];
}

bool CIntensityDlg::UpdateData(bool saveAndValidate)
{
    CFieldExchange exchange(*this, saveAndValidate);
    DoDataExchange(exchange);
    return exchange.Succeeded();
}

void CIntensityDlg::DoDataExchange(CFieldExchange &exchange)
{
    exchange.Level(m_controls.Edit(Id::kHistLow), m_iLow);
    exchange.Level(m_controls.Edit(Id::kHistHigh), m_iHigh);
}

void CIntensityDlg::showEvent(QShowEvent *event)
{
    if (!m_bInitialised) {
        m_bInitialised = true;
        UpdateData(false);
        const QPoint preview = m_controls.TopLeft(Id::kPreview);
        m_rcDragArea = DragArea(preview.x(), preview.y());
        CountLevels();
        m_nDragMode = 0;
        m_plot.Invalidate();
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

void CIntensityDlg::OrderLimits()
{
    if (m_iLow > m_iHigh) {
        std::swap(m_iLow, m_iHigh);
        UpdateData(false);
    }
}

void CIntensityDlg::accept()
{
    if (!UpdateData(true))
        return;
    if (m_iLow > m_iHigh)
        std::swap(m_iLow, m_iHigh);
    QDialog::accept();
}

void CIntensityDlg::Repaint()
{
    m_plot.Repaint(*this, m_controls.TopLeft(Id::kPreview));
}

void CIntensityDlg::paintEvent(QPaintEvent * /*event*/)
{
    QPainter painter(this);
    m_plot.Paint(painter, m_controls.TopLeft(Id::kPreview));
}

void CIntensityDlg::DrawBars(CCurvePlot &plot) const
{
    // The limits are read with checks, so they always index a bin.
    std::int32_t max = 0;
    for (int g = m_iLow; g <= m_iHigh; ++g)
        max = std::max(max, m_lCount[static_cast<std::size_t>(g)]);
    plot.SelectPen(CCurvePlot::Pen::Axis);
    plot.MoveTo(10, 25);
    plot.LineTo(14, 25);
    plot.Text(11, 26, QString::number(max));
    plot.SelectPen(CCurvePlot::Pen::Guide);
    for (const int level : {m_iLow, m_iHigh}) {
        plot.MoveTo(SurfaceX(level), 25);
        plot.LineTo(SurfaceX(level), 280);
    }
    if (max <= 0)
        return;
    plot.SelectPen(CCurvePlot::Pen::Curve);
    for (int g = m_iLow; g <= m_iHigh; ++g) {
        plot.MoveTo(SurfaceX(g), 280);
        plot.LineTo(SurfaceX(g), BarEnd(m_lCount[static_cast<std::size_t>(g)], max));
    }
}

void CIntensityDlg::mousePressEvent(QMouseEvent *event)
{
    const Point p{event->position().toPoint().x(), event->position().toPoint().y()};
    if (event->button() == Qt::LeftButton) {
        if (OnColumn(m_rcDragArea, p, m_iLow))
            m_nDragMode = 1;
        else if (OnColumn(m_rcDragArea, p, m_iHigh))
            m_nDragMode = 2;
        if (m_nDragMode != 0)
            setCursor(Qt::SizeHorCursor);
    }
    QDialog::mousePressEvent(event);
}

void CIntensityDlg::mouseMoveEvent(QMouseEvent *event)
{
    const Point p{event->position().toPoint().x(), event->position().toPoint().y()};
    if (Inside(m_rcDragArea, p) && m_nDragMode != 0) {
        const int g = ToGray(m_rcDragArea, p).x;
        if (m_nDragMode == 1)
            m_iLow = DragLower(g, m_iHigh, m_iLow);
        else
            m_iHigh = DragUpper(g, m_iLow, m_iHigh);
        setCursor(Qt::SizeHorCursor);
        UpdateData(false);
        Repaint();
    } else if (m_nDragMode != 0 || OnColumn(m_rcDragArea, p, m_iLow)
               || OnColumn(m_rcDragArea, p, m_iHigh)) {
        setCursor(Qt::SizeHorCursor);
    } else {
        unsetCursor();
    }
    QDialog::mouseMoveEvent(event);
}

void CIntensityDlg::mouseReleaseEvent(QMouseEvent *event)
{
    // The press grabbed the mouse, so the release arrives wherever the button is let go.
    if (event->button() == Qt::LeftButton && m_nDragMode != 0) {
        m_nDragMode = 0;
        unsetCursor();
    }
    QDialog::mouseReleaseEvent(event);
}
