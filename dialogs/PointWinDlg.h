#pragma once

#include "CurvePlot.h"
#include "DialogBuilder.h"
#include "ParameterFields.h"
#include "PlotGeometry.h"
#include "PointOperations.h"

#include <QDialog>

#include <cstdint>

// Asks for the lower and upper limit of the window transform, draws the mapping with its two
// corners labelled and lets either limit be dragged sideways. The limits stay in order after
// every edit, during every drag and on OK. The caller writes m_byLow and m_byHigh after
// construction, runs the dialog and reads them back when it returns OK.
class CPointWinDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CPointWinDlg(QWidget *parent = nullptr);

    // The members from and into the operation's parameters, in the catalogue's slots.
    void Load(const PointParameters &p) { m_fields.Load(p); }
    [[nodiscard]] PointParameters Store() const { return m_fields.Store(); }

    // Members to fields (false) or fields to members with checks (true); false on a refusal.
    // The fields show the members, and the drag area is set, when the dialog is first shown (a
    // test that answers a modal run shows it, drives it and calls accept() or reject()).
    bool UpdateData(bool saveAndValidate = true) { return m_fields.Exchange(saveAndValidate); }

    // The preview surface as the next repaint shows it.
    [[nodiscard]] const QImage &Surface() { return m_plot.Surface(); }

    int m_nDragMode = 0; // 0 none, 1 the lower limit, 2 the upper limit
    PlotGeometry::Area m_rcDragArea;
    std::uint8_t m_byLow = 0;
    std::uint8_t m_byHigh = 0;

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void DrawWindow(CCurvePlot &plot) const;

    CDialogBuilder m_controls;
    CParameterFields m_fields;
    CCurvePlot m_plot;
};
