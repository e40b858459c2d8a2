#include "AppTestSupport.h"
#include "DialogTemplates.h"
#include "FieldExchange.h"
#include "IntensityDlg.h"
#include "LinerParaDlg.h"
#include "PointStreDlg.h"
#include "PointThreDlg.h"
#include "PointWinDlg.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cstring>

namespace Id = DialogTemplates::Id;

namespace {

enum Event { kPress, kMove, kRelease };

bool IsBlue(QRgb c)
{
    return c == qRgb(0, 0, 255);
}
bool IsDark(QRgb c) // text and black lines, not the coloured pens
{
    return qRed(c) < 128 && qGreen(c) < 128 && qBlue(c) < 128;
}
int Count(const QImage &image, const QRect &rect, bool (*test)(QRgb))
{
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            n += test(image.pixel(x, y)) ? 1 : 0;
    return n;
}

QLineEdit *Edit(QDialog &dialog, int id)
{
    return dialog.findChild<QLineEdit *>(QString::number(id));
}
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
    dialog.show();
    dialog.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
    return dialog;
}

// The left button at surface pixel (x, y) of the dialog's preview.
template<class Dialog> void Mouse(Dialog &d, Event event, int x, int y)
{
    const QPoint p(d.m_rcDragArea.left - 10 + x, d.m_rcDragArea.top - 25 + y);
    if (event == kMove)
        QTest::mouseMove(&d, p);
    else if (event == kPress)
        QTest::mousePress(&d, Qt::LeftButton, {}, p);
    else
        QTest::mouseRelease(&d, Qt::LeftButton, {}, p);
}

class DialogTest : public ::testing::Test
{
protected:
    CRecordingUiServices m_ui;
};

} // namespace

TEST_F(DialogTest, PicturesOfTheFirstValues)
{
    CLinerParaDlg linear;
    linear.m_fSlope = 2, linear.m_fIntercept = -128;
    CPointThreDlg threshold;
    threshold.m_byThreshold = 128;
    CPointWinDlg window;
    window.m_byHigh = 255;
    CPointStreDlg stretch;
    stretch.m_byX1 = 50, stretch.m_byY1 = 30, stretch.m_byX2 = 200, stretch.m_byY2 = 220;
    const QImage l = Shown(linear).Surface(), t = Shown(threshold).Surface(),
                 w = Shown(window).Surface(), s = Shown(stretch).Surface();
    EXPECT_EQ(Texts(linear, {Id::kSlope, Id::kIntercept}), "2,-128");
    auto red = [](QRgb c) { return c == qRgb(255, 0, 0); };
    auto green = [](QRgb c) { return c == qRgb(0, 255, 0); };
    auto white = [](QRgb c) { return c == qRgb(255, 255, 255); };
    // Pixels of `test` in the rectangle: exactly `count`, or some when -1.
    const struct
    {
        const QImage &image;
        QRect rect;
        bool (*test)(QRgb);
        int count;
    } probes[] = {
        // The frame (outline, red axes, black box edges), the line from (74, 280) to
        // (202, 25), its labels below its ends.
        {l, {0, 0, 1, 1}, IsDark, 1},
        {l, {10, 150, 1, 1}, red, 1},
        {l, {150, 280, 1, 1}, red, 1},
        {l, {265, 150, 1, 1}, IsDark, 1},
        {l, {73, 278, 3, 3}, IsBlue, -1},
        {l, {137, 151, 3, 3}, IsBlue, -1},
        {l, {200, 25, 3, 3}, IsBlue, -1},
        {l, {150, 30, 30, 30}, IsBlue, 0},
        {l, {74, 281, 40, 14}, IsDark, -1},
        {l, {40, 281, 34, 14}, IsDark, 0},
        {l, {202, 26, 50, 14}, IsDark, -1},
        {l, {170, 27, 32, 14}, IsDark, 0},
        // The rise at x 138, "128" under it.
        {t, {137, 100, 2, 1}, IsBlue, -1},
        {t, {135, 100, 1, 1}, IsBlue, 0},
        {t, {140, 100, 1, 1}, IsBlue, 0},
        {t, {138, 281, 25, 14}, IsDark, -1},
        {t, {100, 281, 38, 14}, IsDark, 0},
        // The diagonal, "(255, 255)" right of the box.
        {w, {137, 151, 3, 3}, IsBlue, -1},
        {w, {137, 100, 3, 3}, IsBlue, 0},
        {w, {267, 26, 50, 14}, IsDark, -1},
        // 4 x 4 handles, blue outlined and green inside, "(50, 30)" below the first.
        {s, {58, 248, 4, 4}, IsBlue, 12},
        {s, {59, 249, 2, 2}, green, 4},
        {s, {208, 58, 4, 4}, IsBlue, 12},
        {s, {209, 59, 2, 2}, green, 4},
        {s, {57, 247, 1, 1}, white, 1},
        {s, {63, 252, 40, 12}, IsDark, -1},
    };
    for (const auto &p : probes) {
        const int n = Count(p.image, p.rect, p.test);
        EXPECT_TRUE(p.count < 0 ? n > 0 : n == p.count) << p.rect.x() << ", " << p.rect.y();
    }
}

