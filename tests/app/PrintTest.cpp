#include "AppTestSupport.h"
#include "PrintLayout.h"
#include "TestImages.h"
#include "Tonecraft.h"
#include "TonecraftDoc.h"
#include "TonecraftView.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QImage>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdint>
#include <ostream>
#include <string>

static void PrintTo(const Rect &r, std::ostream *os)
{
    *os << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}

namespace {

TEST(PrintDestination, FillsThePageWidthAndCentresVertically)
{
    struct Case
    {
        const char *name;
        std::int32_t width;
        std::int32_t height;
        PrinterCaps page;
        Rect expected;
    };
    // clang-format off
    const Case cases[] = {
        {"square pixels",            100, 50,   {4800, 6600, 600, 600}, {0, 2100, 4800, 4500}},
        {"600 x 300 dpi",            100, 50,   {4800, 6600, 600, 300}, {0, 2700, 4800, 3900}},
        {"height truncated",         7,   3,    {100, 100, 1, 1},       {0, 29, 100, 71}},
        {"odd spare",                100, 90,   {100, 95, 96, 96},      {0, 2, 100, 92}},
        {"taller than the page",     100, 100,  {100, 95, 96, 96},      {0, -2, 100, 98}},
        {"spare -7",                 100, 100,  {100, 93, 96, 96},      {0, -3, 100, 97}},
        {"products beyond 32 bits",  5000, 5000, {4800, 6600, 600, 600}, {0, 900, 4800, 5700}},
        {"height beyond 31 bits",    1, 400000, {4800, 6600, 600, 600},
                                     {0, -959996700, 4800, 960003300}},
        {"edges beyond 32 bits",     1, 900000, {4800, 6600, 600, 600},
                                     {0, INT32_MIN, 4800, INT32_MAX}},
    };
    // clang-format on
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PrintDestination(c.width, c.height, c.page), c.expected);
    }
    EXPECT_TRUE(PrintDestination(0, 50, {4800, 6600, 600, 600}).IsEmpty());
    EXPECT_TRUE(PrintDestination(100, 0, {4800, 6600, 600, 600}).IsEmpty());
}

// A 100 x 50 image of four quadrants, gray 0, 60 (top) and 120, 180 (bottom).
constexpr int kQuadrant[2][2] = {{0, 60}, {120, 180}};

QString WriteQuadrants(const QTemporaryDir &dir)
{
    TestImages::Bytes rows(100 * 50);
    for (int y = 0; y < 50; ++y) {
        for (int x = 0; x < 100; ++x)
            rows[static_cast<std::size_t>((49 - y) * 100 + x)]
                = static_cast<std::uint8_t>(kQuadrant[y / 25][x / 50]);
    }
    const QString path = dir.filePath("quadrants.bmp");
    TestImages::WriteFile(path.toStdString(), TestImages::MakeGray8Bmp(100, 50, rows));
    return path;
}

// Runs a poppler tool to its end; its standard output, or null when it failed.
QByteArray RunTool(const QString &program, const QStringList &arguments)
{
    if (QStandardPaths::findExecutable(program).isEmpty()) {
        ADD_FAILURE() << program.toStdString() << " is missing (poppler-utils)";
        return {};
    }
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString()
                      << " failed: " << process.readAllStandardError().toStdString();
        return {};
    }
    const QByteArray out = process.readAllStandardOutput();
    return out.isNull() ? QByteArray("") : out;
}

// Page 1 of `pdf` rendered in gray at `dpi`.
QImage Rasterise(const QString &pdf, int dpi)
{
    if (RunTool("pdftoppm", {"-r", QString::number(dpi), "-gray", "-png", "-singlefile", pdf, pdf})
            .isNull())
        return {};
    return QImage(pdf + ".png").convertToFormat(QImage::Format_Grayscale8);
}

