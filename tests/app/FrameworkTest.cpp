#include "AppTestSupport.h"
#include "QtUiServices.h"
#include "WaitCursor.h"

// Where assertions are asked for (the sanitizer build), Qt's Q_ASSERT checks run too.
#if defined(TONECRAFT_ASSERTIONS) && defined(QT_NO_DEBUG)
#error "assertions were asked for, but QT_NO_DEBUG turns Q_ASSERT off"
#endif

// Services stack, each giving back the one it replaced; nested busy guards show it once.
TEST(UiServices, InstallStacksAndTheBusyCursorNests)
{
    CRecordingUiServices outer;
    {
        CRecordingUiServices inner;
        EXPECT_EQ(&CUiServices::Current(), &inner);
        auto first = std::make_optional<CWaitCursor>(), second = std::make_optional<CWaitCursor>();
        EXPECT_EQ(CWaitCursor::Count(), 2);
        second.reset();
        EXPECT_EQ(inner.events, std::vector<std::string>{"busy"});
        first.reset();
        EXPECT_EQ(inner.events, (std::vector<std::string>{"busy", "idle"}));
    }
    EXPECT_EQ(&CUiServices::Current(), &outer);

    CQtUiServices services;
    services.SetBusyCursor(true);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    services.SetBusyCursor(false);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(QtUiServices, QuestionsAnswerWithTheButtonClicked)
{
    using Box = QMessageBox;
    struct Case
    {
        unsigned style;
        Box::StandardButton button; // clicked
        const char *text;           // on it
        int answer;
    };
    const Case cases[] = {
        {MessageStyle::kYesNo, Box::Yes, "是(&Y)", DialogResult::kYes},
        {MessageStyle::kYesNo, Box::No, "否(&N)", DialogResult::kNo},
        {MessageStyle::kYesNoCancel, Box::Cancel, "取消", DialogResult::kCancel},
    };
    for (const auto &[style, button, text, answer] : cases) {
        QString shown;
        Qt::WindowFlags flags;
        bool fixedSize = false;
        QTimer::singleShot(0, [&, button = button] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                shown = box->button(button)->text();
                flags = box->windowFlags();
                fixedSize = box->minimumSize() == box->maximumSize();
                box->button(button)->click();
            }
        });
        EXPECT_EQ(CQtUiServices().MessageBox(nullptr, "?", "Tonecraft", style), answer) << text;
        EXPECT_EQ(shown, QString::fromUtf8(text));
        // Fixed in size, so no minimise or maximise button.
        EXPECT_EQ(flags, CQtUiServices::kFixedDialogFlags) << text;
        EXPECT_TRUE(fixedSize) << text;
    }
}
