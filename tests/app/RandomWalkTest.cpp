#include "AppTestSupport.h"
#include "ChildFrm.h"
#include "CommandIds.h"
#include "DialogTemplates.h"
#include "DibImage.h"
#include "DibMimeData.h"
#include "FileException.h"
#include "LinerParaDlg.h"
#include "MainFrm.h"
#include "PlotGeometry.h"
#include "PointOperations.h"
#include "PointStreDlg.h"
#include "PointThreDlg.h"
#include "PointWinDlg.h"
#include "StandardCommandIds.h"
#include "TestImages.h"
#include "Tonecraft.h"
#include "TonecraftDoc.h"
#include "WaitCursor.h"

#include <fstream>
#include <malloc.h>
#include <random>
#include <unistd.h>
#if defined(__SANITIZE_ADDRESS__)
extern "C" std::size_t __sanitizer_get_current_allocated_bytes(); // g++ ships no header
#endif

namespace {

using TestImages::Bytes;

namespace Cmd = CommandId;

// What the core alone makes of a file: the admitted block, or none.
Bytes Admitted(const QString &path)
{
    try {
        const Bytes file = TestImages::ReadFile(path.toStdString());
        return TestImages::FromHandle(CDibImage::Admit(TestImages::ReadBmp(file)).block);
    } catch (const CFileException &) {
        return {};
    }
}

// Size, depth, colour table and rows. A save rewrites other header fields (the size of the
// rows, where a colour profile lies); a file read keeps spare bytes after the rows.
Bytes Image(const Bytes &block)
{
    if (block.empty())
        return block;
    const std::uint8_t *h = block.data();
    const std::uint8_t *table = CDibImage::GetColorTable(h);
    const std::uint8_t *rows = CDibImage::GetPixelBits(h);
    const std::uint64_t stride
        = (std::uint64_t{CDibImage::GetImageWidth(h)} * CDibImage::GetBitCount(h) + 31) / 32 * 4;
    Bytes image(h, h + std::min<std::ptrdiff_t>(16, table - h));
    image.insert(image.end(), table, table + CDibImage::GetColorTableBytes(h));
    image.insert(image.end(), rows, rows + stride * CDibImage::GetImageHeight(h));
    return image;
}

template<typename Visit> void ForEachPixel(Bytes &block, Visit visit)
{
    const auto width = static_cast<std::int32_t>(CDibImage::GetImageWidth(block.data()));
    std::uint8_t *row = CDibImage::GetPixelBits(block.data());
    for (std::uint32_t y = 0; y < CDibImage::GetImageHeight(block.data()); ++y)
        std::for_each(row, row + width, visit), row += TestImages::Stride8(width);
}

// A picture another program offers, and the block a paste makes of it: 8-bit gray when all
// gray, else 24-bit.
std::pair<QImage, Bytes> Picture(std::mt19937 &rng)
{
    const int width = 1 + rng() % 30, height = 1 + rng() % 30;
    const bool gray = rng() % 2;
    QImage picture(width, height, QImage::Format_RGB32);
    Bytes rows;
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t r = rng(), g = gray ? r : rng(), b = gray ? r : r ^ 0x80;
            picture.setPixel(x, y, qRgb(r, g, b));
            rows.insert(rows.end(), {b, g, r}), rows.erase(rows.end() - (gray ? 2 : 0), rows.end());
        }
        rows.resize((rows.size() + 3) / 4 * 4);
    }
    const Bytes table = gray ? TestImages::GrayTable256() : Bytes{};
    return {picture,
            TestImages::MakeDib(
                {.width = width, .height = height, .bitCount = std::uint16_t(gray ? 8 : 24)}, table,
                rows)};
}

// Resident pages less the allocator's trimmed free memory (under AddressSanitizer, whose
// quarantine stays resident, its live bytes), with Qt's pixmap cache (up to 10 MB) emptied.
std::size_t HeldBytes()
{
    QPixmapCache::clear();
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    malloc_trim(0);
    std::size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages >> pages;
    return pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) - mallinfo2().fordblks;
#endif
}

