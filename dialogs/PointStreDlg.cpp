#include "PointStreDlg.h"

#include "DialogTemplates.h"

#include <QMouseEvent>

#include <utility>

namespace {
constexpr CCurvePlot::Style kStyle{2, 1, false};
}

using namespace PlotGeometry;
namespace Id = DialogTemplates::Id;

CPointStreDlg::CPointStreDlg(QWidget *parent)
    : QDialog(parent)
    , m_controls(*this, *DialogTemplates::Find(Id::kStretchParams))
    , m_fields(*this, m_controls,
               {{Id::kStretchX1, &m_byX1, 0},
                {Id::kStretchX2, &m_byX2, 2},
                {Id::kStretchY1, &m_byY1, 1},
                {Id::kStretchY2, &m_byY2, 3}})
    , m_plot(m_controls, Id::kPreview, kStyle, [this](CCurvePlot &plot) { DrawCurve(plot); })
{
    setMouseTracking(true);
    for (const int id : {Id::kStretchX1, Id::kStretchX2})
        m_controls.OnKillFocus(id, [this] {
            (void)UpdateData(true);
            OrderPoints();
            m_plot.Repaint();
        });
    for (const int id : {Id::kStretchY1, Id::kStretchY2})
        m_controls.OnKillFocus(id, [this] {
            (void)UpdateData(true);
            m_plot.Repaint();
        });
}

void CPointStreDlg::showEvent(QShowEvent *event)
{
    if (m_plot.FirstShow(m_rcDragArea)) {
        UpdateData(false);
        m_nDragMode = 0;
    }
    QDialog::showEvent(event);
}

void CPointStreDlg::OrderPoints()
{
    if (m_byX1 > m_byX2) {
        std::swap(m_byX1, m_byX2);
        std::swap(m_byY1, m_byY2);
        UpdateData(false);
    }
}

void CPointStreDlg::accept()
{
    if (!UpdateData(true))
        return;
    OrderPoints();
    QDialog::accept();
}

void CPointStreDlg::DrawCurve(CCurvePlot &plot) const
{
    const Point points[] = {{m_byX1, m_byY1}, {m_byX2, m_byY2}};
    plot.SelectPen(CCurvePlot::Pen::Curve);
    for (const Point &point : points)
        plot.Text(SurfaceX(point.x), SurfaceY(point.y) + 1,
                  QStringLiteral("(%1, %2)").arg(point.x).arg(point.y));
    plot.MoveTo(kOriginX, kBaseLine);
    for (const Point &point : points)
        plot.LineTo(SurfaceX(point.x), SurfaceY(point.y));
    plot.LineTo(kRightEdge, kTopEdge);
    for (const Point &point : points)
        plot.Handle(SurfaceX(point.x) - 2, SurfaceY(point.y) - 2);
}

int CPointStreDlg::HitPoint(Point p) const
{
    if (OnHandle(m_rcDragArea, p, m_byX1, m_byY1))
        return 1;
    if (OnHandle(m_rcDragArea, p, m_byX2, m_byY2))
        return 2;
    return 0;
}

void CPointStreDlg::mousePressEvent(QMouseEvent *event)
{
    const Point p = m_plot.At(*event);
    if (event->button() == Qt::LeftButton) {
        m_nDragMode = HitPoint(p);
        if (m_nDragMode != 0)
            setCursor(Qt::SizeAllCursor);
    }
    QDialog::mousePressEvent(event);
}

void CPointStreDlg::mouseMoveEvent(QMouseEvent *event)
{
    const Point p = m_plot.At(*event);
    if (Inside(m_rcDragArea, p) && m_nDragMode != 0) {
        const Point gray = ToGray(m_rcDragArea, p);
        if (m_nDragMode == 1) {
            m_byX1 = static_cast<std::uint8_t>(DragLower(gray.x, m_byX2, m_byX1));
            m_byY1 = static_cast<std::uint8_t>(gray.y);
        } else {
            m_byX2 = static_cast<std::uint8_t>(DragUpper(gray.x, m_byX1, m_byX2));
            m_byY2 = static_cast<std::uint8_t>(gray.y);
        }
        setCursor(Qt::SizeAllCursor);
        UpdateData(false);
        m_plot.Repaint();
    } else if (m_nDragMode != 0 || HitPoint(p) != 0) {
        setCursor(Qt::SizeAllCursor);
    } else {
        unsetCursor();
    }
    QDialog::mouseMoveEvent(event);
}

void CPointStreDlg::mouseReleaseEvent(QMouseEvent *event)
{
    CCurvePlot::Release(*this, *event, m_nDragMode);
    QDialog::mouseReleaseEvent(event);
}
