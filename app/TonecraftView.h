#pragma once

#include "CmdTarget.h"
#include "WaitCursor.h"

#include <QAbstractScrollArea>

#include <cstdint>
#include <optional>

class CPainterDC;
class CTonecraftDoc;
class QPrinter;
struct PointOperation;
struct PointParameters;

// Shows one document's image at natural size, one image pixel per screen pixel, anchored at
// the top-left and scrollable over exactly the image's size, on the document's gray. Prints
// and previews it scaled to the page width. Several views may show one document.
class CTonecraftView : public QAbstractScrollArea, public CCmdTarget
{
    Q_OBJECT

public:
    CTonecraftView(CTonecraftDoc *document, QWidget *parent = nullptr);

    [[nodiscard]] CTonecraftDoc *GetDocument() const { return m_lpDocument; }

    // Draws the image onto a screen, printer or preview context.
    void OnDraw(CPainterDC &dc);

    // Fills the context's clip box with the document's background colour.
    bool OnEraseBkgnd(CPainterDC &dc);

    // Sets the scroll extent to the document's image size.
    void UpdateScrollSizes();

    // Realises the document's palette; nothing to change on this platform, so always 0.
    int RealizeDocPalette(QWidget *window);

    // Called when the view's frame becomes active.
    void OnActivateView(bool activate);

    // The resolution prints are made at, unless print set-up chose another printer's.
    static constexpr int kPrintDpi = 300;

    // Prints one page onto `printer` (the print loop's one page).
    void PrintPage(QPrinter &printer);

    bool OnUpdateCommand(int command, bool &enabled) const override;
    bool OnCommand(int command) override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

    // The point-operation commands (invert, linear, threshold, window, gray stretch,
    // equalisation, histogram), each by its menu command id. A document without an image, or
    // an image that is not a 256-colour image, gets the command's refusal and nothing else.
    void OnPointOperation(const PointOperation &op);

    // Copy puts a duplicate of the document's image on the clipboard; paste replaces the
    // document's image with a copy of the clipboard's and marks the document modified.
    void OnEditCopy();
    void OnEditPaste();

private:
    // Runs the parameter dialog of `op`, starting from `p`; on OK the values entered are
    // written back to `p`. False when the dialog was not closed with OK.
    bool AskParameters(const PointOperation &op, PointParameters &p);
    // Shows the histogram dialog over the 8-bit image at `header`, the display range starting
    // at the two levels of `range`; ends `wait` once the dialog is up.
    void ShowHistogram(std::uint8_t *header, const PointParameters &range,
                       std::optional<CWaitCursor> &wait);
    void ShowRefusal(const char *text);

    void OnFilePrint(bool withDialog);
    void Print(QPrinter &printer, bool withDialog);
    void OnFilePrintPreview();

    CTonecraftDoc *m_lpDocument;
};
