#include "MainFrm.h"

#include "ChildFrm.h"
#include "CmdTarget.h"
#include "CommandIds.h"
#include "GuardedApplication.h"
#include "KeyboardLocks.h"
#include "RecentFileList.h"
#include "StandardCommandIds.h"
#include "StringTable.h"
#include "TonecraftDoc.h"
#include "TonecraftView.h"
#include "Trace.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QPixmap>
#include <QShortcut>
#include <QStatusBar>
#include <QToolBar>

#include <algorithm>
#include <new>
#include <vector>

namespace {

QString Text(int id)
{
    const char *text = StringTable::Find(id);
    return text != nullptr ? QString::fromUtf8(text) : QString();
}

// The toolbar strip: 8 images of 16 x 15, silver showing the button face.
constexpr int kButtonWidth = 16;
constexpr int kButtonHeight = 15;

} // namespace

CMainFrame::CMainFrame(CCmdTarget *application)
    : m_lpApplication(application)
    , m_lpMdiArea(new QMdiArea(this))
{
    setCentralWidget(m_lpMdiArea);
    setWindowTitle(Text(CommandId::kMainFrameTitle));
    setWindowIcon(QIcon(QStringLiteral(":/images/mainframe-32.png")));
    m_lpMdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_lpMdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(m_lpMdiArea, &QMdiArea::subWindowActivated, this, &CMainFrame::OnChildActivated);

    // The accelerator table: shortcuts of the window, each running its command when enabled.
    for (const MenuResources::Accelerator &accel : MenuResources::Accelerators()) {
        auto *shortcut = new QShortcut(QKeySequence(QString::fromLatin1(accel.keys)), this);
        const int command = accel.command;
        // The router asks whether the command may run now, and runs it only then.
        connect(shortcut, &QShortcut::activated, this, [this, command] { RouteCommand(command); });
    }
    qApp->installEventFilter(this);
    // The paste button follows what other programs put on the clipboard. Queued, so that the
    // clipboard's own bookkeeping of the change has run first.
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            &CMainFrame::UpdateCommandStates, Qt::QueuedConnection);
    RefreshMenus();
}

CMainFrame::~CMainFrame()
{
    // The area, its windows and the status bar die after this object's own part has ended;
    // what they signal then must not reach it.
    m_lpMdiArea->disconnect(this);
    for (QMdiSubWindow *window : m_lpMdiArea->subWindowList())
        window->disconnect(this);
    if (m_lpStatusBar != nullptr)
        m_lpStatusBar->disconnect(this);
}

