#include "TonecraftDoc.h"

#include "AppTestSupport.h"
#include "DibImage.h"
#include "DiskFile.h"
#include "FileException.h"
#include "Messages.h"
#include "Palette.h"
#include "RecentFileList.h"
#include "SafeOutputFile.h"
#include "TestImages.h"
#include "WaitCursor.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

using TestImages::Bytes;
using Events = std::vector<std::string>;
const std::string kBusy = "busy";
const std::string kIdle = "idle";
const std::string kTooBig = Messages::kImageTooBig;
const std::string kReadError = Messages::kReadError;

Bytes Gray8Bmp(std::int32_t width, std::int32_t height, std::uint32_t seed = 1)
{
    return TestImages::MakeGray8Bmp(width, height,
                                    TestImages::RandomRows(width, std::abs(height), seed));
}

// Pixel rows of the document's 8-bit image, padding included; empty without an image.
Bytes Rows(const CTonecraftDoc &doc)
{
    if (doc.GetImageBlock().IsNull())
        return {};
    const Bytes block = TestImages::FromHandle(doc.GetImageBlock());
    const auto rows = block.begin() + 40 + 1024; // a file read keeps spare bytes after them
    return Bytes(rows,
                 rows
                     + std::ptrdiff_t(TestImages::Stride8(CDibImage::GetImageWidth(block.data()))
                                      * CDibImage::GetImageHeight(block.data())));
}

class TonecraftDocTest : public ::testing::Test
{
protected:
    void SetUp() override { CRecentFileList::SetCurrent(&m_recent); }

    // The wait cursor shows at most once at a time and is off before the reports, ownerless.
    void TearDown() override
    {
        CRecentFileList::SetCurrent(nullptr);
        EXPECT_EQ(CWaitCursor::Count(), 0);
        int depth = 0;
        for (const std::string &event : m_ui.events) {
            depth += event == kBusy ? 1 : event == kIdle ? -1 : 0;
            EXPECT_TRUE(depth == 0 || depth == 1) << event;
        }
        EXPECT_EQ(depth, 0);
        for (const auto &message : m_ui.messages) {
            EXPECT_EQ(message.owner, nullptr) << message.text;
            EXPECT_FALSE(message.caption == "Tonecraft" && message.busyWhenShown) << message.text;
        }
    }

    QString PathOf(const char *name) const { return m_dir.filePath(name); }
    void Write(const char *name, const Bytes &bytes)
    {
        TestImages::WriteFile(PathOf(name).toStdString(), bytes);
    }
    Bytes Read(const char *name) const { return TestImages::ReadFile(PathOf(name).toStdString()); }

    // A report is a warning naming `path` and `reason`; other messages inform or ask.
    void ExpectEvents(const Events &events, const QString &path, const char *reason) const
    {
        EXPECT_EQ(m_ui.events, events);
        for (const auto &message : m_ui.messages) {
            const bool report = message.caption == "Tonecraft";
            if (!report) {
                EXPECT_TRUE(message.style == MessageStyle::kIconInformation
                            || message.style
                                == (MessageStyle::kYesNo | MessageStyle::kIconQuestion))
                    << message.text;
                continue;
            }
            EXPECT_EQ(message.style, MessageStyle::kIconExclamation);
            EXPECT_NE(message.text.find(path.toStdString()), std::string::npos) << message.text;
            EXPECT_NE(message.text.find(reason), std::string::npos) << message.text;
        }
    }

    QTemporaryDir m_dir;
    CRecordingUiServices m_ui;
    CRecentFileList m_recent{4};
    CTonecraftDoc m_doc;
};

} // namespace

