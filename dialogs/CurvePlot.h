#pragma once

#include "PlotGeometry.h"

#include <QImage>
#include <QPoint>

#include <functional>

class CDialogBuilder;
class CPlotSurface;
class QMouseEvent;
class QPainter;
class QString;
class QWidget;

// The preview of a parameter dialog: a 330 x 300 back buffer that every repaint redraws whole
// from the dialog's members (the common frame, then the dialog's own part through a callback),
// shown by the dialog's preview control one buffer pixel per device pixel whatever the font or
// device pixel ratio, so that its 1-pixel lines stay sharp and even. Drawing follows the
// line-to rule of the surface: a 1-pixel line from A to B leaves B itself undrawn.
//
// It also holds the mouse steps the dialogs share: where a mouse event lies in dialog
// coordinates, the drag area set when the dialog is first shown, the release that ends a drag,
// and the drag of two vertical markers (lower and upper limit).
class CCurvePlot
{
public:
    // What differs between the dialogs' frames; one constant row per dialog.
    struct Style
    {
        int axisWidth;  // red axes and arrow heads
        int curveWidth; // blue curve or bars
        bool histogram; // labels every 50 with ticks and no box edges, instead of "0"/"255"/box
    };

    enum class Pen { Default, Axis, Curve, Guide };

    using Part = std::function<void(CCurvePlot &)>;

    // The preview control `previewId` of `controls` shows this plot's buffer from now on, and
    // the dialog makes room for it.
    CCurvePlot(CDialogBuilder &controls, int previewId, const Style &style, Part part);

    // The next Surface() redraws the buffer from the members.
    void Invalidate() { m_bStale = true; }
    // Invalidates the buffer and has the preview control show it again, nothing more.
    void Repaint();
    // Has the preview control show the buffer as it stands (after InvertLine).
    void Show();

    // The buffer, redrawn first when stale; its device pixel ratio is the preview control's.
    [[nodiscard]] const QImage &Surface();

    // True only on the dialog's first show: sets `dragArea` from where the preview control lies
    // and invalidates the buffer; the dialog then shows its members in the fields.
    [[nodiscard]] bool FirstShow(PlotGeometry::Area &dragArea);

    // Where a mouse event on the dialog lies, in dialog coordinates that count surface pixels
    // from the preview control's top-left (the same as the dialog's own at a ratio of 1).
    [[nodiscard]] PlotGeometry::Point At(const QMouseEvent &event) const;
    // A left-button release ends a drag: the mode goes back to none and the dialog's cursor to
    // the default. The press grabbed the mouse, so the release arrives wherever it happens.
    static void Release(QWidget &dialog, const QMouseEvent &event, int &dragMode);
    static void Release(QWidget &dialog, const QMouseEvent &event, bool &dragging);

    // Two vertical markers at levels lower and upper, dragged sideways: a left press on either
    // column takes it (mode 1 lower, 2 upper) and shows the sizing cursor.
    void PressMarker(QWidget &dialog, const QMouseEvent &event, const PlotGeometry::Area &area,
                     int &dragMode, int lower, int upper) const;
    // A move drags the marker taken, kept in order, while inside the area: true when it did
    // (the dialog then shows its values); the cursor shows where a marker can be taken.
    [[nodiscard]] bool MoveMarker(QWidget &dialog, const QMouseEvent &event,
                                  const PlotGeometry::Area &area, int dragMode, int &lower,
                                  int &upper) const;

    // Inverts the pixels of a dotted 1-pixel line on the buffer as it stands; drawing the same
    // line again restores them. Surface coordinates.
    void InvertLine(PlotGeometry::Point from, PlotGeometry::Point to);

    // Drawing primitives for the dialog's part, in surface coordinates.
    void SelectPen(Pen pen);
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    // Black on opaque white, top-left corner at (x, y); the current position stays.
    void Text(int x, int y, const QString &text);
    // A 4 x 4 box from (left, top): outline in the current pen, filled green.
    void Handle(int left, int top);

private:
    void Render();
    void DrawAxes();
    void DrawArrowHeads();
    void DrawCurveFrame();
    void DrawHistogramFrame();

    Style m_style;
    Part m_part;
    CPlotSurface &m_surface;
    QImage m_image;
    QPainter *m_lpPainter = nullptr; // valid during Render only
    QPoint m_ptCurrent;
    bool m_bThinSolid = false; // the selected pen is solid and 1 pixel wide
    bool m_bStale = true;
    bool m_bShown = false;
};