// The linear dialog draws a band from the press to the pointer; a release inside the area sets
// the line through both points, a release outside or in the press column changes nothing.
TEST_F(DialogTest, LinearBandComesAndGoesAndTheReleaseSetsTheLine)
{
    CLinerParaDlg dialog;
    dialog.m_fSlope = 2, dialog.m_fIntercept = -128;
    const QImage before = Shown(dialog).Surface().copy();
    Mouse(dialog, kPress, 9, 152); // outside
    EXPECT_FALSE(dialog.m_bDragging);
    Mouse(dialog, kRelease, 9, 152);

    Mouse(dialog, kPress, 10, 152);
    Mouse(dialog, kMove, 138, 25);
    EXPECT_GT(Count(dialog.Surface(), QRect(70, 88, 5, 5), IsDark), 0); // on the band only
    Mouse(dialog, kMove, 60, 200);
    EXPECT_EQ(Count(dialog.Surface(), QRect(70, 88, 5, 5), IsDark), 0);
    Mouse(dialog, kMove, 300, 200);
    EXPECT_NE(dialog.Surface(), before);
    EXPECT_EQ(dialog.cursor().shape(), Qt::ForbiddenCursor);
    Mouse(dialog, kRelease, 300, 200);
    EXPECT_EQ(dialog.Surface(), before);
    for (Event e : {kPress, kMove, kRelease})
        Mouse(dialog, e, 50, e == kPress ? 100 : 200);
    EXPECT_EQ(dialog.Surface(), before);
    EXPECT_EQ(dialog.m_fSlope, 2.0f);

    Mouse(dialog, kPress, 10, 152); // gray (0, 128) to (128, 255)
    Mouse(dialog, kMove, 100, 100);
    EXPECT_TRUE(dialog.m_fSlope == 2.0f && dialog.cursor().shape() == Qt::CrossCursor);
    Mouse(dialog, kRelease, 138, 25);
    EXPECT_TRUE(dialog.m_fSlope == 0.9921875f && dialog.m_fIntercept == 128.0f);
    EXPECT_EQ(Texts(dialog, {Id::kSlope, Id::kIntercept}), "0.9921875,128");
    CLinerParaDlg fresh;
    fresh.m_fSlope = 0.9921875f, fresh.m_fIntercept = 128;
    EXPECT_EQ(dialog.Surface(), Shown(fresh).Surface()) << "a band left over";
}

