// On a real X server (under xvfb-run): what Tonecraft copies, xclip reads as a BMP file that
// another reader (netpbm) sees as the same picture; a PNG that xclip offers, Tonecraft pastes.
#include "AppTestSupport.h"
#include "CommandIds.h"
#include "DibImage.h"
#include "DibLock.h"
#include "StandardCommandIds.h"
#include "TonecraftDoc.h"
#include "TonecraftView.h"

namespace {

// Runs the event loop (the clipboard's owner answers other programs) until done, 10 s at most.
bool SpinUntil(const std::function<bool()> &done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Runs a program to its end with `input` on its standard input; its standard output.
QByteArray RunTool(const QString &program, const QStringList &args, const QByteArray &input = {})
{
    QProcess process;
    process.start(program, args);
    process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(SpinUntil([&] { return process.state() == QProcess::NotRunning; }))
        << program.toStdString();
    EXPECT_EQ(process.exitCode(), 0)
        << program.toStdString() << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput();
}

TEST(X11Clipboard, OtherProgramsReadTheCopyAsTheSameBmpPicture)
{
    CRecordingUiServices ui;
    CTonecraftDoc doc;
    CTonecraftView view(&doc);
    view.show();
    ASSERT_TRUE(doc.OpenImageFile(TONECRAFT_SAMPLE_BMP));
    ASSERT_TRUE(view.OnCommand(CommandId::kEditCopy));
    const QByteArray copied
        = RunTool("xclip", {"-selection", "clipboard", "-t", "image/bmp", "-o"});
    QFile file(TONECRAFT_SAMPLE_BMP);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray expected = RunTool("bmptopnm", {}, file.readAll());
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(RunTool("bmptopnm", {}, copied), expected);
}

// The PNGs are made by netpbm from bytes written here, not by the toolkit.
TEST(X11Clipboard, APngFromAnotherProgramIsPastedPixelForPixel)
{
    struct Case
    {
        QByteArray netpbm;              // the picture
        std::vector<std::uint8_t> rows; // pasted, bottom-up
        std::uint16_t bits;
    };
    const Case cases[]
        = {{"P5 3 2 255\n\x10\x20\x30\x40\x50\x60", {0x40, 0x50, 0x60, 0, 0x10, 0x20, 0x30, 0}, 8},
           {"P6 1 2 255\n\x01\x02\x03\x04\x05\x06", {6, 5, 4, 0, 3, 2, 1, 0}, 24}};
    QTemporaryDir dir;
    const QString png = dir.filePath("offered.png");
    for (const auto &[netpbm, rows, bits] : cases) {
        CRecordingUiServices ui;
        CTonecraftDoc doc;
        CTonecraftView view(&doc);
        QFile file(png);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(RunTool("pnmtopng", {}, netpbm));
        file.close();
        QProcess xclip; // offers the PNG until it is killed
        xclip.start("xclip", {"-quiet", "-selection", "clipboard", "-t", "image/png", "-i", png});
        ASSERT_TRUE(SpinUntil([] {
            const QMimeData *data = QGuiApplication::clipboard()->mimeData();
            return data != nullptr && data->hasFormat("image/png");
        }));
        const bool pasted = view.OnCommand(CommandId::kEditPaste);
        xclip.kill();
        xclip.waitForFinished();
        ASSERT_TRUE(pasted);
        ASSERT_FALSE(doc.GetImageBlock().IsNull());
        DibReadLock lock(doc.GetImageBlock());
        const std::uint8_t *at = CDibImage::GetPixelBits(lock.Data());
        EXPECT_EQ(CDibImage::GetBitCount(lock.Data()), bits);
        EXPECT_EQ(std::vector(at, at + rows.size()), rows) << bits;
    }
}

} // namespace

int main(int argc, char **argv)
{
    // Opening a file records it among the recent files: keep that out of the user's settings.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