// The program driven one random user step at a time against a model of each document: the
// core's block of its file (or the pasted one), each operation's table applied by a plain loop.
class CWalk : public CUiServices
{
public:
    explicit CWalk(unsigned seed)
        : m_rng(seed)
        , m_lpPrevious(Install(this))
    {
        m_inputs = {m_dir.filePath("lowcontrast.bmp"), m_dir.filePath("hostile.bmp")};
        TestImages::WriteFile(m_inputs[0].toStdString(), m_sample);
        for (const std::string &name : TestImages::BmpSuiteFiles()) { // the fuzzer's seeds
            m_inputs.push_back(m_dir.filePath(QString::fromStdString(name).replace('/', '-')));
            TestImages::WriteFile(m_inputs.back().toStdString(),
                                  TestImages::ReadFile(TestImages::BmpSuiteDir() / name));
        }
        EXPECT_TRUE(m_pApp->InitInstance({"tonecraft"}));
    }
    ~CWalk() override
    {
        m_pApp.reset(); // anything it still asks is answered here
        Install(m_lpPrevious);
    }

    void Run(int steps)
    {
        using Step = void (CWalk::*)();
        struct Kind
        {
            int weight;
            Step step;
        };
        static constexpr Kind kWeighted[] = {
            {3, &CWalk::Open},  {1, &CWalk::New},    {1, &CWalk::NewWindow},
            {4, &CWalk::Close}, {8, &CWalk::Point},  {1, &CWalk::Copy},
            {3, &CWalk::Paste}, {1, &CWalk::Reload}, {2, &CWalk::Save},
        };
        std::vector<Step> kinds;
        for (const Kind &kind : kWeighted)
            kinds.insert(kinds.end(), kind.weight, kind.step);
        const std::size_t before = HeldBytes();
        for (m_nStep = 1; m_nStep <= steps && !::testing::Test::HasFailure(); ++m_nStep) {
            m_step = {};
            (this->*kinds[Pick(kinds.size())])();
            Verify();
        }
        for (CTonecraftDoc *document : Documents())
            document->SetModifiedFlag(false);
        EXPECT_TRUE(m_pApp->CloseAllDocuments());
        QGuiApplication::clipboard()->clear();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const std::size_t after = HeldBytes();
        std::printf("memory held: %zu kB at the start, %zu kB with everything closed\n",
                    before >> 10, after >> 10);
        EXPECT_LE(after, before + (10u << 20));
    }

    int MessageBox(QWidget *, const QString &text, const QString &, unsigned style) override
    {
        const unsigned buttons = style & 0x0F;
        const int answers[] = {DialogResult::kYes, DialogResult::kNo, DialogResult::kCancel};
        const int answer = buttons == MessageStyle::kYesNoCancel ? answers[Pick(3)]
            : buttons == MessageStyle::kYesNo                    ? answers[Pick(2)]
                                                                 : DialogResult::kOk;
        Log("  \"" + text.left(20).toStdString() + "\" " + std::to_string(answer));
        m_step.answer = m_step.answer != 0 ? m_step.answer : answer;
        return answer;
    }
    int RunModal(QDialog &dialog) override;
    QString GetOpenFileName(QWidget *) override { return m_openAnswer; }
    QString GetSaveFileName(QWidget *, const QString &) override
    {
        m_saveAnswer = Pick(5) ? m_dir.filePath(QString("saved%1.bmp").arg(Pick(3))) : QString();
        Log("  save as '" + m_saveAnswer.toStdString() + "'");
        return m_saveAnswer;
    }
    void SetBusyCursor(bool) override { }

private:
    int Pick(qsizetype n) { return static_cast<int>(m_rng() % static_cast<unsigned>(n)); }
    static void Log(const std::string &text) { std::puts(text.c_str()), std::fflush(stdout); }
    bool Route(int command, const std::string &what)
    {
        const bool ran = m_pApp->MainFrame()->RouteCommand(command);
        Log(std::to_string(m_nStep) + ' ' + what + (ran ? "" : " (disabled)"));
        return ran;
    }
    QList<CTonecraftDoc *> Documents() const
    {
        return m_pApp->findChildren<CTonecraftDoc *>(Qt::FindDirectChildrenOnly);
    }
    CTonecraftDoc *Active() const
    {
        CChildFrame *child = m_pApp->MainFrame()->ActiveChild();
        return child != nullptr ? child->GetDocument() : nullptr;
    }
    Bytes *Model() { return Active() != nullptr ? &m_models.at(Active()) : nullptr; }