// Run-length rows come in expanded and go out plain; a file refused or unread leaves the
// document empty and as it was, reported with the reason in the program's words.
TEST_F(TonecraftDocTest, OpensWhatItCanAndLeavesTheDocumentEmptyOtherwise)
{
    Bytes truncated = Gray8Bmp(16, 8);
    truncated.pop_back();
    Bytes table(1024);
    for (std::size_t i = 0; i < 1024; ++i)
        table[i] = static_cast<std::uint8_t>(i / 4 * (i % 4 + 1)); // blue, green, red, reserved
    const Bytes rle{4, 7, 0, 0, 2, 1, 2, 2, 0, 1}; // bottom row 7 7 7 7, top row 1 1 2 2
    const Bytes plain{7, 7, 7, 7, 1, 1, 2, 2};
    struct Case
    {
        const char *name;
        std::optional<Bytes> bytes; // none: no such file
        Events events;              // two when it opens
        const char *reason = "";    // in the report
    };
    const Bytes rgb24
        = TestImages::MakeDib({.width = 3, .height = 2, .bitCount = 24}, {}, Bytes(24, 1));
    const Bytes rleDib = TestImages::MakeDib(
        {.width = 4, .height = 2, .compression = 1, .sizeImage = 10}, table, rle);
    const Case cases[] = {
        {"rgb24.bmp", TestImages::MakeBmpFile(rgb24), {kBusy, kIdle}},
        {"rle8.bmp", TestImages::MakeBmpFile(rleDib), {kBusy, kIdle}},
        {"bad.bmp", Gray8Bmp(4, -2), {kBusy, kTooBig, kIdle, kReadError}},
        {"bad.bmp", Bytes(64, 'x'), {kBusy, kIdle, kReadError}},
        {"bad.bmp", truncated, {kBusy, kIdle, kReadError}},
        {"bad.bmp", Bytes{}, {kBusy, kIdle, kReadError}},
        {"absent.bmp", std::nullopt, {"report"}, "原因：找不到该文件"},
        {"no-such-folder/x.bmp", std::nullopt, {"report"}, "原因：路径无效"},
    };
    for (const auto &[name, bytes, events, reason] : cases) {
        SCOPED_TRACE(::testing::PrintToString(events));
        CTonecraftDoc doc;
        doc.SetModifiedFlag(true);
        m_ui.Clear();
        if (bytes)
            Write(name, *bytes);
        const bool opened = doc.OpenImageFile(PathOf(name));
        const bool rle8 = std::string(name) == "rle8.bmp";
        EXPECT_EQ(opened, events.size() == 2);
        ExpectEvents(events, PathOf(name), reason);
        EXPECT_EQ(doc.GetDibImage() == nullptr, !opened);
        EXPECT_EQ(doc.GetPalette() == nullptr, !rle8);
        EXPECT_TRUE(opened || Rows(doc).empty());
        EXPECT_EQ(doc.GetPathName(), opened ? PathOf(name) : QString());
        EXPECT_EQ(doc.GetTitle(), opened ? name : "");
        EXPECT_EQ(doc.IsModified(), !opened);
        EXPECT_EQ(m_recent.Files(), opened ? QStringList{PathOf(name)} : QStringList{});
        m_recent.Remove(0);
        if (rle8) {
            EXPECT_EQ(Rows(doc), plain);
            EXPECT_EQ(doc.GetPalette()->Entries()[200], (PaletteEntry{88, 144, 200, 0}));
            ASSERT_TRUE(doc.SaveImageFile(PathOf("plain.bmp")));
            const Bytes saved = Read("plain.bmp");
            EXPECT_EQ(TestImages::GetU32(saved, 14 + 16), 0u); // no compression
            EXPECT_EQ(Bytes(saved.end() - 8, saved.end()), plain);
        }
    }
}

