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

namespace {

using namespace CommandId;
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
    if (auto *d = qobject_cast<CLinerParaDlg *>(&dialog))
        take(d->m_fSlope), take(d->m_fIntercept);
    else if (auto *t = qobject_cast<CPointThreDlg *>(&dialog))
        take(t->m_byThreshold);
    else if (auto *w = qobject_cast<CPointWinDlg *>(&dialog))
        take(w->m_byLow), take(w->m_byHigh);
    else if (auto *s = qobject_cast<CPointStreDlg *>(&dialog))
        take(s->m_byX1), take(s->m_byY1), take(s->m_byX2), take(s->m_byY2);
    else if (auto *h = qobject_cast<CIntensityDlg *>(&dialog))
        take(h->m_iLow), take(h->m_iHigh), text << ' ' << h->m_lWidth << 'x' << h->m_lHeight;
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
    struct Refusal
    {
        int command;
        const char *message;
    };
    const Refusal refusals[] = {
        {kInvert, "目前只支持256色位图的反色！"},
        {kLinear, "目前只支持256色位图的线性变换！"},
        {kThreshold, "目前只支持256色位图的阈值变换！"},
        {kWindowTransform, "目前只支持256色位图的窗口变换！"},
        {kGrayStretch, "目前只支持256色位图的灰度拉伸！"},
        {kEqualize, "目前只支持256色位图的直方图均衡！"},
        {kHistogram, "目前只支持查看256色位图灰度直方图！"},
    };
    for (const Bytes &dib : {kRgb24, Bytes{}}) {
        CTonecraftDoc doc;
        CTonecraftView view(&doc);
        if (!dib.empty())
            Load(doc, dib);
        const bool modified = !dib.empty(); // "unchanged" covers both states
        doc.SetModifiedFlag(modified);
        for (const Refusal &refusal : refusals) {
            SCOPED_TRACE(refusal.message);
            EXPECT_TRUE(Enabled(view, refusal.command));
            Run(view, refusal.command);
            EXPECT_EQ(m_ui.events, Events{refusal.message});
            EXPECT_EQ(m_ui.messages.at(0).style, MessageStyle::kIconInformation);
            EXPECT_EQ(m_ui.messages[0].owner, &view);
            EXPECT_TRUE(m_ui.dialogs.empty());
            EXPECT_EQ(Block(doc), dib);
            EXPECT_EQ(doc.IsModified(), modified);
        }
    }
}

