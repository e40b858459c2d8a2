#include "AppTestSupport.h"
#include "ChildFrm.h"
#include "CmdTarget.h"
#include "MainFrm.h"
#include "RecentFileList.h"
#include "TestImages.h"
#include "Tonecraft.h"
#include "TonecraftDoc.h"
#include "TonecraftView.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// --- The menu bars as the user must see them ------------------------------------------------

struct MenuItem
{
    const char *text; // null: a separator
    int command;
    const char *prompt; // the status-bar prompt
};
struct Menu
{
    const char *title;
    std::vector<MenuItem> items;
};
constexpr MenuItem kSep{nullptr, 0, nullptr};

const MenuItem kOpen{"打开(&O)...\tCtrl+O", 57601, "打开一个现有文档"};
const MenuItem kPrintSetup{"打印设置(&R)...", 57606, "改变打印机及打印选项"};
const MenuItem kRecent{"最近文件", 57616, "打开该文档"};
const MenuItem kExit{"退出(&X)", 57665, "退出应用程序；提示保存文档"};
const MenuItem kToolbar{"工具栏(&T)", 59392, "显示或隐藏工具栏"};
const MenuItem kStatusBar{"状态栏(&S)", 59393, "显示或隐藏状态栏"};
const Menu kHelp{"帮助(&H)", {{"关于 Tonecraft(&A)...", 57664, "显示程序信息，版本号和版权"}}};

const std::vector<Menu> kMenuBar128 = {
    {"文件(&F)", {kOpen, kSep, kPrintSetup, kSep, kRecent, kSep, kExit}},
    {"查看(&V)", {kToolbar, kStatusBar}},
    kHelp,
};

const std::vector<Menu> kMenuBar129 = {
    {"文件(&F)",
     {kOpen,
      {"关闭(&C)", 57602, "关闭活动文档"},
      {"保存(&S)\tCtrl+S", 57603, "保存活动文档"},
      {"另存为(&A)...", 57604, "将活动文档以一个新文件名保存"},
      {"重新加载(&R)\tCtrl+R", 32778, "重新加载图像，放弃修改"},
      kSep,
      {"打印(&P)...\tCtrl+P", 57607, "打印活动文档"},
      {"打印预览(&V)", 57609, "显示整页"},
      kPrintSetup,
      kSep,
      kRecent,
      kSep,
      kExit}},
    {"编辑(&E)",
     {{"撤消(&U)\tCtrl+Z", 57643, "撤消最后一步操作"},
      kSep,
      {"剪切(&T)\tCtrl+X", 57635, "剪切被选对象并将其置于剪贴板上"},
      {"复制(&C)\tCtrl+C", 57634, "复制被选对象并将其置于剪贴板上"},
      {"粘贴(&P)\tCtrl+V", 57637, "插入剪贴板内容"}}},
    {"点运算(&P)",
     {{"图像反色(&I)", 32786, ""},
      {"线性变换(&L)...", 32787, ""},
      kSep,
      {"阈值变换(&T)...", 32789, ""},
      {"窗口变换(&W)...", 32785, ""},
      {"灰度拉伸(&S)...", 32783, ""},
      kSep,
      {"灰度均衡(&U)", 32784, ""}}},
    {"查看(&V)", {{"直方图(I)...", 32788, ""}, kSep, kToolbar, kStatusBar}},
    {"窗口(&W)",
     {{"新建窗口(&N)", 57648, "为活动文档打开另一个窗口"},
      {"层叠(&C)", 57650, "排列窗口成相互重叠"},
      {"平铺(&T)", 57651, "排列窗口成互不重叠"},
      {"排列图标(&A)", 57649, "将图标排列在窗口底部"}}},
    kHelp,
};

std::string Line(const QString &text, int command, const QString &prompt)
{
    return "  " + text.toStdString() + " = " + std::to_string(command) + " [" + prompt.toStdString()
        + "]";
}

Lines Describe(const std::vector<Menu> &menus)
{
    Lines lines;
    for (const Menu &menu : menus) {
        lines.push_back(menu.title);
        for (const MenuItem &item : menu.items)
            lines.push_back(item.text == nullptr ? "  -"
                                                 : Line(QString::fromUtf8(item.text), item.command,
                                                        QString::fromUtf8(item.prompt)));
    }
    return lines;
}

Lines Describe(const QMenuBar *bar)
{
    Lines lines;
    for (const QAction *popup : bar->actions()) {
        lines.push_back(popup->text().toStdString());
        if (popup->menu() == nullptr) {
            lines.push_back("  <no menu>");
            continue;
        }
        for (const QAction *action : popup->menu()->actions())
            lines.push_back(action->isSeparator() ? "  -"
                                                  : Line(action->text(), action->data().toInt(),
                                                         action->statusTip()));
    }
    return lines;
}

