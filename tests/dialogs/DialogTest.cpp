#include "AppTestSupport.h"
#include "DialogTemplates.h"
#include "IntensityDlg.h"
#include "LinerParaDlg.h"
#include "PointStreDlg.h"
#include "PointThreDlg.h"
#include "PointWinDlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <vector>

namespace Id = DialogTemplates::Id;

namespace {

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

// The dialog point over surface pixel (x, y).
QPoint At(const PlotGeometry::Area &area, int x, int y)
{
    return {area.left - 10 + x, area.top - 25 + y};
}

QLineEdit *Field(QDialog &dialog, int id)
{
    return dialog.findChild<QLineEdit *>(QString::number(id));
}

class DialogTest : public ::testing::Test
{
protected:
    static void Show(QDialog &dialog)
    {
        dialog.show();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }
    // Types `text` into a field and moves the focus on, as the Tab key would.
    static void Type(QDialog &dialog, int id, const char *text)
    {
        QLineEdit *edit = Field(dialog, id);
        edit->setFocus(Qt::TabFocusReason);
        edit->setText(QString::fromUtf8(text));
        dialog.findChild<QPushButton *>(QString::number(Id::kCancel))->setFocus(Qt::TabFocusReason);
    }

    CRecordingUiServices m_ui;
};

} // namespace

TEST_F(DialogTest, LinearDefaultPicture)
{
    CLinerParaDlg dialog;
    dialog.m_fSlope = 2;
    dialog.m_fIntercept = -128;
    Show(dialog);
    EXPECT_EQ(Field(dialog, Id::kSlope)->text(), "2");
    EXPECT_EQ(Field(dialog, Id::kIntercept)->text(), "-128");
    const QImage &s = dialog.Surface();
    // The frame: clearing outline, red axes, black box edges.
    EXPECT_TRUE(IsDark(s.pixel(0, 0)) && IsDark(s.pixel(329, 299)));
    EXPECT_EQ(s.pixel(10, 150), qRgb(255, 0, 0));
    EXPECT_EQ(s.pixel(150, 280), qRgb(255, 0, 0));
    EXPECT_TRUE(IsDark(s.pixel(265, 150)) && IsDark(s.pixel(150, 25)));
    // The line from (74, 280) to (202, 25), its labels just below its ends.
    EXPECT_GT(Count(s, QRect(73, 278, 3, 3), IsBlue), 0);
    EXPECT_GT(Count(s, QRect(137, 151, 3, 3), IsBlue), 0);
    EXPECT_GT(Count(s, QRect(200, 25, 3, 3), IsBlue), 0);
    EXPECT_EQ(Count(s, QRect(150, 30, 30, 30), IsBlue), 0);
    EXPECT_GT(Count(s, QRect(74, 281, 40, 14), IsDark), 0);
    EXPECT_EQ(Count(s, QRect(40, 281, 34, 14), IsDark), 0);
    EXPECT_GT(Count(s, QRect(202, 26, 50, 14), IsDark), 0);
    EXPECT_EQ(Count(s, QRect(170, 27, 32, 14), IsDark), 0);
}

TEST_F(DialogTest, ThresholdWindowAndStretchDefaultPictures)
{
    CPointThreDlg threshold;
    threshold.m_byThreshold = 128;
    Show(threshold);
    const QImage &t = threshold.Surface();
    EXPECT_GT(Count(t, QRect(137, 100, 2, 1), IsBlue), 0); // the rise at x 138
    EXPECT_FALSE(IsBlue(t.pixel(135, 100)) || IsBlue(t.pixel(140, 100)));
    EXPECT_GT(Count(t, QRect(138, 281, 25, 14), IsDark), 0); // "128" under it
    EXPECT_EQ(Count(t, QRect(100, 281, 38, 14), IsDark), 0);

    CPointWinDlg window;
    window.m_byLow = 0;
    window.m_byHigh = 255;
    Show(window);
    const QImage &w = window.Surface();
    EXPECT_GT(Count(w, QRect(137, 151, 3, 3), IsBlue), 0); // the diagonal
    EXPECT_EQ(Count(w, QRect(137, 100, 3, 3), IsBlue), 0);
    EXPECT_GT(Count(w, QRect(267, 26, 50, 14), IsDark), 0); // "(255, 255)" right of the box

    CPointStreDlg stretch;
    stretch.m_byX1 = 50;
    stretch.m_byY1 = 30;
    stretch.m_byX2 = 200;
    stretch.m_byY2 = 220;
    Show(stretch);
    const QImage &g = stretch.Surface();
    for (const QPoint corner : {QPoint(58, 248), QPoint(61, 251), QPoint(208, 58), QPoint(211, 61)})
        EXPECT_TRUE(IsBlue(g.pixel(corner))) << corner.x() << ", " << corner.y();
    for (const QPoint centre : {QPoint(59, 249), QPoint(60, 250), QPoint(209, 59)})
        EXPECT_EQ(g.pixel(centre), qRgb(0, 255, 0));
    EXPECT_EQ(g.pixel(57, 247), qRgb(255, 255, 255));
    EXPECT_GT(Count(g, QRect(63, 252, 40, 12), IsDark), 0); // "(50, 30)" below the handle
}

