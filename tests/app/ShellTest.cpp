#include "AppTestSupport.h"
#include "ChildFrm.h"
#include "CmdTarget.h"
#include "CommandIds.h"
#include "MainFrm.h"
#include "RecentFileList.h"
#include "StandardCommandIds.h"
#include "TestImages.h"
#include "Tonecraft.h"
#include "TonecraftDoc.h"
#include "TonecraftView.h"

using namespace CommandId;

namespace {

// Each menu as "title{text command prompt|-|...}", a tab shown as \t.
std::string Describe(const QMenuBar *bar)
{
    QString text;
    for (const QAction *popup : bar->actions()) {
        text += popup->text() + "{";
        for (const QAction *a : popup->menu()->actions())
            text += a->isSeparator()
                ? QString("-|")
                : QString("%1 %2 %3|").arg(a->text()).arg(a->data().toInt()).arg(a->statusTip());
        text += "}";
    }
    return text.replace('\t', "\\t").toStdString();
}

std::string Unwrapped(std::string text)
{
    std::erase(text, '\n');
    return text;
}

// The commands' states in the routing, which drives menu items, toolbar and keys alike.
void ExpectStates(CMainFrame &frame, const std::vector<int> &enabled,
                  const std::vector<int> &disabled)
{
    frame.UpdateCommandStates();
    for (const bool state : {true, false}) {
        for (const int command : state ? enabled : disabled) {
            EXPECT_EQ(frame.IsCommandEnabled(command), state) << command;
            const QAction *item = frame.ActionFor(command);
            EXPECT_TRUE(item->associatedObjects().isEmpty() || item->isEnabled() == state)
                << command;
        }
    }
}

// The window list of the window menu as it opens, "*" marking the active window.
std::string WindowList(const QMenuBar *bar)
{
    QMenu *menu = bar->actions().value(4)->menu();
    emit menu->aboutToShow();
    std::string entries;
    for (const QAction *a : menu->actions().mid(4))
        entries
            += a->isSeparator() ? "-" : (a->isChecked() ? " * " : " ") + a->text().toStdString();
    return entries;
}

const auto FlushDeletes
    = [] { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); };
constexpr auto Level = [](int x, int y) { return (x * 7 + y * 13) & 0xFF; };

// An 8-bit gray BMP whose pixel (x, y), top-down, is Level(x, y).
QString WritePattern(const QTemporaryDir &dir, const char *name, int width, int height)
{
    const std::size_t stride = TestImages::Stride8(width);
    TestImages::Bytes rows(stride * height);
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<std::uint8_t>(
            Level(static_cast<int>(i % stride), height - 1 - static_cast<int>(i / stride)));
    const QString path = dir.filePath(name);
    TestImages::WriteFile(path.toStdString(), TestImages::MakeGray8Bmp(width, height, rows));
    return path;
}

// The program as it starts, with an empty settings store.
class ShellTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QSettings(CRecentFileList::kOrganization, CRecentFileList::kApplication).clear();
        Start();
    }
    void Start(const QStringList &arguments = {"tonecraft"})
    {
        m_pApp = std::make_unique<CTonecraftApp>();
        ASSERT_TRUE(m_pApp->InitInstance(arguments));
    }

    CMainFrame &Frame() const { return *m_pApp->MainFrame(); }
    QMenuBar *Bar() const { return Frame().menuBar(); }
    QList<QMdiSubWindow *> Windows() const { return Frame().MdiArea()->subWindowList(); }
    qsizetype Documents() const { return m_pApp->findChildren<CTonecraftDoc *>().size(); }

    CRecordingUiServices m_ui;
    QTemporaryDir m_dir;
    std::unique_ptr<CTonecraftApp> m_pApp;
};