// The bounding box of the pixels darker than paper.
QRect DarkBox(const QImage &page)
{
    QRect box;
    for (int y = 0; y < page.height(); ++y) {
        const uchar *row = page.constScanLine(y);
        for (int x = 0; x < page.width(); ++x) {
            if (row[x] < 220)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

// Whether the edges of `got` lie within `tolerance` pixels of those of `expected`.
bool Near(const QRect &got, const QRect &expected, int tolerance)
{
    return std::abs(got.left() - expected.left()) <= tolerance
        && std::abs(got.top() - expected.top()) <= tolerance
        && std::abs(got.right() - expected.right()) <= tolerance
        && std::abs(got.bottom() - expected.bottom()) <= tolerance;
}

// Where an image `aspect` times as high as wide (100 x 50 by default) goes on `printer`'s page,
// in its device pixels: the printable width, centred on the printable height (square pixels).
QRect ExpectedPlace(const QPrinter &printer, double aspect = 0.5)
{
    const QPoint origin = printer.pageLayout().paintRectPixels(printer.resolution()).topLeft();
    const int height = static_cast<int>(printer.width() * aspect);
    return {origin.x(), origin.y() + (printer.height() - height) / 2, printer.width(), height};
}

class PrintTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(m_doc.OpenImageFile(WriteQuadrants(m_dir)));
    }

    CRecordingUiServices m_ui;
    QTemporaryDir m_dir;
    CTonecraftDoc m_doc;
    CTonecraftView m_view{&m_doc};
};

TEST_F(PrintTest, PdfPageShowsTheImageWhereTheLayoutPutsIt)
{
    constexpr int kDpi = 150;
    const QString pdf = m_dir.filePath("page.pdf");
    QPrinter printer;
    printer.setResolution(kDpi);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    m_view.PrintPage(printer);
    const QRect place = ExpectedPlace(printer);

    const QImage page = Rasterise(pdf, kDpi);
    ASSERT_FALSE(page.isNull());
    EXPECT_PRED3(Near, page.rect(), printer.pageLayout().fullRectPixels(kDpi), 1);
    EXPECT_PRED3(Near, DarkBox(page), place, 2);
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 2; ++column) {
            const QPoint centre(place.left() + place.width() * (2 * column + 1) / 4,
                                place.top() + place.height() * (2 * row + 1) / 4);
            EXPECT_NEAR(page.pixelColor(centre).red(), kQuadrant[row][column], 3)
                << row << ", " << column;
        }
    }
    for (const QPoint paper : {place.topLeft() - QPoint(0, 8), place.bottomLeft() + QPoint(8, 8),
                               QPoint(place.left() - 8, place.center().y())})
        EXPECT_GE(page.pixelColor(paper).red(), 250) << paper.x() << ", " << paper.y();

    // The picture is stored losslessly: no JPEG in the file.
    const QString images = QString::fromLatin1(RunTool("pdfimages", {"-list", pdf}));
    const QStringList lines = images.split('\n', Qt::SkipEmptyParts).mid(2);
    EXPECT_FALSE(lines.isEmpty()) << images.toStdString();
    for (const QString &line : lines)
        EXPECT_NE(line.simplified().section(' ', 8, 8), "jpeg") << line.toStdString();
}

// The preview records the page and draws it only when it shows it: it must show the picture,
// not the decoding buffer as reused or freed since. The page is rendered here as the preview
// draws it and compared with the picture scaled to its place.
TEST_F(PrintTest, PreviewShowsThePictureAtItsPlace)
{
    constexpr int kWidth = 40;
    constexpr int kHeight = 30; // many 32-row strips once scaled to the page
    QImage picture(kWidth, kHeight, QImage::Format_Grayscale8);
    TestImages::Bytes rows(kWidth * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const auto level = static_cast<std::uint8_t>(2 * x + 5 * y);
            rows[static_cast<std::size_t>((kHeight - 1 - y) * kWidth + x)] = level;
            picture.scanLine(y)[x] = level;
        }
    }
    const QString path = m_dir.filePath("levels.bmp");
    TestImages::WriteFile(path.toStdString(), TestImages::MakeGray8Bmp(kWidth, kHeight, rows));
    ASSERT_TRUE(m_doc.OpenImageFile(path));

    QImage page;
    QRect place;
    m_ui.runModal = [&](QDialog &dialog) {
        auto *widget = dialog.findChild<QPrintPreviewWidget *>();
        auto *view = widget != nullptr ? widget->findChild<QGraphicsView *>() : nullptr;
        auto *printer = qobject_cast<QPrintPreviewDialog *>(&dialog)->printer();
        if (view == nullptr || printer == nullptr) {
            ADD_FAILURE() << "no preview widget";
            return DialogResult::kCancel;
        }
        printer->setResolution(50);
        widget->updatePreview();
        const QList<QGraphicsItem *> pages = view->scene()->items();
        if (pages.size() != 1) {
            ADD_FAILURE() << pages.size() << " preview pages";
            return DialogResult::kCancel;
        }
        page = QImage(printer->pageLayout().fullRectPixels(50).size(), QImage::Format_RGB32);
        page.fill(Qt::black);
        QPainter painter(&page);
        view->scene()->render(&painter, page.rect(), QRectF(pages[0]->scenePos(), page.size()));
        place = ExpectedPlace(*printer, static_cast<double>(kHeight) / kWidth);
        return DialogResult::kCancel;
    };
    ASSERT_TRUE(m_view.OnCommand(57609));
    ASSERT_FALSE(page.isNull());
    ASSERT_GT(place.width(), 5 * kWidth);

    // Nearest-pixel sampling may pick a neighbour of Qt's: one step in x (2) and y (5).
    const QImage expected = picture.scaled(place.size());
    const QImage shown = page.convertToFormat(QImage::Format_Grayscale8);
    int wrong = 0;
    std::string first;
    for (int y = 0; y < place.height(); ++y) {
        for (int x = 0; x < place.width(); ++x) {
            const int got = shown.constScanLine(place.top() + y)[place.left() + x];
            const int want = expected.constScanLine(y)[x];
            if (std::abs(got - want) > 7 && wrong++ == 0)
                first = std::to_string(x) + ", " + std::to_string(y) + ": " + std::to_string(got)
                    + " instead of " + std::to_string(want);
        }
    }
    EXPECT_EQ(wrong, 0) << first;
}

