#include "AppTestSupport.h"
#include "BatchTool.h"
#include "DibImage.h"
#include "DibLock.h"
#include "IntensityDlg.h"
#include "LinerParaDlg.h"
#include "Palette.h"
#include "PointStreDlg.h"
#include "PointThreDlg.h"
#include "PointWinDlg.h"
#include "TestImages.h"
#include "TonecraftDoc.h"
#include "TonecraftView.h"
#include "WaitCursor.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using TestImages::Bytes;

constexpr int kCopy = 57634;
constexpr int kPaste = 57637;
constexpr int kInvert = 32786;
constexpr int kLinear = 32787;
constexpr int kThreshold = 32789;
constexpr int kWindow = 32785;
constexpr int kStretch = 32783;
constexpr int kEqualize = 32784;
constexpr int kHistogram = 32788;

constexpr const char *kDibFormat = "application/x-tonecraft-dib";

Bytes Gray8(std::int32_t width, std::int32_t height, std::uint32_t seed)
{
    return TestImages::MakeDib({.width = width, .height = height}, TestImages::GrayTable256(),
                               TestImages::RandomRows(width, height, seed));
}

Bytes Rgb24(std::int32_t width, std::int32_t height)
{
    return TestImages::MakeDib({.width = width, .height = height, .bitCount = 24}, {},
                               Bytes(static_cast<std::size_t>(height) * 12, 0x5A));
}

// An 8-bit image whose header gives 200 colours.
Bytes Colors200()
{
    return TestImages::MakeDib({.width = 4, .height = 2, .clrUsed = 200}, Bytes(800, 0x40),
                               Bytes(8, 0x21));
}

