#pragma once

#include "CurvePlot.h"
#include "DialogBuilder.h"
#include "ParameterFields.h"
#include "PlotGeometry.h"
#include "PointOperations.h"

#include <QDialog>

#include <array>
#include <cstdint>

// Shows the gray-level histogram of a 256-colour image as bars over a display range whose limits
// are typed or dragged. It changes nothing. The caller sets the image (rows of one byte per
// pixel, each padded to a multiple of 4 bytes; not owned, read only while the dialog is shown)
// and both limits, then runs the dialog; the pixels are counted once when it is shown.
class CIntensityDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CIntensityDlg(QWidget *parent = nullptr);

    // The display range from the operation's parameters, in the catalogue's slots.
    void Load(const PointParameters &p) { m_fields.Load(p); }

    // Members to fields (false) or fields to members with checks (true); false on a refusal.
    // The fields show the members, and the drag area is set, when the dialog is first shown (a
    // test that answers a modal run shows it, drives it and calls accept() or reject()).
    bool UpdateData(bool saveAndValidate = true) { return m_fields.Exchange(saveAndValidate); }

    // The preview surface as the next repaint shows it.
    [[nodiscard]] const QImage &Surface() { return m_plot.Surface(); }

    int m_nDragMode = 0; // 0 none, 1 the lower limit, 2 the upper limit
    PlotGeometry::Area m_rcDragArea;
    std::int32_t m_lHeight = 0;
    std::int32_t m_lWidth = 0;
    const std::uint8_t *m_lpBits = nullptr;
    // Pixels of each gray level; a level holding more than 2^31 - 1 pixels counts as that many.
    std::array<std::int32_t, 256> m_lCount{};
    int m_iLow = 0;
    int m_iHigh = 0;

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void CountLevels();
    void DrawBars(CCurvePlot &plot) const;

    CDialogBuilder m_controls;
    CParameterFields m_fields;
    CCurvePlot m_plot;
};
