#include "ChildFrm.h"

#include "TonecraftDoc.h"
#include "TonecraftView.h"

#include <QCloseEvent>

CChildFrame::CChildFrame(CTonecraftDoc *document, QWidget *parent)
    : QMdiSubWindow(parent)
    , m_lpView(new CTonecraftView(document, this))
{
    setWidget(m_lpView);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(document->GetTitle());
}

CTonecraftDoc *CChildFrame::GetDocument() const
{
    return m_lpView->GetDocument();
}

void CChildFrame::ActivateFrame(Qt::WindowState /*requested*/)
{
    showMaximized();
}

void CChildFrame::closeEvent(QCloseEvent *event)
{
    bool accept = true;
    emit closing(this, accept);
    if (accept)
        QMdiSubWindow::closeEvent(event);
    else
        event->ignore();
}