int CMainFrame::OnCreate()
{
    const QImage strip(QStringLiteral(":/images/toolbar.png"));
    if (strip.isNull()) {
        TraceLine("Failed to create toolbar\n");
        return -1;
    }
    m_lpToolBar = new QToolBar(Text(CommandId::kViewToolbar).section('\n', 1), this);
    m_lpToolBar->setObjectName(QStringLiteral("toolbar-59392"));
    m_lpToolBar->setIconSize(QSize(kButtonWidth, kButtonHeight));
    m_lpToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_lpToolBar->setMovable(true);
    m_lpToolBar->setFloatable(true);
    int image = 0;
    for (int command : MenuResources::ToolbarLayout()) {
        if (command == 0) {
            m_lpToolBar->addSeparator();
            continue;
        }
        QImage button = strip.copy(image++ * kButtonWidth, 0, kButtonWidth, kButtonHeight)
                            .convertToFormat(QImage::Format_ARGB32);
        QPixmap pixmap = QPixmap::fromImage(button);
        pixmap.setMask(pixmap.createMaskFromColor(QColor(0xC0, 0xC0, 0xC0)));
        QAction *action = ActionFor(command);
        action->setIcon(QIcon(pixmap));
        m_lpToolBar->addAction(action);
    }
    addToolBar(Qt::TopToolBarArea, m_lpToolBar);

    m_lpStatusBar = new QStatusBar(this);
    m_lpStatusBar->setObjectName(QStringLiteral("statusbar-59393"));
    setStatusBar(m_lpStatusBar);
    const int indicatorIds[]
        = {CommandId::kIndicatorCaps, CommandId::kIndicatorNum, CommandId::kIndicatorScroll};
    for (int i = 0; i < 3; ++i) {
        m_lpIndicators[i] = new QLabel(Text(indicatorIds[i]), m_lpStatusBar);
        m_lpIndicators[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_lpStatusBar->addPermanentWidget(m_lpIndicators[i]);
    }
    // The message pane shows the prompt of the item under the pointer, and "就绪" otherwise.
    connect(m_lpStatusBar, &QStatusBar::messageChanged, this, [this](const QString &message) {
        if (message.isEmpty())
            m_lpStatusBar->showMessage(Text(CommandId::kIdleMessage));
    });
    m_lpStatusBar->showMessage(Text(CommandId::kIdleMessage));
    UpdateIndicators();
    RefreshMenus();
    UpdateCommandStates();
    return 0;
}

QAction *CMainFrame::ActionFor(int command)
{
    const auto found = m_actions.find(command);
    if (found != m_actions.end())
        return found->second;
    auto *action = new QAction(this);
    const QString text = Text(command);
    action->setStatusTip(text.section('\n', 0, 0));
    const QString tip = text.section('\n', 1, 1);
    if (!tip.isEmpty())
        action->setToolTip(tip);
    action->setIconVisibleInMenu(false);
    action->setData(command);
    if (command == CommandId::kViewToolbar || command == CommandId::kViewStatusBar)
        action->setCheckable(true);
    connect(action, &QAction::triggered, this, [this, command] { RouteCommand(command); });
    m_actions.emplace(command, action);
    return action;
}

CChildFrame *CMainFrame::ActiveChild() const
{
    return qobject_cast<CChildFrame *>(m_lpMdiArea->activeSubWindow());
}

CCmdTarget *CMainFrame::ActiveViewTarget() const
{
    CChildFrame *child = ActiveChild();
    return child != nullptr ? child->GetView() : nullptr;
}

CCmdTarget *CMainFrame::ActiveDocumentTarget() const
{
    CChildFrame *child = ActiveChild();
    return child != nullptr ? child->GetDocument() : nullptr;
}

bool CMainFrame::IsCommandEnabled(int command) const
{
    bool enabled = false;
    for (const CCmdTarget *target : {ActiveViewTarget(), ActiveDocumentTarget()}) {
        if (target != nullptr && target->OnUpdateCommand(command, enabled))
            return enabled;
    }
    if (OnUpdateFrameCommand(command, enabled))
        return enabled;
    return m_lpApplication->OnUpdateCommand(command, enabled) && enabled;
}

bool CMainFrame::RouteCommand(int command)
{
    // Memory that runs out in a command or its query is reported here, before the exception
    // could pass through the toolkit's menu and shortcut code, which does not expect one.
    bool handled = false;
    try {
        if (!IsCommandEnabled(command))
            return false;
        for (CCmdTarget *target : {ActiveViewTarget(), ActiveDocumentTarget()}) {
            if (!handled && target != nullptr)
                handled = target->OnCommand(command);
        }
        handled = handled || OnFrameCommand(command) || m_lpApplication->OnCommand(command);
    } catch (const std::bad_alloc &) {
        // Said once: the states below would ask the same queries again.
        CGuardedApplication::ReportOutOfMemory();
        return true;
    }
    // A command may give the document an image (paste) or take the window away: the toolbar
    // follows at once, not only when a menu opens.
    UpdateCommandStates();
    return handled;
}

void CMainFrame::UpdateCommandStates()
{
    try {
        for (const auto &[command, action] : m_actions) {
            action->setEnabled(IsCommandEnabled(command));
            if (command == CommandId::kViewToolbar && m_lpToolBar != nullptr)
                action->setChecked(m_lpToolBar->isVisible());
            else if (command == CommandId::kViewStatusBar && m_lpStatusBar != nullptr)
                action->setChecked(m_lpStatusBar->isVisible());
        }
    } catch (const std::bad_alloc &) { // the states not reached yet stay as they were
        CGuardedApplication::ReportOutOfMemory();
    }
}

bool CMainFrame::OnUpdateFrameCommand(int command, bool &enabled) const
{
    switch (command) {
    case CommandId::kViewToolbar:
    case CommandId::kViewStatusBar:
        enabled = true;
        return true;
    case CommandId::kWindowNew:
    case CommandId::kWindowCascade:
    case CommandId::kWindowTile:
    case CommandId::kWindowArrange:
        enabled = ActiveChild() != nullptr;
        return true;
    default:
        return false;
    }
}

bool CMainFrame::OnFrameCommand(int command)
{
    switch (command) {
    case CommandId::kViewToolbar:
        m_lpToolBar->setVisible(!m_lpToolBar->isVisible());
        break;
    case CommandId::kViewStatusBar:
        m_lpStatusBar->setVisible(!m_lpStatusBar->isVisible());
        break;
    case CommandId::kWindowNew:
        AddChildFrame(ActiveChild()->GetDocument());
        break;
    case CommandId::kWindowCascade:
        Cascade();
        break;
    case CommandId::kWindowTile:
        m_lpMdiArea->tileSubWindows();
        break;
    case CommandId::kWindowArrange:
        ArrangeIcons();
        break;
    default:
        return false;
    }
    UpdateCommandStates();
    return true;
}

CChildFrame *CMainFrame::AddChildFrame(CTonecraftDoc *document)
{
    auto *child = new CChildFrame(document);
    child->setWindowIcon(QIcon(QStringLiteral(":/images/imagetype-16.png")));
    m_lpMdiArea->addSubWindow(child);
    connect(child, &CChildFrame::closing, this, &CMainFrame::childClosing);
    connect(document, &CDocument::titleChanged, child, [this] {
        UpdateChildTitles();
        UpdateTitle();
    });
    connect(child, &QMdiSubWindow::windowStateChanged, this, [this, child] {
        // A window restored or minimised by the user leaves the others as they are; only one
        // that was still maximised when it went away hands that state on.
        if (child == m_lpLastActive && child->isVisible())
            m_bActiveMaximized = child->isMaximized();
        UpdateTitle();
    });
    connect(child, &QObject::destroyed, this, &CMainFrame::WindowsChanged);
    child->ActivateFrame(Qt::WindowNoState);
    m_lpMdiArea->setActiveSubWindow(child);
    WindowsChanged();
    return child;
}

void CMainFrame::OnChildActivated(QMdiSubWindow *window)
{
    if (window != nullptr) {
        // The area maximises a window activated in place of a maximised one, but not one
        // activated because the maximised window closed: that one would drop to its small
        // normal size. Windows of an MDI program stay maximised until the user restores one.
        const bool previousGone = m_lpLastActive.isNull() || m_lpLastActive->isHidden();
        if (previousGone && m_bActiveMaximized && !window->isMaximized())
            window->showMaximized();
        m_lpLastActive = window;
        m_bActiveMaximized = window->isMaximized();
    }
    if (auto *child = qobject_cast<CChildFrame *>(window))
        child->GetView()->OnActivateView(true);
    WindowsChanged();
}

void CMainFrame::WindowsChanged()
{
    // Opening, closing or activating a window may change the window names, the menu bar,
    // the main title and which commands can run.
    UpdateChildTitles();
    RefreshMenus();
    UpdateTitle();
    UpdateCommandStates();
}

void CMainFrame::RefreshMenus()
{
    const bool imageActive = !m_lpMdiArea->subWindowList().isEmpty();
    if (imageActive)
        BuildMenuBar(MenuResources::ImageMenu());
    else
        BuildMenuBar(MenuResources::MainFrameMenu());
    m_nMenuId = imageActive ? CommandId::kImageType : CommandId::kMainFrameTitle;
}

void CMainFrame::BuildMenuBar(std::span<const MenuResources::Popup> popups)
{
    QMenuBar *bar = menuBar();
    // The popups are children of the bar, which clear() leaves alive; this may run from one
    // of their own actions, so they go once control is back in the event loop.
    for (QAction *popup : bar->actions()) {
        if (QMenu *menu = popup->menu())
            menu->deleteLater();
    }
    bar->clear();
    for (const MenuResources::Popup &popup : popups) {
        QMenu *menu = bar->addMenu(QString::fromUtf8(popup.title));
        for (const MenuResources::Item &item : popup.items) {
            if (item.text == nullptr) {
                menu->addSeparator();
            } else if (item.command == CommandId::kFileMru1) {
                FillRecentFiles(menu, item);
            } else {
                QAction *action = ActionFor(item.command);
                action->setText(QString::fromUtf8(item.text));
                menu->addAction(action);
            }
        }
        if (popup.windowList)
            connect(menu, &QMenu::aboutToShow, this, [this, menu] { FillWindowList(menu); });
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    }
}

void CMainFrame::FillRecentFiles(QMenu *menu, const MenuResources::Item &placeholder)
{
    const CRecentFileList *recent = CRecentFileList::Current();
    if (recent == nullptr || recent->Files().isEmpty()) {
        // The grayed item keeps the first entry's command and prompt.
        QAction *none = ActionFor(placeholder.command);
        none->setText(QString::fromUtf8(placeholder.text));
        none->setEnabled(false);
        menu->addAction(none);
        return;
    }
    const QStringList &files = recent->Files();
    for (int i = 0; i < files.size(); ++i) {
        QAction *action = ActionFor(CommandId::kFileMru1 + i);
        action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(files[i]).fileName()));
        menu->addAction(action);
    }
}

