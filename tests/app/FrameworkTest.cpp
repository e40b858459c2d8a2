#include "AppTestSupport.h"
#include "DibImage.h"
#include "DiskFile.h"
#include "FileException.h"
#include "PainterDC.h"
#include "QtTranslations.h"
#include "QtUiServices.h"
#include "RecentFileList.h"
#include "TestImages.h"
#include "WaitCursor.h"

#include <gtest/gtest.h>

#include <QCursor>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMainWindow>
#include <QPainter>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QWindow>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace {

using TestImages::Bytes;

QByteArray Contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void Put(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QStringList Entries(const QTemporaryDir &dir)
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

TEST(DiskFile, ReadsTheLengthAndFewerBytesOnlyAtTheEnd)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("ten.bin");
    Put(path, "0123456789");

    CDiskFile file;
    ASSERT_TRUE(file.Open(path, CDiskFile::kReadShareDenyWrite, nullptr));
    EXPECT_EQ(file.GetLength(), 10u);
    std::array<char, 32> buffer{};
    ASSERT_EQ(file.Read(buffer.data(), 4), 4u);
    EXPECT_EQ(std::string(buffer.data(), 4), "0123");
    ASSERT_EQ(file.ReadHuge(buffer.data(), buffer.size()), 6u);
    EXPECT_EQ(std::string(buffer.data(), 6), "456789");
    EXPECT_EQ(file.Read(buffer.data(), 4), 0u);
    file.Close();
}

TEST(DiskFile, FailedOpenFillsTheErrorRecord)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.bmp"));
    struct Case
    {
        const char *name;
        QString path;
        unsigned mode;
        CFileException::Cause cause;
    };
    constexpr unsigned kRead = CDiskFile::kReadShareDenyWrite;
    constexpr unsigned kSave = CDiskFile::kCreateReadWriteExclusive;
    using Cause = CFileException::Cause;
    const Case cases[] = {
        {"missing file", dir.filePath("absent.bmp"), kRead, Cause::FileNotFound},
        {"read from a missing folder", dir.filePath("no/x.bmp"), kRead, Cause::BadPath},
        {"read a folder", dir.filePath("folder.bmp"), kRead, Cause::BadPath},
        {"save into a missing folder", dir.filePath("no/such/folder/x.bmp"), kSave, Cause::BadPath},
        {"save over a folder", dir.filePath("folder.bmp"), kSave, Cause::BadPath},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CDiskFile file;
        CFileException error(CFileException::Cause::Generic, 0, "untouched");
        EXPECT_FALSE(file.Open(c.path, c.mode, &error));
        EXPECT_EQ(error.m_cause, c.cause);
        EXPECT_EQ(error.m_strFileName, c.path.toStdString());
        EXPECT_FALSE(error.Reason().empty());
    }
    EXPECT_EQ(Entries(dir), QStringList{"folder.bmp"});
}

TEST(DiskFile, SavedBytesReplaceTheTargetOnlyOnClose)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("target.bmp");
    const QString fresh = dir.filePath("fresh.bmp");
    Put(target, "old contents");

    // An explicit Abort is covered by the document's refused and failed saves.
    {
        CDiskFile file; // destroyed while open: the same as Abort
        ASSERT_TRUE(file.Open(target, CDiskFile::kCreateReadWriteExclusive, nullptr));
        ASSERT_TRUE(file.Open(fresh, CDiskFile::kCreateReadWriteExclusive, nullptr));
        file.WriteHuge("new", 3);
    }
    EXPECT_EQ(Contents(target), "old contents");
    EXPECT_EQ(Entries(dir), QStringList{"target.bmp"});

    for (const QString &path : {target, fresh}) {
        CDiskFile file;
        ASSERT_TRUE(file.Open(path, CDiskFile::kCreateReadWriteExclusive, nullptr));
        file.Write("new", 3);
        file.WriteHuge(" bytes", 6);
        file.Close();
        EXPECT_EQ(Contents(path), "new bytes");
    }
    EXPECT_EQ(Entries(dir), (QStringList{"fresh.bmp", "target.bmp"}));
}