    // The sample, the sample with random bytes changed or cut short, or a file of the BMP suite.
    void Open()
    {
        const QString path = m_inputs[Pick(3) == 0 ? Pick(2) : Pick(m_inputs.size())];
        if (path == m_inputs[1]) {
            Bytes bytes = m_sample;
            for (int i = Pick(6); i >= 0; --i) // in the headers, the colour table or the rows
                bytes[Pick(Pick(2) ? 60 : bytes.size())] = static_cast<std::uint8_t>(m_rng());
            bytes.resize(Pick(2) ? bytes.size() : Pick(bytes.size()));
            TestImages::WriteFile(path.toStdString(), bytes);
        }
        m_openAnswer = Pick(10) ? path : QString();
        if (!m_openAnswer.isEmpty()) {
            m_step.origin = Admitted(path);
            const auto shown = [&](CTonecraftDoc *d) { return d->GetPathName() == path; };
            m_step.fresh = !m_step.origin.empty() && std::ranges::none_of(Documents(), shown);
        }
        Route(Cmd::kFileOpen, "open " + QFileInfo(m_openAnswer).fileName().toStdString());
    }
    void New() { m_step.fresh = Route(Cmd::kFileNew, "new"); }
    void NewWindow() { Route(Cmd::kWindowNew, "new window"); }
    void Close()
    {
        m_step.mayClose = true;
        CChildFrame *child = m_pApp->MainFrame()->ActiveChild();
        if (child == nullptr || Pick(2))
            Route(Cmd::kFileClose, "close the document");
        else
            Log(std::to_string(m_nStep) + " close the window"), child->close();
    }
    void Point()
    {
        // The menu's operations: the batch tool's own rows have no command.
        std::vector<const PointOperation *> menu;
        for (const PointOperation &op : PointOperations::All())
            if (op.command != 0)
                menu.push_back(&op);
        const PointOperation &op
            = *menu[static_cast<std::size_t>(Pick(static_cast<qsizetype>(menu.size())))];
        const int command = op.command;
        Bytes *model = Model();
        const bool gray
            = model != nullptr && !model->empty() && CDibImage::IsGrayLevelImage(model->data());
        if (command == Cmd::kInvert)
            m_step.table = PointTables::Invert();
        if (command == Cmd::kEqualize && gray) {
            GrayHistogram counts{};
            std::int32_t pixels = 0; // as one row: each division truncating gives the same
            ForEachPixel(*model, [&](std::uint8_t g) { ++counts[g], ++pixels; });
            m_step.table = PointTables::Equalize(counts, pixels, 1);
        }
        if (Route(command, std::string(op.name)) && gray && m_step.table)
            ForEachPixel(*model, [&](std::uint8_t &g) { g = (*m_step.table)[g]; });
        EXPECT_EQ(m_step.dialogs, gray && command != Cmd::kInvert && command != Cmd::kEqualize);
    }
    void Copy()
    {
        if (Route(Cmd::kEditCopy, "copy"))
            m_clip = *Model();
    }
    // Keeps what the clipboard holds or offers our data, a picture, garbage or nothing.
    void Paste()
    {
        const int kind = Pick(5);
        auto data = std::make_unique<QMimeData>();
        if (kind == 1) {
            m_clip = Picture(m_rng).second;
            data->setData(CDibMimeData::kDibFormat, ToQt(m_clip));
        } else if (kind == 2) {
            QImage picture;
            std::tie(picture, m_clip) = Picture(m_rng);
            data->setImageData(picture);
        } else if (kind == 3) {
            Bytes garbage(m_sample.begin() + 14, m_sample.begin() + 14 + Pick(1100)); // cut short
            for (int i = garbage.empty() || Pick(2) ? Pick(200) : 0; i > 0; --i)
                garbage.push_back(static_cast<std::uint8_t>(m_rng()));
            const char *format[] = {CDibMimeData::kDibFormat, "image/bmp", "image/png"};
            data->setData(format[Pick(3)], ToQt(garbage));
            m_clip.clear();
        }
        if (kind == 4)
            m_clip.clear(), QGuiApplication::clipboard()->clear();
        else if (kind != 0)
            QGuiApplication::clipboard()->setMimeData(data.release());
        Bytes *model = Model();
        const char *what[] = {"the last", "our data", "a picture", "garbage", "nothing"};
        if (Route(Cmd::kEditPaste, std::string("paste ") + what[kind]) && !m_clip.empty())
            *model = m_clip;
        EXPECT_TRUE(kind != 4 || !m_pApp->MainFrame()->IsCommandEnabled(Cmd::kEditPaste));
    }
    void Reload()
    {
        CTonecraftDoc *document = Active();
        const bool modified = document != nullptr && document->IsModified();
        if (Route(Cmd::kReload, "reload") && (!modified || m_step.answer == DialogResult::kYes)
            && !document->GetPathName().isEmpty())
            m_models.at(document) = Admitted(document->GetPathName());
    }
    // Save or save as, into the temporary folder; what it wrote reads back as the model.
    void Save()
    {
        CTonecraftDoc *document = Active();
        const bool saveAs = Pick(2);
        const QString path = document != nullptr && !saveAs ? document->GetPathName() : QString();
        m_saveAnswer.clear();
        if (!Route(saveAs ? Cmd::kFileSaveAs : Cmd::kFileSave, saveAs ? "save as" : "save"))
            return;
        const QString target = m_saveAnswer.isEmpty() ? path : m_saveAnswer;
        const Bytes &model = m_models.at(document);
        const bool wrote = !target.isEmpty() && !document->IsModified()
            && document->GetPathName() == target && !model.empty();
        if (wrote) {
            EXPECT_EQ(Image(Admitted(target)), Image(model)) << "the saved file";
        }
    }

