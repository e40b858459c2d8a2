// Memory that runs out: named with its sizes when the memory check refuses an image, reported
// and survived when an allocation fails inside an event, a command or a command-state query.
#include "AppTestSupport.h"
#include "CommandIds.h"
#include "DibImage.h"
#include "MainFrm.h"
#include "Messages.h"
#include "StandardCommandIds.h"
#include "TestImages.h"
#include "Tonecraft.h"
#include "TonecraftDoc.h"
#include "TonecraftView.h"

#include <zlib.h>

#include <limits>

namespace {

using Events = std::vector<std::string>;
using TestImages::Bytes;

// A real allocation that fails: more bytes than an address can count.
void AllocateTooMuch()
{
    QByteArray(std::numeric_limits<qsizetype>::max() - 1, Qt::Uninitialized);
}

// Clipboard data whose owner runs out of memory when asked for its bytes, or its formats.
class CStarvedMimeData : public QMimeData
{
public:
    bool starveFormats = false;
    QStringList formats() const override
    {
        return starveFormats ? (AllocateTooMuch(), QStringList()) : QStringList{"image/bmp"};
    }

protected:
    QVariant retrieveData(const QString &, QMetaType) const override
    {
        return AllocateTooMuch(), QVariant();
    }
};

class CStarvedObject : public QObject
{
public:
    bool event(QEvent *) override { return AllocateTooMuch(), true; }
};

// A 1 x 1 colour PNG whose header claims `side` x `side` pixels.
QByteArray ClaimedPng(quint32 side)
{
    QImage pixel(1, 1, QImage::Format_RGB32);
    pixel.fill(qRgb(1, 2, 3));
    QByteArray png;
    QBuffer buffer(&png);
    EXPECT_TRUE(buffer.open(QIODevice::WriteOnly));
    EXPECT_TRUE(pixel.save(&buffer, "PNG"));
    qToBigEndian(side, png.data() + 16); // the header chunk's width and height
    qToBigEndian(side, png.data() + 20);
    const auto *chunk = reinterpret_cast<const Bytef *>(png.constData() + 12);
    qToBigEndian(static_cast<quint32>(crc32(0, chunk, 17)), png.data() + 29);
    return png;
}

// The events with each number after the first cut off (the memory available varies).
Events Shortened(Events events)
{
    for (std::string &event : events)
        if (const auto digit = event.find_first_of("0123456789"); digit != std::string::npos)
            event = event.substr(0, event.find_first_not_of("0123456789", digit));
    return events;
}

const std::string kNeeds = "内存不足！该图像需要 ";

} // namespace

// An event, a paste or a state query out of memory ends with the message; the edit stays.
TEST(GuardedApplication, ACommandOrStateQueryOutOfMemoryLeavesTheDocuments)
{
    CRecordingUiServices ui;
    QTemporaryDir dir;
    const QString path = dir.filePath("kept.bmp");
    TestImages::WriteFile(path.toStdString(), TestImages::MakeGray8Bmp(3, 2, Bytes(8, 40)));
    CTonecraftApp app;
    ASSERT_TRUE(app.InitInstance({"tonecraft"}));
    CMainFrame &frame = *app.MainFrame();
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    CTonecraftDoc *doc = app.OpenDocumentFile(path);
    ASSERT_TRUE(doc != nullptr);
    ASSERT_TRUE(frame.RouteCommand(CommandId::kInvert));
    const Bytes inverted = TestImages::FromHandle(doc->GetImageBlock());

    auto *data = new CStarvedMimeData;
    QGuiApplication::clipboard()->setMimeData(data);
    QCoreApplication::processEvents(); // the frame's own look at the new clipboard
    struct Step
    {
        const char *name;
        bool starveFormats; // the formats too, which every state query asks for
        std::function<void()> run;
    };
    CStarvedObject starved;
    QEvent event(QEvent::User);
    const Step steps[] = {
        {"event handler", false, [&] { QCoreApplication::sendEvent(&starved, &event); }},
        {"paste from the menu", false, [&] { frame.ActionFor(CommandId::kEditPaste)->trigger(); }},
        {"state query", true, [&] { frame.UpdateCommandStates(); }},
        {"Ctrl+V", true, [&] { QTest::keyClick(&frame, Qt::Key_V, Qt::ControlModifier); }},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        data->starveFormats = step.starveFormats;
        ui.Clear();
        step.run();
        EXPECT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.events.back(), Messages::kOutOfMemory);
    }
    QGuiApplication::clipboard()->clear();
    EXPECT_TRUE(doc->IsModified());
    EXPECT_TRUE(TestImages::FromHandle(doc->GetImageBlock()) == inverted);
    ASSERT_TRUE(frame.RouteCommand(CommandId::kInvert));
    EXPECT_EQ(TestImages::FromHandle(doc->GetImageBlock())[40 + 1024], 40);
    doc->SetModifiedFlag(false);
}