// Markers follow the pointer from a press on them until any release, one level short of the
// other marker; the fields follow.
TEST_F(DialogTest, DragsFollowThePointer)
{
    CPointThreDlg threshold;
    threshold.m_byThreshold = 128;
    Mouse(Shown(threshold), kPress, 139, 100); // one pixel beside
    EXPECT_FALSE(threshold.m_bDragging);
    Mouse(threshold, kRelease, 139, 100);
    Mouse(threshold, kPress, 138, 100);
    EXPECT_EQ(threshold.cursor().shape(), Qt::SizeHorCursor);
    for (const auto &[x, level] : {std::pair{300, 128}, {12, 2}, {10, 0}, {265, 255}, {266, 255}}) {
        Mouse(threshold, kMove, x, 100);
        EXPECT_EQ(threshold.m_byThreshold, level) << x;
        EXPECT_EQ(Texts(threshold, {Id::kThreshold}).toInt(), level) << x;
    }
    EXPECT_TRUE(IsBlue(threshold.Surface().pixel(264, 100)));
    // Let go over the edit field: the drag ends there.
    QTest::mouseRelease(&threshold, Qt::LeftButton, {},
                        threshold.findChild<QLineEdit *>()->geometry().center());
    Mouse(threshold, kMove, 50, 100);
    EXPECT_EQ(threshold.m_byThreshold, 255);

    CPointWinDlg window; // equal limits: the lower one moves
    window.m_byLow = window.m_byHigh = 100;
    const struct
    {
        Event event;
        int x, low, high;
    } steps[] = {{kPress, 110, 100, 100}, {kMove, 200, 99, 100},  {kMove, 50, 40, 100},
                 {kRelease, 50, 40, 100}, {kPress, 110, 40, 100}, {kMove, 20, 40, 41}};
    Shown(window);
    for (const auto &s : steps) {
        Mouse(window, s.event, s.x, 100);
        EXPECT_TRUE(window.m_byLow == s.low && window.m_byHigh == s.high) << s.x;
        EXPECT_EQ(Texts(window, {Id::kWinLow, Id::kWinHigh}),
                  QString("%1,%2").arg(s.low).arg(s.high));
    }
    CPointWinDlg corner; // both at 0: the lower one has nowhere to go
    Mouse(Shown(corner), kPress, 10, 100);
    Mouse(corner, kMove, 100, 100);
    EXPECT_TRUE(corner.m_byLow == 0 && corner.m_byHigh == 0);

    CPointStreDlg stretch;
    stretch.m_byX1 = 50, stretch.m_byY1 = 30, stretch.m_byX2 = 200, stretch.m_byY2 = 220;
    Shown(stretch);
    for (const auto &[x, y, mode] :
         {std::tuple{58, 248, 1}, {61, 251, 1}, {62, 248, 0}, {58, 252, 0}, {210, 60, 2}}) {
        Mouse(stretch, kPress, x, y);
        EXPECT_EQ(stretch.m_nDragMode, mode) << x << ", " << y;
        Mouse(stretch, kRelease, x, y);
    }
    Mouse(stretch, kPress, 60, 250);
    EXPECT_EQ(stretch.cursor().shape(), Qt::SizeAllCursor);
    Mouse(stretch, kMove, 230, 100);
    Mouse(stretch, kRelease, 230, 100);
    Mouse(stretch, kPress, 210, 60);
    Mouse(stretch, kMove, 100, 200);
    EXPECT_EQ(Texts(stretch, {Id::kStretchX1, Id::kStretchY1, Id::kStretchX2, Id::kStretchY2}),
              "199,180,200,80");
    Mouse(stretch, kRelease, 100, 200);
    stretch.m_byY2 = 180; // both handles cover the pressed pixel: the first point moves
    Mouse(stretch, kPress, 209, 100);
    EXPECT_EQ(stretch.m_nDragMode, 1);
}