    // After every step: the documents expected, each as its model, none locked, no busy cursor.
    void Verify()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(CWaitCursor::Count(), 0);
        const QList<CTonecraftDoc *> documents = Documents();
        std::erase_if(m_models, [&](const auto &entry) {
            const bool gone = !documents.contains(entry.first);
            EXPECT_TRUE(!gone || m_step.mayClose) << "a document vanished";
            return gone;
        });
        int fresh = 0;
        for (CTonecraftDoc *document : documents) {
            if (!m_models.contains(document))
                m_models[document] = m_step.origin, ++fresh;
            EXPECT_EQ(document->GetImageBlock().LockCount(), 0);
            EXPECT_EQ(Image(TestImages::FromHandle(document->GetImageBlock())),
                      Image(m_models[document]))
                << document->GetTitle().toStdString() << " differs from its replay";
        }
        EXPECT_EQ(fresh, m_step.fresh);
        if (::testing::Test::HasFailure())
            std::printf("failed at step %d\n", m_nStep);
    }

    void Drag(QDialog &dialog, const QList<QLineEdit *> &edits);
    QString FieldText();

    std::mt19937 m_rng;
    CUiServices *m_lpPrevious;
    QTemporaryDir m_dir;
    std::unique_ptr<CTonecraftApp> m_pApp = std::make_unique<CTonecraftApp>();
    Bytes m_sample = TestImages::ReadFile(TONECRAFT_SAMPLE_BMP);
    QStringList m_inputs;
    std::map<CTonecraftDoc *, Bytes> m_models;
    Bytes m_clip; // what a paste gives now; empty when nothing usable is offered
    struct
    {
        Bytes origin;  // what a document new in this step holds
        int fresh = 0; // how many documents it opens
        bool mayClose = false;
        int answer = 0; // to its first question
        int dialogs = 0;
        std::optional<GrayTable> table; // what its operation applies
    } m_step;
    int m_nStep = 0;
    QString m_openAnswer, m_saveAnswer;
};

// Valid, out of range or garbage.
QString CWalk::FieldText()
{
    static const char *const kGarbage[] = {"",    " ",   "abc",  "1e", "12x", "--3", "0x1F",
                                           "nan", "inf", "1e39", "+",  ".",   "-0",  "99999999999"};
    const QString texts[]
        = {QString::number(Pick(256)), QString::number((Pick(2001) - 1000) / 100.),
           QString::number(Pick(2) ? 256 + Pick(5000) : -1 - Pick(300)),
           kGarbage[Pick(std::size(kGarbage))]};
    return texts[Pick(4)];
}

