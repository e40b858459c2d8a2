#include "Tonecraft.h"

#include "ChildFrm.h"
#include "CommandIds.h"
#include "DialogBuilder.h"
#include "DialogTemplates.h"
#include "MainFrm.h"
#include "SharedPrinter.h"
#include "StandardCommandIds.h"
#include "StringTable.h"
#include "TonecraftDoc.h"
#include "TonecraftView.h"
#include "UiServices.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QMdiArea>
#include <QPrintDialog>
#include <QPrinter>

CTonecraftApp::CTonecraftApp()
    : m_pPrinter(std::make_unique<QPrinter>())
{
    // Sharp on paper, and a page image of a size a PDF can carry.
    m_pPrinter->setResolution(CTonecraftView::kPrintDpi);
    SharedPrinter::SetCurrent(m_pPrinter.get());
}

CTonecraftApp::~CTonecraftApp()
{
    m_recentFiles.SetChangedHandler(nullptr);
    CRecentFileList::SetCurrent(nullptr);
    SharedPrinter::SetCurrent(nullptr);
}

bool CTonecraftApp::InitInstance(const QStringList &arguments)
{
    QCoreApplication::setOrganizationName(CRecentFileList::kOrganization);
    QCoreApplication::setApplicationName(QString::fromUtf8(StringTable::Find(CommandId::kAppName)));
    // Lets the desktop match the windows with the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.tonecraft"));
    // Dates, sizes and file types in Qt's dialogs speak Chinese like the rest of the program,
    // whatever language the desktop has.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    m_recentFiles.ReadList();
    CRecentFileList::SetCurrent(&m_recentFiles);

    m_pMainFrame = std::make_unique<CMainFrame>(this);
    if (m_pMainFrame->OnCreate() != 0)
        return false;
    // An open, a save under a new name or a dropped entry changes the list: the File menu and
    // the settings store follow at once, so that no entry names one file and opens another.
    m_recentFiles.SetChangedHandler([this] {
        m_recentFiles.WriteList();
        m_pMainFrame->RefreshMenus();
    });
    connect(m_pMainFrame.get(), &CMainFrame::childClosing, this, &CTonecraftApp::OnChildClosing);

    // The command line is read but asks for nothing: no document opens at start-up.
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("files"), QString());
    parser.parse(arguments);

    m_pMainFrame->show();
    return true;
}

CTonecraftDoc *CTonecraftApp::CreateDocument(const std::function<bool(CTonecraftDoc &)> &load)
{
    // The document is this object's child from the start, as during its load, but is only
    // kept once the load has succeeded.
    auto owned = std::make_unique<CTonecraftDoc>(this);
    if (!load(*owned))
        return nullptr;
    CTonecraftDoc *document = owned.release();
    connect(document, &CDocument::closeRequested, this,
            [this, document] { CloseDocument(document); });
    m_pMainFrame->AddChildFrame(document);
    return document;
}

CTonecraftDoc *CTonecraftApp::OnFileNew()
{
    return CreateDocument([this](CTonecraftDoc &document) {
        if (!document.OnNewDocument())
            return false;
        const QString typeName
            = QString::fromUtf8(StringTable::Find(CommandId::kImageType)).section('\n', 1, 1);
        document.SetTitle(typeName + QString::number(++m_nUntitled));
        return true;
    });
}

CTonecraftDoc *CTonecraftApp::OpenDocumentFile(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    for (CTonecraftDoc *open : findChildren<CTonecraftDoc *>(Qt::FindDirectChildrenOnly)) {
        if (open->GetPathName() == absolute) {
            if (CChildFrame *frame = FrameOf(open)) {
                frame->ActivateFrame();
                m_pMainFrame->MdiArea()->setActiveSubWindow(frame);
            }
            return open;
        }
    }
    return CreateDocument(
        [&path](CTonecraftDoc &document) { return document.OnOpenDocument(path); });
}

