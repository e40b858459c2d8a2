#include "AppTestSupport.h"
#include "ChildFrm.h"
#include "CommandIds.h"
#include "DialogTemplates.h"
#include "DibImage.h"
#include "DibMimeData.h"
#include "FileException.h"
#include "IntensityDlg.h"
#include "LinerParaDlg.h"
#include "MainFrm.h"
#include "MemFile.h"
#include "PlotGeometry.h"
#include "PointStreDlg.h"
#include "PointTables.h"
#include "PointThreDlg.h"
#include "PointWinDlg.h"
#include "RecentFileList.h"
#include "TestImages.h"
#include "Tonecraft.h"
#include "TonecraftDoc.h"
#include "WaitCursor.h"

#include <fstream>
#include <malloc.h>
#include <random>
#include <unistd.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/allocator_interface.h>
#endif

namespace {

using TestImages::Bytes;
namespace Cmd = CommandId;
using Model = std::optional<GrayTable>;

// What the core alone makes of a file's bytes: the admitted block, or none.
Bytes Admitted(const Bytes &file)
{
    try {
        CMemFile memory(file);
        return TestImages::FromHandle(CDibImage::Admit(CDibImage::ReadBmpFile(memory)).block);
    } catch (const CFileException &) {
        return {};
    }
}

QByteArray ToQt(const Bytes &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), std::ssize(bytes));
}

// The size, depth, colour table and rows. Saving rewrites other header fields (the size of
// the rows, where a colour profile lies) and a file read keeps spare bytes after the rows.
Bytes Image(const Bytes &block)
{
    if (block.empty())
        return block;
    const std::uint8_t *h = block.data();
    const std::uint8_t *table = CDibImage::GetColorTable(h);
    const std::size_t stride
        = (std::uint64_t{CDibImage::GetImageWidth(h)} * CDibImage::GetBitCount(h) + 31) / 32 * 4;
    Bytes image(h, h + std::min<std::ptrdiff_t>(16, table - h));
    image.insert(image.end(), table, table + CDibImage::GetColorTableBytes(h));
    const std::uint8_t *rows = CDibImage::GetPixelBits(h);
    image.insert(image.end(), rows, rows + stride * CDibImage::GetImageHeight(h));
    return image;
}

// Empty when the images are equal, else where they part.
std::string Difference(const Bytes &a, const Bytes &b)
{
    const Bytes x = Image(a), y = Image(b);
    const auto at = std::mismatch(x.begin(), x.end(), y.begin(), y.end()).first - x.begin();
    return x == y ? ""
                  : QString("%1 and %2 bytes, first difference at %3")
                        .arg(x.size())
                        .arg(y.size())
                        .arg(at)
                        .toStdString();
}

bool Gray256(const Bytes &block)
{
    return !block.empty() && CDibImage::GetBitCount(block.data()) == 8
        && CDibImage::GetColorCount(block.data()) == 256;
}

// Calls `visit` on every pixel of an 8-bit block (row padding excluded).
template<typename Visit> void ForEachPixel(Bytes &block, Visit visit)
{
    const std::int32_t width = static_cast<std::int32_t>(CDibImage::GetImageWidth(block.data()));
    const std::size_t stride = TestImages::Stride8(width);
    std::uint8_t *bits = CDibImage::GetPixelBits(block.data());
    for (std::size_t y = 0; y < CDibImage::GetImageHeight(block.data()); ++y)
        std::for_each(bits + y * stride, bits + y * stride + width, visit);
}

// The rows bottom-up without padding, as width x height samples of `bits` bits.
Bytes Rows(const Bytes &block)
{
    const std::uint8_t *h = block.data();
    const std::uint64_t width = CDibImage::GetImageWidth(h);
    const std::uint64_t bits = CDibImage::GetBitCount(h);
    const std::size_t used = (width * bits + 7) / 8;
    const std::size_t stride = (width * bits + 31) / 32 * 4;
    Bytes rows;
    for (std::size_t y = 0; y < CDibImage::GetImageHeight(h); ++y)
        rows.insert(rows.end(), CDibImage::GetPixelBits(h) + y * stride,
                    CDibImage::GetPixelBits(h) + y * stride + used);
    return rows;
}

