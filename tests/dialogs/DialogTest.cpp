#include "AppTestSupport.h"
#include "DialogTemplates.h"
#include "IntensityDlg.h"
#include "LinerParaDlg.h"
#include "PointStreDlg.h"
#include "PointThreDlg.h"
#include "PointWinDlg.h"
#include "QtUiServices.h"

#include <algorithm>
#include <array>
#include <memory>

namespace Id = DialogTemplates::Id;
using QTest::mouseMove, QTest::mousePress, QTest::mouseRelease;

namespace {

const std::initializer_list<int> kPoints{Id::kStretchX1, Id::kStretchY1, Id::kStretchX2,
                                         Id::kStretchY2};
const auto IsBlue = [](QRgb c) { return c == qRgb(0, 0, 255); };
const auto IsDark = [](QRgb c) { return qRed(c) < 128 && qGreen(c) < 128 && qBlue(c) < 128; };
const auto Edit = [](QDialog &d, int id) { return d.findChild<QLineEdit *>(QString::number(id)); };
// The left button at surface pixel (x, y) of a dialog's preview.
const auto At = [](auto &d, int x, int y) {
    return QPoint(d.m_rcDragArea.left - 10 + x, d.m_rcDragArea.top - 25 + y);
};
const auto Press = [](auto &d, int x, int y) { mousePress(&d, Qt::LeftButton, {}, At(d, x, y)); };
const auto Move = [](auto &d, int x, int y) { mouseMove(&d, At(d, x, y)); };
const auto Release
    = [](auto &d, int x, int y) { mouseRelease(&d, Qt::LeftButton, {}, At(d, x, y)); };

int Count(const QImage &image, const QRect &rect, bool (*test)(QRgb))
{
    const QImage part = image.copy(rect).convertToFormat(QImage::Format_RGB32);
    const auto *pixels = reinterpret_cast<const QRgb *>(part.constBits());
    return static_cast<int>(std::count_if(pixels, pixels + part.width() * part.height(), test));
}
const auto Any = [](const QImage &i, QRect r, bool (*test)(QRgb)) { return Count(i, r, test) > 0; };

// The fields' texts, joined by commas.
QString Texts(QDialog &dialog, std::initializer_list<int> ids)
{
    QStringList texts;
    for (const int id : ids)
        texts.append(Edit(dialog, id)->text());
    return texts.join(',');
}

// Types into a field and moves the focus on to `next`, as the Tab key would.
void Type(QDialog &dialog, int id, const char *text, int next = Id::kCancel)
{
    Edit(dialog, id)->setFocus(Qt::TabFocusReason);
    Edit(dialog, id)->setText(QString::fromUtf8(text));
    dialog.findChild<QWidget *>(QString::number(next))->setFocus(Qt::TabFocusReason);
}

template<class Dialog> Dialog &Shown(Dialog &dialog)
{
    dialog.show(), dialog.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
    return dialog;
}

// The five dialogs, each with its first field.
struct DialogCase
{
    std::unique_ptr<QDialog> (*make)();
    int field;
};
template<class Dialog> std::unique_ptr<QDialog> Make()
{
    return std::make_unique<Dialog>();
}
const DialogCase kDialogs[] = {
    {Make<CLinerParaDlg>, Id::kSlope},   {Make<CPointThreDlg>, Id::kThreshold},
    {Make<CPointWinDlg>, Id::kWinLow},   {Make<CPointStreDlg>, Id::kStretchX1},
    {Make<CIntensityDlg>, Id::kHistLow},
};

class DialogTest : public ::testing::Test
{
protected:
    CRecordingUiServices m_ui;
};

} // namespace