// Compares line by line, so that a failure names only the lines that differ.
void ExpectLines(const Lines &got, const Lines &expected)
{
    for (std::size_t i = 0; i < std::max(got.size(), expected.size()); ++i) {
        const std::string none = "<none>";
        EXPECT_EQ(i < got.size() ? got[i] : none, i < expected.size() ? expected[i] : none)
            << "line " << i;
    }
}

// The menu of the bar whose title is `title`.
QMenu *MenuOf(const QMenuBar *bar, const char *title)
{
    for (const QAction *popup : bar->actions()) {
        if (popup->text() == QString::fromUtf8(title))
            return popup->menu();
    }
    return nullptr;
}

QAction *MenuAction(const QMenuBar *bar, int command)
{
    for (const QAction *popup : bar->actions()) {
        for (QAction *action : popup->menu()->actions()) {
            if (!action->isSeparator() && action->data().toInt() == command)
                return action;
        }
    }
    return nullptr;
}

// Expects the commands to be enabled or disabled, in their menu items where they have one and
// in the routing, which also decides their toolbar buttons and accelerators.
void ExpectStates(CMainFrame &frame, const std::vector<int> &enabled,
                  const std::vector<int> &disabled)
{
    frame.UpdateCommandStates();
    for (const bool state : {true, false}) {
        for (const int command : state ? enabled : disabled) {
            SCOPED_TRACE(command);
            EXPECT_EQ(frame.IsCommandEnabled(command), state);
            if (const QAction *action = MenuAction(frame.menuBar(), command)) {
                EXPECT_EQ(action->isEnabled(), state);
            }
        }
    }
}

// The window list of the window menu as it opens, "* " marking the active window.
Lines WindowList(const QMenuBar *bar)
{
    QMenu *menu = MenuOf(bar, "窗口(&W)");
    if (menu == nullptr)
        return {"<no window menu>"};
    emit menu->aboutToShow();
    Lines entries;
    for (const QAction *action : menu->actions().mid(4))
        entries.push_back(action->isSeparator()
                              ? "-"
                              : (action->isChecked() ? "* " : "  ") + action->text().toStdString());
    return entries;
}

// An 8-bit gray image whose pixel (x, y), top-down, has the level Level(x, y).
int Level(int x, int y)
{
    return (x * 7 + y * 13) & 0xFF;
}

TestImages::Bytes PatternBmp(int width, int height)
{
    const std::size_t stride = TestImages::Stride8(width);
    TestImages::Bytes rows(stride * static_cast<std::size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            rows[static_cast<std::size_t>(height - 1 - y) * stride + static_cast<std::size_t>(x)]
                = static_cast<std::uint8_t>(Level(x, y));
    }
    return TestImages::MakeGray8Bmp(width, height, rows);
}

QString WritePattern(const QTemporaryDir &dir, const char *name, int width, int height)
{
    const QString path = dir.filePath(QString::fromUtf8(name));
    TestImages::WriteFile(path.toStdString(), PatternBmp(width, height));
    return path;
}

// The first pixel of `image` that is not the gray `level(x, y)`, as text; empty when all are.
template<typename Level> std::string FirstDifference(const QImage &image, Level level)
{
    if (image.isNull())
        return "no picture";
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int v = level(x, y);
            if ((image.pixel(x, y) & 0xFFFFFF) != (qRgb(v, v, v) & 0xFFFFFF)) {
                // A stream rather than string concatenation: g++ 12 at -O3 reports a false
                // -Wrestrict overlap for `"(" + std::to_string(...)`.
                std::ostringstream text;
                text << '(' << x << ", " << y << "): " << qRed(image.pixel(x, y)) << " instead of "
                     << v;
                return text.str();
            }
        }
    }
    return {};
}

void Activate(QWidget &window)
{
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

void FlushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The program as it starts, with an empty settings store.
class ShellTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QSettings(CRecentFileList::kOrganization, CRecentFileList::kApplication).clear();
        Start();
    }

    void Start(const QStringList &arguments = {"tonecraft"})
    {
        m_pApp = std::make_unique<CTonecraftApp>();
        ASSERT_TRUE(m_pApp->InitInstance(arguments));
        ASSERT_NE(m_pApp->MainFrame(), nullptr);
    }

    CMainFrame &Frame() const { return *m_pApp->MainFrame(); }
    QList<QMdiSubWindow *> Windows() const { return Frame().MdiArea()->subWindowList(); }
    QString Title() const { return Frame().windowTitle(); }
    // The title of the active window's document; empty when no window is open.
    QString Active() const
    {
        const CChildFrame *child = Frame().ActiveChild();
        return child != nullptr ? child->GetDocument()->GetTitle() : QString();
    }

    CRecordingUiServices m_ui;
    QTemporaryDir m_dir;
    std::unique_ptr<CTonecraftApp> m_pApp;
};

