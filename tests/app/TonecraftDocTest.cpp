#include "TonecraftDoc.h"

#include "AppTestSupport.h"
#include "DibImage.h"
#include "DibLock.h"
#include "DiskFile.h"
#include "Messages.h"
#include "Palette.h"
#include "RecentFileList.h"
#include "TestImages.h"
#include "WaitCursor.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using TestImages::Bytes;
using Events = std::vector<std::string>;

const std::string kBusy = "busy";
const std::string kIdle = "idle";
const std::string kReport = "report";
const std::string kTooBig = Messages::kImageTooBig;
const std::string kReadError = Messages::kReadError;
const std::string kCannotSave = Messages::kCannotSave;
const std::string kReloadQuestion = Messages::kReloadQuestion;

constexpr std::size_t kOffSizeImage = 14 + 20; // biSizeImage in a BMP file

// A 256-gray BMP of random rows; a negative height stores them top-down.
Bytes Gray8Bmp(std::int32_t width, std::int32_t height, std::uint32_t seed)
{
    return TestImages::MakeGray8Bmp(width, height,
                                    TestImages::RandomRows(width, std::abs(height), seed));
}

// What the program writes for an opened 8-bit file: the same bytes with biSizeImage filled in.
Bytes WithSizeImage(Bytes file, std::int32_t width, std::int32_t height)
{
    TestImages::PutU32(file, kOffSizeImage,
                       static_cast<std::uint32_t>(TestImages::Stride8(width) * height));
    return file;
}

// Pixel rows of the document's 8-bit image, padding included; empty without an image.
Bytes Rows(const CTonecraftDoc &doc)
{
    if (doc.GetImageBlock().IsNull())
        return {};
    DibReadLock lock(doc.GetImageBlock());
    const std::uint8_t *bits = CDibImage::GetPixelBits(lock.Data());
    const auto width = static_cast<std::int32_t>(CDibImage::GetImageWidth(lock.Data()));
    const auto height = CDibImage::GetImageHeight(lock.Data());
    return Bytes(bits, bits + TestImages::Stride8(width) * height);
}

// Lowers the largest file this process may write, so that a save fails half-way like on a
// full disk; restores the limit and the signal disposition when it ends.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = m_old;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_previousHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_old{};
    void (*m_previousHandler)(int) = nullptr;
};

class TonecraftDocTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        CRecentFileList::SetCurrent(&m_recent);
    }

    // Every path leaves the wait cursor off, shows it at most once at a time, and shows the
    // load/save reports only after it has ended.
    void TearDown() override
    {
        CRecentFileList::SetCurrent(nullptr);
        EXPECT_EQ(CWaitCursor::Count(), 0);
        int depth = 0;
        for (const std::string &event : m_ui.events) {
            if (event == kBusy) {
                EXPECT_EQ(++depth, 1);
            } else if (event == kIdle) {
                EXPECT_EQ(--depth, 0);
            }
        }
        EXPECT_EQ(depth, 0);
        for (const auto &message : m_ui.messages) {
            EXPECT_EQ(message.owner, nullptr);
            if (message.caption == "Tonecraft") {
                EXPECT_FALSE(message.busyWhenShown) << message.text;
            }
        }
    }

    QString PathOf(const char *name) const { return m_dir.filePath(name); }
    fs::path FsPath(const char *name) const { return PathOf(name).toStdString(); }
    void Write(const char *name, const Bytes &bytes) { TestImages::WriteFile(FsPath(name), bytes); }
    Bytes Read(const char *name) const { return TestImages::ReadFile(FsPath(name)); }
    QStringList Entries() const
    {
        return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    // Opens `bytes` written as `name`, then forgets what the opening recorded.
    void Load(const char *name, const Bytes &bytes)
    {
        Write(name, bytes);
        ASSERT_TRUE(m_doc.OpenImageFile(PathOf(name)));
        m_ui.Clear();
    }

    void ExpectEmpty() const
    {
        EXPECT_TRUE(m_doc.GetImageBlock().IsNull());
        EXPECT_EQ(m_doc.GetPalette(), nullptr);
        EXPECT_EQ(m_doc.GetDibImage(), nullptr);
    }

    // A load/save report naming `path`, in the style of a warning.
    void ExpectReport(const QString &path) const
    {
        ASSERT_EQ(m_ui.messages.size(), 1u);
        const auto &report = m_ui.messages.front();
        EXPECT_EQ(report.caption, "Tonecraft");
        EXPECT_EQ(report.style, 0x30u);
        EXPECT_NE(report.text.find(path.toStdString()), std::string::npos) << report.text;
    }

    QTemporaryDir m_dir;
    CRecordingUiServices m_ui;
    CRecentFileList m_recent{4};
    CTonecraftDoc m_doc;
};

} // namespace

