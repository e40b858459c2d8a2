#include "AppTestSupport.h"
#include "CommandIds.h"
#include "PrintLayout.h"
#include "StandardCommandIds.h"
#include "TestImages.h"
#include "Tonecraft.h"
#include "TonecraftDoc.h"
#include "TonecraftView.h"

#include <QtPrintSupport>

namespace {

// The printable width, centred on the page height; nothing without width or resolution.
TEST(PrintDestination, FillsThePageWidthAndCentresVertically)
{
    struct Case
    {
        std::int32_t width, height; // of the image
        PrinterCaps page;
        Rect expected;
    };
    const Case cases[] = {
        {100, 50, {4800, 6600, 600, 600}, {0, 2100, 4800, 4500}},
        {100, 50, {4800, 6600, 600, 300}, {0, 2700, 4800, 3900}},
        {7, 3, {100, 100, 1, 1}, {0, 29, 100, 71}},
        {100, 90, {100, 95, 96, 96}, {0, 2, 100, 92}},
        {100, 100, {100, 95, 96, 96}, {0, -2, 100, 98}},
        {100, 100, {100, 93, 96, 96}, {0, -3, 100, 97}},
        {5000, 5000, {4800, 6600, 600, 600}, {0, 900, 4800, 5700}},
        {1, 400000, {4800, 6600, 600, 600}, {0, -959996700, 4800, 960003300}},
        {1, 900000, {4800, 6600, 600, 600}, {0, INT32_MIN, 4800, INT32_MAX}},
        {0, 50, {4800, 6600, 600, 600}, {}},
        {100, 50, {4800, 6600, 0, 600}, {}},
    };
    for (const auto &[width, height, page, expected] : cases)
        EXPECT_EQ(PrintDestination(width, height, page), expected) << width << " x " << height;
    EXPECT_TRUE(PrintDestination(100, 0, {4800, 6600, 600, 600}).IsEmpty());
}

class PrintTest : public ::testing::Test
{
protected:
    CRecordingUiServices m_ui;
    QTemporaryDir m_dir;
    CTonecraftDoc m_doc;
    CTonecraftView m_view{&m_doc};
};

// The preview draws the recorded page late: it must show the picture, not the decoding
// buffer reused or freed since. Each pixel of levels 8 x + 40 y is checked at its centre.
TEST_F(PrintTest, PreviewShowsThePictureAtItsPlace)
{
    TestImages::Bytes rows(16 * 4);
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<std::uint8_t>(8 * (i % 16) + 40 * (3 - i / 16));
    TestImages::WriteFile(m_dir.filePath("levels.bmp").toStdString(),
                          TestImages::MakeGray8Bmp(16, 4, rows));
    ASSERT_TRUE(m_doc.OpenImageFile(m_dir.filePath("levels.bmp")));
    m_ui.runModal = [](QDialog &dialog) {
        auto *widget = dialog.findChild<QPrintPreviewWidget *>();
        QPrinter *printer = qobject_cast<QPrintPreviewDialog *>(&dialog)->printer();
        printer->setResolution(50);
        widget->updatePreview();
        QGraphicsScene *scene = widget->findChild<QGraphicsView *>()->scene();
        QImage page(printer->pageLayout().fullRectPixels(50).size(), QImage::Format_RGB32);
        QPainter painter(&page);
        scene->render(&painter, page.rect(), QRectF(scene->items().at(0)->scenePos(), page.size()));
        const double pixel = printer->width() / 16.0;
        const QPointF origin = printer->pageLayout().paintRectPixels(50).topLeft()
            + QPointF(pixel / 2, (printer->height() - 4 * pixel + pixel) / 2);
        for (int i = 0; i < 64; ++i)
            EXPECT_NEAR(qGray(page.pixel((origin + QPointF(i % 16, i / 16) * pixel).toPoint())),
                        8 * (i % 16) + 40 * (i / 16), 2)
                << i;
        return DialogResult::kCancel;
    };
    ASSERT_TRUE(m_view.OnCommand(CommandId::kFilePrintPreview));
}

// Set-up's choices carry into the next prints; a declined dialog prints nothing, the
// toolbar's direct print prints at once, the picture stored losslessly (no JPEG).
TEST_F(PrintTest, PrintSetupCarriesIntoTheNextPrints)
{
    TestImages::WriteFile(m_dir.filePath("in.bmp").toStdString(),
                          TestImages::MakeGray8Bmp(4, 2, TestImages::Bytes(8, 60)));
    ASSERT_TRUE(m_doc.OpenImageFile(m_dir.filePath("in.bmp")));
    CTonecraftApp application;
    const QString pdf = m_dir.filePath("chosen.pdf");
    QString output;
    auto orientation = QPageLayout::Portrait;
    m_ui.runModal = [&](QDialog &dialog) {
        QPrinter *printer = qobject_cast<QPrintDialog *>(&dialog)->printer();
        output = printer->outputFileName();
        orientation = printer->pageLayout().orientation();
        printer->setOutputFileName(pdf);
        printer->setPageOrientation(QPageLayout::Landscape);
        return m_ui.dialogs.size() == 1 ? DialogResult::kOk : DialogResult::kCancel;
    };
    ASSERT_TRUE(application.OnCommand(CommandId::kFilePrintSetup));
    EXPECT_FALSE(QFile::exists(pdf));
    ASSERT_TRUE(m_view.OnCommand(CommandId::kFilePrint));
    EXPECT_EQ(output, pdf);
    EXPECT_EQ(orientation, QPageLayout::Landscape);
    EXPECT_FALSE(QFile::exists(pdf));
    ASSERT_TRUE(m_view.OnCommand(CommandId::kFilePrintDirect));
    EXPECT_EQ(m_ui.dialogs, (std::vector<std::string>{"QPrintDialog", "QPrintDialog"}));
    QProcess images;
    images.start("pdfimages", {"-list", pdf});
    ASSERT_TRUE(images.waitForFinished(60000)) << "pdfimages (poppler-utils)";
    ASSERT_EQ(images.exitCode(), 0) << "pdfimages (poppler-utils)";
    const QStringList lines
        = QString::fromLatin1(images.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    EXPECT_GT(lines.size(), 2);
    for (const QString &line : lines.mid(2))
        EXPECT_NE(line.simplified().section(' ', 8, 8), "jpeg") << line.toStdString();
}

} // namespace