// A save replaces the file, through a link too, keeping its permissions; a refused or failed
// one leaves it as it was and keeps the image's unsaved changes (none without an image).
TEST_F(TonecraftDocTest, SaveReplacesTheFileOrLeavesItAsItWas)
{
    namespace fs = std::filesystem;
    Bytes in = Gray8Bmp(256, 256);
    Write("in.bmp", in);
    TestImages::PutU32(in, 14 + 20, 256 * 256); // biSizeImage filled in when saved
    Write("core.bmp",
          TestImages::MakeBmpFile(TestImages::MakeDib({.headerSize = 12, .width = 2, .height = 2},
                                                      Bytes(768, 9), Bytes(8, 1))));
    const Bytes existing = Gray8Bmp(3, 3, 9);
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::create_symlink("target.bmp", PathOf("link.bmp").toStdString());
    const CDiskFile::ReplaceStep refused = [](CSafeOutputFile &file) {
        throw CFileException(CFileException::Cause::SharingViolation, EBUSY, file.Target());
    };
    // The real replace step, with a folder in the file's place for the moment: its rename fails.
    static const CDiskFile::ReplaceStep commit = CDiskFile::SetReplaceStep(nullptr);
    const CDiskFile::ReplaceStep blocked = [](CSafeOutputFile &file) {
        const fs::path target = file.Target(), aside = target.string() + "~";
        fs::rename(target, aside);
        fs::create_directories(target / "in-the-way");
        auto restore = [&] { fs::remove_all(target), fs::rename(aside, target); };
        try {
            commit(file);
        } catch (...) {
            restore();
            throw;
        }
        restore();
    };
    const std::string cannotSave = "无法保存BMP图像！";
    struct Case
    {
        const char *source; // none: a document without an image
        const char *target;
        Events events;
        const char *reason = "";                  // in the report
        rlim_t sizeLimit = RLIM_INFINITY;         // small files meet it only on commit
        CDiskFile::ReplaceStep replace = nullptr; // none: the real one
    };
    const Case cases[] = {
        {"in.bmp", "target.bmp", {kBusy, kIdle}},
        {"in.bmp", "link.bmp", {kBusy, kIdle}},
        {nullptr, "target.bmp", {kBusy, kIdle, cannotSave}},
        {"core.bmp", "target.bmp", {kBusy, kIdle, cannotSave}},
        {"in.bmp", "no-such-folder/target.bmp", {"report"}, "未保存"},
        {"in.bmp", "target.bmp", {kBusy, kIdle, "report"}, "磁盘已满", 16 * 1024},
        {"target.bmp", "target.bmp", {kBusy, kIdle, "report"}, "磁盘已满", 600},
        {"in.bmp", "target.bmp", {kBusy, kIdle, "report"}, "文件正被使用", RLIM_INFINITY, refused},
        {"in.bmp", "target.bmp", {kBusy, kIdle, "report"}, "路径无效", RLIM_INFINITY, blocked},
    };
    for (const auto &[source, target, events, reason, sizeLimit, replace] : cases) {
        SCOPED_TRACE(::testing::Message() << source << " to " << target << " " << events.back());
        CTonecraftDoc doc;
        Write("target.bmp", existing);
        ASSERT_TRUE(source == nullptr || doc.OpenImageFile(PathOf(source)));
        fs::permissions(PathOf("target.bmp").toStdString(), mode);
        doc.SetModifiedFlag(true);
        m_ui.Clear();
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        const rlimit lowered{sizeLimit, old.rlim_max};
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &lowered);
        const CDiskFile::ReplaceStep previous = CDiskFile::SetReplaceStep(replace);
        const bool saved = doc.DoSave(PathOf(target));
        CDiskFile::SetReplaceStep(previous);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, handler);
        ExpectEvents(events, PathOf(target), reason);
        EXPECT_EQ(saved, events.back() == kIdle);
        EXPECT_EQ(doc.IsModified(), !saved && source != nullptr);
        EXPECT_EQ(doc.GetPathName(),
                  source == nullptr ? QString() : PathOf(saved ? target : source));
        EXPECT_EQ(Read("target.bmp"), saved ? in : existing);
        EXPECT_EQ(fs::status(PathOf("target.bmp").toStdString()).permissions(), mode);
        EXPECT_EQ(
            QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            (QStringList{"core.bmp", "in.bmp", "link.bmp", "target.bmp"}));
    }
}