// A press at a field's level in the preview (a column, or a point at the next field's level) or
// anywhere; moves inside and outside the preview and beyond the dialog; the release.
void CWalk::Drag(QDialog &dialog, const QList<QLineEdit *> &edits)
{
    const auto *preview
        = dialog.findChild<QWidget *>(QString::number(DialogTemplates::Id::kPreview));
    const QPoint at = preview != nullptr ? preview->mapTo(&dialog, QPoint(0, 0)) : QPoint();
    const PlotGeometry::Area a = PlotGeometry::DragArea(at.x(), at.y());
    std::vector<QPoint> hot{{a.left + Pick(256), a.top + Pick(255)}};
    for (qsizetype i = 0; i < edits.size(); ++i) {
        bool ok = false;
        const int level = edits[i]->text().toInt(&ok);
        const int next = i % 2 == 0 && i + 1 < edits.size() ? edits[i + 1]->text().toInt() : -1;
        if (ok && level >= 0 && level < 256)
            hot.emplace_back(a.left + level,
                             a.top + 255 - (next >= 0 && next < 256 ? next : 1 + Pick(255)));
    }
    QPoint p
        = Pick(4) ? hot[Pick(hot.size())] : QPoint(Pick(dialog.width()), Pick(dialog.height()));
    QTest::mousePress(&dialog, Qt::LeftButton, {}, p);
    for (int i = Pick(6); i > 0; --i) {
        p = Pick(3) ? QPoint(a.left - 20 + Pick(300), a.top - 20 + Pick(300))
                    : QPoint(Pick(dialog.width() + 400) - 200, Pick(dialog.height() + 400) - 200);
        QTest::mouseMove(&dialog, p);
    }
    QTest::mouseRelease(&dialog, Qt::LeftButton, {}, p);
}

// Typing into fields, tabs, drags, Enter, Escape and the buttons, in random order until the
// dialog closes; an accepted parameter dialog's members give the step's table.
int CWalk::RunModal(QDialog &dialog)
{
    ++m_step.dialogs;
    dialog.show();
    dialog.activateWindow();
    (void)QTest::qWaitForWindowActive(&dialog, 1000);
    const QList<QLineEdit *> edits = dialog.findChildren<QLineEdit *>();
    const QList<QPushButton *> buttons = dialog.findChildren<QPushButton *>();
    std::string trail = "  dialog: ";
    QLineEdit *focused = nullptr; // the field that had the focus last
    for (int round = 0; dialog.isVisible(); ++round) {
        QWidget *focus = QApplication::focusWidget();
        focus = focus != nullptr && focus->window() == &dialog ? focus : &dialog;
        if (auto *edit = qobject_cast<QLineEdit *>(focus))
            focused = edit;
        const int action = round < 40 ? Pick(10) : 7; // Escape in the end
        trail += "ttttddTERB"[action];
        if (action < 4) {
            QLineEdit *edit = edits[Pick(edits.size())];
            QTest::mouseClick(edit, Qt::LeftButton);
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(edit, FieldText());
        } else if (action < 6) {
            Drag(dialog, edits);
        } else if (action < 9) {
            QTest::keyClick(focus,
                            std::array{Qt::Key_Tab, Qt::Key_Escape, Qt::Key_Return}[action - 6]);
        } else {
            QTest::mouseClick(buttons[Pick(buttons.size())], Qt::LeftButton);
        }
    }
    // On X11 the word that the dialog is active may come after it has closed, giving a field
    // the focus again just before the dialog is destroyed.
    if (focused != nullptr && Pick(3) == 0) {
        trail += 'A';
        QApplication::setActiveWindow(&dialog);
        focused->setFocus(Qt::OtherFocusReason);
    }
    Log(trail);
    if (dialog.result() != QDialog::Accepted)
        return DialogResult::kCancel;
    if (auto *l = qobject_cast<CLinerParaDlg *>(&dialog))
        m_step.table = PointTables::Linear(l->m_fSlope, l->m_fIntercept);
    else if (auto *t = qobject_cast<CPointThreDlg *>(&dialog))
        m_step.table = PointTables::Threshold(t->m_byThreshold);
    else if (auto *w = qobject_cast<CPointWinDlg *>(&dialog))
        m_step.table = PointTables::Window(w->m_byLow, w->m_byHigh);
    else if (auto *s = qobject_cast<CPointStreDlg *>(&dialog))
        m_step.table = PointTables::GrayStretch(s->m_byX1, s->m_byY1, s->m_byX2, s->m_byY2);
    return DialogResult::kOk;
}

// TONECRAFT_WALK_SEED replays a walk, TONECRAFT_WALK_STEPS lengthens it.
TEST(RandomWalk, EveryDocumentMatchesItsReplayAndMemoryReturns)
{
    bool fixed = false, longer = false;
    unsigned seed = qEnvironmentVariable("TONECRAFT_WALK_SEED").toUInt(&fixed);
    unsigned steps = qEnvironmentVariable("TONECRAFT_WALK_STEPS").toUInt(&longer);
    seed = fixed ? seed : std::random_device()();
    steps = longer ? steps : 300;
    std::printf("random walk: TONECRAFT_WALK_SEED=%u, %u steps\n", seed, steps);
    CWalk(seed).Run(static_cast<int>(steps));
}

} // namespace