QByteArray ToQt(const Bytes &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

// Puts each (format, bytes) pair on the clipboard together.
void SetClipboard(const std::vector<std::pair<QString, QByteArray>> &formats)
{
    auto *data = new QMimeData;
    for (const auto &[format, bytes] : formats)
        data->setData(format, bytes);
    QGuiApplication::clipboard()->setMimeData(data);
}

// The members a dialog was run with, as text ("2 -128"); the histogram adds its image.
std::string Members(QDialog &dialog)
{
    std::ostringstream text;
    if (auto *d = qobject_cast<CLinerParaDlg *>(&dialog))
        text << d->m_fSlope << ' ' << d->m_fIntercept;
    else if (auto *d = qobject_cast<CPointThreDlg *>(&dialog))
        text << int{d->m_byThreshold};
    else if (auto *d = qobject_cast<CPointWinDlg *>(&dialog))
        text << int{d->m_byLow} << ' ' << int{d->m_byHigh};
    else if (auto *d = qobject_cast<CPointStreDlg *>(&dialog))
        text << int{d->m_byX1} << ' ' << int{d->m_byY1} << ' ' << int{d->m_byX2} << ' '
             << int{d->m_byY2};
    else if (auto *d = qobject_cast<CIntensityDlg *>(&dialog))
        text << d->m_iLow << ' ' << d->m_iHigh << ' ' << d->m_lWidth << 'x' << d->m_lHeight;
    return text.str();
}

// Enters `values` into the dialog's members in their order, as a user would before OK.
void Enter(QDialog &dialog, const std::vector<float> &values)
{
    const auto level = [&](std::size_t i) { return static_cast<std::uint8_t>(values.at(i)); };
    if (auto *d = qobject_cast<CLinerParaDlg *>(&dialog)) {
        d->m_fSlope = values.at(0);
        d->m_fIntercept = values.at(1);
    } else if (auto *d = qobject_cast<CPointThreDlg *>(&dialog)) {
        d->m_byThreshold = level(0);
    } else if (auto *d = qobject_cast<CPointWinDlg *>(&dialog)) {
        d->m_byLow = level(0);
        d->m_byHigh = level(1);
    } else if (auto *d = qobject_cast<CPointStreDlg *>(&dialog)) {
        d->m_byX1 = level(0);
        d->m_byY1 = level(1);
        d->m_byX2 = level(2);
        d->m_byY2 = level(3);
    } else if (auto *d = qobject_cast<CIntensityDlg *>(&dialog)) {
        d->m_iLow = static_cast<int>(values.at(0));
        d->m_iHigh = static_cast<int>(values.at(1));
    }
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

    bool Enabled(int command)
    {
        bool enabled = false;
        EXPECT_TRUE(m_view.OnUpdateCommand(command, enabled));
        return enabled;
    }

    void Run(int command)
    {
        m_ui.Clear();
        ASSERT_TRUE(m_view.OnCommand(command));
        EXPECT_EQ(CWaitCursor::Count(), 0);
        EXPECT_EQ(m_doc.GetImageBlock().LockCount(), 0);
    }

    CRecordingUiServices m_ui;
    CTonecraftDoc m_doc;
    CTonecraftView m_view{&m_doc};
};

// Each command names its operation, also for a document without an image, and nothing else
// happens: no dialog, no busy cursor, the bytes and the modified flag as they were.
TEST_F(ViewCommandsTest, CommandsRefuseImagesThatAreNot256Colour)
{
    const std::pair<int, std::string> commands[] = {
        {kInvert, "目前只支持256色位图的反色！"},
        {kLinear, "目前只支持256色位图的线性变换！"},
        {kThreshold, "目前只支持256色位图的阈值变换！"},
        {kWindow, "目前只支持256色位图的窗口变换！"},
        {kStretch, "目前只支持256色位图的灰度拉伸！"},
        {kEqualize, "目前只支持256色位图的直方图均衡！"},
        {kHistogram, "目前只支持查看256色位图灰度直方图！"},
    };
    const std::pair<const char *, Bytes> images[]
        = {{"24-bit", Rgb24(3, 2)}, {"200 colours", Colors200()}, {"no image", {}}};
    for (const auto &[name, dib] : images) {
        CTonecraftDoc doc;
        CTonecraftView view(&doc);
        if (!dib.empty())
            Load(doc, dib);
        doc.SetModifiedFlag(name[0] == '2'); // one kind modified, so "unchanged" means both
        const bool modified = doc.IsModified();
        for (const auto &[command, text] : commands) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(command));
            m_ui.Clear();
            bool enabled = false;
            EXPECT_TRUE(view.OnUpdateCommand(command, enabled) && enabled);
            ASSERT_TRUE(view.OnCommand(command));
            EXPECT_EQ(m_ui.events, std::vector<std::string>{text});
            ASSERT_EQ(m_ui.messages.size(), 1u);
            EXPECT_EQ(m_ui.messages[0].style, 0x40u);
            EXPECT_EQ(m_ui.messages[0].owner, &view);
            EXPECT_TRUE(m_ui.dialogs.empty());
            EXPECT_EQ(Block(doc), dib);
            EXPECT_EQ(doc.IsModified(), modified);
        }
    }
}

TEST_F(ViewCommandsTest, InvertTwiceRestoresEveryPixel)
{
    const Bytes original = Gray8(5, 3, 7);
    Load(m_doc, original);
    Run(kInvert);
    EXPECT_EQ(m_ui.events, (std::vector<std::string>{"busy", "idle"}));
    EXPECT_TRUE(m_doc.IsModified());
    const Bytes once = Block(m_doc);
    // Pixel 0 of the bottom row and a padding byte (rows are 8 bytes for 5 pixels).
    const std::size_t rows = 40 + 1024;
    EXPECT_EQ(once[rows], 255 - original[rows]);
    EXPECT_EQ(once[rows + 6], original[rows + 6]);
    Run(kInvert);
    EXPECT_EQ(Block(m_doc), original);
}