TEST(RecentFileList, KeepsTheNewestDistinctFilesFirst)
{
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const auto files = [&dir](const char *names) {
        QStringList paths;
        for (const char name : std::string(names))
            paths.append(dir.filePath(QString(QChar(name)) + ".bmp"));
        return paths;
    };
    CRecentFileList list(4);
    for (const QString &path : files("abc"))
        list.Add(path);
    EXPECT_EQ(list.Files(), files("cba"));

    // The same file under another spelling moves to the front instead of being added again.
    list.Add("a.bmp");
    EXPECT_EQ(list.Files(), files("acb"));
    list.Add(dir.path() + "/sub/../b.bmp");
    EXPECT_EQ(list.Files(), files("bac"));

    list.Add(dir.filePath("d.bmp"));
    list.Add(dir.filePath("e.bmp"));
    EXPECT_EQ(list.Files(), files("edba"));
    list.Remove(7);
    list.Remove(1);
    EXPECT_EQ(list.Files(), files("eba"));
    QDir::setCurrent(previous);
}

TEST(RecentFileList, SurvivesInTheSettingsStore)
{
    QSettings(CRecentFileList::kOrganization, CRecentFileList::kApplication).clear();
    const QStringList files{"/pictures/4.bmp", "/pictures/3.bmp", "/pictures/2.bmp",
                            "/pictures/1.bmp"};
    {
        CRecentFileList list(4);
        for (auto it = files.rbegin(); it != files.rend(); ++it)
            list.Add(*it);
        list.WriteList();
    }
    CRecentFileList readBack(4);
    readBack.ReadList();
    EXPECT_EQ(readBack.Files(), files);

    // A shorter list written later leaves no stale entries behind.
    readBack.Remove(0);
    readBack.Remove(0);
    readBack.WriteList();
    CRecentFileList shorter(4);
    shorter.ReadList();
    EXPECT_EQ(shorter.Files(), files.mid(2));

    // The store is the one of the temporary configuration folder set up for the tests.
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    EXPECT_TRUE(config.startsWith(QDir::tempPath())) << config.toStdString();
    EXPECT_TRUE(QFile::exists(config + "/Local AppWizard-Generated Applications/Tonecraft.conf"));
}

