#pragma once

#include "CmdTarget.h"

#include <QAbstractScrollArea>

class CPainterDC;
class CTonecraftDoc;
class QPrinter;

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

private:
    void OnFilePrint(bool withDialog);
    void Print(QPrinter &printer, bool withDialog);
    void OnFilePrintPreview();

    CTonecraftDoc *m_lpDocument;
};
