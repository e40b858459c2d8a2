// The clipboard exchange with other programs on a real X server (run under xvfb-run): what
// Tonecraft copies, xclip reads as a BMP file that another reader (netpbm) sees as the same
// picture; a PNG that xclip offers, Tonecraft pastes.
#include "AppTestSupport.h"
#include "DibImage.h"
#include "DibLock.h"
#include "TonecraftDoc.h"
#include "TonecraftView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>
#include <vector>

namespace {

constexpr int kCopy = 57634;
constexpr int kPaste = 57637;
constexpr int kInvert = 32786;

// Keeps the event loop running (the clipboard's owner must answer other programs) until
// `done` holds or ten seconds have passed.
bool SpinUntil(const std::function<bool()> &done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 10000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Runs a program to its end with `input` on its standard input; its standard output.
QByteArray RunTool(const QString &program, const QStringList &args, const QByteArray &input = {})
{
    QProcess process;
    process.start(program, args);
    EXPECT_TRUE(process.waitForStarted()) << program.toStdString();
    process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(SpinUntil([&] { return process.state() == QProcess::NotRunning; }))
        << program.toStdString() << " did not end";
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput();
}

class X11ClipboardTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_view.resize(200, 150);
        m_view.show();
    }

    QTemporaryDir m_dir;
    CRecordingUiServices m_ui;
    CTonecraftDoc m_doc;
    CTonecraftView m_view{&m_doc};
};

TEST_F(X11ClipboardTest, OtherProgramsReadTheCopyAsTheSameBmpPicture)
{
    const QString sample = QStringLiteral(TONECRAFT_SAMPLE_BMP);
    ASSERT_TRUE(m_doc.OpenImageFile(sample));
    ASSERT_TRUE(m_view.OnCommand(kCopy));

    const QByteArray targets = RunTool("xclip", {"-selection", "clipboard", "-t", "TARGETS", "-o"});
    EXPECT_TRUE(targets.contains("image/bmp")) << targets.toStdString();
    const QByteArray copied
        = RunTool("xclip", {"-selection", "clipboard", "-t", "image/bmp", "-o"});
    QFile file(sample);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray expected = RunTool("bmptopnm", {}, file.readAll());
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(RunTool("bmptopnm", {}, copied), expected);
}

// The pictures are made by netpbm from bytes written here, not by the toolkit.
TEST_F(X11ClipboardTest, APngFromAnotherProgramIsPasted)
{
    struct Case
    {
        const char *name;
        QByteArray netpbm;              // a 3 x 2 picture, rows top-down
        std::vector<std::uint8_t> rows; // the pasted DIB's rows, bottom-up, padded
        std::uint16_t bits;
    };
    const Case cases[] = {
        {"gray",
         QByteArray("P5 3 2 255\n") + QByteArray("\x10\x20\x30\x40\x50\x60", 6),
         {0x40, 0x50, 0x60, 0, 0x10, 0x20, 0x30, 0},
         8},
        {"colour",
         QByteArray("P6 3 2 255\n")
             + QByteArray(
                 "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12", 18),
         {0x0c, 0x0b, 0x0a, 0x0f, 0x0e, 0x0d, 0x12, 0x11, 0x10, 0, 0, 0,
          0x03, 0x02, 0x01, 0x06, 0x05, 0x04, 0x09, 0x08, 0x07, 0, 0, 0},
         24},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QFile png(m_dir.filePath(QString::fromLatin1(c.name) + ".png"));
        ASSERT_TRUE(png.open(QIODevice::WriteOnly));
        png.write(RunTool("pnmtopng", {}, c.netpbm));
        png.close();

        QProcess xclip; // serves the PNG until it is killed
        xclip.start("xclip",
                    {"-quiet", "-selection", "clipboard", "-t", "image/png", "-i", png.fileName()});
        ASSERT_TRUE(xclip.waitForStarted());
        ASSERT_TRUE(SpinUntil([] {
            const QMimeData *data = QGuiApplication::clipboard()->mimeData();
            return data != nullptr && data->hasFormat("image/png");
        }));
        bool enabled = false;
        EXPECT_TRUE(m_view.OnUpdateCommand(kPaste, enabled) && enabled);
        ASSERT_TRUE(m_view.OnCommand(kPaste));
        xclip.kill();
        xclip.waitForFinished();

        ASSERT_FALSE(m_doc.GetImageBlock().IsNull());
        {
            DibReadLock lock(m_doc.GetImageBlock());
            EXPECT_EQ(CDibImage::GetBitCount(lock.Data()), c.bits);
            const std::uint8_t *rows = CDibImage::GetPixelBits(lock.Data());
            EXPECT_EQ(std::vector<std::uint8_t>(rows, rows + c.rows.size()), c.rows);
        }
        m_ui.Clear();
        ASSERT_TRUE(m_view.OnCommand(kInvert));
        EXPECT_EQ(m_ui.messages.size(), c.bits == 8 ? 0u : 1u);
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