TEST_F(DialogTest, HistogramCountsThePixelsOnceAndDrawsABarOfEachLevel)
{
    // 5 x 3 pixels in rows of 8 bytes: ten of 3, five of 7; the padding holds 200.
    std::vector<std::uint8_t> rows(24, 200);
    for (int i = 0; i < 15; ++i)
        rows[static_cast<std::size_t>(i / 5 * 8 + i % 5)] = i < 10 ? 3 : 7;
    CIntensityDlg dialog;
    dialog.m_lpBits = rows.data();
    dialog.m_lWidth = 5, dialog.m_lHeight = 3, dialog.m_iHigh = 255;
    const QImage s = Shown(dialog).Surface();
    EXPECT_TRUE(dialog.m_lCount[3] == 10 && dialog.m_lCount[7] == 5 && dialog.m_lCount[200] == 0);
    // Full height ends at row 26, half height 128 rows up from 281; an empty level keeps its
    // base pixel.
    for (const auto &[x, top] : {std::pair{13, 26}, {17, 154}, {210, 280}})
        EXPECT_TRUE(IsBlue(s.pixel(x, top)) && !IsBlue(s.pixel(x, top - 1))) << x;

    // Dragging the lower marker right stops below the upper one; the counts stay.
    Mouse(dialog, kPress, 10, 100);
    Mouse(dialog, kMove, 300, 100);
    EXPECT_EQ(dialog.m_iLow, 0);
    Mouse(dialog, kMove, 265, 100);
    Mouse(dialog, kRelease, 265, 100);
    EXPECT_TRUE(dialog.m_iLow == 254 && Texts(dialog, {Id::kHistLow}) == "254");
    EXPECT_EQ(Count(dialog.Surface(), QRect(11, 26, 250, 254), IsBlue), 0);
    EXPECT_EQ(dialog.m_lCount[3], 10);
}

// A refused field shows one message, keeps the focus and its member; the exchange stops there.
TEST_F(DialogTest, RefusedFieldKeepsItsMemberAndTheFocus)
{
    CPointThreDlg dialog;
    dialog.m_byThreshold = 128;
    Shown(dialog).m_byThreshold = 50; // not shown yet: the repaint after the refusal shows it
    Type(dialog, Id::kThreshold, "300");
    ASSERT_EQ(m_ui.messages.size(), 1u);
    EXPECT_TRUE(m_ui.messages[0].text == DialogTemplates::kNeedLevel
                && m_ui.messages[0].owner == &dialog);
    auto *edit = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    EXPECT_TRUE(edit && edit->selectedText() == "300" && dialog.m_byThreshold == 50);
    EXPECT_GT(Count(dialog.Surface(), QRect(59, 100, 2, 1), IsBlue), 0);
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible() && m_ui.messages.size() == 2);

    CPointWinDlg window; // leaving for another field: one message, not one per field
    Type(Shown(window), Id::kWinLow, "300", Id::kWinHigh);
    EXPECT_EQ(m_ui.messages.size(), 3u);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QString::number(Id::kWinLow));

    CPointStreDlg stretch; // x2 refused, y1 after it not read
    Edit(Shown(stretch), Id::kStretchX1)->setText("10");
    Edit(stretch, Id::kStretchX2)->setText("abc");
    Edit(stretch, Id::kStretchY1)->setText("99");
    EXPECT_FALSE(stretch.UpdateData(true));
    EXPECT_TRUE(stretch.m_byX1 == 10 && stretch.m_byY1 == 0 && m_ui.messages.size() == 4);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QString::number(Id::kStretchX2));

    CLinerParaDlg linear; // numbers a transform cannot use are refused like text
    Edit(Shown(linear), Id::kSlope)->setText("nan");
    linear.accept();
    EXPECT_TRUE(linear.isVisible() && linear.m_fSlope == 0.0f);
    EXPECT_EQ(m_ui.messages.back().text, DialogTemplates::kNeedNumber);
}

