// Shows each parameter dialog with the commands' first values on the real display and saves
// what the display shows of it, plus the threshold and linear dialogs in the middle of a drag.
//   dialog_shots OUT_PREFIX      (writes OUT_PREFIX-<name>.png)
#include "DibLayout.h"
#include "IntensityDlg.h"
#include "LinerParaDlg.h"
#include "PointStreDlg.h"
#include "PointThreDlg.h"
#include "PointWinDlg.h"

#include <QApplication>
#include <QScreen>
#include <QTest>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

QPoint At(const PlotGeometry::Area &area, int x, int y)
{
    return {area.left - 10 + x, area.top - 25 + y};
}

bool Save(QDialog &dialog, const QString &path)
{
    QApplication::processEvents();
    QTest::qWait(200);
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(dialog.winId());
    std::printf("%s %dx%d\n", qPrintable(path), shot.width(), shot.height());
    return shot.save(path);
}

bool Shoot(QDialog &dialog, const QString &path)
{
    dialog.move(20, 20);
    dialog.show();
    return QTest::qWaitForWindowExposed(&dialog) && Save(dialog, path);
}

// Saves the dialog in the middle of a drag from one preview point to another.
template<class Dialog> bool ShootDrag(Dialog &dialog, QPoint from, QPoint to, const QString &path)
{
    const auto &area = dialog.m_rcDragArea;
    QTest::mousePress(&dialog, Qt::LeftButton, {}, At(area, from.x(), from.y()));
    QTest::mouseMove(&dialog, At(area, to.x(), to.y()));
    const bool saved = Save(dialog, path);
    QTest::mouseRelease(&dialog, Qt::LeftButton, {}, At(area, to.x(), to.y()));
    return saved;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: dialog_shots OUT_PREFIX\n", stderr);
        return 2;
    }
    const QString prefix = QString::fromLocal8Bit(argv[1]);
    bool ok = true;

    CLinerParaDlg linear;
    linear.m_fSlope = 2;
    linear.m_fIntercept = -128;
    ok = ok && Shoot(linear, prefix + "-linear.png");
    ok = ok && ShootDrag(linear, {10, 152}, {138, 25}, prefix + "-linear-band.png");
    linear.hide();

    CPointThreDlg threshold;
    threshold.m_byThreshold = 128;
    ok = ok && Shoot(threshold, prefix + "-threshold.png");
    ok = ok && ShootDrag(threshold, {138, 150}, {90, 150}, prefix + "-threshold-drag.png");
    threshold.hide();

    CPointWinDlg window;
    window.m_byHigh = 255;
    ok = ok && Shoot(window, prefix + "-window.png");
    window.hide();

    CPointStreDlg stretch;
    stretch.m_byX1 = 50;
    stretch.m_byY1 = 30;
    stretch.m_byX2 = 200;
    stretch.m_byY2 = 220;
    ok = ok && Shoot(stretch, prefix + "-stretch.png");
    stretch.hide();

    // Levels that pile up in the middle, 301 x 200 (rows padded).
    const std::int32_t width = 301;
    const std::int32_t height = 200;
    const auto stride = static_cast<std::int32_t>(RowStride(width, 8));
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(stride) * height);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            rows[static_cast<std::size_t>(y * stride + x)]
                = static_cast<std::uint8_t>((x * 255 / 300 + y * 255 / 199) / 2);
    CIntensityDlg histogram;
    histogram.m_lpBits = rows.data();
    histogram.m_lWidth = width;
    histogram.m_lHeight = height;
    histogram.m_iHigh = 255;
    ok = ok && Shoot(histogram, prefix + "-histogram.png");
    return ok ? 0 : 1;
}