// The line from (74, 280) to (202, 25), its lower end labelled; a band follows the pointer from a
// press and sets the line through both points when released inside the area, nothing outside.
TEST_F(DialogTest, LinearLineAndBand)
{
    CLinerParaDlg dialog;
    dialog.m_fSlope = 2, dialog.m_fIntercept = -128;
    const QImage before = Shown(dialog).Surface().copy();
    EXPECT_EQ(Texts(dialog, {Id::kSlope, Id::kIntercept}), "2,-128");
    EXPECT_TRUE(Any(before, {137, 151, 3, 3}, IsBlue));
    EXPECT_TRUE(Any(before, {200, 25, 3, 3}, IsBlue));
    EXPECT_TRUE(Any(before, {74, 281, 40, 14}, IsDark));
    Press(dialog, 10, 152); // gray (0, 128)
    Move(dialog, 138, 25);
    EXPECT_TRUE(Any(dialog.Surface(), {70, 88, 5, 5}, IsDark)); // on the band only
    Move(dialog, 300, 200);
    EXPECT_EQ(dialog.cursor().shape(), Qt::ForbiddenCursor);
    Release(dialog, 300, 200);
    EXPECT_EQ(dialog.Surface(), before);
    Press(dialog, 10, 152);
    Release(dialog, 138, 25); // gray (128, 255)
    EXPECT_EQ(Texts(dialog, {Id::kSlope, Id::kIntercept}), "0.9921875,128");
    EXPECT_FALSE(Any(dialog.Surface(), {70, 88, 5, 5}, IsDark)) << "a band left over";
}

// Markers and fields follow the pointer from a press until any release, short of the other.
TEST_F(DialogTest, MarkersAndPointsFollowThePointer)
{
    CPointThreDlg threshold; // the rise at x 138, "128" under it
    threshold.m_byThreshold = 128;
    const QImage t = Shown(threshold).Surface();
    EXPECT_TRUE(Any(t, {137, 100, 2, 1}, IsBlue));
    EXPECT_TRUE(Any(t, {138, 281, 25, 14}, IsDark));
    Press(threshold, 139, 100); // one pixel beside
    EXPECT_FALSE(threshold.m_bDragging);
    Press(threshold, 138, 100);
    struct Step
    {
        int x;
        const char *field;
    };
    for (const Step &step : {Step{300, "128"}, {12, "2"}, {10, "0"}, {265, "255"}, {266, "255"}}) {
        Move(threshold, step.x, 100);
        EXPECT_EQ(Texts(threshold, {Id::kThreshold}), step.field) << step.x;
    }
    // Let go over the edit field: the drag ends there.
    mouseRelease(&threshold, Qt::LeftButton, {}, Edit(threshold, Id::kThreshold)->pos());
    Move(threshold, 50, 100);
    EXPECT_EQ(threshold.m_byThreshold, 255);

    CPointWinDlg window;
    window.m_byLow = window.m_byHigh = 100; // equal limits: the lower one moves first
    struct Drag
    {
        int from, to;
        const char *fields;
    };
    for (const Drag &drag : {Drag{110, 200, "99,100"}, {109, 50, "40,100"}, {110, 20, "40,41"}}) {
        Press(Shown(window), drag.from, 100);
        Move(window, drag.to, 100);
        Release(window, drag.to, 100);
        EXPECT_EQ(Texts(window, {Id::kWinLow, Id::kWinHigh}), drag.fields);
    }

    CPointStreDlg stretch; // handles outlined in blue, "(50, 30)" under the first
    stretch.m_byX1 = 50, stretch.m_byY1 = 30, stretch.m_byX2 = 200, stretch.m_byY2 = 220;
    const QImage s = Shown(stretch).Surface();
    EXPECT_EQ(Count(s, {58, 248, 4, 4}, IsBlue), 12);
    EXPECT_TRUE(Any(s, {63, 252, 40, 12}, IsDark));
    Press(stretch, 61, 251);
    Move(stretch, 230, 100);
    Release(stretch, 230, 100);
    Press(stretch, 210, 60);
    Move(stretch, 100, 200);
    EXPECT_EQ(Texts(stretch, kPoints), "199,180,200,80");
    Release(stretch, 100, 200);
    stretch.m_byY2 = 180; // both handles cover the pressed pixel: the first point moves
    Press(stretch, 209, 100);
    EXPECT_EQ(stretch.m_nDragMode, 1);
}