TEST_F(DialogTest, PressesStartADragOnlyInsideTheArea)
{
    CLinerParaDlg dialog;
    Show(dialog);
    const struct
    {
        int x, y;
        bool starts;
    } cases[] = {{10, 25, true},  {265, 279, true},  {266, 100, false},
                 {9, 100, false}, {100, 280, false}, {100, 24, false}};
    for (const auto &c : cases) {
        const QPoint p = At(dialog.m_rcDragArea, c.x, c.y);
        QTest::mousePress(&dialog, Qt::LeftButton, {}, p);
        EXPECT_EQ(dialog.m_bDragging, c.starts) << c.x << ", " << c.y;
        QTest::mouseRelease(&dialog, Qt::LeftButton, {}, p);
        EXPECT_FALSE(dialog.m_bDragging);
    }
}

TEST_F(DialogTest, LinearBandComesAndGoesAndTheReleaseSetsTheLine)
{
    CLinerParaDlg dialog;
    dialog.m_fSlope = 2;
    dialog.m_fIntercept = -128;
    Show(dialog);
    const auto &area = dialog.m_rcDragArea;
    const QImage before = dialog.Surface().copy();

    // A band that ends outside the area leaves the picture and the parameters as they were.
    QTest::mousePress(&dialog, Qt::LeftButton, {}, At(area, 10, 152));
    QTest::mouseMove(&dialog, At(area, 138, 25));
    const QImage band = dialog.Surface().copy();
    EXPECT_GT(Count(band, QRect(70, 88, 5, 5), IsDark), 0); // on the band, off the line
    QTest::mouseMove(&dialog, At(area, 60, 200));
    EXPECT_EQ(Count(dialog.Surface(), QRect(70, 88, 5, 5), IsDark), 0);
    QTest::mouseMove(&dialog, At(area, 300, 200)); // outside: the band stays
    EXPECT_NE(dialog.Surface(), before);
    EXPECT_EQ(dialog.cursor().shape(), Qt::ForbiddenCursor);
    QTest::mouseRelease(&dialog, Qt::LeftButton, {}, At(area, 300, 200));
    EXPECT_EQ(dialog.Surface(), before);
    EXPECT_EQ(dialog.m_fSlope, 2.0f);

    // A release on the press column changes nothing.
    QTest::mousePress(&dialog, Qt::LeftButton, {}, At(area, 50, 100));
    QTest::mouseMove(&dialog, At(area, 50, 200));
    QTest::mouseRelease(&dialog, Qt::LeftButton, {}, At(area, 50, 200));
    EXPECT_EQ(dialog.m_fSlope, 2.0f);
    EXPECT_EQ(dialog.Surface(), before);

    // Gray (0, 128) to (128, 255).
    QTest::mousePress(&dialog, Qt::LeftButton, {}, At(area, 10, 152));
    QTest::mouseMove(&dialog, At(area, 100, 100));
    EXPECT_EQ(dialog.m_fSlope, 2.0f);
    EXPECT_EQ(dialog.cursor().shape(), Qt::CrossCursor);
    QTest::mouseRelease(&dialog, Qt::LeftButton, {}, At(area, 138, 25));
    EXPECT_EQ(dialog.m_fSlope, 0.9921875f);
    EXPECT_EQ(dialog.m_fIntercept, 128.0f);
    EXPECT_EQ(Field(dialog, Id::kSlope)->text(), "0.9921875");
    EXPECT_EQ(Field(dialog, Id::kIntercept)->text(), "128");
    CLinerParaDlg fresh;
    fresh.m_fSlope = 0.9921875f;
    fresh.m_fIntercept = 128;
    Show(fresh);
    EXPECT_EQ(dialog.Surface(), fresh.Surface()); // no band left over
}

