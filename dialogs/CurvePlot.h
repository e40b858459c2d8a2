#pragma once

#include "PlotGeometry.h"

#include <QImage>
#include <QPoint>

#include <functional>

class QPainter;
class QString;
class QWidget;

// The preview surface of a parameter dialog: a 330 x 300 back buffer that every repaint redraws
// whole from the dialog's members: the common frame, then the dialog's own part through a
// callback. The dialog puts the buffer on screen in its paint event. Drawing follows the
// line-to rule of the surface: a 1-pixel line from A to B leaves B itself undrawn.
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

    CCurvePlot(const Style &style, Part part);

    // The next Surface() or Paint() redraws the buffer from the members.
    void Invalidate() { m_bStale = true; }
    // Invalidates the buffer and asks `owner` to repaint the surface at `origin`, nothing more.
    void Repaint(QWidget &owner, QPoint origin);

    // The buffer, redrawn first when stale.
    [[nodiscard]] const QImage &Surface();
    void Paint(QPainter &painter, QPoint origin);

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
    void DrawCurveFrame();
    void DrawHistogramFrame();

    Style m_style;
    Part m_part;
    QImage m_image;
    QPainter *m_lpPainter = nullptr; // valid during Render only
    QPoint m_ptCurrent;
    bool m_bThinSolid = false; // the selected pen is solid and 1 pixel wide
    bool m_bStale = true;
};