void CMainFrame::FillWindowList(QMenu *menu)
{
    for (QAction *action : menu->actions()) {
        if (action->property("windowEntry").toBool()) {
            menu->removeAction(action);
            action->deleteLater();
        }
    }
    const QList<QMdiSubWindow *> windows = m_lpMdiArea->subWindowList();
    if (windows.isEmpty())
        return;
    menu->addSeparator()->setProperty("windowEntry", true);
    for (int i = 0; i < windows.size(); ++i) {
        QMdiSubWindow *window = windows[i];
        QAction *entry
            = menu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(window->windowTitle()));
        entry->setProperty("windowEntry", true);
        entry->setStatusTip(Text(CommandId::kActivateWindowPrompt));
        entry->setCheckable(true);
        entry->setChecked(window == m_lpMdiArea->activeSubWindow());
        connect(entry, &QAction::triggered, this,
                [this, window] { m_lpMdiArea->setActiveSubWindow(window); });
    }
}

void CMainFrame::UpdateTitle()
{
    // A maximised child adds " - [its title]" to the main title by itself.
    const QString title = Text(CommandId::kMainFrameTitle);
    CChildFrame *child = ActiveChild();
    setWindowTitle(child != nullptr && !child->isMaximized()
                       ? title + QStringLiteral(" - ") + child->windowTitle()
                       : title);
}