TEST_F(DialogTest, ThresholdFollowsTheDragUntilAnyRelease)
{
    CPointThreDlg dialog;
    dialog.m_byThreshold = 128;
    Show(dialog);
    const auto &area = dialog.m_rcDragArea;
    QTest::mousePress(&dialog, Qt::LeftButton, {}, At(area, 139, 100)); // one pixel beside
    EXPECT_FALSE(dialog.m_bDragging);
    QTest::mouseRelease(&dialog, Qt::LeftButton, {}, At(area, 139, 100));

    QTest::mousePress(&dialog, Qt::LeftButton, {}, At(area, 138, 100));
    ASSERT_TRUE(dialog.m_bDragging);
    EXPECT_EQ(dialog.cursor().shape(), Qt::SizeHorCursor);
    const struct
    {
        int x, threshold;
    } steps[] = {{300, 128}, {12, 2}, {10, 0}, {265, 255}, {266, 255}};
    for (const auto &step : steps) {
        QTest::mouseMove(&dialog, At(area, step.x, 100));
        EXPECT_EQ(dialog.m_byThreshold, step.threshold) << step.x;
        EXPECT_EQ(Field(dialog, Id::kThreshold)->text().toInt(), step.threshold);
    }
    EXPECT_TRUE(IsBlue(dialog.Surface().pixel(264, 100)));
    // Let go over the edit field: the drag ends there, and later moves change nothing.
    const QPoint overField = Field(dialog, Id::kThreshold)->geometry().center();
    QTest::mouseRelease(&dialog, Qt::LeftButton, {}, overField);
    EXPECT_FALSE(dialog.m_bDragging);
    QTest::mouseMove(&dialog, At(area, 50, 100));
    EXPECT_EQ(dialog.m_byThreshold, 255);
}

TEST_F(DialogTest, LimitDragsStopOneLevelShort)
{
    CPointWinDlg window;
    window.m_byLow = 100;
    window.m_byHigh = 100;
    Show(window);
    const auto &area = window.m_rcDragArea;
    QTest::mousePress(&window, Qt::LeftButton, {}, At(area, 110, 100));
    EXPECT_EQ(window.m_nDragMode, 1); // equal limits: the lower one
    QTest::mouseMove(&window, At(area, 200, 100));
    EXPECT_EQ(window.m_byLow, 99);
    EXPECT_EQ(Field(window, Id::kWinLow)->text(), "99");
    QTest::mouseMove(&window, At(area, 50, 100));
    EXPECT_EQ(window.m_byLow, 40);
    QTest::mouseRelease(&window, Qt::LeftButton, {}, At(area, 50, 100));
    QTest::mousePress(&window, Qt::LeftButton, {}, At(area, 110, 100));
    EXPECT_EQ(window.m_nDragMode, 2);
    QTest::mouseMove(&window, At(area, 20, 100));
    EXPECT_EQ(window.m_byHigh, 41);
    EXPECT_EQ(Field(window, Id::kWinHigh)->text(), "41");
    QTest::mouseRelease(&window, Qt::LeftButton, {}, At(area, 20, 100));

    // Both limits at 0: the lower one has nowhere to go and stays.
    CPointWinDlg corner;
    Show(corner);
    QTest::mousePress(&corner, Qt::LeftButton, {}, At(corner.m_rcDragArea, 10, 100));
    QTest::mouseMove(&corner, At(corner.m_rcDragArea, 100, 100));
    EXPECT_EQ(corner.m_byLow, 0);
    EXPECT_EQ(corner.m_byHigh, 0);
}