// --- Opening ---------------------------------------------------------------------------------

TEST_F(TonecraftDocTest, OpensA256ColourImageWithItsPalette)
{
    Bytes table(1024);
    for (std::size_t i = 0; i < 256; ++i) {
        table[4 * i] = static_cast<std::uint8_t>(i);           // blue
        table[4 * i + 1] = static_cast<std::uint8_t>(i * 7);   // green
        table[4 * i + 2] = static_cast<std::uint8_t>(255 - i); // red
        table[4 * i + 3] = 0x5A;                               // reserved
    }
    const Bytes rows = TestImages::RandomRows(5, 3, 1);
    const Bytes file = TestImages::MakeBmpFile(
        TestImages::MakeDib({.width = 5, .height = 3}, table, rows), 14 + 40 + 1024);
    Write("pal8.bmp", file);
    m_doc.SetModifiedFlag(true);

    // A relative path is stored as an absolute one.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    const QString absolute = QDir::current().absoluteFilePath("pal8.bmp");
    const bool opened = m_doc.OpenImageFile("pal8.bmp");
    QDir::setCurrent(previous);

    ASSERT_TRUE(opened);
    EXPECT_EQ(m_ui.events, (Events{kBusy, kIdle}));
    EXPECT_EQ(m_doc.GetPathName(), absolute);
    EXPECT_EQ(m_doc.GetTitle(), "pal8.bmp");
    EXPECT_EQ(m_recent.Files(), QStringList{absolute});
    EXPECT_FALSE(m_doc.IsModified());
    EXPECT_EQ(m_doc.GetImageSize(), QSize(5, 3));
    EXPECT_NE(m_doc.GetDibImage(), nullptr);
    EXPECT_EQ(Rows(m_doc), rows);
    ASSERT_NE(m_doc.GetPalette(), nullptr);
    const auto entries = m_doc.GetPalette()->Entries();
    ASSERT_EQ(entries.size(), 256u);
    for (std::size_t i = 0; i < 256; ++i) {
        const PaletteEntry expected{static_cast<std::uint8_t>(255 - i),
                                    static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(i),
                                    0};
        ASSERT_EQ(entries[i], expected) << "entry " << i;
    }
}

TEST_F(TonecraftDocTest, OpensATrueColourImageWithoutPalette)
{
    const Bytes rows(12 * 2, 0x42); // 3 x 2 pixels of 24 bits, rows padded to 12 bytes
    Load("rgb24.bmp",
         TestImages::MakeBmpFile(
             TestImages::MakeDib({.width = 3, .height = 2, .bitCount = 24}, {}, rows)));
    EXPECT_EQ(m_doc.GetImageSize(), QSize(3, 2));
    EXPECT_FALSE(m_doc.GetImageBlock().IsNull());
    EXPECT_NE(m_doc.GetDibImage(), nullptr);
    EXPECT_EQ(m_doc.GetPalette(), nullptr);
}

// Run-length rows come in expanded and go out as plain rows.
TEST_F(TonecraftDocTest, OpensRle8AsPlainRowsAndSavesThem)
{
    const Bytes rle{4, 7, 0, 0, 2, 1, 2, 2, 0, 1}; // bottom row 7 7 7 7, top row 1 1 2 2
    const Bytes dib = TestImages::MakeDib({.width = 4,
                                           .height = 2,
                                           .compression = 1,
                                           .sizeImage = static_cast<std::uint32_t>(rle.size())},
                                          TestImages::GrayTable256(), rle);
    Load("rle8.bmp", TestImages::MakeBmpFile(dib, 14 + 40 + 1024));

    const Bytes plain{7, 7, 7, 7, 1, 1, 2, 2};
    EXPECT_EQ(Rows(m_doc), plain);
    {
        DibReadLock lock(m_doc.GetImageBlock());
        EXPECT_EQ(CDibImage::GetCompression(lock.Data()), 0u);
    }
    ASSERT_TRUE(m_doc.SaveImageFile(PathOf("plain.bmp")));
    EXPECT_EQ(Read("plain.bmp"), WithSizeImage(TestImages::MakeGray8Bmp(4, 2, plain), 4, 2));
}