// A save lands where a copy would: into a device or FIFO, a hard link's file, through a symbolic
// link, keeping another user's ownership and the permissions less setuid and setgid.
TEST_F(TonecraftDocTest, SaveLandsWhereACopyWouldPutIt)
{
    namespace fs = std::filesystem;
    const bool root = ::geteuid() == 0;
    auto path = [this](const char *name) { return PathOf(name).toStdString(); };
    CTonecraftDoc doc;
    Write("in.bmp", Gray8Bmp(16, 16)); // less than a pipe holds
    ASSERT_TRUE(doc.OpenImageFile(PathOf("in.bmp")));
    ASSERT_TRUE(doc.SaveImageFile(PathOf("plain.bmp")));
    const Bytes saved = Read("plain.bmp"), old{'o', 'l', 'd'};
    for (const char *name : {"owned.bmp", "first.bmp", "target.bmp", "setid.bmp"})
        Write(name, old);
    fs::create_hard_link(path("first.bmp"), path("second.bmp"));
    fs::create_symlink("target.bmp", path("link.bmp"));
    ASSERT_EQ(::chmod(path("setid.bmp").c_str(), 06755), 0);
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    const int fifo = ::open(path("fifo").c_str(), O_RDONLY | O_NONBLOCK); // a reader waits
    std::vector<const char *> targets{"second.bmp", "link.bmp", "setid.bmp", "fifo"};
    if (root) {
        ASSERT_EQ(::chown(path("owned.bmp").c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chmod(path("owned.bmp").c_str(), 0640), 0);
        ASSERT_EQ(::mknod(path("null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0);
        ASSERT_EQ(::mknod(path("full").c_str(), S_IFCHR | 0666, ::makedev(1, 7)), 0);
        targets.insert(targets.end(), {"owned.bmp", "null", "full"});
    }
    for (const char *target : targets) {
        SCOPED_TRACE(target);
        const bool fits = std::string(target) != "full";
        m_ui.Clear();
        EXPECT_EQ(doc.SaveImageFile(PathOf(target)), fits);
        ExpectEvents(fits ? Events{kBusy, kIdle} : Events{kBusy, kIdle, "report"}, PathOf(target),
                     "磁盘已满");
    }
    Bytes piped(64 * 1024);
    piped.resize(static_cast<std::size_t>(std::max(::read(fifo, piped.data(), piped.size()), 0L)));
    ::close(fifo);
    EXPECT_EQ(piped, saved);
    EXPECT_EQ(Read("first.bmp"), saved);
    EXPECT_EQ(fs::hard_link_count(path("first.bmp")), 2u);
    EXPECT_EQ(Read("target.bmp"), saved);
    EXPECT_TRUE(fs::is_symlink(path("link.bmp")));
    EXPECT_EQ(Read("setid.bmp"), saved);
    EXPECT_TRUE(fs::is_fifo(path("fifo")));
    struct stat info = {};
    ASSERT_EQ(::stat(path("setid.bmp").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);
    EXPECT_EQ(QDir(m_dir.path()).entryList({".tonecraft-*"}, QDir::Files | QDir::Hidden),
              QStringList{});
    if (!root)
        GTEST_SKIP() << "another user's file and device nodes need root";
    EXPECT_TRUE(fs::is_character_file(path("null")) && fs::is_character_file(path("full")));
    EXPECT_EQ(Read("owned.bmp"), saved);
    ASSERT_EQ(::stat(path("owned.bmp").c_str(), &info), 0);
    EXPECT_EQ((std::array{info.st_uid, info.st_gid, info.st_mode & 07777}),
              (std::array{65534u, 65534u, 0640u}));
}

// Reload asks first about changes; a file gone (or never there) keeps the image, one that no
// longer reads drops it (the views are not told: the picture stays until the next repaint).
TEST_F(TonecraftDocTest, ReloadReadsTheFileAgain)
{
    const Bytes before = TestImages::RandomRows(5, 3, 10);
    const Bytes after = TestImages::RandomRows(5, 3, 11);
    const Bytes reloaded = TestImages::MakeGray8Bmp(5, 3, after);
    const Bytes text{'n', 'o', 't', 'e'};
    const std::string question = "重新打开图像将丢失所有改动！是否继续？";
    struct Case
    {
        std::optional<Bytes> file; // its new bytes; none: removed, empty: never had a file
        bool modified;
        int answer; // to the question; 0: none asked
        Events events;
        const Bytes *rows; // after the reload; none: dropped
    };
    const Case cases[] = {
        {reloaded, false, 0, {kBusy, kIdle}, &after},
        {reloaded, true, DialogResult::kYes, {question, kBusy, kIdle}, &after},
        {reloaded, true, DialogResult::kNo, {question}, &before},
        {std::nullopt, false, 0, {"report"}, &before},
        {Bytes{}, false, 0, {"report"}, &before},
        {text, false, 0, {kBusy, kReadError, kIdle}, nullptr},
        {Gray8Bmp(4, -4), false, 0, {kBusy, kTooBig, kReadError, kIdle}, nullptr},
    };
    for (const auto &[replacement, modified, answer, events, rows] : cases) {
        SCOPED_TRACE(::testing::PrintToString(events) + (modified ? " modified" : ""));
        CTonecraftDoc doc;
        Write("pic.bmp", TestImages::MakeGray8Bmp(5, 3, before));
        if (replacement && replacement->empty()) {
            doc.ReplaceImageBlock(TestImages::ReadBmp(TestImages::MakeGray8Bmp(5, 3, before)));
            doc.PrepareImage();
        } else {
            ASSERT_TRUE(doc.OpenImageFile(PathOf("pic.bmp")));
            if (replacement)
                Write("pic.bmp", *replacement);
            else
                QFile::remove(PathOf("pic.bmp"));
        }
        doc.SetModifiedFlag(modified);
        m_ui.Clear();
        m_ui.answers = answer != 0 ? std::deque<int>{answer} : std::deque<int>{};
        QSignalSpy views(&doc, &CDocument::viewsUpdateRequested);
        doc.OnCmdReload();
        ExpectEvents(events, doc.GetPathName(), "");
        if (answer != 0) {
            EXPECT_EQ(m_ui.messages.at(0).style,
                      MessageStyle::kYesNo | MessageStyle::kIconQuestion);
        }
        EXPECT_EQ(Rows(doc), rows != nullptr ? *rows : Bytes{});
        EXPECT_EQ(doc.GetPalette() == nullptr, rows == nullptr);
        EXPECT_EQ(doc.GetImageSize(), QSize(5, 3));
        EXPECT_EQ(doc.IsModified(), modified && rows != &after);
        ASSERT_EQ(views.count(), rows == &after ? 1 : 0);
        if (rows == &after) { // every view, everything
            EXPECT_EQ(views.at(0).at(0).value<QObject *>(), nullptr);
            EXPECT_EQ(views.at(0).at(1).value<long>(), 0);
        }
    }
}
