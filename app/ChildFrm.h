#pragma once

#include <QMdiSubWindow>

class CTonecraftDoc;
class CTonecraftView;

// The window of one image view inside the main frame. Every child window is shown maximised.
// Its title is the document's, numbered by the main frame when the document has several.
class CChildFrame : public QMdiSubWindow
{
    Q_OBJECT

public:
    CChildFrame(CTonecraftDoc *document, QWidget *parent = nullptr);

    [[nodiscard]] CTonecraftView *GetView() const { return m_lpView; }
    [[nodiscard]] CTonecraftDoc *GetDocument() const;

    // Shows the window; whatever state is asked for, it is shown maximised.
    void ActivateFrame(Qt::WindowState requested = Qt::WindowNoState);

signals:
    // Emitted before the window closes; `accept` may be cleared to keep it open.
    void closing(CChildFrame *frame, bool &accept);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    CTonecraftView *m_lpView;
};