// A fresh dialog each run at fixed defaults, the block locked, busy after it (the histogram's
// before, until its loop runs); OK gives tonecraft-batch's bytes, Cancel and histogram none.
TEST_F(ViewCommandsTest, CommandsStartFromTheirDefaultsAndMatchTheBatchTool)
{
    struct Case
    {
        int command;
        const char *defaults = "";      // the dialog's members as it opens
        const char *dialog = "";        // its class; none runs at once
        std::vector<std::string> batch; // the same in tonecraft-batch; none changes nothing
        std::vector<float> entered;
    };
    const Case cases[] = {
        {kInvert, "", "", {"invert"}, {}},
        {kLinear, "2 -128", "CLinerParaDlg", {"linear", "0.7", "-20.5"}, {0.7f, -20.5f}},
        {kThreshold, "128", "CPointThreDlg", {"threshold", "99"}, {99}},
        {kWindowTransform, "0 255", "CPointWinDlg", {"window", "40", "170"}, {40, 170}},
        {kGrayStretch,
         "50 30 200 220",
         "CPointStreDlg",
         {"stretch", "30", "200", "140", "60"},
         {30, 200, 140, 60}},
        {kEqualize, "", "", {"equalize"}, {}},
        {kHistogram, "0 255 7x5", "CIntensityDlg", {}, {10, 20}},
    };
    QTemporaryDir dir;
    const std::string in = dir.filePath("in.bmp").toStdString();
    const std::string out = dir.filePath("out.bmp").toStdString();
    const Bytes original = Gray8(7, 5, 11);
    TestImages::WriteFile(in, TestImages::MakeBmpFile(original));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command);
        Bytes expected = original;
        if (!c.batch.empty()) {
            std::vector<std::string_view> args(c.batch.begin(), c.batch.end());
            args.insert(args.end(), {in, out});
            std::ostringstream ignored;
            ASSERT_EQ(CBatchTool::Run(args, ignored, ignored), 0);
            const Bytes file = TestImages::ReadFile(out);
            std::copy(file.begin() + 14 + kRows, file.end(), expected.begin() + kRows);
            EXPECT_NE(expected, original);
        }
        for (const int answer : {DialogResult::kOk, DialogResult::kOk, DialogResult::kCancel}) {
            Load(m_doc, original);
            QSignalSpy repaints(&m_doc, &CDocument::viewsUpdateRequested);
            m_ui.runModal = [&](QDialog &d) {
                EXPECT_EQ(Exchange(d, c.entered), c.defaults);
                EXPECT_EQ(m_doc.GetImageBlock().LockCount(), 1);
                EXPECT_EQ(CWaitCursor::Count(), c.batch.empty() ? 1 : 0);
                QCoreApplication::processEvents();
                EXPECT_EQ(CWaitCursor::Count(), 0);
                return answer;
            };
            Run(m_view, c.command);
            const bool changed = (answer == DialogResult::kOk || !*c.dialog) && !c.batch.empty();
            EXPECT_EQ(m_ui.dialogs, *c.dialog ? Events{c.dialog} : Events{});
            EXPECT_EQ(m_ui.events,
                      (changed || c.batch.empty() ? Events{"busy", "idle"} : Events{}));
            EXPECT_EQ(Block(m_doc), changed ? expected : original);
            EXPECT_EQ(m_doc.IsModified(), changed);
            EXPECT_EQ(repaints.count(), changed ? 1 : 0);
        }
    }
}