TEST_F(ShellTest, StartsWithoutDocumentEvenWithAFileOnTheCommandLine)
{
    const QString file = WritePattern(m_dir, "named.bmp", 4, 4);
    m_pApp.reset();
    Start({"tonecraft", file});
    EXPECT_TRUE(Frame().isVisible());
    EXPECT_TRUE(Windows().isEmpty());
    EXPECT_TRUE(m_pApp->findChildren<CTonecraftDoc *>().isEmpty());
    EXPECT_EQ(Frame().CurrentMenuId(), 128);
    EXPECT_EQ(Title(), "Tonecraft");
    EXPECT_TRUE(m_pApp->RecentFiles().Files().isEmpty());
}

// At start and again once the close command has taken the last window away.
TEST_F(ShellTest, MenuBarWithoutDocumentMatchesTheTable)
{
    for (const bool afterClose : {false, true}) {
        SCOPED_TRACE(afterClose ? "after the close command" : "at start");
        if (afterClose) {
            m_pApp->OnFileNew();
            ASSERT_TRUE(Frame().RouteCommand(57602));
            FlushDeletes();
            EXPECT_TRUE(Windows().isEmpty());
        }
        EXPECT_EQ(Frame().CurrentMenuId(), 128);
        EXPECT_EQ(Title(), "Tonecraft");
        ExpectLines(Describe(Frame().menuBar()), Describe(kMenuBar128));
        ExpectStates(Frame(), {57601, 57606, 57665, 59392, 59393, 57664, 57600},
                     {57616, 57603, 57607, 57643, 57635, 57634, 57637, 57648, 57680});
        EXPECT_FALSE(Frame().ToolBar()->widgetForAction(Frame().ActionFor(57603))->isEnabled());
        for (const int command : {59392, 59393}) {
            EXPECT_TRUE(MenuAction(Frame().menuBar(), command)->isCheckable());
            EXPECT_TRUE(MenuAction(Frame().menuBar(), command)->isChecked());
        }
    }
}

// The point operations are enabled with any image window; copy and paste need an image in the
// document or on the clipboard, which a new document and a fresh clipboard lack.
TEST_F(ShellTest, MenuBarWithDocumentMatchesTheTable)
{
    ASSERT_NE(m_pApp->OnFileNew(), nullptr);
    EXPECT_EQ(Frame().CurrentMenuId(), 129);
    ExpectLines(Describe(Frame().menuBar()), Describe(kMenuBar129));
    ExpectStates(Frame(), {57601, 57602, 57603, 57604, 32778, 57607, 57609, 57606,
                           57665, 59392, 59393, 57648, 57650, 57651, 57649, 57664,
                           57600, 32786, 32787, 32789, 32785, 32783, 32784, 32788},
                 {57616, 57643, 57635, 57634, 57637, 57680, 57681});
}

TEST_F(ShellTest, WindowMenuListsTheOpenWindowsAndActivatesThem)
{
    m_pApp->OnFileNew();
    m_pApp->OnFileNew();
    EXPECT_EQ(WindowList(Frame().menuBar()), (Lines{"-", "  &1 Tonecr1", "* &2 Tonecr2"}));

    QAction *first = MenuOf(Frame().menuBar(), "窗口(&W)")->actions().at(5);
    EXPECT_EQ(first->statusTip(), "激活该窗口");
    first->trigger();
    EXPECT_EQ(Active(), "Tonecr1");
    EXPECT_TRUE(Frame().ActiveChild()->isMaximized());
    EXPECT_EQ(WindowList(Frame().menuBar()), (Lines{"-", "* &1 Tonecr1", "  &2 Tonecr2"}));
}

// The windows of one document are told apart by number while there are several, and a file
// opened again brings its window to the front, maximised.
TEST_F(ShellTest, WindowsOfOneDocumentAreNumbered)
{
    const QString path = WritePattern(m_dir, "pal8.bmp", 4, 4);
    ASSERT_NE(m_pApp->OpenDocumentFile(path), nullptr);
    ASSERT_TRUE(Frame().RouteCommand(57648));
    m_pApp->OnFileNew();
    EXPECT_EQ(WindowList(Frame().menuBar()),
              (Lines{"-", "  &1 pal8.bmp:1", "  &2 pal8.bmp:2", "* &3 Tonecr1"}));

    for (QMdiSubWindow *window : Windows())
        window->showNormal();
    ASSERT_NE(m_pApp->OpenDocumentFile(path), nullptr);
    EXPECT_EQ(Frame().ActiveChild(), Windows()[0]);
    EXPECT_TRUE(Windows()[0]->isMaximized());
    EXPECT_EQ(Title(), "Tonecraft - [pal8.bmp:1]");

    Windows()[0]->close();
    FlushDeletes();
    EXPECT_EQ(WindowList(Frame().menuBar()), (Lines{"-", "* &1 pal8.bmp", "  &2 Tonecr1"}));

    // Closing a window in the background renames the others as well.
    ASSERT_TRUE(Frame().RouteCommand(57648));
    Frame().MdiArea()->setActiveSubWindow(Windows()[1]);
    Windows()[2]->close();
    FlushDeletes();
    EXPECT_EQ(WindowList(Frame().menuBar()), (Lines{"-", "  &1 pal8.bmp", "* &2 Tonecr1"}));
}