// Also with a file named on the command line, and after the last window has closed.
TEST_F(ShellTest, MenuBarWithoutDocument)
{
    EXPECT_EQ(QLocale().name(), "zh_CN");
    m_pApp.reset();
    Start({"tonecraft", WritePattern(m_dir, "named.bmp", 4, 4)});
    for (const bool afterClose : {false, true}) {
        if (afterClose) {
            m_pApp->OnFileNew();
            ASSERT_TRUE(Frame().RouteCommand(kFileClose));
            FlushDeletes();
        }
        EXPECT_EQ(Documents(), 0);
        EXPECT_EQ(Frame().windowTitle(), "Tonecraft");
        EXPECT_EQ(Frame().StatusBar()->currentMessage(), "就绪");
        EXPECT_EQ(Describe(Bar()),
                  Unwrapped(R"(文件(&F){打开(&O)...\tCtrl+O 57601 打开一个现有文档|-|
打印设置(&R)... 57606 改变打印机及打印选项|-|最近文件 57616 打开该文档|-|
退出(&X) 57665 退出应用程序；提示保存文档|}查看(&V){工具栏(&T) 59392 显示或隐藏工具栏|
状态栏(&S) 59393 显示或隐藏状态栏|}帮助(&H){关于 Tonecraft(&A)... 57664 显示程序信息，版本号和版权|})"));
        ExpectStates(Frame(),
                     {kFileOpen, kFilePrintSetup, kAppExit, kViewToolbar, kViewStatusBar, kAppAbout,
                      kFileNew},
                     {kFileMru1, kFileSave, kFilePrint, kEditUndo, kEditCut, kEditCopy, kEditPaste,
                      kWindowNew, kNextPane});
    }
}

// Copy and paste need an image, which a new document and a fresh clipboard lack.
TEST_F(ShellTest, MenuBarWithDocument)
{
    ASSERT_NE(m_pApp->OnFileNew(), nullptr);
    EXPECT_EQ(Describe(Bar()), Unwrapped(R"(文件(&F){打开(&O)...\tCtrl+O 57601 打开一个现有文档|
关闭(&C) 57602 关闭活动文档|保存(&S)\tCtrl+S 57603 保存活动文档|
另存为(&A)... 57604 将活动文档以一个新文件名保存|重新加载(&R)\tCtrl+R 32778 重新加载图像，放弃修改|-|
打印(&P)...\tCtrl+P 57607 打印活动文档|打印预览(&V) 57609 显示整页|
打印设置(&R)... 57606 改变打印机及打印选项|-|最近文件 57616 打开该文档|-|
退出(&X) 57665 退出应用程序；提示保存文档|}编辑(&E){撤消(&U)\tCtrl+Z 57643 撤消最后一步操作|-|
剪切(&T)\tCtrl+X 57635 剪切被选对象并将其置于剪贴板上|复制(&C)\tCtrl+C 57634 复制被选对象并将其置于剪贴板上|
粘贴(&P)\tCtrl+V 57637 插入剪贴板内容|}点运算(&P){图像反色(&I) 32786 |线性变换(&L)... 32787 |-|
阈值变换(&T)... 32789 |窗口变换(&W)... 32785 |灰度拉伸(&S)... 32783 |-|灰度均衡(&U) 32784 |}
查看(&V){直方图(I)... 32788 |-|工具栏(&T) 59392 显示或隐藏工具栏|状态栏(&S) 59393 显示或隐藏状态栏|}
窗口(&W){新建窗口(&N) 57648 为活动文档打开另一个窗口|层叠(&C) 57650 排列窗口成相互重叠|
平铺(&T) 57651 排列窗口成互不重叠|排列图标(&A) 57649 将图标排列在窗口底部|}
帮助(&H){关于 Tonecraft(&A)... 57664 显示程序信息，版本号和版权|})"));
    ExpectStates(Frame(),
                 {kFileOpen,        kFileClose,        kFileSave,       kFileSaveAs, kReload,
                  kFilePrint,       kFilePrintPreview, kFilePrintSetup, kAppExit,    kViewToolbar,
                  kViewStatusBar,   kWindowNew,        kWindowCascade,  kWindowTile, kWindowArrange,
                  kAppAbout,        kFileNew,          kInvert,         kLinear,     kThreshold,
                  kWindowTransform, kGrayStretch,      kEqualize,       kHistogram},
                 {kFileMru1, kEditUndo, kEditCut, kEditCopy, kEditPaste, kNextPane, kPrevPane});
}