TEST_F(TonecraftDocTest, RefusedFilesLeaveTheDocumentEmpty)
{
    const std::string note = "This is a note, not a picture.\n";
    Bytes truncated = Gray8Bmp(16, 8, 2);
    truncated.resize(truncated.size() - 1); // one byte of the last row
    struct Case
    {
        const char *name;
        Bytes bytes;
        Events events;
    };
    const Case cases[] = {
        {"top-down rows", Gray8Bmp(4, -2, 3), {kBusy, kTooBig, kIdle, kReadError}},
        {"text file", Bytes(note.begin(), note.end()), {kBusy, kIdle, kReadError}},
        {"rows missing", truncated, {kBusy, kIdle, kReadError}},
        {"empty file", {}, {kBusy, kIdle, kReadError}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_ui.Clear();
        Write("bad.bmp", c.bytes);
        m_doc.SetModifiedFlag(true);
        EXPECT_FALSE(m_doc.OpenImageFile(PathOf("bad.bmp")));
        EXPECT_EQ(m_ui.events, c.events);
        for (const auto &message : m_ui.messages) {
            EXPECT_EQ(message.caption, Messages::kCaption);
            EXPECT_EQ(message.style, 0x40u);
        }
        ExpectEmpty();
        EXPECT_TRUE(m_doc.GetPathName().isEmpty());
        EXPECT_TRUE(m_doc.IsModified());
        EXPECT_TRUE(m_recent.Files().isEmpty());
    }
}

// The report names the file and gives the reason in the program's own words.
TEST_F(TonecraftDocTest, UnreadableFileIsReportedOnceByTheFramework)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("folder.bmp"));
    const std::pair<const char *, const char *> cases[] = {
        {"absent.bmp", "找不到该文件"},
        {"folder.bmp", "路径无效"},
        {"no-such-folder/x.bmp", "路径无效"},
    };
    for (const auto &[name, reason] : cases) {
        SCOPED_TRACE(name);
        m_ui.Clear();
        EXPECT_FALSE(m_doc.OpenImageFile(PathOf(name)));
        EXPECT_EQ(m_ui.events, Events{kReport});
        ExpectReport(PathOf(name));
        EXPECT_NE(m_ui.messages.at(0).text.find(std::string("原因：") + reason), std::string::npos)
            << m_ui.messages.at(0).text;
        ExpectEmpty();
        EXPECT_TRUE(m_recent.Files().isEmpty());
    }
}

TEST_F(TonecraftDocTest, NewDocumentHoldsNoImage)
{
    EXPECT_TRUE(m_doc.OnNewDocument());
    EXPECT_EQ(m_doc.GetImageSize(), QSize(1, 1));
    ExpectEmpty();
    EXPECT_FALSE(m_doc.IsModified());
    EXPECT_TRUE(m_ui.events.empty());
}

// --- Saving ----------------------------------------------------------------------------------

TEST_F(TonecraftDocTest, SaveWritesTheFileHeaderAndTheImage)
{
    const Bytes original = Gray8Bmp(5, 3, 4);
    Load("in.bmp", original);
    m_doc.SetModifiedFlag(true);
    ASSERT_TRUE(m_doc.SaveImageFile(PathOf("out.bmp")));
    EXPECT_EQ(m_ui.events, (Events{kBusy, kIdle}));
    EXPECT_FALSE(m_doc.IsModified());
    EXPECT_EQ(Read("out.bmp"), WithSizeImage(original, 5, 3));
    EXPECT_EQ(Entries(), (QStringList{"in.bmp", "out.bmp"}));
}

// A refused save leaves the user's file as it was. It keeps the mark of unsaved changes of an
// image (closing must still offer to save it) and clears it when there is nothing to save.
TEST_F(TonecraftDocTest, RefusedSaveKeepsTheExistingFile)
{
    const Bytes coreHeaderImage
        = TestImages::MakeBmpFile(TestImages::MakeDib({.headerSize = 12, .width = 2, .height = 2},
                                                      Bytes(768, 9), Bytes{1, 2, 0, 0, 3, 4, 0, 0}),
                                  14 + 12 + 768);
    for (const bool withImage : {false, true}) {
        SCOPED_TRACE(withImage ? "core-header image" : "no image");
        CTonecraftDoc doc;
        Write("core.bmp", coreHeaderImage);
        if (withImage) {
            ASSERT_TRUE(doc.OpenImageFile(PathOf("core.bmp")));
        }
        const Bytes existing = Gray8Bmp(3, 3, 5);
        Write("target.bmp", existing);
        m_ui.Clear();
        doc.SetModifiedFlag(true);

        EXPECT_FALSE(doc.SaveImageFile(PathOf("target.bmp")));
        EXPECT_EQ(m_ui.events, (Events{kBusy, kIdle, kCannotSave}));
        EXPECT_EQ(m_ui.messages.at(0).style, 0x40u);
        EXPECT_EQ(doc.IsModified(), withImage);
        EXPECT_EQ(Read("target.bmp"), existing);
        EXPECT_EQ(Entries(), (QStringList{"core.bmp", "target.bmp"}));
    }
}