// A picture as another program offers it becomes 8-bit gray when all gray, else 24-bit.
std::tuple<int, int, int, Bytes> Expected(const QImage &picture, bool gray)
{
    Bytes rows;
    for (int y = picture.height() - 1; y >= 0; --y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb c = picture.pixel(x, y);
            if (gray)
                rows.push_back(static_cast<std::uint8_t>(qRed(c)));
            else
                rows.insert(rows.end(), {static_cast<std::uint8_t>(qBlue(c)),
                                         static_cast<std::uint8_t>(qGreen(c)),
                                         static_cast<std::uint8_t>(qRed(c))});
        }
    }
    return {picture.width(), picture.height(), gray ? 8 : 24, rows};
}

std::size_t ResidentBytes()
{
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_purge_allocator(); // the quarantine and free chunks go back to the system
#else
    malloc_trim(0);
#endif
    std::size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages >> pages;
    return pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

unsigned EnvNumber(const char *name, unsigned fallback)
{
    bool ok = false;
    const unsigned value = qEnvironmentVariable(name).toUInt(&ok);
    return ok ? value : fallback;
}

// The program driven as a user would, one random step at a time, against a model of every open
// document: the block the core reads from its file (or the paste), with each operation's table
// applied by a plain loop.
class CWalk : public CUiServices
{
public:
    explicit CWalk(unsigned seed)
        : m_rng(seed)
        , m_lpPrevious(Install(this))
    {
        QSettings(CRecentFileList::kOrganization, CRecentFileList::kApplication).clear();
        const auto keep = [this](const QString &name, const Bytes &bytes) {
            TestImages::WriteFile(m_dir.filePath(name).toStdString(), bytes);
            m_inputs.push_back(m_dir.filePath(name));
        };
        keep("lowcontrast.bmp", m_sample = TestImages::ReadFile(TONECRAFT_SAMPLE_BMP));
        for (const std::string &name : TestImages::BmpSuiteFiles()) // the fuzzer's seeds
            keep(QString::fromStdString(name).replace('/', '-'),
                 TestImages::ReadFile(TestImages::BmpSuiteDir() / name));
        m_inputs.push_back(m_dir.filePath("hostile.bmp")); // written afresh by each open
        EXPECT_TRUE(m_pApp->InitInstance({"tonecraft"}));
    }
    ~CWalk() override
    {
        m_pApp.reset(); // whatever it still asks is answered here
        Install(m_lpPrevious);
    }

    void Run(int steps)
    {
        using Step = void (CWalk::*)();
        static constexpr std::pair<int, Step> kSteps[] = {
            {4, &CWalk::Open},  {1, &CWalk::New},   {1, &CWalk::NewWindow},
            {2, &CWalk::Close}, {8, &CWalk::Point}, {1, &CWalk::Copy},
            {3, &CWalk::Paste}, {1, &CWalk::Reload}, {2, &CWalk::Save},
        };
        int total = 0;
        for (const auto &step : kSteps)
            total += step.first;
        const std::size_t before = ResidentBytes();
        for (m_nStep = 1; m_nStep <= steps && !::testing::Test::HasFailure(); ++m_nStep) {
            m_expectNew = 0;
            m_origin.clear();
            m_bMayClose = false;
            int roll = Pick(total);
            for (const auto &[weight, step] : kSteps) {
                if ((roll -= weight) < 0) {
                    (this->*step)();
                    break;
                }
            }
            Verify();
        }
        for (CTonecraftDoc *doc : Documents())
            doc->SetModifiedFlag(false);
        EXPECT_TRUE(m_pApp->CloseAllDocuments());
        QGuiApplication::clipboard()->clear();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const std::size_t after = ResidentBytes();
        std::printf("resident memory %zu kB at the start, %zu kB with everything closed\n",
                    before >> 10, after >> 10);
        EXPECT_LE(after, before + (10u << 20));
    }

    int MessageBox(QWidget *, const QString &text, const QString &, unsigned style) override
    {
        const unsigned buttons = style & 0x0F;
        m_nAnswer = buttons == MessageStyle::kYesNoCancel
            ? std::array{DialogResult::kYes, DialogResult::kNo, DialogResult::kCancel}[Pick(3)]
            : buttons == MessageStyle::kYesNo ? (Pick(2) ? DialogResult::kYes : DialogResult::kNo)
                                              : DialogResult::kOk;
        Log("  \"" + text.left(24).toStdString() + "\" -> " + std::to_string(m_nAnswer));
        return m_nAnswer;
    }
    int RunModal(QDialog &dialog) override;
    QString GetOpenFileName(QWidget *) override { return m_openAnswer; }
    QString GetSaveFileName(QWidget *, const QString &) override
    {
        m_saveAnswer = Pick(5) ? m_dir.filePath(QString("saved%1.bmp").arg(Pick(3))) : QString();
        Log("  save as \"" + m_saveAnswer.toStdString() + '"');
        return m_saveAnswer;
    }
    void SetBusyCursor(bool) override { }

private:
    int Pick(std::size_t n) { return std::uniform_int_distribution<int>(0, int(n) - 1)(m_rng); }
    void Log(const std::string &text) const { std::printf("%s\n", text.c_str()), std::fflush(stdout); }
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

    void Open()
    {
        const QString path = m_inputs[Pick(m_inputs.size())];
        if (path.endsWith("hostile.bmp")) {
            Bytes bytes = m_sample;
            for (int i = Pick(6); i >= 0; --i) // header, colour table or rows
                bytes[Pick(std::min<std::size_t>(bytes.size(), Pick(2) ? 60 : 1100))] = Pick(256);
            bytes.resize(Pick(2) ? bytes.size() : Pick(bytes.size()));
            TestImages::WriteFile(path.toStdString(), bytes);
        }
        m_openAnswer = Pick(10) ? path : QString();
        if (!m_openAnswer.isEmpty()) {
            m_origin = Admitted(TestImages::ReadFile(path.toStdString()));
            const auto documents = Documents();
            m_expectNew = !m_origin.empty() && std::none_of(documents.begin(), documents.end(),
                              [&](CTonecraftDoc *d) { return d->GetPathName() == path; });
        }
        Route(Cmd::kFileOpen, "open " + QFileInfo(m_openAnswer).fileName().toStdString());
    }
    void New() { m_expectNew = Route(Cmd::kFileNew, "new"); }
    void NewWindow() { Route(Cmd::kWindowNew, "new window"); }
    void Close()
    {
        m_bMayClose = true;
        CChildFrame *child = m_pApp->MainFrame()->ActiveChild();
        if (child == nullptr || Pick(2))
            Route(Cmd::kFileClose, "close the document");
        else
            Log(std::to_string(m_nStep) + " close the window"), child->close();
    }
    void Point()
    {
        static constexpr std::pair<int, const char *> kOps[] = {
            {Cmd::kInvert, "invert"}, {Cmd::kLinear, "linear"},
            {Cmd::kThreshold, "threshold"}, {Cmd::kWindowTransform, "window"},
            {Cmd::kGrayStretch, "stretch"}, {Cmd::kEqualize, "equalize"},
            {Cmd::kHistogram, "histogram"},
        };
        const auto [command, name] = kOps[Pick(std::size(kOps))];
        CTonecraftDoc *doc = Active();
        m_table = command == Cmd::kInvert ? Model(PointTables::Invert()) : std::nullopt;
        Bytes *model = doc != nullptr ? &m_models[doc] : nullptr;
        if (command == Cmd::kEqualize && model != nullptr && Gray256(*model)) {
            GrayHistogram counts{};
            ForEachPixel(*model, [&](std::uint8_t g) { ++counts[g]; });
            m_table = PointTables::Equalize(counts,
                                            static_cast<std::int32_t>(CDibImage::GetImageWidth(model->data())),
                                            static_cast<std::int32_t>(CDibImage::GetImageHeight(model->data())));
        }
        m_nDialogs = 0;
        if (Route(command, name) && model != nullptr && Gray256(*model) && m_table)
            ForEachPixel(*model, [&](std::uint8_t &g) { g = (*m_table)[g]; });
        EXPECT_EQ(m_nDialogs, model != nullptr && Gray256(*model) && command != Cmd::kInvert
                                  && command != Cmd::kEqualize);
    }
    void Copy()
    {
        CTonecraftDoc *doc = Active();
        if (Route(Cmd::kEditCopy, "copy"))
            m_clip = {true, m_models.at(doc), {}};
    }
    void Paste()
    {
        auto *data = new QMimeData;
        const int kind = Pick(5);
        const char *what[] = {"paste the last copy", "paste our data", "paste a picture",
                              "paste garbage", "paste nothing"};
        if (kind == 1) {
            const int w = 1 + Pick(40), h = 1 + Pick(40);
            m_clip = {true,
                      Pick(4) ? TestImages::MakeDib({.width = w, .height = h},
                                                    TestImages::GrayTable256(),
                                                    TestImages::RandomRows(w, h, m_rng()))
                              : TestImages::MakeDib({.width = 2, .height = 1, .bitCount = 24}, {},
                                                    Bytes(8, 0x5A)),
                      {}};
        } else if (kind == 2) {
            QImage picture(1 + Pick(30), 1 + Pick(30), QImage::Format_RGB32);
            const bool gray = Pick(2);
            for (int i = 0; i < picture.width() * picture.height(); ++i)
                picture.setPixel(i % picture.width(), i / picture.width(),
                                 gray ? qRgb(i * 7 % 256, i * 7 % 256, i * 7 % 256)
                                      : qRgb(Pick(256), Pick(256), Pick(256)));
            data->setImageData(picture);
            m_clip = {false, {}, picture};
        } else if (kind == 3) {
            const char *format[] = {CDibMimeData::kDibFormat, "image/bmp", "image/png"};
            Bytes garbage(Pick(200));
            for (std::uint8_t &b : garbage)
                b = static_cast<std::uint8_t>(Pick(256));
            if (Pick(2) && garbage.size() > 2) // a readable DIB cut short
                garbage.assign(m_sample.begin() + 14, m_sample.begin() + 14 + Pick(garbage.size()));
            data->setData(format[Pick(3)], ToQt(garbage));
            m_clip = {};
        } else if (kind == 4) {
            m_clip = {};
        }
        if (kind == 1)
            data->setData(CDibMimeData::kDibFormat, ToQt(m_clip.block));
        if (kind != 0)
            QGuiApplication::clipboard()->setMimeData(data);
        else
            delete data;
        CTonecraftDoc *doc = Active();
        if (!Route(Cmd::kEditPaste, what[kind]) || doc == nullptr)
            return;
        if (m_clip.ours && !m_clip.block.empty()) {
            m_models[doc] = m_clip.block;
        } else if (!m_clip.picture.isNull()) {
            Bytes block = TestImages::FromHandle(doc->GetImageBlock());
            const bool gray = m_clip.picture.allGray();
            ASSERT_FALSE(block.empty());
            EXPECT_EQ(std::tuple(int(CDibImage::GetImageWidth(block.data())),
                                 int(CDibImage::GetImageHeight(block.data())),
                                 int(CDibImage::GetBitCount(block.data())), Rows(block)),
                      Expected(m_clip.picture, gray));
            m_models[doc] = block;
        }
    }
    void Reload()
    {
        CTonecraftDoc *doc = Active();
        const bool modified = doc != nullptr && doc->IsModified();
        m_nAnswer = 0;
        if (Route(Cmd::kReload, "reload") && (!modified || m_nAnswer == DialogResult::kYes)
            && !doc->GetPathName().isEmpty())
            m_models[doc] = Admitted(TestImages::ReadFile(doc->GetPathName().toStdString()));
    }
    void Save()
    {
        CTonecraftDoc *doc = Active();
        const bool saveAs = Pick(2);
        const QString path = doc != nullptr ? doc->GetPathName() : QString();
        m_saveAnswer.clear();
        if (!Route(saveAs ? Cmd::kFileSaveAs : Cmd::kFileSave, saveAs ? "save as" : "save"))
            return;
        const QString target = m_saveAnswer.isEmpty() ? (saveAs ? QString() : path) : m_saveAnswer;
        if (!target.isEmpty() && !doc->IsModified() && doc->GetPathName() == target
            && !m_models[doc].empty()) {
            EXPECT_EQ(Difference(Admitted(TestImages::ReadFile(target.toStdString())), m_models[doc]),
                      "") << "the saved file";
        }
    }

    void Drive(QDialog &dialog);
    void Drag(QDialog &dialog);
    QString FieldText();

    // After every step: the documents are those expected, each with its model's bytes,
    // nothing locked, no busy cursor.
    void Verify()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(CWaitCursor::Count(), 0);
        const QList<CTonecraftDoc *> documents = Documents();
        std::erase_if(m_models, [&](const auto &entry) {
            const bool gone = !documents.contains(entry.first);
            EXPECT_TRUE(!gone || m_bMayClose) << "a document vanished";
            return gone;
        });
        int fresh = 0;
        for (CTonecraftDoc *doc : documents) {
            if (!m_models.contains(doc))
                m_models[doc] = m_origin, ++fresh;
            EXPECT_EQ(doc->GetImageBlock().LockCount(), 0);
            EXPECT_EQ(Difference(TestImages::FromHandle(doc->GetImageBlock()), m_models[doc]), "")
                << doc->GetTitle().toStdString() << " against its replay";
        }
        EXPECT_EQ(fresh, m_expectNew);
        if (::testing::Test::HasFailure())
            std::printf("failed at step %d\n", m_nStep);
    }

    struct Clip
    {
        bool ours = false;
        Bytes block;
        QImage picture;
    };

    std::mt19937 m_rng;
    CUiServices *m_lpPrevious;
    QTemporaryDir m_dir;
    std::unique_ptr<CTonecraftApp> m_pApp = std::make_unique<CTonecraftApp>();
    Bytes m_sample;
    QStringList m_inputs;
    std::map<CTonecraftDoc *, Bytes> m_models;
    Clip m_clip;
    Bytes m_origin; // what a document new in this step holds
    int m_expectNew = 0;
    bool m_bMayClose = false;
    int m_nStep = 0;
    int m_nAnswer = 0;
    int m_nDialogs = 0;
    Model m_table; // what the step's operation applies
    QString m_openAnswer, m_saveAnswer;
};