// Arrange icons lines the minimised windows up along the bottom of the area, side by side.
TEST_F(ShellTest, ArrangeIconsLinesUpTheMinimisedWindows)
{
    for (int i = 0; i < 3; ++i)
        m_pApp->OnFileNew();
    Frame().resize(800, 600);
    Frame().MdiArea()->setActiveSubWindow(Windows()[2]);
    Windows()[2]->showNormal();
    Windows()[0]->showMinimized();
    Windows()[1]->showMinimized();
    Windows()[0]->move(200, 100);
    Windows()[1]->move(250, 130);
    const QPoint normal = Windows()[2]->pos();
    ASSERT_TRUE(Frame().RouteCommand(57649));

    const QRect area = Frame().MdiArea()->viewport()->rect();
    const QRect first = Windows()[0]->geometry();
    const QRect second = Windows()[1]->geometry();
    EXPECT_EQ(first.bottomLeft(), area.bottomLeft());
    EXPECT_EQ(second.topLeft(), first.topRight() + QPoint(1, 0));
    EXPECT_EQ(Windows()[2]->pos(), normal);
}

// Every switch of windows rebuilds the menu bar; the menus it replaces must go.
TEST_F(ShellTest, RebuildingTheMenuBarLeavesNoOldMenusBehind)
{
    m_pApp->OnFileNew();
    FlushDeletes();
    const qsizetype menus = Frame().menuBar()->findChildren<QMenu *>().size();
    for (int i = 0; i < 5; ++i)
        Frame().RefreshMenus();
    FlushDeletes();
    EXPECT_EQ(Frame().menuBar()->findChildren<QMenu *>().size(), menus);
}

// Windows in the background may be restored; each one is maximised when it comes to the front.
TEST_F(ShellTest, ChildWindowsOpenMaximisedAlsoForANewWindow)
{
    CTonecraftDoc *document = m_pApp->OnFileNew();
    ASSERT_EQ(Windows().size(), 1);
    EXPECT_TRUE(Windows()[0]->isMaximized());

    ASSERT_TRUE(Frame().RouteCommand(57648));
    ASSERT_EQ(Windows().size(), 2);
    EXPECT_EQ(Frame().ActiveChild(), Windows()[1]);
    for (QMdiSubWindow *window : {Windows()[1], Windows()[0]}) {
        Frame().MdiArea()->setActiveSubWindow(window);
        EXPECT_TRUE(window->isMaximized());
        EXPECT_EQ(qobject_cast<CChildFrame *>(window)->GetDocument(), document);
    }

    // Closing one window keeps the document; closing the last one closes it.
    Windows()[1]->close();
    FlushDeletes();
    ASSERT_EQ(Windows().size(), 1);
    EXPECT_EQ(Frame().CurrentMenuId(), 129);
    Windows()[0]->close();
    FlushDeletes();
    EXPECT_TRUE(Windows().isEmpty());
    EXPECT_TRUE(m_pApp->findChildren<CTonecraftDoc *>().isEmpty());
    EXPECT_EQ(Frame().CurrentMenuId(), 128);
}

TEST_F(ShellTest, MainTitleAddsTheActiveDocumentsTitleOnce)
{
    // Maximised, as image windows open, the document's title shows in brackets.
    m_pApp->OnFileNew();
    EXPECT_EQ(Title(), "Tonecraft - [Tonecr1]");
    m_pApp->OnFileNew();
    EXPECT_EQ(Title(), "Tonecraft - [Tonecr2]");
    // A second window on it is told apart by number.
    ASSERT_TRUE(Frame().RouteCommand(57648));
    EXPECT_EQ(Title(), "Tonecraft - [Tonecr2:2]");
    // Side by side, it follows a dash.
    ASSERT_TRUE(Frame().RouteCommand(57651));
    EXPECT_EQ(Title(), "Tonecraft - Tonecr2:2");
    ASSERT_TRUE(m_pApp->CloseAllDocuments());
    FlushDeletes();
    EXPECT_EQ(Title(), "Tonecraft");
}

// The frame used to run its own handlers on a half-destroyed object when it went with
// windows still open.
TEST_F(ShellTest, EndingWithWindowsOpenIsClean)
{
    m_pApp->OnFileNew();
    m_pApp->OnFileNew();
    ASSERT_TRUE(Frame().RouteCommand(57648));
    m_pApp.reset();
}