TEST_F(DialogTest, StretchPointsDragInsideTheirLimits)
{
    CPointStreDlg dialog;
    dialog.m_byX1 = 50;
    dialog.m_byY1 = 30;
    dialog.m_byX2 = 200;
    dialog.m_byY2 = 220;
    Show(dialog);
    const auto &area = dialog.m_rcDragArea;
    const struct
    {
        int x, y, mode;
    } presses[] = {{58, 248, 1}, {61, 251, 1}, {62, 248, 0}, {58, 252, 0}, {210, 60, 2}};
    for (const auto &p : presses) {
        QTest::mousePress(&dialog, Qt::LeftButton, {}, At(area, p.x, p.y));
        EXPECT_EQ(dialog.m_nDragMode, p.mode) << p.x << ", " << p.y;
        QTest::mouseRelease(&dialog, Qt::LeftButton, {}, At(area, p.x, p.y));
    }
    QTest::mousePress(&dialog, Qt::LeftButton, {}, At(area, 60, 250));
    EXPECT_EQ(dialog.cursor().shape(), Qt::SizeAllCursor);
    QTest::mouseMove(&dialog, At(area, 230, 100));
    EXPECT_EQ(dialog.m_byX1, 199);
    EXPECT_EQ(dialog.m_byY1, 180);
    EXPECT_EQ(Field(dialog, Id::kStretchX1)->text(), "199");
    EXPECT_EQ(Field(dialog, Id::kStretchY1)->text(), "180");
    QTest::mouseRelease(&dialog, Qt::LeftButton, {}, At(area, 230, 100));
    QTest::mousePress(&dialog, Qt::LeftButton, {}, At(area, 210, 60));
    QTest::mouseMove(&dialog, At(area, 100, 200));
    EXPECT_EQ(dialog.m_byX2, 200);
    EXPECT_EQ(dialog.m_byY2, 80);
    QTest::mouseRelease(&dialog, Qt::LeftButton, {}, At(area, 100, 200));

    // Where both handles cover the pressed pixel, the first point moves.
    dialog.m_byX2 = 200;
    dialog.m_byY2 = 180;
    QTest::mousePress(&dialog, Qt::LeftButton, {}, At(area, 209, 100));
    EXPECT_EQ(dialog.m_nDragMode, 1);
}

TEST_F(DialogTest, HistogramCountsOncePaddingAside)
{
    // 5 x 3 pixels in rows of 8 bytes; the padding holds level 200, which must not count.
    std::vector<std::uint8_t> rows(24, 200);
    for (int i = 0; i < 15; ++i)
        rows[static_cast<std::size_t>(i / 5 * 8 + i % 5)] = i < 10 ? 3 : 7;
    CIntensityDlg dialog;
    dialog.m_lpBits = rows.data();
    dialog.m_lWidth = 5;
    dialog.m_lHeight = 3;
    dialog.m_iHigh = 255;
    Show(dialog);
    EXPECT_EQ(dialog.m_lCount[3], 10);
    EXPECT_EQ(dialog.m_lCount[7], 5);
    EXPECT_EQ(dialog.m_lCount[200], 0);
    const QImage &s = dialog.Surface();
    EXPECT_TRUE(IsBlue(s.pixel(13, 26))); // full height ends at row 26
    EXPECT_FALSE(IsBlue(s.pixel(13, 25)));
    EXPECT_TRUE(IsBlue(s.pixel(17, 154))); // half height: 128 rows up from 281
    EXPECT_FALSE(IsBlue(s.pixel(17, 153)));
    EXPECT_TRUE(IsBlue(s.pixel(210, 280))); // an empty level keeps its base pixel
    EXPECT_FALSE(IsBlue(s.pixel(210, 279)));

    // Dragging the lower marker right stops below the upper one; the counts stay.
    const auto &area = dialog.m_rcDragArea;
    QTest::mousePress(&dialog, Qt::LeftButton, {}, At(area, 10, 100));
    QTest::mouseMove(&dialog, At(area, 300, 100));
    EXPECT_EQ(dialog.m_iLow, 0);
    QTest::mouseMove(&dialog, At(area, 265, 100));
    EXPECT_EQ(dialog.m_iLow, 254);
    EXPECT_EQ(Field(dialog, Id::kHistLow)->text(), "254");
    QTest::mouseRelease(&dialog, Qt::LeftButton, {}, At(area, 265, 100));
    EXPECT_EQ(Count(dialog.Surface(), QRect(11, 26, 250, 254), IsBlue), 0);
    EXPECT_EQ(dialog.m_lCount[3], 10);
}

TEST_F(DialogTest, HistogramOfOneLevelFillingAHundredMegapixels)
{
    std::vector<std::uint8_t> rows(std::size_t{10000} * 10000, 77);
    CIntensityDlg dialog;
    dialog.m_lpBits = rows.data();
    dialog.m_lWidth = 10000;
    dialog.m_lHeight = 10000;
    dialog.m_iHigh = 255;
    Show(dialog);
    EXPECT_EQ(dialog.m_lCount[77], 100'000'000);
    EXPECT_TRUE(IsBlue(dialog.Surface().pixel(87, 26)));
    EXPECT_FALSE(IsBlue(dialog.Surface().pixel(87, 25)));
}