// Windows open maximised; those of one document are numbered, renumbered as they close.
TEST_F(ShellTest, WindowsAreListedNumberedAndTitled)
{
    const QString path = WritePattern(m_dir, "pal8.bmp", 4, 4);
    ASSERT_NE(m_pApp->OpenDocumentFile(path), nullptr);
    EXPECT_EQ(Frame().windowTitle(), "Tonecraft - [pal8.bmp]");
    ASSERT_TRUE(Frame().RouteCommand(kWindowNew));
    EXPECT_EQ(Frame().windowTitle(), "Tonecraft - [pal8.bmp:2]");
    EXPECT_EQ(Frame().ActiveChild(), Windows()[1]);
    EXPECT_TRUE(Windows()[1]->isMaximized());
    m_pApp->OnFileNew();
    EXPECT_EQ(WindowList(Bar()), "- &1 pal8.bmp:1 &2 pal8.bmp:2 * &3 Tonecr1");
    EXPECT_EQ(Bar()->actions()[4]->menu()->actions().at(5)->statusTip(), "激活该窗口");
    Bar()->actions()[4]->menu()->actions().at(5)->trigger();
    EXPECT_EQ(WindowList(Bar()), "- * &1 pal8.bmp:1 &2 pal8.bmp:2 &3 Tonecr1");

    ASSERT_TRUE(Frame().RouteCommand(kWindowTile)); // tiled: no longer maximised
    EXPECT_EQ(Frame().windowTitle(), "Tonecraft - pal8.bmp:1");

    Windows()[0]->close();
    FlushDeletes();
    EXPECT_EQ(WindowList(Bar()), "- * &1 pal8.bmp &2 Tonecr1");
    ASSERT_TRUE(Frame().RouteCommand(kWindowNew));
    Frame().MdiArea()->setActiveSubWindow(Windows()[1]);
    Windows()[2]->close();
    FlushDeletes();
    EXPECT_EQ(WindowList(Bar()), "- &1 pal8.bmp * &2 Tonecr1");
    EXPECT_EQ(Documents(), 2);
    Windows()[0]->close();
    FlushDeletes();
    EXPECT_EQ(Documents(), 1);
    m_pApp.reset(); // with a window still open
}

// Closing asks once about changes; the window stays when the answer or the save fails. Save
// as starts from the document's title when it has no file.
TEST_F(ShellTest, ClosingAsksOnceAndStaysWhenTheSaveFails)
{
    struct Case
    {
        int command, answer;
        bool untitled, closes; // untitled: a save asks for a name, and is cancelled
    };
    const Case cases[] = {
        {kFileClose, DialogResult::kNo, false, true},
        {kFileClose, DialogResult::kCancel, false, false},
        {kFileClose, DialogResult::kYes, false, true},
        {kFileClose, DialogResult::kYes, true, false},
        {kAppExit, DialogResult::kNo, false, true},
    };
    for (const auto &[command, answer, untitled, closes] : cases) {
        SCOPED_TRACE(::testing::Message() << command << " " << answer << " " << untitled);
        CTonecraftDoc *document = untitled
            ? m_pApp->OnFileNew()
            : m_pApp->OpenDocumentFile(WritePattern(m_dir, "kept.bmp", 2, 2));
        document->SetModifiedFlag(true);
        m_ui.Clear();
        m_ui.answers = {answer};
        m_ui.fileAnswers = {QString()};
        ASSERT_TRUE(Frame().RouteCommand(command));
        if (command == kAppExit)
            Frame().close(); // as quitting closes the windows, before the documents are gone
        FlushDeletes();
        EXPECT_EQ(m_ui.messages.size(), 1u);
        EXPECT_EQ(Documents(), closes ? 0 : 1);
        EXPECT_EQ(Windows().size(), closes ? 0 : 1);
        EXPECT_EQ(m_ui.fileAnswers.empty(), untitled);
        EXPECT_EQ(m_ui.saveSuggestions, std::vector<QString>(untitled ? 1 : 0, "Tonecr1"));
        if (!closes) {
            document->SetModifiedFlag(false);
            ASSERT_TRUE(m_pApp->CloseAllDocuments());
            FlushDeletes();
        }
    }
}