// Qt's standard dialogs speak Chinese once the translations are installed; a folder without
// them changes nothing.
TEST(QtTranslations, InstallsQtsOwnChineseTextsWhenPresent)
{
    const auto yes = [] { return QCoreApplication::translate("QPlatformTheme", "&Yes"); };
    QTemporaryDir empty;
    EXPECT_FALSE(QtTranslations::Install(empty.path()));
    EXPECT_EQ(yes(), "&Yes");
    ASSERT_TRUE(QtTranslations::Install());
    EXPECT_EQ(yes(), "是(&Y)");
    for (QTranslator *translator : qApp->findChildren<QTranslator *>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

// Dialogs without an owner are centred on the program's window, not on the screen.
TEST(QtUiServices, DialogsWithoutOwnerBelongToTheMainWindow)
{
    EXPECT_EQ(CQtUiServices::DialogOwner(nullptr), nullptr);
    QMainWindow main;
    QWidget hidden;
    main.show();
    EXPECT_EQ(CQtUiServices::DialogOwner(nullptr), &main);
    EXPECT_EQ(CQtUiServices::DialogOwner(&hidden), &hidden);

    // A parameter dialog is built without a parent; its modal run still puts it over the main
    // window, centred, and keeps it above it.
    main.setGeometry(300, 200, 600, 400);
    QDialog dialog;
    dialog.setFixedSize(200, 100);
    QPoint centre;
    QWindow *transientParent = nullptr;
    QTimer::singleShot(0, &dialog, [&] {
        centre = dialog.geometry().center();
        transientParent = dialog.windowHandle()->transientParent();
        dialog.reject();
    });
    EXPECT_EQ(CQtUiServices().RunModal(dialog), DialogResult::kCancel);
    EXPECT_EQ(transientParent, main.windowHandle());
    EXPECT_LE((centre - main.frameGeometry().center()).manhattanLength(), 16); // frame margins
}

TEST(WaitCursor, NestedGuardsShowTheBusyCursorOnce)
{
    CRecordingUiServices ui;
    {
        CWaitCursor outer;
        {
            CWaitCursor inner;
            EXPECT_EQ(CWaitCursor::Count(), 2);
        }
        EXPECT_EQ(CWaitCursor::Count(), 1);
        EXPECT_EQ(ui.events, std::vector<std::string>{"busy"});
    }
    EXPECT_EQ(CWaitCursor::Count(), 0);
    EXPECT_EQ(ui.events, (std::vector<std::string>{"busy", "idle"}));
}

TEST(WaitCursor, QtServicesSetAndRestoreTheOverrideCursor)
{
    CQtUiServices services;
    services.SetBusyCursor(true);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    services.SetBusyCursor(false);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// A 3 x 2 picture whose pixel with index v is gray 40 v: top row 1 2 3, bottom row 4 5 6.
// Expected canvases are drawn with '.' for the untouched background and the index elsewhere.
TEST(PainterDC, DrawsAnEightBitPictureInsideTheClipOnly)
{
    Bytes table(4 * 7, 0);
    for (std::size_t v = 0; v < 7; ++v)
        table[4 * v] = table[4 * v + 1] = table[4 * v + 2] = static_cast<std::uint8_t>(40 * v);
    const Bytes rows{4, 5, 6, 0xEE, 1, 2, 3, 0xEE}; // bottom-up, padded to 4
    const DibHandle block = TestImages::ToHandle(
        TestImages::MakeDib({.width = 3, .height = 2, .clrUsed = 7}, table, rows));

    struct Case
    {
        const char *name;
        QRect clip;
        Rect destination;
        Rect source;
        std::vector<std::string> canvas;
    };
    const QRect all(0, 0, 8, 5);
    // clang-format off
    const Case cases[] = {
        {"one to one",             all,               {2, 1, 5, 3}, {0, 0, 3, 2},
         {"........", "..123...", "..456...", "........", "........"}},
        {"part of the picture",    all,               {0, 0, 2, 1}, {1, 1, 3, 2},
         {"56......", "........", "........", "........", "........"}},
        {"stretched",              all,               {1, 1, 7, 5}, {0, 0, 3, 2},
         {"........", ".112233.", ".112233.", ".445566.", ".445566."}},
        {"clipped",                QRect(3, 0, 1, 2), {2, 1, 5, 3}, {0, 0, 3, 2},
         {"........", "...2....", "........", "........", "........"}},
        {"hanging off the canvas", all,               {6, 3, 9, 5}, {0, 0, 3, 2},
         {"........", "........", "........", "......12", "......45"}},
    };
    // clang-format on
    constexpr QRgb kBackground = 0xFF00FF00;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QImage canvas(all.size(), QImage::Format_RGB32);
        canvas.fill(kBackground);
        {
            QPainter painter(&canvas);
            CPainterDC dc(painter, c.clip);
            CDibImage::DrawToDevice(dc, c.destination, block, c.source, nullptr);
        }
        for (int y = 0; y < canvas.height(); ++y) {
            std::string got;
            for (int x = 0; x < canvas.width(); ++x) {
                const QRgb pixel = canvas.pixel(x, y);
                const int v = qRed(pixel) / 40;
                const bool gray = qRed(pixel) == 40 * v && qGreen(pixel) == qRed(pixel)
                    && qBlue(pixel) == qRed(pixel);
                got += pixel == kBackground ? '.' : gray ? static_cast<char>('0' + v) : '?';
            }
            EXPECT_EQ(got, c.canvas[static_cast<std::size_t>(y)]) << "row " << y;
        }
    }
}
