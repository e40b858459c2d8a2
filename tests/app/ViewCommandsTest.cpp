#include "AppTestSupport.h"
#include "BatchTool.h"
#include "CommandIds.h"
#include "DibImage.h"
#include "IntensityDlg.h"
#include "LinerParaDlg.h"
#include "Messages.h"
#include "Palette.h"
#include "PointStreDlg.h"
#include "PointThreDlg.h"
#include "PointWinDlg.h"
#include "StandardCommandIds.h"
#include "TestImages.h"
#include "TonecraftDoc.h"
#include "TonecraftView.h"
#include "WaitCursor.h"

#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using TestImages::Bytes;
using Events = std::vector<std::string>;
constexpr std::size_t kRows = 40 + 1024; // where an 8-bit DIB's rows begin
const Bytes kRgb24
    = TestImages::MakeDib({.width = 3, .height = 2, .bitCount = 24}, {}, Bytes(24, 0x5A));

Bytes Gray8(std::int32_t width, std::int32_t height, std::uint32_t seed = 1)
{
    return TestImages::MakeDib({.width = width, .height = height}, TestImages::GrayTable256(),
                               TestImages::RandomRows(width, height, seed));
}

QByteArray ToQt(const Bytes &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), std::ssize(bytes));
}

// The dialog's members as text ("2 -128"), then `values` entered into them in that order.
std::string Exchange(QDialog &dialog, const std::vector<float> &values)
{
    std::ostringstream text;
    std::size_t i = 0;
    const auto take = [&](auto &member) {
        text << (i == 0 ? "" : " ") << +member;
        if (i < values.size())
            member = static_cast<std::remove_reference_t<decltype(member)>>(values[i]);
        ++i;
    };
    if (auto *d = qobject_cast<CLinerParaDlg *>(&dialog)) {
        take(d->m_fSlope);
        take(d->m_fIntercept);
    } else if (auto *t = qobject_cast<CPointThreDlg *>(&dialog)) {
        take(t->m_byThreshold);
    } else if (auto *w = qobject_cast<CPointWinDlg *>(&dialog)) {
        take(w->m_byLow);
        take(w->m_byHigh);
    } else if (auto *s = qobject_cast<CPointStreDlg *>(&dialog)) {
        for (std::uint8_t *member : {&s->m_byX1, &s->m_byY1, &s->m_byX2, &s->m_byY2})
            take(*member);
    } else if (auto *h = qobject_cast<CIntensityDlg *>(&dialog)) {
        take(h->m_iLow);
        take(h->m_iHigh);
        text << ' ' << h->m_lWidth << 'x' << h->m_lHeight;
    }
    return text.str();
}

class ViewCommandsTest : public ::testing::Test
{
protected:
    // Gives `doc` the packed DIB as its image, unmodified.
    static void Load(CTonecraftDoc &doc, const Bytes &dib)
    {
        doc.ReplaceImageBlock(TestImages::ToHandle(dib));
        doc.PrepareImage();
        doc.SetModifiedFlag(false);
    }
    static Bytes Block(const CTonecraftDoc &doc)
    {
        return TestImages::FromHandle(doc.GetImageBlock());
    }
    static bool Enabled(const CTonecraftView &view, int command)
    {
        bool enabled = false;
        return view.OnUpdateCommand(command, enabled) && enabled;
    }
    // Runs the command; whatever happens, no busy cursor and no lock stay behind.
    void Run(CTonecraftView &view, int command)
    {
        m_ui.Clear();
        ASSERT_TRUE(view.OnCommand(command));
        EXPECT_EQ(CWaitCursor::Count(), 0);
        EXPECT_EQ(view.GetDocument()->GetImageBlock().LockCount(), 0);
    }

    CRecordingUiServices m_ui;
    CTonecraftDoc m_doc;
    CTonecraftView m_view{&m_doc};
};