// Each run opens a fresh dialog with the fixed starting values, whatever was entered before; the
// block stays locked across the dialog and the busy cursor comes only after it (before it for
// the histogram). Cancel changes nothing, and the histogram changes nothing however it closes.
TEST_F(ViewCommandsTest, DialogsStartFromTheirDefaultsAndCancelChangesNothing)
{
    const Bytes original = Gray8(5, 3, 17);
    struct Case
    {
        int command;
        const char *shown;
        const char *dialog;
        std::vector<float> entered;
    };
    const Case cases[] = {
        {kLinear, "2 -128", "CLinerParaDlg", {0.5f, 7}},
        {kThreshold, "128", "CPointThreDlg", {9}},
        {kWindow, "0 255", "CPointWinDlg", {100, 50}},
        {kStretch, "50 30 200 220", "CPointStreDlg", {60, 120, 200, 90}},
        {kHistogram, "0 255 5x3", "CIntensityDlg", {10, 20}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.dialog);
        const bool histogram = c.command == kHistogram;
        for (const int answer : {DialogResult::kOk, DialogResult::kOk, DialogResult::kCancel}) {
            Load(m_doc, original);
            QSignalSpy repaints(&m_doc, &CDocument::viewsUpdateRequested);
            std::string shown;
            m_ui.runModal = [&](QDialog &dialog) {
                shown = Members(dialog);
                EXPECT_EQ(m_doc.GetImageBlock().LockCount(), 1);
                EXPECT_EQ(CWaitCursor::Count(), histogram ? 1 : 0);
                // Once the dialog's own loop runs, no busy cursor hides its drag cursors.
                QCoreApplication::processEvents();
                EXPECT_EQ(CWaitCursor::Count(), 0);
                Enter(dialog, c.entered);
                return answer;
            };
            m_ui.dialogs.clear();
            Run(c.command);
            EXPECT_EQ(m_ui.dialogs, std::vector<std::string>{c.dialog});
            EXPECT_EQ(shown, c.shown);
            EXPECT_TRUE(m_ui.messages.empty());
            const bool changed = answer == DialogResult::kOk && !histogram;
            EXPECT_EQ(Block(m_doc) != original, changed);
            EXPECT_EQ(m_doc.IsModified(), changed);
            EXPECT_EQ(repaints.count(), changed ? 1 : 0);
        }
    }
}

// The menu command and tonecraft-batch give the same bytes for the same parameters.
TEST_F(ViewCommandsTest, CommandsMatchTheBatchTool)
{
    struct Case
    {
        int command;
        std::vector<std::string> batch; // the batch tool's operation and parameters
        std::vector<float> entered;     // the same parameters entered in the dialog
    };
    const Case cases[] = {
        {kInvert, {"invert"}, {}},
        {kLinear, {"linear", "0.7", "-20.5"}, {0.7f, -20.5f}},
        {kThreshold, {"threshold", "99"}, {99}},
        {kWindow, {"window", "40", "170"}, {40, 170}},
        {kStretch, {"stretch", "30", "200", "140", "60"}, {30, 200, 140, 60}},
        {kEqualize, {"equalize"}, {}},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string in = dir.filePath("in.bmp").toStdString();
    const std::string out = dir.filePath("out.bmp").toStdString();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.batch[0]);
        const Bytes original = Gray8(7, 5, 11);
        TestImages::WriteFile(in, TestImages::MakeBmpFile(original));
        std::vector<std::string_view> args(c.batch.begin(), c.batch.end());
        args.insert(args.end(), {in, out});
        std::ostringstream ignored;
        ASSERT_EQ(CBatchTool::Run(args, ignored, ignored), 0);
        const Bytes fromBatch = TestImages::ReadFile(out);

        Load(m_doc, original);
        m_ui.runModal = [&c](QDialog &dialog) {
            Enter(dialog, c.entered);
            return DialogResult::kOk;
        };
        Run(c.command);
        EXPECT_EQ(m_ui.dialogs.size(), c.entered.empty() ? 0u : 1u);
        m_ui.dialogs.clear();
        const Bytes fromMenu = Block(m_doc);
        const std::size_t rows = 40 + 1024;
        EXPECT_EQ(Bytes(fromMenu.begin() + rows, fromMenu.end()),
                  Bytes(fromBatch.begin() + 14 + rows, fromBatch.end()));
        EXPECT_NE(fromMenu, original);
    }
}

TEST_F(ViewCommandsTest, ACommandRepaintsEveryViewOfTheDocument)
{
    Bytes dib
        = TestImages::MakeDib({.width = 4, .height = 2}, TestImages::GrayTable256(), Bytes(8, 10));
    Load(m_doc, dib);
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
    Run(kInvert);
    EXPECT_EQ(onScreen(m_view), qRgb(245, 245, 245));
    EXPECT_EQ(onScreen(other), qRgb(245, 245, 245));
}

// --- Clipboard ------------------------------------------------------------------------------