// Print (after its dialog) and preview put the image at the same place; a declined print
// dialog prints nothing.
TEST_F(PrintTest, PrintAndPreviewCommandsPlaceTheSameRectangle)
{
    struct Case
    {
        const char *name;
        int command;
        int answer;
        const char *dialog;
    };
    const Case cases[] = {
        {"print", 57607, DialogResult::kOk, "QPrintDialog"},
        {"print declined", 57607, DialogResult::kCancel, "QPrintDialog"},
        {"preview", 57609, DialogResult::kCancel, "QPrintPreviewDialog"},
    };
    constexpr int kDpi = 75;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString pdf = m_dir.filePath(QString::fromUtf8(c.name) + ".pdf");
        QRect place;
        double scale = 0;
        m_ui.dialogs.clear();
        m_ui.runModal = [&](QDialog &dialog) {
            QPrinter *printer = nullptr;
            if (auto *print = qobject_cast<QPrintDialog *>(&dialog)) {
                EXPECT_EQ(print->minPage(), 1);
                EXPECT_EQ(print->maxPage(), 1);
                printer = print->printer();
            } else if (auto *preview = qobject_cast<QPrintPreviewDialog *>(&dialog)) {
                printer = preview->printer();
            }
            if (printer == nullptr)
                return DialogResult::kCancel;
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(pdf);
            place = ExpectedPlace(*printer);
            scale = static_cast<double>(kDpi) / printer->resolution();
            if (auto *preview = qobject_cast<QPrintPreviewDialog *>(&dialog))
                emit preview->paintRequested(printer);
            return c.answer;
        };
        ASSERT_TRUE(m_view.OnCommand(c.command));
        EXPECT_EQ(m_ui.dialogs, std::vector<std::string>{c.dialog});
        if (c.command == 57607 && c.answer != DialogResult::kOk) {
            EXPECT_FALSE(QFile::exists(pdf));
            continue;
        }
        EXPECT_TRUE(RunTool("pdfinfo", {pdf}).contains("Pages:           1"));
        const QImage page = Rasterise(pdf, kDpi);
        ASSERT_FALSE(page.isNull());
        EXPECT_PRED3(Near, DarkBox(page), QRect(place.topLeft() * scale, place.size() * scale), 2);
    }
}

// Print set-up chooses the printer and its options (here: a PDF file, landscape paper) for the
// next print job and prints nothing itself.
TEST_F(PrintTest, PrintSetupCarriesIntoTheNextPrint)
{
    CTonecraftApp application;
    const QString pdf = m_dir.filePath("chosen.pdf");
    m_ui.runModal = [&pdf](QDialog &dialog) {
        if (auto *setup = qobject_cast<QPrintDialog *>(&dialog)) {
            setup->printer()->setOutputFileName(pdf);
            setup->printer()->setPageOrientation(QPageLayout::Landscape);
        }
        return DialogResult::kOk;
    };
    ASSERT_TRUE(application.OnCommand(57606));
    EXPECT_FALSE(QFile::exists(pdf));

    QString output;
    auto printed = QPageLayout::Portrait;
    m_ui.runModal = [&](QDialog &dialog) {
        if (auto *print = qobject_cast<QPrintDialog *>(&dialog)) {
            output = print->printer()->outputFileName();
            printed = print->printer()->pageLayout().orientation();
        }
        return DialogResult::kCancel;
    };
    ASSERT_TRUE(m_view.OnCommand(57607));
    EXPECT_EQ(m_ui.dialogs, (std::vector<std::string>{"QPrintDialog", "QPrintDialog"}));
    EXPECT_EQ(output, pdf);
    EXPECT_EQ(printed, QPageLayout::Landscape);
}

} // namespace
