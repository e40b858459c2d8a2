#pragma once

#include "CurvePlot.h"
#include "DialogBuilder.h"
#include "ParameterFields.h"
#include "PlotGeometry.h"
#include "PointOperations.h"

#include <QDialog>

#include <cstdint>

// Asks for the threshold. Beside the field it draws the step-shaped mapping with the threshold
// under it; the step can be dragged sideways. The caller writes m_byThreshold after
// construction, runs the dialog and reads it back when it returns OK.
class CPointThreDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CPointThreDlg(QWidget *parent = nullptr);

    // The members from and into the operation's parameters, in the catalogue's slots.
    void Load(const PointParameters &p) { m_fields.Load(p); }
    [[nodiscard]] PointParameters Store() const { return m_fields.Store(); }

    // Members to fields (false) or fields to members with checks (true); false on a refusal.
    // The fields show the members, and the drag area is set, when the dialog is first shown (a
    // test that answers a modal run shows it, drives it and calls accept() or reject()).
    bool UpdateData(bool saveAndValidate = true) { return m_fields.Exchange(saveAndValidate); }

    // The preview surface as the next repaint shows it.
    [[nodiscard]] const QImage &Surface() { return m_plot.Surface(); }

    bool m_bDragging = false;
    PlotGeometry::Area m_rcDragArea;
    std::uint8_t m_byThreshold = 0;

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void DrawStep(CCurvePlot &plot) const;

    CDialogBuilder m_controls;
    CParameterFields m_fields;
    CCurvePlot m_plot;
};