TEST_F(ViewCommandsTest, CopyThenPasteGivesAnotherDocumentTheSameImage)
{
    EXPECT_FALSE(Enabled(kCopy));
    const Bytes source = Gray8(6, 4, 3);
    Load(m_doc, source);
    EXPECT_TRUE(Enabled(kCopy));
    Run(kCopy);
    EXPECT_EQ(m_ui.events, (std::vector<std::string>{"busy", "idle"}));

    // Other programs read the same picture as a BMP file.
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->data("image/bmp"), ToQt(TestImages::MakeBmpFile(source)));
    const QImage read = QImage::fromData(data->data("image/bmp"), "BMP");
    ASSERT_EQ(read.size(), QSize(6, 4));
    EXPECT_EQ(qGray(read.pixel(0, 3)), source[40 + 1024]); // bottom-left pixel

    CTonecraftDoc target;
    CTonecraftView targetView(&target);
    Load(target, Gray8(2, 2, 5));
    bool enabled = false;
    EXPECT_TRUE(targetView.OnUpdateCommand(kPaste, enabled) && enabled);
    ASSERT_TRUE(targetView.OnCommand(kPaste));
    EXPECT_EQ(Block(target), source);
    EXPECT_EQ(target.GetImageSize(), QSize(6, 4));
    ASSERT_NE(target.GetPalette(), nullptr);
    EXPECT_EQ(target.GetPalette()->Entries().size(), 256u);
    EXPECT_TRUE(target.IsModified());
    EXPECT_EQ(Block(m_doc), source);
    EXPECT_FALSE(m_doc.IsModified());

    // Copy twice: the clipboard holds the second image only.
    Load(m_doc, Gray8(3, 3, 9));
    Run(kCopy);
    ASSERT_TRUE(targetView.OnCommand(kPaste));
    EXPECT_EQ(Block(target), Block(m_doc));
}

// A new document has no path and no CDibImage; a pasted image still saves, reopens and
// transforms like an opened one.
TEST_F(ViewCommandsTest, PasteIntoANewDocumentThenSaveReopenAndTransform)
{
    const Bytes image = Gray8(5, 3, 21);
    SetClipboard({{kDibFormat, ToQt(image)}});
    ASSERT_TRUE(Enabled(kPaste));
    Run(kPaste);
    EXPECT_EQ(m_doc.GetDibImage(), nullptr);
    EXPECT_EQ(m_doc.GetImageSize(), QSize(5, 3));
    EXPECT_TRUE(m_doc.IsModified());
    EXPECT_TRUE(Enabled(kCopy));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(m_doc.SaveImageFile(dir.filePath("pasted.bmp")));
    CTonecraftDoc reopened;
    CTonecraftView view(&reopened);
    ASSERT_TRUE(reopened.OpenImageFile(dir.filePath("pasted.bmp")));
    const Bytes saved = Block(reopened);
    EXPECT_EQ(Bytes(saved.begin() + 1064, saved.begin() + 1064 + 24),
              Bytes(image.begin() + 1064, image.end()));
    m_ui.Clear();
    ASSERT_TRUE(view.OnCommand(kInvert));
    EXPECT_TRUE(m_ui.messages.empty());
    EXPECT_EQ(Block(reopened)[1064], 255 - image[1064]);
}

// Without memory for the duplicate, copy leaves the clipboard holding what it held. (The
// address-space limit cannot be used under AddressSanitizer, which reserves terabytes.)
TEST_F(ViewCommandsTest, ACopyWithoutMemoryKeepsTheClipboard)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "address-space limits do not work under AddressSanitizer";
#else
    constexpr std::int32_t kSide = 8000; // 64 MB of rows
    Bytes header = Gray8(1, 1, 0);
    header.resize(40 + 1024);
    TestImages::PutU32(header, 4, kSide);
    TestImages::PutU32(header, 8, kSide);
    header.resize(header.size() + static_cast<std::size_t>(kSide) * kSide);
    Load(m_doc, header);
    header = {};
    QGuiApplication::clipboard()->setText("kept");

    std::size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &old), 0);
    rlimit lowered = old;
    lowered.rlim_cur = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (32u << 20);
    ASSERT_EQ(setrlimit(RLIMIT_AS, &lowered), 0);
    const bool handled = m_view.OnCommand(kCopy);
    setrlimit(RLIMIT_AS, &old);
    EXPECT_TRUE(handled);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept");
    EXPECT_EQ(CWaitCursor::Count(), 0);