// Stands for the application behind a main frame: takes every command and records it.
class CRecordingTarget : public CCmdTarget
{
public:
    bool OnUpdateCommand(int, bool &enabled) const override { return enabled = true; }
    bool OnCommand(int command) override { return commands.push_back(command), true; }
    std::vector<int> commands;
};

TEST(Accelerators, ExactlyTheFourteenKeysRunTheirCommands)
{
    const std::map<std::string, int> keys = {
        {"Ctrl+N", kFileNew},    {"Ctrl+O", kFileOpen},   {"Ctrl+S", kFileSave},
        {"Ctrl+P", kFilePrint},  {"Ctrl+Z", kEditUndo},   {"Ctrl+X", kEditCut},
        {"Ctrl+C", kEditCopy},   {"Ctrl+V", kEditPaste},  {"Alt+Backspace", kEditUndo},
        {"Shift+Del", kEditCut}, {"Ctrl+Ins", kEditCopy}, {"Shift+Ins", kEditPaste},
        {"F6", kNextPane},       {"Shift+F6", kPrevPane},
    };
    CRecordingTarget application;
    CMainFrame frame(&application);
    ASSERT_EQ(frame.OnCreate(), 0);
    frame.show();
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    std::map<std::string, int> bound;
    for (const QShortcut *shortcut : frame.findChildren<QShortcut *>())
        bound[shortcut->key().toString().toStdString()] += 1;
    EXPECT_EQ(bound.size(), keys.size());
    for (const auto &[key, command] : keys) {
        application.commands.clear();
        const QKeyCombination combination = QKeySequence(QString::fromStdString(key))[0];
        QTest::keyClick(&frame, combination.key(), combination.keyboardModifiers());
        EXPECT_EQ(application.commands, std::vector<int>{command}) << key;
        EXPECT_EQ(bound[key], 1) << key;
    }
}

// Reopening and save as reorder the list at once; an entry that no longer opens leaves it.
TEST_F(ShellTest, RecentFilesSurviveARestartAndFollowTheFiles)
{
    for (const char *name : {"a.bmp", "b.bmp", "first.bmp", "second.bmp"})
        ASSERT_NE(m_pApp->OpenDocumentFile(WritePattern(m_dir, name, 3, 3)), nullptr);
    m_pApp.reset();
    Start();
    const auto entries = [this] {
        QString texts;
        for (const QAction *a : Bar()->actions()[0]->menu()->actions())
            texts += a->data().toInt() >= kFileMru1 && a->data().toInt() < (kFileMru1 + 4)
                ? a->text() + "|"
                : "";
        return texts;
    };
    EXPECT_EQ(entries(), "&1 second.bmp|&2 first.bmp|&3 b.bmp|&4 a.bmp|");
    Frame().ActionFor((kFileMru1 + 1))->trigger();
    EXPECT_EQ(Frame().ActiveChild()->GetDocument()->GetPathName(), m_dir.filePath("first.bmp"));
    EXPECT_EQ(entries(), "&1 first.bmp|&2 second.bmp|&3 b.bmp|&4 a.bmp|");
    m_ui.fileAnswers = {m_dir.filePath("copy.bmp")};
    ASSERT_TRUE(Frame().RouteCommand(kFileSaveAs));
    EXPECT_EQ(m_ui.saveSuggestions, std::vector<QString>{m_dir.filePath("first.bmp")});
    EXPECT_EQ(Frame().ActiveChild()->windowTitle(), "copy.bmp");
    EXPECT_EQ(entries(), "&1 copy.bmp|&2 first.bmp|&3 second.bmp|&4 b.bmp|");
    EXPECT_EQ(QSettings(CRecentFileList::kOrganization, CRecentFileList::kApplication)
                  .value("Recent File List/File1")
                  .toString(),
              m_dir.filePath("copy.bmp"));

    ASSERT_TRUE(m_pApp->CloseAllDocuments());
    ASSERT_TRUE(QFile::remove(m_dir.filePath("first.bmp")));
    m_ui.Clear();
    Frame().ActionFor((kFileMru1 + 1))->trigger();
    FlushDeletes();
    EXPECT_EQ(m_ui.events, std::vector<std::string>{"report"});
    EXPECT_EQ(entries(), "&1 copy.bmp|&2 second.bmp|&3 b.bmp|");
    EXPECT_EQ(Documents(), 0);
}