// --- Accelerators ----------------------------------------------------------------------------

// Stands for the application behind a main frame: takes every command it is asked about and
// records the ones that run.
class CRecordingTarget : public CCmdTarget
{
public:
    bool OnUpdateCommand(int command, bool &enabled) const override
    {
        enabled = disabled.count(command) == 0;
        return true;
    }
    bool OnCommand(int command) override
    {
        commands.push_back(command);
        return true;
    }
    std::set<int> disabled;
    std::vector<int> commands;
};

struct Accelerator
{
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int command;
};
const Accelerator kAccelerators[] = {
    {Qt::Key_N, Qt::ControlModifier, 57600},      {Qt::Key_O, Qt::ControlModifier, 57601},
    {Qt::Key_S, Qt::ControlModifier, 57603},      {Qt::Key_P, Qt::ControlModifier, 57607},
    {Qt::Key_Z, Qt::ControlModifier, 57643},      {Qt::Key_X, Qt::ControlModifier, 57635},
    {Qt::Key_C, Qt::ControlModifier, 57634},      {Qt::Key_V, Qt::ControlModifier, 57637},
    {Qt::Key_Backspace, Qt::AltModifier, 57643},  {Qt::Key_Delete, Qt::ShiftModifier, 57635},
    {Qt::Key_Insert, Qt::ControlModifier, 57634}, {Qt::Key_Insert, Qt::ShiftModifier, 57637},
    {Qt::Key_F6, Qt::NoModifier, 57680},          {Qt::Key_F6, Qt::ShiftModifier, 57681},
};

TEST(Accelerators, TableIsExactlyTheFourteenKeys)
{
    CRecordingTarget application;
    CMainFrame frame(&application);
    ASSERT_EQ(frame.OnCreate(), 0);
    Activate(frame);

    std::multiset<std::string> expected;
    for (const Accelerator &a : kAccelerators)
        expected.insert(QKeySequence(a.modifiers | a.key).toString().toStdString());
    std::multiset<std::string> keys;
    for (const QShortcut *shortcut : frame.findChildren<QShortcut *>())
        keys.insert(shortcut->key().toString().toStdString());
    EXPECT_EQ(keys, expected);

    for (const Accelerator &a : kAccelerators) {
        SCOPED_TRACE(QKeySequence(a.modifiers | a.key).toString().toStdString());
        application.commands.clear();
        QTest::keyClick(&frame, a.key, a.modifiers);
        EXPECT_EQ(application.commands, std::vector<int>{a.command});
    }

    application.commands.clear();
    application.disabled = {57600, 57637};
    for (const Accelerator &a : {kAccelerators[0], kAccelerators[7], kAccelerators[11]}) {
        QTest::keyClick(&frame, a.key, a.modifiers);
        EXPECT_TRUE(application.commands.empty()) << a.command;
    }
}

