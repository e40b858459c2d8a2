// On a real X server (under xvfb-run): what Tonecraft copies, xclip reads as a BMP file that
// another reader (netpbm) sees as the same picture.
#include "AppTestSupport.h"
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
    ASSERT_TRUE(view.OnCommand(57634));
    const QByteArray copied
        = RunTool("xclip", {"-selection", "clipboard", "-t", "image/bmp", "-o"});
    QFile file(TONECRAFT_SAMPLE_BMP);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray expected = RunTool("bmptopnm", {}, file.readAll());
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(RunTool("bmptopnm", {}, copied), expected);
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