// The scroll range follows the image; the screen shows the scrolled-to pixel top left.
TEST(ViewPaint, ImageScrolledToItsPosition)
{
    CRecordingUiServices ui;
    QTemporaryDir dir;
    CTonecraftDoc doc;
    CTonecraftView view(&doc);
    ASSERT_TRUE(doc.OpenImageFile(WritePattern(dir, "view.bmp", 640, 480)));
    view.resize(320, 220);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QScrollBar *horizontal = view.horizontalScrollBar();
    QScrollBar *vertical = view.verticalScrollBar();
    const auto extent = [&] {
        return QSize(horizontal->maximum() + horizontal->pageStep(),
                     vertical->maximum() + vertical->pageStep());
    };
    EXPECT_EQ(extent(), QSize(640, 480));
    EXPECT_EQ(QSize(horizontal->pageStep(), vertical->pageStep()), view.viewport()->size());
    EXPECT_EQ(QSize(horizontal->singleStep(), vertical->singleStep()), QSize(20, 20));
    for (const QPoint scroll :
         {QPoint(100, 50), QPoint(horizontal->maximum(), vertical->maximum()), QPoint(7, 3)}) {
        horizontal->setValue(scroll.x());
        vertical->setValue(scroll.y());
        QCoreApplication::processEvents();
        const QRect area(view.viewport()->mapTo(&view, QPoint(0, 0)), view.viewport()->size());
        const QImage image
            = view.screen()
                  ->grabWindow(view.winId(), area.x(), area.y(), area.width(), area.height())
                  .toImage();
        for (int i = 0; i < area.width() * area.height(); i += 7)
            ASSERT_EQ(qGray(image.pixel(i % area.width(), i / area.width())),
                      Level(i % area.width() + scroll.x(), i / area.width() + scroll.y()))
                << i;
    }
    WritePattern(dir, "view.bmp", 500, 700);
    doc.OnCmdReload();
    EXPECT_EQ(extent(), QSize(500, 700));
}