TEST_F(TonecraftDocTest, SaveIntoAMissingFolderIsReported)
{
    Load("in.bmp", Gray8Bmp(2, 2, 6));
    m_doc.SetModifiedFlag(true);
    const QString path = PathOf("no-such-folder/out.bmp");
    EXPECT_FALSE(m_doc.SaveImageFile(path));
    EXPECT_EQ(m_ui.events, Events{kReport});
    ExpectReport(path);
    EXPECT_NE(m_ui.messages.at(0).text.find("未保存"), std::string::npos); // "not saved"
    EXPECT_TRUE(m_doc.IsModified());
    EXPECT_EQ(Entries(), QStringList{"in.bmp"});
}

// The new file takes the old one's place, not its name: permissions and links stay.
TEST_F(TonecraftDocTest, SaveKeepsThePermissionsAndLinksOfTheFileItReplaces)
{
    Load("in.bmp", Gray8Bmp(3, 2, 7));
    Write("out.bmp", Bytes{'o', 'l', 'd'});
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(FsPath("out.bmp"), mode);
    fs::create_symlink("out.bmp", FsPath("link.bmp"));
    const Bytes expected = WithSizeImage(Read("in.bmp"), 3, 2);
    for (const char *name : {"out.bmp", "link.bmp"}) {
        SCOPED_TRACE(name);
        Write("out.bmp", Bytes{'o', 'l', 'd'});
        ASSERT_TRUE(m_doc.SaveImageFile(PathOf(name)));
        EXPECT_EQ(Read("out.bmp"), expected);
        EXPECT_EQ(fs::status(FsPath("out.bmp")).permissions(), mode);
        EXPECT_TRUE(fs::is_symlink(FsPath("link.bmp")));
        EXPECT_EQ(Entries(), (QStringList{"in.bmp", "link.bmp", "out.bmp"}));
    }
}