TEST_F(DialogTest, RefusedFieldKeepsItsMemberAndTheFocus)
{
    CPointThreDlg dialog;
    dialog.m_byThreshold = 128;
    Show(dialog);
    dialog.m_byThreshold = 50; // not yet shown: the repaint after the refusal must show it
    Type(dialog, Id::kThreshold, "300");
    ASSERT_EQ(m_ui.messages.size(), 1u);
    EXPECT_EQ(m_ui.messages[0].text, DialogTemplates::kNeedLevel);
    EXPECT_EQ(m_ui.messages[0].owner, &dialog);
    QLineEdit *edit = Field(dialog, Id::kThreshold);
    EXPECT_EQ(QApplication::focusWidget(), edit);
    EXPECT_EQ(edit->selectedText(), "300");
    EXPECT_EQ(dialog.m_byThreshold, 50);
    EXPECT_GT(Count(dialog.Surface(), QRect(59, 100, 2, 1), IsBlue), 0);

    dialog.accept(); // OK with the same text stays open
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(m_ui.messages.size(), 2u);

    // Leaving a refused field for another field shows one message, not one per field.
    CPointWinDlg window;
    Show(window);
    Field(window, Id::kWinLow)->setFocus(Qt::TabFocusReason);
    Field(window, Id::kWinLow)->setText("300");
    Field(window, Id::kWinHigh)->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(m_ui.messages.size(), 3u);
    EXPECT_EQ(QApplication::focusWidget(), Field(window, Id::kWinLow));

    // The exchange stops at the first refusal: x2 is refused, y1 after it is not read.
    CPointStreDlg stretch;
    Show(stretch);
    Field(stretch, Id::kStretchX1)->setText("10");
    Field(stretch, Id::kStretchX2)->setText("abc");
    Field(stretch, Id::kStretchY1)->setText("99");
    EXPECT_FALSE(stretch.UpdateData(true));
    EXPECT_EQ(stretch.m_byX1, 10);
    EXPECT_EQ(stretch.m_byY1, 0);
    EXPECT_EQ(m_ui.messages.size(), 4u);
    EXPECT_EQ(QApplication::focusWidget(), Field(stretch, Id::kStretchX2));

    // Numbers a transform cannot use are refused like text.
    CLinerParaDlg linear;
    Show(linear);
    Field(linear, Id::kSlope)->setText("nan");
    linear.accept();
    EXPECT_TRUE(linear.isVisible());
    EXPECT_EQ(m_ui.messages.back().text, DialogTemplates::kNeedNumber);
    EXPECT_EQ(linear.m_fSlope, 0.0f);
}

TEST_F(DialogTest, LeavingAFieldAndOkPutTheValuesInOrder)
{
    CPointWinDlg window;
    window.m_byLow = 0;
    window.m_byHigh = 100;
    Show(window);
    Type(window, Id::kWinLow, "200");
    EXPECT_EQ(Field(window, Id::kWinLow)->text(), "100");
    EXPECT_EQ(Field(window, Id::kWinHigh)->text(), "200");
    Field(window, Id::kWinLow)->setText("250");
    window.accept();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(window.m_byLow, 200);
    EXPECT_EQ(window.m_byHigh, 250);

    CPointStreDlg stretch;
    stretch.m_byX1 = 50;
    stretch.m_byY1 = 30;
    stretch.m_byX2 = 200;
    stretch.m_byY2 = 220;
    Show(stretch);
    Type(stretch, Id::kStretchY1, "250"); // a y never swaps
    EXPECT_EQ(stretch.m_byY1, 250);
    EXPECT_EQ(Field(stretch, Id::kStretchX1)->text(), "50");
    Type(stretch, Id::kStretchX1, "230");
    EXPECT_EQ(Field(stretch, Id::kStretchX1)->text(), "200");
    EXPECT_EQ(Field(stretch, Id::kStretchY1)->text(), "220");
    EXPECT_EQ(Field(stretch, Id::kStretchX2)->text(), "230");
    EXPECT_EQ(Field(stretch, Id::kStretchY2)->text(), "250");
    Field(stretch, Id::kStretchX1)->setText("240"); // Enter without leaving the field
    stretch.accept();
    EXPECT_EQ(stretch.result(), QDialog::Accepted);
    EXPECT_EQ((std::vector<int>{stretch.m_byX1, stretch.m_byY1, stretch.m_byX2, stretch.m_byY2}),
              (std::vector<int>{230, 250, 240, 220}));

    CIntensityDlg histogram;
    Show(histogram);
    Field(histogram, Id::kHistLow)->setText("200");
    Field(histogram, Id::kHistHigh)->setText("100");
    histogram.accept();
    EXPECT_EQ(histogram.m_iLow, 100);
    EXPECT_EQ(histogram.m_iHigh, 200);
    EXPECT_TRUE(m_ui.messages.empty());
}