// Bars are scaled to the tallest one in the range shown; levels outside it have none.
TEST_F(DialogTest, HistogramCountsThePixelsOnceAndDrawsABarOfEachLevel)
{
    // 5 x 3 pixels in rows of 8 bytes: ten of 3, five of 7; the padding holds 200.
    std::uint8_t rows[24] = {3, 3,   3,   3,   3, 200, 200, 200, 3, 3,   3,   3,
                             3, 200, 200, 200, 7, 7,   7,   7,   7, 200, 200, 200};
    CIntensityDlg dialog;
    dialog.m_lpBits = rows, dialog.m_lWidth = 5, dialog.m_lHeight = 3;
    dialog.m_iLow = 5, dialog.m_iHigh = 255;
    const QImage s = Shown(dialog).Surface();
    EXPECT_EQ((std::array{dialog.m_lCount[3], dialog.m_lCount[7], dialog.m_lCount[200]}),
              (std::array<std::int32_t, 3>{10, 5, 0}));
    // The bar of 7 is full, ending at row 26; an empty level keeps its base pixel.
    for (const QPoint top : {QPoint(17, 26), QPoint(210, 280)}) {
        EXPECT_TRUE(IsBlue(s.pixel(top))) << top.x();
        EXPECT_FALSE(IsBlue(s.pixel(top.x(), top.y() - 1))) << top.x();
    }
    EXPECT_FALSE(Any(s, {11, 26, 5, 254}, IsBlue));
}

// A refused field shows one message, keeps the focus and its member; the exchange stops there.
TEST_F(DialogTest, RefusedFieldKeepsItsMemberAndTheFocus)
{
    CPointThreDlg dialog;
    dialog.m_byThreshold = 128;
    Shown(dialog).m_byThreshold = 50; // not shown yet: the repaint after the refusal shows it
    Type(dialog, Id::kThreshold, "300");
    ASSERT_EQ(m_ui.messages.size(), 1u);
    EXPECT_EQ(m_ui.messages[0].owner, &dialog);
    EXPECT_EQ(m_ui.messages[0].text, DialogTemplates::kNeedLevel);
    EXPECT_EQ(QApplication::focusWidget(), Edit(dialog, Id::kThreshold));
    EXPECT_EQ(Edit(dialog, Id::kThreshold)->selectedText(), "300");
    EXPECT_EQ(dialog.m_byThreshold, 50);
    EXPECT_TRUE(Any(dialog.Surface(), {59, 100, 2, 1}, IsBlue));
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(m_ui.messages.size(), 2u);

    CPointWinDlg window; // leaving for another field: one message, not one per field
    Type(Shown(window), Id::kWinLow, "300", Id::kWinHigh);
    EXPECT_EQ(m_ui.messages.size(), 3u);
    EXPECT_EQ(QApplication::focusWidget(), Edit(window, Id::kWinLow));

    CPointStreDlg stretch; // x2 refused, y1 after it not read
    Edit(Shown(stretch), Id::kStretchX1)->setText("10");
    Edit(stretch, Id::kStretchX2)->setText("abc");
    Edit(stretch, Id::kStretchY1)->setText("99");
    EXPECT_FALSE(stretch.UpdateData(true));
    EXPECT_EQ(stretch.m_byX1, 10);
    EXPECT_EQ(stretch.m_byY1, 0);
    EXPECT_EQ(m_ui.messages.size(), 4u);
    EXPECT_EQ(QApplication::focusWidget(), Edit(stretch, Id::kStretchX2));
}