// Leaving an x field or OK puts crossed limits and points in order; a y never swaps.
TEST_F(DialogTest, LeavingAFieldAndOkPutTheValuesInOrder)
{
    CPointWinDlg window;
    window.m_byHigh = 100;
    Type(Shown(window), Id::kWinLow, "200");
    EXPECT_EQ(Texts(window, {Id::kWinLow, Id::kWinHigh}), "100,200");
    Edit(window, Id::kWinLow)->setText("250");
    window.accept();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_TRUE(window.m_byLow == 200 && window.m_byHigh == 250);

    CPointStreDlg stretch;
    stretch.m_byX1 = 50, stretch.m_byY1 = 30, stretch.m_byX2 = 200, stretch.m_byY2 = 220;
    Type(Shown(stretch), Id::kStretchY1, "250");
    EXPECT_TRUE(stretch.m_byY1 == 250 && Texts(stretch, {Id::kStretchX1}) == "50");
    Type(stretch, Id::kStretchX1, "230");
    EXPECT_EQ(Texts(stretch, {Id::kStretchX1, Id::kStretchY1, Id::kStretchX2, Id::kStretchY2}),
              "200,220,230,250");
    Edit(stretch, Id::kStretchX1)->setText("240"); // Enter without leaving the field
    stretch.accept();
    EXPECT_EQ(stretch.result(), QDialog::Accepted);
    EXPECT_EQ((std::vector<int>{stretch.m_byX1, stretch.m_byY1, stretch.m_byX2, stretch.m_byY2}),
              (std::vector<int>{230, 250, 240, 220}));

    CIntensityDlg histogram;
    Edit(Shown(histogram), Id::kHistLow)->setText("200");
    Edit(histogram, Id::kHistHigh)->setText("100");
    histogram.accept();
    EXPECT_TRUE(histogram.m_iLow == 100 && histogram.m_iHigh == 200 && m_ui.messages.empty());
}

TEST(FieldExchange, FloatsAreWrittenShortAndReadBackExactly)
{
    for (const auto &[value, text] :
         {std::pair{2.0f, "2"}, {-128.0f, "-128"}, {0.1f, "0.1"}, {0.9921875f, "0.9921875"}}) {
        EXPECT_EQ(CFieldExchange::FormatFloat(value).toStdString(), text);
        EXPECT_EQ(CFieldExchange::ParseFloat(QString::fromLatin1(text)), value) << text;
    }
    for (const float value : {1e20f, -3.4028235e38f, 1.17549435e-38f, 16777217.0f, 0.3f}) {
        const auto back = CFieldExchange::ParseFloat(CFieldExchange::FormatFloat(value));
        EXPECT_TRUE(back && std::memcmp(&*back, &value, sizeof value) == 0) << value;
    }
}

TEST(FieldExchange, ParsesOnlyWhatFitsTheField)
{
    const struct
    {
        const char *text;
        bool isFloat, isLevel;
    } cases[] = {
        {"0", true, true},       {"255", true, true},
        {" 7 ", true, true},     {"+3", true, true},
        {"256", true, false},    {"-1", true, false},
        {"1.5", true, false},    {"-0.5e2", true, false},
        {"", false, false},      {"abc", false, false},
        {"12abc", false, false}, {"nan", false, false},
        {"inf", false, false},   {"-infinity", false, false},
        {"1e50", false, false},  {"99999999999999999999", true, false},
    };
    for (const auto &c : cases) {
        const QString text = QString::fromLatin1(c.text);
        EXPECT_EQ(CFieldExchange::ParseFloat(text).has_value(), c.isFloat) << '"' << c.text << '"';
        EXPECT_EQ(CFieldExchange::ParseLevel(text).has_value(), c.isLevel) << '"' << c.text << '"';
    }
    EXPECT_EQ(CFieldExchange::ParseLevel(QStringLiteral(" 7 ")), 7);
    EXPECT_EQ(CFieldExchange::ParseFloat(QStringLiteral("-0.5e2")), -50.0f);
}