// Other programs read a copy as a BMP file. A new document (no path) pastes it, saves it and
// transforms it like the file reopened from there.
TEST_F(ViewCommandsTest, CopyThenPasteGivesAnotherDocumentTheSameImage)
{
    EXPECT_FALSE(Enabled(m_view, kEditCopy));
    const Bytes source = Gray8(6, 4, 3);
    Load(m_doc, source);
    EXPECT_TRUE(Enabled(m_view, kEditCopy));
    Run(m_view, kEditCopy);
    EXPECT_EQ(m_ui.events, (Events{"busy", "idle"}));
    const QByteArray bmp = QGuiApplication::clipboard()->mimeData()->data("image/bmp");
    EXPECT_EQ(bmp, ToQt(TestImages::MakeBmpFile(source)));
    EXPECT_EQ(qGray(QImage::fromData(bmp, "BMP").pixel(0, 3)), source[kRows]); // bottom left

    CTonecraftDoc target;
    CTonecraftView targetView(&target);
    EXPECT_TRUE(Enabled(targetView, kEditPaste));
    Run(targetView, kEditPaste);
    EXPECT_EQ(Block(target), source);
    EXPECT_EQ(target.GetPalette()->Entries().size(), 256u);
    EXPECT_TRUE(target.IsModified());
    EXPECT_FALSE(m_doc.IsModified());
    QTemporaryDir dir;
    ASSERT_TRUE(target.SaveImageFile(dir.filePath("pasted.bmp")));
    CTonecraftDoc reopened;
    CTonecraftView reopenedView(&reopened);
    ASSERT_TRUE(reopened.OpenImageFile(dir.filePath("pasted.bmp")));
    for (CTonecraftView *view : {&targetView, &reopenedView}) {
        Run(*view, kInvert);
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
    Run(m_view, kInvert);
    EXPECT_EQ(onScreen(m_view), qRgb(245, 245, 245));
    EXPECT_EQ(onScreen(other), qRgb(245, 245, 245));
}

// Without memory for the duplicate, copy leaves the clipboard as it was.
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
    {
        const CAddressSpaceLimit limit(32u << 20);
        Run(m_view, kEditCopy);
    }
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

// Paste is enabled by a readable format on offer, unfetched, and fetches it once; the first one
// decides, and data failing admission is reported unreadable. A BMP file reads as from disk.
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
    struct Offer
    {
        QString format;
        Bytes bytes;
    };
    struct Case
    {
        std::vector<Offer> offers = {};
        QRgb picturePixel = 0;         // a picture offered as an image, with this pixel; none for 0
        int pastedBits = 0;            // none when nothing is pasted
        const Bytes *pasted = nullptr; // the block expected, when it is not a picture's
        Events messages = {};
    };
    const Case cases[] = {
        {},
        {.offers = {{"text/plain", gray}}},
        {.offers = {{dib, cut}}, .messages = {unreadable}},
        {.offers = {{dib, topDown}}, .messages = {tooBig, unreadable}},
        {.offers = {{"image/bmp", Bytes(bmp.begin() + 1, bmp.end())}}, .messages = {unreadable}},
        {.offers = {{dib, cut}, {"image/bmp", bmp}}, .messages = {unreadable}},
        {.offers = {{"image/png", gray}}, .messages = {unreadable}},
        {.offers = {{dib, gray}}, .pastedBits = 8, .pasted = &gray},
        {.offers = {{dib, kRgb24}}, .pastedBits = 24, .pasted = &kRgb24},
        {.offers = {{"image/bmp", bmp}}, .pastedBits = 8, .pasted = &bmp},
        {.offers = {{"image/x-portable-pixmap", pixmap}}, .pastedBits = 24},
        {.picturePixel = qRgb(90, 90, 90), .pastedBits = 8},
        {.picturePixel = qRgb(1, 2, 3), .pastedBits = 24},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.offers.size() << " " << c.picturePixel << " " << c.pastedBits);
        Load(m_doc, Gray8(2, 2));
        const Bytes before = Block(m_doc);
        auto *data = new CCountingMimeData;
        for (const Offer &offer : c.offers)
            data->setData(offer.format, ToQt(offer.bytes));
        picture.setPixel(3, 1, c.picturePixel);
        if (c.picturePixel != 0)
            data->setImageData(picture);
        QGuiApplication::clipboard()->setMimeData(data);
        const bool offered = c.pastedBits != 0 || !c.messages.empty();
        // Asked twice, as a menu asks: neither asking fetches the data.
        EXPECT_EQ(Enabled(m_view, kEditPaste), offered);
        EXPECT_EQ(Enabled(m_view, kEditPaste), offered);
        EXPECT_EQ(data->fetches, 0);
        Run(m_view, kEditPaste);
        EXPECT_EQ(data->fetches, offered ? 1 : 0);
        Events expected = offered ? Events{"busy", "idle"} : Events{};
        expected.insert(expected.end(), c.messages.begin(), c.messages.end());
        EXPECT_EQ(m_ui.events, expected);
        EXPECT_EQ(m_doc.IsModified(), c.pastedBits != 0);
        const Bytes after = Block(m_doc);
        EXPECT_EQ(CDibImage::GetBitCount(after.data()), c.pastedBits == 0 ? 8 : c.pastedBits);
        const std::size_t skip = c.pasted == &bmp ? 14 : 0; // its file header, its spare bytes
        const Bytes &block = c.pastedBits == 0 ? before : c.pasted != nullptr ? *c.pasted : after;
        EXPECT_EQ(Bytes(after.begin() + 40, after.end() - skip),
                  Bytes(block.begin() + 40 + skip, block.end()));
        if (c.pastedBits != 0 && c.pasted == nullptr) {
            EXPECT_EQ(m_doc.GetImageSize(), QSize(4, 2));
        }
    }
}

} // namespace