TEST_F(ShellTest, AcceleratorsRunTheProgramsCommands)
{
    Activate(Frame());
    QTest::keyClick(&Frame(), Qt::Key_S, Qt::ControlModifier); // no document: nothing to save
    EXPECT_TRUE(Windows().isEmpty());

    QTest::keyClick(&Frame(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(Active(), "Tonecr1");
    QTest::keyClick(&Frame(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(Active(), "Tonecr2");
    EXPECT_EQ(Windows().size(), 2);

    m_ui.fileAnswers.push_back(WritePattern(m_dir, "picked.bmp", 3, 2));
    QTest::keyClick(&Frame(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(Active(), "picked.bmp");
    EXPECT_TRUE(m_ui.fileAnswers.empty());

    // The reload item shows Ctrl+R, but the key neither reloads nor asks; undo, cut and the
    // pane keys do nothing either.
    Frame().ActiveChild()->GetDocument()->SetModifiedFlag(true);
    m_ui.Clear();
    for (const Accelerator &a : {Accelerator{Qt::Key_R, Qt::ControlModifier, 0}, kAccelerators[4],
                                 kAccelerators[5], kAccelerators[12], kAccelerators[13]})
        QTest::keyClick(&Frame(), a.key, a.modifiers);
    EXPECT_TRUE(m_ui.messages.empty());
    EXPECT_TRUE(Frame().ActiveChild()->GetDocument()->IsModified());
    EXPECT_EQ(Windows().size(), 3);
    Frame().ActiveChild()->GetDocument()->SetModifiedFlag(false);
}

// --- Toolbar and status bar ------------------------------------------------------------------

TEST_F(ShellTest, ToolbarHoldsTheButtonsInOrderWithTheirTips)
{
    const QToolBar *toolbar = Frame().ToolBar();
    std::vector<int> layout;
    for (const QAction *action : toolbar->actions())
        layout.push_back(action->isSeparator() ? 0 : action->data().toInt());
    EXPECT_EQ(layout,
              (std::vector<int>{57600, 57601, 57603, 0, 57635, 57634, 57637, 0, 57607, 0, 57664}));
    EXPECT_EQ(Frame().toolBarArea(Frame().ToolBar()), Qt::TopToolBarArea);

    struct Button
    {
        const char *prompt;
        const char *tip;
    };
    // clang-format off
    const Button buttons[] = {
        {"建立新文档", "新建"}, {"打开一个现有文档", "打开"}, {"保存活动文档", "保存"},
        {"剪切被选对象并将其置于剪贴板上", "剪切"}, {"复制被选对象并将其置于剪贴板上", "复制"},
        {"插入剪贴板内容", "粘贴"}, {"打印活动文档", "打印"}, {"显示程序信息，版本号和版权", "关于"},
    };
    // clang-format on
    std::vector<QImage> images;
    for (QAction *action : toolbar->actions()) {
        if (action->isSeparator() || images.size() == std::size(buttons))
            continue;
        const Button &button = buttons[images.size()];
        SCOPED_TRACE(action->data().toInt());
        EXPECT_EQ(action->statusTip(), QString::fromUtf8(button.prompt));
        EXPECT_EQ(action->toolTip(), QString::fromUtf8(button.tip));
        EXPECT_EQ(action->icon().availableSizes(), QList<QSize>{QSize(16, 15)});
        images.push_back(action->icon().pixmap(QSize(16, 15)).toImage());
    }
    for (std::size_t i = 0; i < images.size(); ++i) {
        for (std::size_t j = i + 1; j < images.size(); ++j)
            EXPECT_NE(images[i], images[j]) << "buttons " << i << " and " << j << " look the same";
    }
    EXPECT_EQ(images.size(), 8u);

    // With a document: the file, print and about buttons work, the edit buttons are gray.
    m_pApp->OnFileNew();
    Frame().UpdateCommandStates();
    for (QAction *action : toolbar->actions()) {
        if (action->isSeparator())
            continue;
        const int command = action->data().toInt();
        const bool edit = command == 57635 || command == 57634 || command == 57637;
        EXPECT_EQ(toolbar->widgetForAction(action)->isEnabled(), !edit) << command;
    }
}

TEST_F(ShellTest, FirstToolbarButtonMakesANewDocument)
{
    QToolBar *toolbar = Frame().ToolBar();
    QWidget *button = toolbar->widgetForAction(toolbar->actions().at(0));
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(Windows().size(), 2);
    EXPECT_EQ(Active(), "Tonecr2");
    EXPECT_EQ(Frame().ActiveChild()->GetDocument()->GetImageSize(), QSize(1, 1));
    EXPECT_TRUE(Frame().ActiveChild()->GetDocument()->GetImageBlock().IsNull());
}

TEST_F(ShellTest, StatusBarShowsReadyIndicatorsAndPrompts)
{
    QStatusBar *status = Frame().StatusBar();
    EXPECT_EQ(status->currentMessage(), "就绪");
    QStringList indicators;
    for (const QLabel *label : status->findChildren<QLabel *>()) {
        if (!label->text().isEmpty())
            indicators.append(label->text());
    }
    EXPECT_EQ(indicators, (QStringList{"大写", "数字", "滚动"}));

    // Pointing at an item shows its prompt; leaving it brings "就绪" back.
    QStatusTipEvent enter(Frame().ActionFor(57601)->statusTip());
    QCoreApplication::sendEvent(&Frame(), &enter);
    EXPECT_EQ(status->currentMessage(), "打开一个现有文档");
    QStatusTipEvent leave{QString()};
    QCoreApplication::sendEvent(&Frame(), &leave);
    EXPECT_EQ(status->currentMessage(), "就绪");
}

TEST_F(ShellTest, ViewCommandsHideAndShowToolbarAndStatusBar)
{
    const std::map<int, QWidget *> bars
        = {{59392, Frame().ToolBar()}, {59393, Frame().StatusBar()}};
    for (const auto &[command, bar] : bars) {
        SCOPED_TRACE(command);
        QAction *item = MenuAction(Frame().menuBar(), command);
        ASSERT_NE(item, nullptr);
        item->trigger();
        EXPECT_FALSE(bar->isVisible());
        EXPECT_FALSE(item->isChecked());
        item->trigger();
        EXPECT_TRUE(bar->isVisible());
        EXPECT_TRUE(item->isChecked());
    }
    EXPECT_EQ(Frame().toolBarArea(Frame().ToolBar()), Qt::TopToolBarArea);
    EXPECT_EQ(Frame().StatusBar()->currentMessage(), "就绪");
}

// --- About and the application's dialogs -----------------------------------------------------

TEST(AboutDlg, ShowsNameVersionIconAndOkInFull)
{
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), "关于 Tonecraft");
    EXPECT_EQ(about.parent(), nullptr);
    QStringList texts;
    bool icon = false;
    for (const QLabel *label : about.findChildren<QLabel *>()) {
        texts.append(label->text());
        icon = icon || !label->pixmap().isNull();
        EXPECT_LE(label->sizeHint().width(), label->width())
            << "cut off: " << label->text().toStdString();
        EXPECT_LE(label->geometry().right(), about.width());
    }
    EXPECT_TRUE(texts.contains("Tonecraft 1.0 版"));
    EXPECT_TRUE(icon);
    const QList<QPushButton *> buttons = about.findChildren<QPushButton *>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0]->text(), "确定");
    EXPECT_TRUE(buttons[0]->isDefault());
    QTest::mouseClick(buttons[0], Qt::LeftButton);
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST_F(ShellTest, AboutAndPrintSetupRunTheirDialogs)
{
    m_ui.runModal = [](QDialog &dialog) {
        EXPECT_FALSE(dialog.isVisible());
        return DialogResult::kCancel;
    };
    ASSERT_TRUE(Frame().RouteCommand(57664));
    ASSERT_TRUE(Frame().RouteCommand(57606));
    EXPECT_EQ(m_ui.dialogs, (std::vector<std::string>{"CAboutDlg", "QPrintDialog"}));
}

// --- Recent files ----------------------------------------------------------------------------

TEST_F(ShellTest, RecentFilesSurviveARestartAndReopen)
{
    const QString first = WritePattern(m_dir, "first.bmp", 3, 3);
    const QString second = WritePattern(m_dir, "second.bmp", 5, 2);
    ASSERT_NE(m_pApp->OpenDocumentFile(first), nullptr);
    ASSERT_NE(m_pApp->OpenDocumentFile(second), nullptr);
    m_pApp.reset();

    Start();
    EXPECT_EQ(m_pApp->RecentFiles().Files(), (QStringList{second, first}));
    Lines expected = Describe(kMenuBar128);
    const auto at
        = std::find(expected.begin(), expected.end(), Line("最近文件", 57616, "打开该文档"));
    ASSERT_NE(at, expected.end());
    *at = Line("&1 second.bmp", 57616, "打开该文档");
    expected.insert(at + 1, Line("&2 first.bmp", 57617, "打开该文档"));
    ExpectLines(Describe(Frame().menuBar()), expected);

    QAction *entry = MenuAction(Frame().menuBar(), 57617);
    Frame().UpdateCommandStates();
    ASSERT_TRUE(entry->isEnabled());
    entry->trigger();
    EXPECT_EQ(Active(), "first.bmp");
    EXPECT_EQ(Frame().ActiveChild()->GetDocument()->GetImageSize(), QSize(3, 3));
    EXPECT_EQ(m_pApp->RecentFiles().Files(), (QStringList{first, second}));
    EXPECT_EQ(MenuAction(Frame().menuBar(), 57616)->text(), "&1 first.bmp");
}

// Save as changes the list: the menu and the store follow at once, and each entry opens the
// file it names.
TEST_F(ShellTest, SaveAsUpdatesTheRecentFilesAtOnce)
{
    const QString first = WritePattern(m_dir, "first.bmp", 3, 3);
    const QString copy = m_dir.filePath("copy.bmp");
    ASSERT_NE(m_pApp->OpenDocumentFile(WritePattern(m_dir, "other.bmp", 2, 2)), nullptr);
    ASSERT_NE(m_pApp->OpenDocumentFile(first), nullptr);
    m_ui.fileAnswers = {copy};
    ASSERT_TRUE(Frame().RouteCommand(57604));

    EXPECT_EQ(MenuAction(Frame().menuBar(), 57616)->text(), "&1 copy.bmp");
    EXPECT_EQ(MenuAction(Frame().menuBar(), 57617)->text(), "&2 first.bmp");
    QSettings store(CRecentFileList::kOrganization, CRecentFileList::kApplication);
    EXPECT_EQ(store.value("Recent File List/File1").toString(), copy);

    MenuAction(Frame().menuBar(), 57617)->trigger();
    EXPECT_EQ(Active(), "first.bmp");
    EXPECT_EQ(Frame().ActiveChild()->GetDocument()->GetPathName(), first);
}

// A recent file that no longer opens is reported, leaves the list and leaves no document.
TEST_F(ShellTest, RecentFileThatNoLongerOpensLeavesTheList)
{
    const QString gone = WritePattern(m_dir, "gone.bmp", 2, 2);
    ASSERT_NE(m_pApp->OpenDocumentFile(gone), nullptr);
    ASSERT_TRUE(m_pApp->CloseAllDocuments());
    FlushDeletes();
    ASSERT_TRUE(QDir().remove(gone));
    m_ui.Clear();
    ASSERT_TRUE(Frame().RouteCommand(57616));
    FlushDeletes();
    EXPECT_EQ(m_ui.messages.size(), 1u);
    EXPECT_TRUE(m_pApp->RecentFiles().Files().isEmpty());
    EXPECT_TRUE(m_pApp->findChildren<CTonecraftDoc *>().isEmpty());
    EXPECT_TRUE(Windows().isEmpty());
}

// --- The view on screen ----------------------------------------------------------------------

class ViewPaintTest : public ::testing::Test
{
protected:
    // A shown view on an image of `width` x `height`, its viewport resized to `viewport`.
    void Show(int width, int height, QSize viewport)
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(m_doc.OpenImageFile(WritePattern(m_dir, "view.bmp", width, height)));
        m_pView = std::make_unique<CTonecraftView>(&m_doc);
        m_pView->resize(viewport);
        m_pView->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pView.get()));
        for (int i = 0; i < 3 && m_pView->viewport()->size() != viewport; ++i)
            m_pView->resize(m_pView->size() + viewport - m_pView->viewport()->size());
        ASSERT_EQ(m_pView->viewport()->size(), viewport);
    }

    // What the viewport paints now, and what the screen shows of it after the pending
    // (partial) repaints.
    QImage Grab() const { return m_pView->viewport()->grab().toImage(); }
    QImage OnScreen() const
    {
        QCoreApplication::processEvents();
        const QPoint at = m_pView->viewport()->mapTo(m_pView.get(), QPoint(0, 0));
        return m_pView->screen()
            ->grabWindow(m_pView->winId(), at.x(), at.y(), m_pView->viewport()->width(),
                         m_pView->viewport()->height())
            .toImage();
    }

    CRecordingUiServices m_ui;
    QTemporaryDir m_dir;
    CTonecraftDoc m_doc;
    std::unique_ptr<CTonecraftView> m_pView;
};