// Each command names its operation, also without an image, and nothing else happens.
TEST_F(ViewCommandsTest, CommandsRefuseImagesThatAreNot256Colour)
{
    const std::pair<int, std::string> commands[] = {
        {CommandId::kInvert, "目前只支持256色位图的反色！"},
        {CommandId::kLinear, "目前只支持256色位图的线性变换！"},
        {CommandId::kThreshold, "目前只支持256色位图的阈值变换！"},
        {CommandId::kWindowTransform, "目前只支持256色位图的窗口变换！"},
        {CommandId::kGrayStretch, "目前只支持256色位图的灰度拉伸！"},
        {CommandId::kEqualize, "目前只支持256色位图的直方图均衡！"},
        {CommandId::kHistogram, "目前只支持查看256色位图灰度直方图！"},
    };
    for (const Bytes &dib : {kRgb24, Bytes{}}) {
        CTonecraftDoc doc;
        CTonecraftView view(&doc);
        if (!dib.empty())
            Load(doc, dib);
        doc.SetModifiedFlag(dib.size() == kRgb24.size()); // "unchanged" covers both states
        for (const auto &[command, text] : commands) {
            EXPECT_TRUE(Enabled(view, command));
            Run(view, command);
            EXPECT_EQ(std::tuple(m_ui.events, m_ui.messages.at(0).style, m_ui.messages[0].owner,
                                 m_ui.dialogs.size(), Block(doc), doc.IsModified()),
                      std::tuple(Events{text}, 0x40u, &view, 0u, dib, dib.size() == kRgb24.size()));
        }
    }
}

// A fresh dialog each run, with fixed defaults, the block locked, the busy cursor after it
// (before it for the histogram, until its own loop runs). OK gives tonecraft-batch's bytes
// for the same parameters; Cancel and the histogram change nothing.
TEST_F(ViewCommandsTest, CommandsStartFromTheirDefaultsAndMatchTheBatchTool)
{
    const std::tuple<int, const char *, const char *, std::vector<std::string>, std::vector<float>>
        cases[] = {
            {CommandId::kInvert, "", "", {"invert"}, {}},
            {CommandId::kLinear,
             "2 -128",
             "CLinerParaDlg",
             {"linear", "0.7", "-20.5"},
             {0.7f, -20.5f}},
            {CommandId::kThreshold, "128", "CPointThreDlg", {"threshold", "99"}, {99}},
            {CommandId::kWindowTransform,
             "0 255",
             "CPointWinDlg",
             {"window", "40", "170"},
             {40, 170}},
            {CommandId::kGrayStretch,
             "50 30 200 220",
             "CPointStreDlg",
             {"stretch", "30", "200", "140", "60"},
             {30, 200, 140, 60}},
            {CommandId::kEqualize, "", "", {"equalize"}, {}},
            {CommandId::kHistogram, "0 255 7x5", "CIntensityDlg", {}, {10, 20}},
        };
    QTemporaryDir dir;
    const std::string in = dir.filePath("in.bmp").toStdString();
    const std::string out = dir.filePath("out.bmp").toStdString();
    const Bytes original = Gray8(7, 5, 11);
    TestImages::WriteFile(in, TestImages::MakeBmpFile(original));
    for (const auto &[command, shown, dialog, batch, entered] : cases) {
        Bytes expected = original;
        if (!batch.empty()) {
            std::vector<std::string_view> args(batch.begin(), batch.end());
            args.insert(args.end(), {in, out});
            std::ostringstream ignored;
            ASSERT_EQ(CBatchTool::Run(args, ignored, ignored), 0);
            const Bytes file = TestImages::ReadFile(out);
            std::copy(file.begin() + 14 + kRows, file.end(), expected.begin() + kRows);
        }
        for (const int answer : {DialogResult::kOk, DialogResult::kOk, DialogResult::kCancel}) {
            Load(m_doc, original);
            QSignalSpy repaints(&m_doc, &CDocument::viewsUpdateRequested);
            m_ui.runModal = [&, &entered = entered, &shown = shown](QDialog &d) {
                EXPECT_EQ(std::tuple(Exchange(d, entered), m_doc.GetImageBlock().LockCount(),
                                     CWaitCursor::Count()),
                          std::tuple(std::string(shown), 1, batch.empty() ? 1 : 0));
                QCoreApplication::processEvents();
                EXPECT_EQ(CWaitCursor::Count(), 0);
                return answer;
            };
            Run(m_view, command);
            const bool changed = (answer == DialogResult::kOk || !*dialog) && !batch.empty();
            EXPECT_EQ(std::tuple(m_ui.dialogs, m_ui.events, Block(m_doc), m_doc.IsModified(),
                                 repaints.count()),
                      std::tuple(*dialog ? Events{dialog} : Events{},
                                 changed || batch.empty() ? Events{"busy", "idle"} : Events{},
                                 changed ? expected : original, changed, changed ? 1 : 0))
                << command;
            EXPECT_TRUE(batch.empty() || expected != original);
        }
    }
}

