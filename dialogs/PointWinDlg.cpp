#include "PointWinDlg.h"

#include "DialogTemplates.h"
#include "FieldExchange.h"

#include <QMouseEvent>
#include <QPainter>

#include <utility>

namespace {
constexpr CCurvePlot::Style kStyle{2, 2, false};
}

using namespace PlotGeometry;
namespace Id = DialogTemplates::Id;

CPointWinDlg::CPointWinDlg(QWidget *parent)
    : QDialog(parent)
    , m_controls(*this, *DialogTemplates::Find(Id::kWindowParams))
    , m_plot(kStyle, [this](CCurvePlot &plot) { DrawWindow(plot); })
{
    m_controls.MakeRoom(Id::kPreview, {kSurfaceWidth, kSurfaceHeight});
    setMouseTracking(true);
    for (const int id : {Id::kWinLow, Id::kWinHigh})
        m_controls.OnKillFocus(id, [this] { OnKillFocus(); });
}

void CPointWinDlg::Load(const PointParameters &p)
{
    m_byLow = p.level[0];
    m_byHigh = p.level[1];
}

PointParameters CPointWinDlg::Store() const
{
    PointParameters p;
    p.level[0] = m_byLow;
    p.level[1] = m_byHigh;
    return p;
}

bool CPointWinDlg::UpdateData(bool saveAndValidate)
{
    CFieldExchange exchange(*this, saveAndValidate);
    DoDataExchange(exchange);
    return exchange.Succeeded();
}

void CPointWinDlg::DoDataExchange(CFieldExchange &exchange)
{
    exchange.Level(m_controls.Edit(Id::kWinLow), m_byLow);
    exchange.Level(m_controls.Edit(Id::kWinHigh), m_byHigh);
}

void CPointWinDlg::showEvent(QShowEvent *event)
{
    if (!m_bInitialised) {
        m_bInitialised = true;
        UpdateData(false);
        const QPoint preview = m_controls.TopLeft(Id::kPreview);
        m_rcDragArea = DragArea(preview.x(), preview.y());
        m_nDragMode = 0;
        m_plot.Invalidate();
    }
    QDialog::showEvent(event);
}

void CPointWinDlg::OnKillFocus()
{
    (void)UpdateData(true);
    if (m_byLow > m_byHigh) {
        std::swap(m_byLow, m_byHigh);
        UpdateData(false);
    }
    Repaint();
}

void CPointWinDlg::accept()
{
    if (!UpdateData(true))
        return;
    if (m_byLow > m_byHigh)
        std::swap(m_byLow, m_byHigh);
    QDialog::accept();
}

void CPointWinDlg::Repaint()
{
    m_plot.Repaint(*this, m_controls.TopLeft(Id::kPreview));
}

void CPointWinDlg::paintEvent(QPaintEvent * /*event*/)
{
    QPainter painter(this);
    m_plot.Paint(painter, m_controls.TopLeft(Id::kPreview));
}

void CPointWinDlg::DrawWindow(CCurvePlot &plot) const
{
    const int low = m_byLow;
    const int high = m_byHigh;
    plot.SelectPen(CCurvePlot::Pen::Guide);
    for (const int level : {low, high}) {
        plot.MoveTo(SurfaceX(level), 25);
        plot.LineTo(SurfaceX(level), 280);
    }
    plot.SelectPen(CCurvePlot::Pen::Curve);
    for (const int level : {low, high})
        plot.Text(SurfaceX(level), SurfaceY(level) + 1, QStringLiteral("(%1, %1)").arg(level));
    plot.MoveTo(10, 280);
    plot.LineTo(SurfaceX(low), 280);
    plot.LineTo(SurfaceX(low), SurfaceY(low));
    plot.LineTo(SurfaceX(high), SurfaceY(high));
    plot.LineTo(SurfaceX(high), 25);
    plot.LineTo(265, 25);
}

void CPointWinDlg::mousePressEvent(QMouseEvent *event)
{
    const Point p{event->position().toPoint().x(), event->position().toPoint().y()};
    if (event->button() == Qt::LeftButton) {
        if (OnColumn(m_rcDragArea, p, m_byLow))
            m_nDragMode = 1;
        else if (OnColumn(m_rcDragArea, p, m_byHigh))
            m_nDragMode = 2;
        if (m_nDragMode != 0)
            setCursor(Qt::SizeHorCursor);
    }
    QDialog::mousePressEvent(event);
}

void CPointWinDlg::mouseMoveEvent(QMouseEvent *event)
{
    const Point p{event->position().toPoint().x(), event->position().toPoint().y()};
    if (Inside(m_rcDragArea, p) && m_nDragMode != 0) {
        const int g = ToGray(m_rcDragArea, p).x;
        if (m_nDragMode == 1)
            m_byLow = static_cast<std::uint8_t>(DragLower(g, m_byHigh, m_byLow));
        else
            m_byHigh = static_cast<std::uint8_t>(DragUpper(g, m_byLow, m_byHigh));
        setCursor(Qt::SizeHorCursor);
        UpdateData(false);
        Repaint();
    } else if (m_nDragMode != 0 || OnColumn(m_rcDragArea, p, m_byLow)
               || OnColumn(m_rcDragArea, p, m_byHigh)) {
        setCursor(Qt::SizeHorCursor);
    } else {
        unsetCursor();
    }
    QDialog::mouseMoveEvent(event);
}

void CPointWinDlg::mouseReleaseEvent(QMouseEvent *event)
{
    // The press grabbed the mouse, so the release arrives wherever the button is let go.
    if (event->button() == Qt::LeftButton && m_nDragMode != 0) {
        m_nDragMode = 0;
        unsetCursor();
    }
    QDialog::mouseReleaseEvent(event);
}
