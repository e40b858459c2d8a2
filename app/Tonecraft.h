#pragma once

#include "CmdTarget.h"
#include "RecentFileList.h"

#include <QDialog>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

class CChildFrame;
class CMainFrame;
class CTonecraftDoc;
class QPrinter;

// The application: settings, the recent-file list, the one kind of document (an image in a
// child window with a view) and the application-wide commands (new, open, recent files,
// print set-up, about, exit).
class CTonecraftApp : public QObject, public CCmdTarget
{
    Q_OBJECT

public:
    static constexpr int kRecentFileCount = 4;

    CTonecraftApp();
    ~CTonecraftApp() override;

    // Start-up: settings, recent files, main frame; the command line is parsed and ignored,
    // so no document opens. False ends the program.
    bool InitInstance(const QStringList &arguments);

    [[nodiscard]] CMainFrame *MainFrame() const { return m_pMainFrame.get(); }
    [[nodiscard]] CRecentFileList &RecentFiles() { return m_recentFiles; }

    // A new, empty image document ("Tonecr1", "Tonecr2", ...) in a new window.
    CTonecraftDoc *OnFileNew();
    // Opens a file in a new window, or activates the window that already shows it; null when
    // the document could not open it.
    CTonecraftDoc *OpenDocumentFile(const QString &path);
    // Offers to save every modified document, then closes them all; false when cancelled.
    bool CloseAllDocuments();

    bool OnUpdateCommand(int command, bool &enabled) const override;
    bool OnCommand(int command) override;

private:
    // A new document, kept and shown in a new window when `load` succeeds; null otherwise.
    CTonecraftDoc *CreateDocument(const std::function<bool(CTonecraftDoc &)> &load);
    CChildFrame *FrameOf(CTonecraftDoc *document) const;
    void OnChildClosing(CChildFrame *frame, bool &accept);
    void CloseDocument(CTonecraftDoc *document);

    CRecentFileList m_recentFiles{kRecentFileCount};
    std::unique_ptr<QPrinter> m_pPrinter; // the printer print set-up configures
    std::unique_ptr<CMainFrame> m_pMainFrame;
    int m_nUntitled = 0;
};

// The About box: the program's icon, name and version, and OK.
class CAboutDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget *parent = nullptr);
};