QString CWalk::FieldText()
{
    static const char *const kGarbage[] = {"",  " ",   "abc", "1e",  "12x", "--3", "0x1F", "nan",
                                           "inf", "1e39", "+",   ".",   "-0",  "99999999999999999999"};
    switch (Pick(4)) {
    case 0:
        return QString::number(Pick(256));
    case 1:
        return QString::number((Pick(2001) - 1000) / 100.0);
    case 2:
        return QString::number(Pick(2) ? 256 + Pick(5000) : -1 - Pick(300));
    default:
        return kGarbage[Pick(std::size(kGarbage))];
    }
}

// A press on one of the dialog's handles or anywhere in it, moves inside and outside the
// preview and beyond the dialog, then the release.
void CWalk::Drag(QDialog &dialog)
{
    const auto *preview = dialog.findChild<QWidget *>(QString::number(DialogTemplates::Id::kPreview));
    const QPoint at = preview != nullptr ? preview->mapTo(&dialog, QPoint(0, 0)) : QPoint();
    const PlotGeometry::Area a = PlotGeometry::DragArea(at.x(), at.y());
    const auto column = [&](int g) { return QPoint(a.left + g, a.top + Pick(255)); };
    const auto handle = [&](int gx, int gy) { return QPoint(a.left + gx, a.top + 255 - gy); };
    std::vector<QPoint> hot{column(Pick(256))}; // the linear transform's band starts anywhere
    if (auto *t = qobject_cast<CPointThreDlg *>(&dialog))
        hot = {column(t->m_byThreshold)};
    else if (auto *w = qobject_cast<CPointWinDlg *>(&dialog))
        hot = {column(w->m_byLow), column(w->m_byHigh)};
    else if (auto *s = qobject_cast<CPointStreDlg *>(&dialog))
        hot = {handle(s->m_byX1, s->m_byY1), handle(s->m_byX2, s->m_byY2)};
    else if (auto *h = qobject_cast<CIntensityDlg *>(&dialog))
        hot = {column(h->m_iLow), column(h->m_iHigh)};
    QPoint p = Pick(4) ? hot[Pick(hot.size())] : QPoint(Pick(dialog.width()), Pick(dialog.height()));
    QTest::mousePress(&dialog, Qt::LeftButton, {}, p);
    for (int i = Pick(6); i > 0; --i) {
        p = Pick(3) ? QPoint(a.left - 20 + Pick(300), a.top - 20 + Pick(300))
                    : QPoint(Pick(dialog.width() + 400) - 200, Pick(dialog.height() + 400) - 200);
        QTest::mouseMove(&dialog, p);
    }
    QTest::mouseRelease(&dialog, Qt::LeftButton, {}, p);
}