#endif
}

TEST_F(ViewCommandsTest, A24BitPasteIsShownButRefusedByTheOperations)
{
    const Bytes image = Rgb24(3, 2);
    SetClipboard({{kDibFormat, ToQt(image)}});
    Run(kPaste);
    EXPECT_EQ(Block(m_doc), image);
    EXPECT_EQ(m_doc.GetPalette(), nullptr);
    Run(kThreshold);
    EXPECT_EQ(m_ui.events, std::vector<std::string>{"目前只支持256色位图的阈值变换！"});
    EXPECT_EQ(Block(m_doc), image);
}

// Paste is enabled exactly when it would give an image; whatever fails admission is no image:
// paste then changes nothing and says nothing.
TEST_F(ViewCommandsTest, PasteTakesOnlyWhatPassesAdmission)
{
    const Bytes gray = Gray8(5, 3, 4);
    const Bytes cut(gray.begin(), gray.end() - 1);
    const Bytes bmp = TestImages::MakeBmpFile(gray);
    Bytes notBm = bmp;
    notBm[0] = 'M';
    notBm[1] = 'B';
    Bytes topDown = gray;
    TestImages::PutU32(topDown, 8, static_cast<std::uint32_t>(-3));
    QImage grayPicture(4, 2, QImage::Format_RGB32);
    grayPicture.fill(qRgb(90, 90, 90));
    QImage colourPicture = grayPicture;
    colourPicture.setPixel(3, 1, qRgb(1, 2, 3));

    struct Case
    {
        const char *name;
        std::function<void()> put;
        int bits; // of the pasted image; 0: paste disabled
    };
    const Case cases[] = {
        {"empty", [] { SetClipboard({}); }, 0},
        {"text", [] { QGuiApplication::clipboard()->setText("5 x 3"); }, 0},
        {"ours, garbage",
         [] {
             SetClipboard({{kDibFormat, "not a picture at all"}});
         },
         0},
        {"ours, one byte short",
         [&] {
             SetClipboard({{kDibFormat, ToQt(cut)}});
         },
         0},
        {"ours, top-down",
         [&] {
             SetClipboard({{kDibFormat, ToQt(topDown)}});
         },
         0},
        {"bmp, garbage",
         [] {
             SetClipboard({{"image/bmp", "BMxxxxxxxxxxxxxxxxxxxxxxxxxx"}});
         },
         0},
        {"bmp, not BM",
         [&] {
             SetClipboard({{"image/bmp", ToQt(notBm)}});
         },
         0},
        // The first format present decides: a bad DIB of ours hides a good BMP.
        {"ours bad, bmp good",
         [&] {
             SetClipboard({{kDibFormat, ToQt(cut)}, {"image/bmp", ToQt(bmp)}});
         },
         0},
        {"ours",
         [&] {
             SetClipboard({{kDibFormat, ToQt(gray)}});
         },
         8},
        {"bmp",
         [&] {
             SetClipboard({{"image/bmp", ToQt(bmp)}});
         },
         8},
        {"gray picture", [&] { QGuiApplication::clipboard()->setImage(grayPicture); }, 8},
        {"colour picture", [&] { QGuiApplication::clipboard()->setImage(colourPicture); }, 24},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Load(m_doc, Gray8(2, 2, 1));
        const Bytes before = Block(m_doc);
        c.put();
        EXPECT_EQ(Enabled(kPaste), c.bits != 0);
        Run(kPaste);
        EXPECT_TRUE(m_ui.messages.empty());
        EXPECT_EQ(m_doc.IsModified(), c.bits != 0);
        const Bytes after = Block(m_doc);
        if (c.bits == 0) {
            EXPECT_EQ(after, before);
            continue;
        }
        EXPECT_EQ(CDibImage::GetBitCount(after.data()), c.bits);
        if (std::string(c.name).find("picture") == std::string::npos) {
            // A BMP file is read as from disk: 14 spare bytes follow the rows.
            EXPECT_EQ(Bytes(after.begin() + 1064, after.begin() + 1064 + 24),
                      Bytes(gray.begin() + 1064, gray.end()));
        } else {
            EXPECT_EQ(m_doc.GetImageSize(), QSize(4, 2));
        }
    }
}

} // namespace
