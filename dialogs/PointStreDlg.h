#pragma once

#include "CurvePlot.h"
#include "DialogBuilder.h"
#include "ParameterFields.h"
#include "PlotGeometry.h"
#include "PointOperations.h"

#include <QDialog>

#include <cstdint>

// Asks for the two control points of the gray stretch, draws the curve through (0, 0), both
// points and (255, 255) with a handle and a readout on each point, and lets either point be
// dragged. The first point stays left of (or, when typed, on) the second one's column. The
// caller writes the four coordinates after construction, runs the dialog and reads them back
// when it returns OK.
class CPointStreDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CPointStreDlg(QWidget *parent = nullptr);

    // The members from and into the operation's parameters, in the catalogue's slots.
    void Load(const PointParameters &p) { m_fields.Load(p); }
    [[nodiscard]] PointParameters Store() const { return m_fields.Store(); }

    // Members to fields (false) or fields to members with checks (true); false on a refusal.
    // The fields show the members, and the drag area is set, when the dialog is first shown (a
    // test that answers a modal run shows it, drives it and calls accept() or reject()).
    bool UpdateData(bool saveAndValidate = true) { return m_fields.Exchange(saveAndValidate); }

    // The preview surface as the next repaint shows it.
    [[nodiscard]] const QImage &Surface() { return m_plot.Surface(); }

    int m_nDragMode = 0; // 0 none, 1 the first point, 2 the second point
    PlotGeometry::Area m_rcDragArea;
    std::uint8_t m_byX1 = 0;
    std::uint8_t m_byY1 = 0;
    std::uint8_t m_byX2 = 0;
    std::uint8_t m_byY2 = 0;

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void OrderPoints();
    void DrawCurve(CCurvePlot &plot) const;
    [[nodiscard]] int HitPoint(PlotGeometry::Point p) const;

    CDialogBuilder m_controls;
    CParameterFields m_fields;
    CCurvePlot m_plot;
};