// Other programs read a copy as a BMP file. A new document (no path, no CDibImage) pastes
// it, saves it and transforms it like the file reopened from there.
TEST_F(ViewCommandsTest, CopyThenPasteGivesAnotherDocumentTheSameImage)
{
    EXPECT_FALSE(Enabled(m_view, CommandId::kEditCopy));
    const Bytes source = Gray8(6, 4, 3);
    Load(m_doc, source);
    EXPECT_TRUE(Enabled(m_view, CommandId::kEditCopy));
    Run(m_view, CommandId::kEditCopy);
    EXPECT_EQ(m_ui.events, (Events{"busy", "idle"}));
    const QByteArray bmp = QGuiApplication::clipboard()->mimeData()->data("image/bmp");
    EXPECT_EQ(bmp, ToQt(TestImages::MakeBmpFile(source)));
    EXPECT_EQ(qGray(QImage::fromData(bmp, "BMP").pixel(0, 3)), source[kRows]); // bottom left

    CTonecraftDoc target;
    CTonecraftView targetView(&target);
    EXPECT_TRUE(Enabled(targetView, CommandId::kEditPaste));
    Run(targetView, CommandId::kEditPaste);
    EXPECT_EQ(Block(target), source);
    EXPECT_EQ(target.GetPalette()->Entries().size(), 256u);
    EXPECT_TRUE(target.GetDibImage() == nullptr);
    EXPECT_TRUE(target.IsModified());
    EXPECT_FALSE(m_doc.IsModified());
    QTemporaryDir dir;
    ASSERT_TRUE(target.SaveImageFile(dir.filePath("pasted.bmp")));
    CTonecraftDoc reopened;
    CTonecraftView reopenedView(&reopened);
    ASSERT_TRUE(reopened.OpenImageFile(dir.filePath("pasted.bmp")));
    for (CTonecraftView *view : {&targetView, &reopenedView}) {
        Run(*view, CommandId::kInvert);
        EXPECT_EQ(Block(*view->GetDocument())[kRows + 29], 255 - source[kRows + 29]);
    }
}

// A point operation repaints every view of the document, not only the one it ran in.
TEST_F(ViewCommandsTest, ACommandRepaintsEveryViewOfTheDocument)
{
    Load(m_doc,
         TestImages::MakeDib({.width = 4, .height = 2}, TestImages::GrayTable256(), Bytes(8, 10)));
    CTonecraftView other(&m_doc);
    for (CTonecraftView *view : {&m_view, &other}) {
        view->resize(60, 40);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    }
    const auto onScreen = [](CTonecraftView &view) {
        QCoreApplication::processEvents();
        const QPoint at = view.viewport()->mapTo(&view, QPoint(0, 0));
        return view.screen()->grabWindow(view.winId(), at.x(), at.y(), 4, 2).toImage().pixel(1, 1);
    };
    EXPECT_EQ(onScreen(other), qRgb(10, 10, 10));
    Run(m_view, CommandId::kInvert);
    EXPECT_EQ(std::pair(onScreen(m_view), onScreen(other)),
              std::pair(qRgb(245, 245, 245), qRgb(245, 245, 245)));
}

// Without memory for the duplicate, copy leaves the clipboard as it was. (AddressSanitizer
// reserves terabytes of address space: no such limit can be set under it.)
TEST_F(ViewCommandsTest, ACopyWithoutMemoryKeepsTheClipboard)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "address-space limits do not work under AddressSanitizer";
#else
    Bytes dib = Gray8(1, 1);
    dib.resize(kRows + 8000 * 8000); // 64 MB of rows
    TestImages::PutU32(dib, 4, 8000);
    TestImages::PutU32(dib, 8, 8000);
    Load(m_doc, dib);
    dib = {};
    QGuiApplication::clipboard()->setText("kept");
    std::size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &old), 0);
    const rlimit lowered{pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (32u << 20),
                         old.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_AS, &lowered), 0);
    Run(m_view, CommandId::kEditCopy);
    setrlimit(RLIMIT_AS, &old);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept");
#endif
}

// Counts how often the clipboard's data is fetched from its owner.
class CCountingMimeData : public QMimeData
{
public:
    mutable int fetches = 0;

protected:
    QVariant retrieveData(const QString &format, QMetaType type) const override
    {
        return ++fetches, QMimeData::retrieveData(format, type);
    }
};