// A picture the memory cannot hold is refused with the sizes before it is decoded; one beyond
// the toolkit's own 128 MB ceiling that fits the memory is pasted.
TEST(PasteMemory, ThePictureTheMemoryAllowsIsPastedAndOtherwiseTheSizesAreNamed)
{
    CRecordingUiServices ui;
    CTonecraftDoc doc;
    CTonecraftView view(&doc);
    doc.ReplaceImageBlock(TestImages::ToHandle(TestImages::MakeGray8Bmp(2, 2, Bytes(8, 5))));
    const Bytes before = TestImages::FromHandle(doc.GetImageBlock());
    const auto paste = [&](const char *format, const QByteArray &picture) {
        auto *data = new QMimeData;
        data->setData(format, picture);
        QGuiApplication::clipboard()->setMimeData(data);
        ui.Clear();
        EXPECT_TRUE(view.OnCommand(CommandId::kEditPaste));
    };
    paste("image/png", ClaimedPng(1000000)); // 10^12 pixels, 15 bytes each
    EXPECT_EQ(Shortened(ui.events),
              (Events{"busy", "idle", kNeeds + "14305115", Messages::kReadError}));
    EXPECT_EQ(TestImages::FromHandle(doc.GetImageBlock()), before);

    QByteArray pixmap = "P6 6000 5600 255\n" + QByteArray(6000 * 5600 * 3, 9); // 134 MB decoded
    pixmap[17] = 1, pixmap[18] = 2, pixmap[19] = 3;
    paste("image/x-portable-pixmap", pixmap);
    QGuiApplication::clipboard()->clear();
    EXPECT_EQ(ui.events, (Events{"busy", "idle"}));
    const Bytes pasted = TestImages::FromHandle(doc.GetImageBlock());
    ASSERT_EQ(pasted.size(), 40u + 18000u * 5600u);
    const std::size_t top = 40 + 18000 * 5599; // bottom-up rows
    EXPECT_EQ(Bytes(pasted.begin() + top, pasted.begin() + top + 6), (Bytes{3, 2, 1, 9, 9, 9}));
}

// Run-length rows that outgrow the memory are refused with the sizes, then the read error; a
// few bytes that would expand into gigabytes, as unreadable only.
TEST(OpenMemory, AFileTheMemoryRefusesNamesTheSizesBeforeTheReadError)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "address-space limits do not work under AddressSanitizer";
#else
    struct Case
    {
        std::int32_t width; // of 25000 rows
        Events events;
    };
    const Case cases[] = {
        {.width = 24000, .events = {"busy", "idle", kNeeds + "573", Messages::kReadError}},
        {.width = 65535, .events = {"busy", "idle", Messages::kReadError}}, // from 1080 bytes
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.width);
        CRecordingUiServices ui;
        QTemporaryDir dir;
        const QString path = dir.filePath("rle.bmp");
        TestImages::WriteFile(
            path.toStdString(),
            TestImages::MakeBmpFile(TestImages::MakeDib(
                {.width = c.width, .height = 25000, .compression = 1, .sizeImage = 2},
                TestImages::GrayTable256(), Bytes{0, 1})));
        CTonecraftDoc doc;
        std::optional<CAddressSpaceLimit> limit(std::in_place, 256u << 20);
        EXPECT_FALSE(doc.OpenImageFile(path));
        limit.reset();
        EXPECT_EQ(Shortened(ui.events), c.events);
        ASSERT_EQ(ui.messages.size(), c.events.size() - 2);
        EXPECT_TRUE(ui.messages[0].text.ends_with(c.events.size() == 4 ? " MB 可用。" : "！"));
    }
#endif
}