// Closing the maximised window leaves the next one maximised, unless the user had restored it.
TEST_F(ShellTest, WindowsStayMaximisedWhenTheActiveOneCloses)
{
    Frame().resize(900, 700);
    Frame().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Frame()));
    struct Case
    {
        bool byMenu;              // 关闭 closes the document, else the window's own close
        bool restored, maximised; // by the user, before; the window that takes its place
    };
    const Case cases[]
        = {{true, false, true}, {false, false, true}, {true, true, false}, {false, true, false}};
    for (const auto &[byMenu, restored, maximised] : cases) {
        SCOPED_TRACE(::testing::Message() << byMenu << " " << restored);
        for (const char *name : {"a.bmp", "b.bmp", "c.bmp"})
            ASSERT_NE(m_pApp->OpenDocumentFile(WritePattern(m_dir, name, 300, 200)), nullptr);
        Frame().MdiArea()->setActiveSubWindow(Windows()[1]);
        if (restored)
            Frame().ActiveChild()->showNormal();
        if (byMenu)
            ASSERT_TRUE(Frame().RouteCommand(kFileClose));
        else
            Frame().ActiveChild()->close();
        FlushDeletes();
        ASSERT_EQ(Windows().size(), 2);
        ASSERT_NE(Frame().ActiveChild(), nullptr);
        EXPECT_EQ(Frame().ActiveChild()->isMaximized(), maximised);
        if (maximised) {
            EXPECT_EQ(Frame().ActiveChild()->size(), Frame().MdiArea()->viewport()->size());
        }
        ASSERT_TRUE(m_pApp->CloseAllDocuments());
        FlushDeletes();
    }
}

// Cascade: the active window in front at the last step, each title visible, and each window
// large enough for a picture that fits the area less the steps.
TEST_F(ShellTest, CascadeKeepsEveryTitleVisibleAndThePicturesWhole)
{
    Frame().resize(900, 700);
    Frame().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Frame()));
    for (const char *name : {"a.bmp", "b.bmp", "c.bmp"})
        ASSERT_NE(m_pApp->OpenDocumentFile(WritePattern(m_dir, name, 600, 400)), nullptr);
    ASSERT_TRUE(Frame().RouteCommand(kWindowNew)); // a second window on c.bmp
    QMdiSubWindow *active = Windows()[1];
    Frame().MdiArea()->setActiveSubWindow(active);
    ASSERT_TRUE(Frame().RouteCommand(kWindowCascade));
    QCoreApplication::processEvents();

    const QList<QMdiSubWindow *> expected = {Windows()[0], Windows()[2], Windows()[3], active};
    EXPECT_EQ(Frame().MdiArea()->subWindowList(QMdiArea::StackingOrder), expected);
    EXPECT_EQ(Frame().ActiveChild(), active);
    const int step = active->contentsMargins().top();
    ASSERT_GT(step, 10);
    const QSize area = Frame().MdiArea()->viewport()->size();
    for (int i = 0; i < expected.size(); ++i) {
        QMdiSubWindow *window = expected[i];
        SCOPED_TRACE(window->windowTitle().toStdString());
        EXPECT_FALSE(window->isMaximized());
        EXPECT_EQ(window->geometry(),
                  QRect(QPoint(i * step, i * step), area - QSize(3 * step, 3 * step)));
        const QPoint title = window->geometry().topLeft() + QPoint(step * 3 / 2, step / 2);
        QWidget *shown = Frame().MdiArea()->viewport()->childAt(title);
        EXPECT_TRUE(shown == window || window->isAncestorOf(shown));
    }
    // 600 x 400 fits the area less the steps and the frame: no scroll bars.
    auto *view = qobject_cast<QAbstractScrollArea *>(active->widget());
    ASSERT_NE(view, nullptr);
    EXPECT_FALSE(view->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(view->verticalScrollBar()->isVisible());

    // Many windows start over at the top left rather than shrink away.
    for (int i = 0; i < 30; ++i)
        ASSERT_TRUE(Frame().RouteCommand(kWindowNew));
    ASSERT_TRUE(Frame().RouteCommand(kWindowCascade));
    for (const QMdiSubWindow *window : Windows()) {
        EXPECT_GE(window->width(), 8 * step);
        EXPECT_GE(window->height(), 4 * step);
        EXPECT_TRUE(QRect(QPoint(0, 0), area).contains(window->geometry()));
    }
    EXPECT_EQ(Frame().MdiArea()->subWindowList(QMdiArea::StackingOrder).last(),
              Frame().ActiveChild());
}

} // namespace