// Leaving an x field or OK puts crossed limits and points in order; a y never swaps.
TEST_F(DialogTest, LeavingAFieldAndOkPutTheValuesInOrder)
{
    CPointWinDlg window;
    CIntensityDlg histogram;
    window.m_byHigh = 100, histogram.m_iHigh = 100;
    auto order = [](auto &dialog, int low, int high, const auto &lowValue, const auto &highValue) {
        Type(Shown(dialog), low, "200");
        EXPECT_EQ(Texts(dialog, {low, high}), "100,200");
        Edit(dialog, low)->setText("250");
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(lowValue, 200);
        EXPECT_EQ(highValue, 250);
    };
    order(window, Id::kWinLow, Id::kWinHigh, window.m_byLow, window.m_byHigh);
    order(histogram, Id::kHistLow, Id::kHistHigh, histogram.m_iLow, histogram.m_iHigh);

    CPointStreDlg stretch;
    stretch.m_byX1 = 50, stretch.m_byY1 = 30, stretch.m_byX2 = 200, stretch.m_byY2 = 220;
    Type(Shown(stretch), Id::kStretchY1, "250");
    EXPECT_EQ(stretch.m_byY1, 250);
    Type(stretch, Id::kStretchX1, "230");
    EXPECT_EQ(Texts(stretch, kPoints), "200,220,230,250");
    Edit(stretch, Id::kStretchX1)->setText("240"); // Enter without leaving the field
    stretch.accept();
    EXPECT_EQ(stretch.result(), QDialog::Accepted);
    EXPECT_EQ(Texts(stretch, kPoints), "230,250,240,220");
    EXPECT_TRUE(m_ui.messages.empty());
}

// A character a digits-only field drops says why just below it; one it takes says nothing.
TEST_F(DialogTest, DigitsOnlyFieldsTellWhyACharacterIsDropped)
{
    int fields = 0; // all but the linear dialog's two take digits only
    for (const DialogCase &c : kDialogs) {
        const std::unique_ptr<QDialog> dialog = c.make();
        for (QLineEdit *edit : Shown(*dialog).findChildren<QLineEdit *>()) {
            if (edit->validator() == nullptr)
                continue;
            ++fields;
            SCOPED_TRACE(edit->objectName().toStdString());
            edit->clear();
            edit->setFocus(Qt::TabFocusReason);
            QToolTip::hideText();
            QTest::keyClicks(edit, "12");
            EXPECT_FALSE(QToolTip::isVisible());
            QTest::keyClick(edit, Qt::Key_Minus);
            EXPECT_EQ(edit->text(), "12");
            ASSERT_TRUE(QToolTip::isVisible());
            EXPECT_EQ(QToolTip::text(), "只能在此处输入数字。");
            const QPoint below = edit->mapToGlobal(QPoint(0, edit->height()));
            for (const QWidget *tip : QApplication::topLevelWidgets()) {
                if (tip->inherits("QTipLabel") && tip->isVisible()) {
                    EXPECT_LE((tip->pos() - below).manhattanLength(), 24);
                }
            }
        }
    }
    EXPECT_EQ(fields, 9);
    QToolTip::hideText();
}

// Fixed in size, the dialogs offer no minimise or maximise button, only the close button.
TEST(DialogFrame, FixedDialogsHaveNoMinimiseOrMaximiseButton)
{
    for (const DialogCase &c : kDialogs) {
        const std::unique_ptr<QDialog> dialog = c.make();
        SCOPED_TRACE(dialog->metaObject()->className());
        EXPECT_EQ(dialog->windowFlags(), CQtUiServices::kFixedDialogFlags);
        EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
    }
}

// A closed dialog reads no field when the focus moves on in it after hiding or while it is
// destroyed (half gone). On X11 a late activation gives its edit the focus again just before.
TEST_F(DialogTest, ClosingOrDestroyingWithAFieldFocusedReadsNothing)
{
    for (const DialogCase &c : kDialogs) {
        std::unique_ptr<QDialog> dialog = c.make();
        Edit(Shown(*dialog), c.field)->setText("300");
        dialog->reject();
        QApplication::setActiveWindow(dialog.get()); // the late activation
        for (const int focus : {c.field, Id::kOk, c.field})
            dialog->findChild<QWidget *>(QString::number(focus))->setFocus(Qt::OtherFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), Edit(*dialog, c.field));
        dialog.reset();
        EXPECT_TRUE(m_ui.messages.empty()) << c.field;
    }
}