// Fields typed into, tabs, drags, Enter, Escape and the two buttons in random order until the
// dialog closes; an accepted parameter dialog's members give the step's table.
int CWalk::RunModal(QDialog &dialog)
{
    ++m_nDialogs;
    dialog.show();
    dialog.activateWindow();
    (void)QTest::qWaitForWindowActive(&dialog, 1000);
    const QList<QLineEdit *> edits = dialog.findChildren<QLineEdit *>();
    const QList<QPushButton *> buttons = dialog.findChildren<QPushButton *>();
    QString trail = "  dialog:";
    for (int round = 0; dialog.isVisible(); ++round) {
        QWidget *focus = QApplication::focusWidget();
        if (focus == nullptr || focus->window() != &dialog)
            focus = &dialog;
        const int action = round < 40 ? Pick(10) : 7;
        if (action < 4 && !edits.isEmpty()) {
            QLineEdit *edit = edits[Pick(edits.size())];
            const QString text = FieldText();
            trail += QString(" [%1]'%2'").arg(edits.indexOf(edit)).arg(text);
            QTest::mouseClick(edit, Qt::LeftButton);
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(edit, text);
        } else if (action < 6) {
            trail += " drag";
            Drag(dialog);
        } else if (action == 6) {
            trail += " tab";
            QTest::keyClick(focus, Qt::Key_Tab);
        } else if (action < 9) {
            trail += action == 7 ? " esc" : " enter";
            QTest::keyClick(focus, action == 7 ? Qt::Key_Escape : Qt::Key_Return);
        } else {
            QPushButton *button = buttons[Pick(buttons.size())];
            trail += " " + button->text();
            QTest::mouseClick(button, Qt::LeftButton);
        }
    }
    Log(trail.toStdString());
    if (dialog.result() != QDialog::Accepted)
        return DialogResult::kCancel;
    if (auto *l = qobject_cast<CLinerParaDlg *>(&dialog))
        m_table = PointTables::Linear(l->m_fSlope, l->m_fIntercept);
    else if (auto *t = qobject_cast<CPointThreDlg *>(&dialog))
        m_table = PointTables::Threshold(t->m_byThreshold);
    else if (auto *w = qobject_cast<CPointWinDlg *>(&dialog))
        m_table = PointTables::Window(w->m_byLow, w->m_byHigh);
    else if (auto *s = qobject_cast<CPointStreDlg *>(&dialog))
        m_table = PointTables::GrayStretch(s->m_byX1, s->m_byY1, s->m_byX2, s->m_byY2);
    return DialogResult::kOk;
}

// Seed and length come from TONECRAFT_WALK_SEED and TONECRAFT_WALK_STEPS when set.
TEST(RandomWalk, EveryDocumentMatchesItsReplayAndMemoryReturns)
{
    const unsigned seed = EnvNumber("TONECRAFT_WALK_SEED", std::random_device()());
    const unsigned steps = EnvNumber("TONECRAFT_WALK_STEPS", 300);
    std::printf("random walk of %u steps, TONECRAFT_WALK_SEED=%u\n", steps, seed);
    CWalk(seed).Run(static_cast<int>(steps));
}

} // namespace