CChildFrame *CTonecraftApp::FrameOf(CTonecraftDoc *document) const
{
    for (QMdiSubWindow *window : m_pMainFrame->MdiArea()->subWindowList()) {
        auto *child = qobject_cast<CChildFrame *>(window);
        if (child != nullptr && child->GetDocument() == document)
            return child;
    }
    return nullptr;
}

void CTonecraftApp::OnChildClosing(CChildFrame *frame, bool &accept)
{
    CTonecraftDoc *document = frame->GetDocument();
    int views = 0;
    for (QMdiSubWindow *window : m_pMainFrame->MdiArea()->subWindowList()) {
        auto *child = qobject_cast<CChildFrame *>(window);
        views += child != nullptr && child->GetDocument() == document;
    }
    if (views > 1)
        return; // the document stays with its other windows
    accept = document->SaveModified();
    if (accept)
        document->deleteLater();
}

void CTonecraftApp::CloseDocument(CTonecraftDoc *document)
{
    // The modified state is settled already: close every window without asking again.
    document->SetModifiedFlag(false);
    while (CChildFrame *frame = FrameOf(document))
        delete frame;
    document->deleteLater();
    m_pMainFrame->RefreshMenus();
}

bool CTonecraftApp::CloseAllDocuments()
{
    const QList<CTonecraftDoc *> documents
        = findChildren<CTonecraftDoc *>(Qt::FindDirectChildrenOnly);
    for (CTonecraftDoc *document : documents) {
        if (!document->SaveModified())
            return false;
    }
    for (CTonecraftDoc *document : documents)
        CloseDocument(document);
    return true;
}

bool CTonecraftApp::OnUpdateCommand(int command, bool &enabled) const
{
    switch (command) {
    case CommandId::kFileNew:
    case CommandId::kFileOpen:
    case CommandId::kFilePrintSetup:
    case CommandId::kAppAbout:
    case CommandId::kAppExit:
        enabled = true;
        return true;
    default:
        if (command >= CommandId::kFileMru1 && command < CommandId::kFileMru1 + kRecentFileCount) {
            enabled = command - CommandId::kFileMru1 < m_recentFiles.Files().size();
            return true;
        }
        return false;
    }
}

bool CTonecraftApp::OnCommand(int command)
{
    switch (command) {
    case CommandId::kFileNew:
        OnFileNew();
        return true;
    case CommandId::kFileOpen: {
        const QString path = CUiServices::Current().GetOpenFileName(m_pMainFrame.get());
        if (!path.isEmpty())
            OpenDocumentFile(path);
        return true;
    }
    case CommandId::kFilePrintSetup: {
        // The printer and its options (paper, orientation, copies...) are chosen here and kept
        // in the shared printer for the next print and preview; nothing is printed.
        QPrintDialog dialog(m_pPrinter.get(), m_pMainFrame.get());
        dialog.setWindowTitle(
            QString::fromUtf8(StringTable::Find(CommandId::kFilePrintSetup)).section('\n', 1, 1));
        dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
        dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
        CUiServices::Current().RunModal(dialog);
        return true;
    }
    case CommandId::kAppAbout: {
        CAboutDlg about;
        CUiServices::Current().RunModal(about);
        return true;
    }
    case CommandId::kAppExit:
        if (CloseAllDocuments()) {
            m_recentFiles.WriteList();
            m_pMainFrame->hide();
            QCoreApplication::quit();
        }
        return true;
    default:
        if (command >= CommandId::kFileMru1 && command < CommandId::kFileMru1 + kRecentFileCount) {
            const int index = command - CommandId::kFileMru1;
            const QString path = m_recentFiles.Files().value(index);
            // A file that no longer opens leaves the list, as the user would expect.
            if (OpenDocumentFile(path) == nullptr)
                m_recentFiles.Remove(m_recentFiles.Files().indexOf(path));
            return true;
        }
        return false;
    }
}

CAboutDlg::CAboutDlg(QWidget *parent)
    : QDialog(parent)
{
    CDialogBuilder(*this, *DialogTemplates::Find(DialogTemplates::Id::kAboutBox));
}