// Paste is enabled when a format it reads is on offer, without fetching any data; paste fetches
// it once. The first such format decides; data that fails admission changes nothing and is
// reported as unreadable. A BMP file is read as from disk (its header completed, 14 spare
// bytes after the rows); a picture is gray or true colour.
TEST_F(ViewCommandsTest, PasteTakesOnlyWhatPassesAdmission)
{
    const QString dib = "application/x-tonecraft-dib";
    const Bytes gray = Gray8(5, 3, 4);
    const Bytes cut(gray.begin(), gray.end() - 1);
    const Bytes bmp = TestImages::MakeBmpFile(gray);
    Bytes topDown = gray;
    TestImages::PutU32(topDown, 8, static_cast<std::uint32_t>(-3));
    QImage picture(4, 2, QImage::Format_RGB32);
    picture.fill(qRgb(90, 90, 90));
    Bytes pixmap{'P', '6', ' ', '4', ' ', '2', ' ', '9', '\n', 1, 2, 3}; // then 7 pixels of 0
    pixmap.resize(9 + 4 * 2 * 3);
    const std::string unreadable = Messages::kReadError, tooBig = Messages::kImageTooBig;
    const std::tuple<std::vector<std::pair<QString, Bytes>>, QRgb, int, const Bytes *, Events>
        cases[] = {
            {{}, 0, 0, nullptr, {}},
            {{{"text/plain", gray}}, 0, 0, nullptr, {}},
            {{{dib, cut}}, 0, 0, nullptr, {unreadable}},
            {{{dib, topDown}}, 0, 0, nullptr, {tooBig, unreadable}},
            {{{"image/bmp", Bytes(bmp.begin() + 1, bmp.end())}}, 0, 0, nullptr, {unreadable}},
            {{{dib, cut}, {"image/bmp", bmp}}, 0, 0, nullptr, {unreadable}},
            {{{"image/png", gray}}, 0, 0, nullptr, {unreadable}},
            {{{dib, gray}}, 0, 8, &gray, {}},
            {{{dib, kRgb24}}, 0, 24, &kRgb24, {}},
            {{{"image/bmp", bmp}}, 0, 8, &bmp, {}},
            {{{"image/x-portable-pixmap", pixmap}}, 0, 24, nullptr, {}},
            {{}, qRgb(90, 90, 90), 8, nullptr, {}},
            {{}, qRgb(1, 2, 3), 24, nullptr, {}},
        };
    for (const auto &[formats, pixel, bits, pasted, messages] : cases) {
        SCOPED_TRACE(::testing::Message() << formats.size() << " " << pixel << " " << bits);
        Load(m_doc, Gray8(2, 2));
        const Bytes before = Block(m_doc);
        auto *data = new CCountingMimeData;
        for (const auto &[format, bytes] : formats)
            data->setData(format, ToQt(bytes));
        picture.setPixel(3, 1, pixel);
        if (pixel != 0)
            data->setImageData(picture);
        QGuiApplication::clipboard()->setMimeData(data);
        const bool offered = bits != 0 || !messages.empty();
        // Asked twice, as a menu asks: neither asking fetches the data.
        EXPECT_EQ(Enabled(m_view, CommandId::kEditPaste), offered);
        EXPECT_EQ(Enabled(m_view, CommandId::kEditPaste), offered);
        EXPECT_EQ(data->fetches, 0);
        Run(m_view, CommandId::kEditPaste);
        EXPECT_EQ(data->fetches, offered ? 1 : 0);
        Events expected = offered ? Events{"busy", "idle"} : Events{};
        expected.insert(expected.end(), messages.begin(), messages.end());
        EXPECT_EQ(m_ui.events, expected);
        EXPECT_EQ(m_doc.IsModified(), bits != 0);
        const Bytes after = Block(m_doc);
        const std::size_t skip = pasted == &bmp ? 14 : 0;
        const Bytes &expectedBlock = bits == 0 ? before : pasted != nullptr ? *pasted : after;
        EXPECT_EQ(CDibImage::GetBitCount(after.data()), bits == 0 ? 8 : bits);
        EXPECT_TRUE(pasted != nullptr || bits == 0 || m_doc.GetImageSize() == QSize(4, 2));
        EXPECT_EQ(Bytes(after.begin() + 40, after.end() - skip),
                  Bytes(expectedBlock.begin() + 40 + skip, expectedBlock.end()));
    }
}

} // namespace
