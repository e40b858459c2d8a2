#include "PointThreDlg.h"

#include "DialogTemplates.h"
#include "FieldExchange.h"

#include <QMouseEvent>
#include <QPainter>

namespace {
constexpr CCurvePlot::Style kStyle{2, 2, false};
}

using namespace PlotGeometry;
namespace Id = DialogTemplates::Id;

CPointThreDlg::CPointThreDlg(QWidget *parent)
    : QDialog(parent)
    , m_controls(*this, *DialogTemplates::Find(Id::kThresholdParams))
    , m_plot(kStyle, [this](CCurvePlot &plot) { DrawStep(plot); })
{
    m_controls.MakeRoom(Id::kPreview, {kSurfaceWidth, kSurfaceHeight});
    setMouseTracking(true);
    m_controls.OnKillFocus(Id::kThreshold, [this] {
        (void)UpdateData(true);
        Repaint();
    });
}

void CPointThreDlg::Load(const PointParameters &p)
{
    m_byThreshold = p.level[0];
}

PointParameters CPointThreDlg::Store() const
{
    PointParameters p;
    p.level[0] = m_byThreshold;
    return p;
}

bool CPointThreDlg::UpdateData(bool saveAndValidate)
{
    CFieldExchange exchange(*this, saveAndValidate);
    DoDataExchange(exchange);
    return exchange.Succeeded();
}

void CPointThreDlg::DoDataExchange(CFieldExchange &exchange)
{
    exchange.Level(m_controls.Edit(Id::kThreshold), m_byThreshold);
}

void CPointThreDlg::showEvent(QShowEvent *event)
{
    if (!m_bInitialised) {
        m_bInitialised = true;
        UpdateData(false);
        const QPoint preview = m_controls.TopLeft(Id::kPreview);
        m_rcDragArea = DragArea(preview.x(), preview.y());
        m_bDragging = false;
        m_plot.Invalidate();
    }
    QDialog::showEvent(event);
}

void CPointThreDlg::accept()
{
    if (UpdateData(true))
        QDialog::accept();
}

void CPointThreDlg::Repaint()
{
    m_plot.Repaint(*this, m_controls.TopLeft(Id::kPreview));
}

void CPointThreDlg::paintEvent(QPaintEvent * /*event*/)
{
    QPainter painter(this);
    m_plot.Paint(painter, m_controls.TopLeft(Id::kPreview));
}

void CPointThreDlg::DrawStep(CCurvePlot &plot) const
{
    const int x = SurfaceX(m_byThreshold);
    plot.SelectPen(CCurvePlot::Pen::Guide);
    plot.MoveTo(x, 25);
    plot.LineTo(x, 280);
    plot.SelectPen(CCurvePlot::Pen::Curve);
    plot.Text(x, 281, QString::number(m_byThreshold));
    plot.MoveTo(10, 280);
    plot.LineTo(x, 280);
    plot.LineTo(x, 25);
    plot.LineTo(265, 25);
}

void CPointThreDlg::mousePressEvent(QMouseEvent *event)
{
    const Point p{event->position().toPoint().x(), event->position().toPoint().y()};
    if (event->button() == Qt::LeftButton && OnColumn(m_rcDragArea, p, m_byThreshold)) {
        m_bDragging = true;
        setCursor(Qt::SizeHorCursor);
    }
    QDialog::mousePressEvent(event);
}

void CPointThreDlg::mouseMoveEvent(QMouseEvent *event)
{
    const Point p{event->position().toPoint().x(), event->position().toPoint().y()};
    if (Inside(m_rcDragArea, p) && m_bDragging) {
        m_byThreshold = static_cast<std::uint8_t>(ToGray(m_rcDragArea, p).x);
        setCursor(Qt::SizeHorCursor);
        UpdateData(false);
        Repaint();
    } else if (m_bDragging || OnColumn(m_rcDragArea, p, m_byThreshold)) {
        setCursor(Qt::SizeHorCursor);
    } else {
        unsetCursor();
    }
    QDialog::mouseMoveEvent(event);
}

void CPointThreDlg::mouseReleaseEvent(QMouseEvent *event)
{
    // The press grabbed the mouse, so this release arrives wherever the button is let go and
    // the step never follows a pointer whose button is up.
    if (event->button() == Qt::LeftButton && m_bDragging) {
        m_bDragging = false;
        unsetCursor();
    }
    QDialog::mouseReleaseEvent(event);
}