void CMainFrame::UpdateChildTitles()
{
    // The windows of a document with several are told apart as "name:1", "name:2"... in the
    // order they were opened; a document's only window keeps the bare name.
    std::map<CTonecraftDoc *, std::vector<CChildFrame *>> byDocument;
    for (QMdiSubWindow *window : m_lpMdiArea->subWindowList(QMdiArea::CreationOrder)) {
        // A window being destroyed is still listed but is no CChildFrame any more.
        if (auto *child = qobject_cast<CChildFrame *>(window))
            byDocument[child->GetDocument()].push_back(child);
    }
    for (const auto &[document, children] : byDocument) {
        for (std::size_t i = 0; i < children.size(); ++i) {
            children[i]->setWindowTitle(
                children.size() == 1
                    ? document->GetTitle()
                    : QStringLiteral("%1:%2").arg(document->GetTitle()).arg(i + 1));
        }
    }
}

void CMainFrame::ArrangeIcons()
{
    // Minimised windows in rows along the bottom of the area, left to right, the next row
    // above when one is full.
    const QRect area = m_lpMdiArea->viewport()->rect();
    QPoint next(area.left(), area.bottom() + 1);
    int rowHeight = 0;
    for (QMdiSubWindow *window : m_lpMdiArea->subWindowList(QMdiArea::CreationOrder)) {
        if (!window->isMinimized())
            continue;
        const QSize size = window->size();
        if (next.x() > area.left() && next.x() + size.width() > area.right() + 1) {
            next = QPoint(area.left(), next.y() - rowHeight);
            rowHeight = 0;
        }
        if (rowHeight == 0)
            rowHeight = size.height();
        window->move(next.x(), next.y() - size.height());
        next.rx() += size.width();
    }
}

void CMainFrame::Cascade()
{
    // The windows in the order of the window list, the active one last so that it ends up in
    // front with every other title visible above it. Each steps down and right by a title
    // bar and is as large as the area less those steps, so that the last one reaches the
    // bottom right corner and a picture that fits the area shows whole.
    QList<QMdiSubWindow *> windows;
    QMdiSubWindow *active = m_lpMdiArea->activeSubWindow();
    for (QMdiSubWindow *window : m_lpMdiArea->subWindowList(QMdiArea::CreationOrder)) {
        if (!window->isHidden() && !window->isMinimized() && window != active)
            windows.append(window);
    }
    if (active != nullptr && !active->isMinimized())
        windows.append(active);
    if (windows.isEmpty())
        return;
    for (QMdiSubWindow *window : windows)
        window->showNormal();
    const int step = std::max(1, windows.front()->contentsMargins().top());
    const QSize area = m_lpMdiArea->contentsRect().size();
    // Too many windows for the area start again at the top left rather than shrink below a
    // usable size.
    const QSize smallest(step * 8, step * 4);
    const int fit = 1
        + std::max(0,
                   std::min((area.width() - smallest.width()) / step,
                            (area.height() - smallest.height()) / step));
    const int perRun = std::min<int>(fit, windows.size());
    const QSize size(std::max(area.width() - (perRun - 1) * step, smallest.width()),
                     std::max(area.height() - (perRun - 1) * step, smallest.height()));
    for (int i = 0; i < windows.size(); ++i) {
        const int offset = i % perRun * step;
        windows[i]->setGeometry(offset, offset, size.width(), size.height());
        windows[i]->raise();
    }
    if (active != nullptr)
        m_lpMdiArea->setActiveSubWindow(active);
}

void CMainFrame::UpdateIndicators()
{
    const KeyboardLocks::State locks = KeyboardLocks::Query();
    const bool lit[] = {locks.caps, locks.num, locks.scroll};
    for (int i = 0; i < 3; ++i) {
        if (m_lpIndicators[i] != nullptr)
            m_lpIndicators[i]->setEnabled(lit[i]);
    }
}

bool CMainFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyRelease || event->type() == QEvent::WindowActivate)
        UpdateIndicators();
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::closeEvent(QCloseEvent *event)
{
    event->ignore();
    RouteCommand(CommandId::kAppExit);
}