// A save that fails while writing or in the final replace of the old file is reported with its
// reason; the old file stays and the document keeps its unsaved changes.
TEST_F(TonecraftDocTest, FailedWriteOrReplaceLeavesTheOldFile)
{
    Load("big.bmp", Gray8Bmp(256, 256, 8));
    const Bytes existing = Gray8Bmp(3, 3, 9);
    struct Case
    {
        const char *name;
        std::uint64_t sizeLimit;
        CDiskFile::ReplaceStep replace;
        const char *reason;
    };
    const Case cases[] = {
        {"disk full while writing", 16 * 1024, nullptr, "磁盘已满"},
        {"rename over the old file refused", 0,
         [](QSaveFile &) {
             errno = EBUSY;
             return false;
         },
         "文件正被使用"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Write("target.bmp", existing);
        m_doc.SetModifiedFlag(true);
        m_ui.Clear();
        bool saved = true;
        {
            std::optional<FileSizeLimit> limit;
            if (c.sizeLimit != 0)
                limit.emplace(c.sizeLimit);
            const CDiskFile::ReplaceStep previous = CDiskFile::SetReplaceStep(c.replace);
            saved = m_doc.DoSave(PathOf("target.bmp"));
            CDiskFile::SetReplaceStep(previous);
        }
        EXPECT_FALSE(saved);
        ExpectReport(PathOf("target.bmp"));
        EXPECT_NE(m_ui.messages.at(0).text.find(c.reason), std::string::npos)
            << m_ui.messages.at(0).text;
        EXPECT_TRUE(m_doc.IsModified());
        EXPECT_EQ(m_doc.GetPathName(), PathOf("big.bmp"));
        EXPECT_EQ(Read("target.bmp"), existing);
        EXPECT_EQ(Entries(), (QStringList{"big.bmp", "target.bmp"}));
    }
}

// --- Reloading -------------------------------------------------------------------------------

TEST_F(TonecraftDocTest, ReloadReadsTheFileAgain)
{
    struct Case
    {
        const char *name;
        bool modified;
        int answer; // to the question, 0 when none is expected
        Events events;
        bool reloaded;
    };
    const Case cases[] = {
        {"clean", false, 0, {kBusy, kIdle}, true},
        {"modified, answer yes", true, DialogResult::kYes, {kReloadQuestion, kBusy, kIdle}, true},
        {"modified, answer no", true, DialogResult::kNo, {kReloadQuestion}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes before = TestImages::RandomRows(5, 3, 10);
        const Bytes after = TestImages::RandomRows(5, 3, 11);
        Load("pic.bmp", TestImages::MakeGray8Bmp(5, 3, before));
        Write("pic.bmp", TestImages::MakeGray8Bmp(5, 3, after));
        m_doc.SetModifiedFlag(c.modified);
        if (c.answer != 0)
            m_ui.answers.push_back(c.answer);
        QSignalSpy views(&m_doc, &CDocument::viewsUpdateRequested);

        m_doc.OnCmdReload();
        EXPECT_EQ(m_ui.events, c.events);
        if (c.answer != 0) {
            EXPECT_EQ(m_ui.messages.at(0).caption, Messages::kCaption);
            EXPECT_EQ(m_ui.messages.at(0).style, 0x24u);
        }
        EXPECT_EQ(Rows(m_doc), c.reloaded ? after : before);
        EXPECT_EQ(m_doc.IsModified(), !c.reloaded);
        ASSERT_EQ(views.count(), c.reloaded ? 1 : 0);
        if (c.reloaded) {
            EXPECT_EQ(views.at(0).at(0).value<QObject *>(), nullptr);
            EXPECT_EQ(views.at(0).at(1).value<long>(), 0);
        }
        EXPECT_NE(m_doc.GetDibImage(), nullptr);
        EXPECT_NE(m_doc.GetPalette(), nullptr);
    }
}

TEST_F(TonecraftDocTest, ReloadWithoutItsFileKeepsTheDocument)
{
    const Bytes rows = TestImages::RandomRows(5, 3, 12);
    Load("pic.bmp", TestImages::MakeGray8Bmp(5, 3, rows));
    fs::remove(FsPath("pic.bmp"));
    QSignalSpy views(&m_doc, &CDocument::viewsUpdateRequested);
    m_doc.OnCmdReload();
    EXPECT_EQ(m_ui.events, Events{kReport});
    ExpectReport(PathOf("pic.bmp"));
    EXPECT_EQ(Rows(m_doc), rows);
    EXPECT_NE(m_doc.GetDibImage(), nullptr);
    EXPECT_NE(m_doc.GetPalette(), nullptr);
    EXPECT_EQ(views.count(), 0);

    // A document that never had a file (a pasted image, say).
    CTonecraftDoc pasted;
    pasted.ReplaceImageBlock(TestImages::ReadBmp(TestImages::MakeGray8Bmp(5, 3, rows)));
    pasted.PrepareImage();
    m_ui.Clear();
    pasted.OnCmdReload();
    EXPECT_EQ(m_ui.events, Events{kReport});
    EXPECT_EQ(Rows(pasted), rows);
}

// The picture on screen stays until the next repaint: the views are not told.
TEST_F(TonecraftDocTest, ReloadOfAReplacedFileDropsTheImage)
{
    const std::string note = "not a picture";
    const Bytes text(note.begin(), note.end());
    struct Case
    {
        const char *name;
        Bytes replacement;
        bool modified;
        Events events;
    };
    const Case cases[] = {
        {"text, clean", text, false, {kBusy, kReadError, kIdle}},
        {"text, modified", text, true, {kReloadQuestion, kBusy, kReadError, kIdle}},
        {"top-down", Gray8Bmp(4, -4, 13), false, {kBusy, kTooBig, kReadError, kIdle}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Load("pic.bmp", Gray8Bmp(5, 3, 14));
        Write("pic.bmp", c.replacement);
        m_doc.SetModifiedFlag(c.modified);
        m_ui.answers.push_back(DialogResult::kYes);
        QSignalSpy views(&m_doc, &CDocument::viewsUpdateRequested);

        m_doc.OnCmdReload();
        m_ui.answers.clear();
        EXPECT_EQ(m_ui.events, c.events);
        ExpectEmpty();
        EXPECT_EQ(m_doc.IsModified(), c.modified);
        EXPECT_EQ(m_doc.GetImageSize(), QSize(5, 3));
        EXPECT_EQ(views.count(), 0);
    }
}
