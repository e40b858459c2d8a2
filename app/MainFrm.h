#pragma once

#include "MenuResources.h"

#include <QMainWindow>
#include <QPointer>

#include <map>
#include <span>

class CCmdTarget;
class CChildFrame;
class CTonecraftDoc;
class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QStatusBar;
class QToolBar;

// The main window: the multiple-document area, the menu bar (128 while no image window is
// open, 129 while one is active), the toolbar, the status bar with its prompt pane and lock
// indicators, and the routing of every command to the active view, its document, this frame
// and the application.
class CMainFrame : public QMainWindow
{
    Q_OBJECT

public:
    explicit CMainFrame(CCmdTarget *application);
    ~CMainFrame() override;

    // Builds the toolbar and status bar; 0 on success, -1 when either cannot be created.
    int OnCreate();

    // The action of a command, made on first use with its prompt and tool tip.
    QAction *ActionFor(int command);

    // Sends a command to the first target that handles it; false when none does.
    bool RouteCommand(int command);
    // Whether some target handles the command and lets it run now.
    [[nodiscard]] bool IsCommandEnabled(int command) const;
    // Refreshes the enabled and checked state of every action.
    void UpdateCommandStates();

    // Adds a child window with a view of `document`, shown maximised and active.
    CChildFrame *AddChildFrame(CTonecraftDoc *document);

    [[nodiscard]] QMdiArea *MdiArea() const { return m_lpMdiArea; }
    [[nodiscard]] CChildFrame *ActiveChild() const;
    [[nodiscard]] QToolBar *ToolBar() const { return m_lpToolBar; }
    [[nodiscard]] QStatusBar *StatusBar() const { return m_lpStatusBar; }
    // The menu bar shown now: 128 or 129.
    [[nodiscard]] int CurrentMenuId() const { return m_nMenuId; }

    // Rebuilds the menu bar for the active window (and the recent-file entries).
    void RefreshMenus();

    // Lights the lock indicators from the keyboard's state.
    void UpdateIndicators();

signals:
    // A child window is closing; the application decides whether it may.
    void childClosing(CChildFrame *frame, bool &accept);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildMenuBar(std::span<const MenuResources::Popup> popups);
    void FillRecentFiles(QMenu *menu, const MenuResources::Item &placeholder);
    void FillWindowList(QMenu *menu);
    void WindowsChanged();
    void UpdateTitle();
    void UpdateChildTitles();
    void ArrangeIcons();
    void Cascade();
    void OnChildActivated(QMdiSubWindow *window);
    bool OnUpdateFrameCommand(int command, bool &enabled) const;
    bool OnFrameCommand(int command);
    [[nodiscard]] CCmdTarget *ActiveViewTarget() const;
    [[nodiscard]] CCmdTarget *ActiveDocumentTarget() const;

    CCmdTarget *m_lpApplication;
    QMdiArea *m_lpMdiArea;
    QToolBar *m_lpToolBar = nullptr;
    QStatusBar *m_lpStatusBar = nullptr;
    QLabel *m_lpIndicators[3] = {};
    std::map<int, QAction *> m_actions;
    int m_nMenuId = 0;
    // The window last activated and whether it was maximised: when it closes, the window that
    // takes its place is maximised too.
    QPointer<QMdiSubWindow> m_lpLastActive;
    bool m_bActiveMaximized = false;
};