TEST_F(ViewPaintTest, SmallImageSitsTopLeftOnGray)
{
    Show(100, 50, QSize(400, 300));
    EXPECT_FALSE(m_pView->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(m_pView->verticalScrollBar()->isVisible());
    const QImage image = Grab();
    ASSERT_EQ(image.size(), QSize(400, 300));
    const auto expected = [](int x, int y) { return x < 100 && y < 50 ? Level(x, y) : 128; };
    EXPECT_EQ(FirstDifference(image, expected), "");
    EXPECT_EQ(FirstDifference(OnScreen(), expected), "");

    // Without an image only the gray remains.
    m_doc.ReplaceImageBlock(DibHandle());
    EXPECT_EQ(FirstDifference(Grab(), [](int, int) { return 128; }), "");
}

TEST_F(ViewPaintTest, ScrolledImageShowsTheScrolledToPixelTopLeft)
{
    Show(640, 480, QSize(300, 200));
    QScrollBar *horizontal = m_pView->horizontalScrollBar();
    QScrollBar *vertical = m_pView->verticalScrollBar();
    EXPECT_EQ(horizontal->minimum(), 0);
    EXPECT_EQ(horizontal->maximum() + horizontal->pageStep(), 640);
    EXPECT_EQ(vertical->minimum(), 0);
    EXPECT_EQ(vertical->maximum() + vertical->pageStep(), 480);

    for (const QPoint scroll : {QPoint(100, 50), QPoint(340, 280), QPoint(0, 0), QPoint(7, 3)}) {
        SCOPED_TRACE(scroll.x());
        horizontal->setValue(scroll.x());
        vertical->setValue(scroll.y());
        const auto expected
            = [scroll](int x, int y) { return Level(x + scroll.x(), y + scroll.y()); };
        EXPECT_EQ(FirstDifference(Grab(), expected), "");
        EXPECT_EQ(FirstDifference(OnScreen(), expected), "");
    }

    // Any resize takes the extent from the document's image as it is now; a reload at once.
    ASSERT_TRUE(m_doc.OpenImageFile(WritePattern(m_dir, "wider.bmp", 900, 100)));
    m_pView->resize(m_pView->size() + QSize(10, 0));
    EXPECT_EQ(horizontal->maximum() + horizontal->pageStep(), 900);
    EXPECT_EQ(vertical->maximum(), 0);
    WritePattern(m_dir, "wider.bmp", 500, 700);
    m_doc.OnCmdReload();
    EXPECT_EQ(horizontal->maximum() + horizontal->pageStep(), 500);
    EXPECT_EQ(vertical->maximum() + vertical->pageStep(), 700);

    // A line step is 20 pixels, a page step the visible size.
    EXPECT_EQ(horizontal->singleStep(), 20);
    EXPECT_EQ(vertical->singleStep(), 20);
    EXPECT_EQ(horizontal->pageStep(), m_pView->viewport()->width());
    EXPECT_EQ(vertical->pageStep(), m_pView->viewport()->height());
}

} // namespace
