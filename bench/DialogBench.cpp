// Costs of the parameter dialogs on the offscreen platform: one drag step of a curve dialog
// (move, full redraw of the surface, the dialog painted and flushed), one rubber-band step of
// the linear dialog, and opening the histogram dialog on 100 megapixels next to the core's
// histogram count of the same rows.
#include "DibLayout.h"
#include "IntensityDlg.h"
#include "LinerParaDlg.h"
#include "PointKernels.h"
#include "PointThreDlg.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMouseEvent>
#include <QWindow>

#include <cstdint>
#include <vector>

namespace {

void Send(QWidget &widget, QEvent::Type type, QPoint p, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(p), QPointF(widget.mapToGlobal(p)), button, buttons, {});
    QApplication::sendEvent(&widget, &event);
}

// Painting reaches the screen only once the window is exposed.
void ShowExposed(QDialog &dialog)
{
    dialog.show();
    while (!dialog.windowHandle()->isExposed())
        QApplication::processEvents();
}

QPoint At(const PlotGeometry::Area &area, int x, int y)
{
    return {area.left - 10 + x, area.top - 25 + y};
}

void BM_ThresholdDragStep(benchmark::State &state)
{
    CPointThreDlg dialog;
    dialog.m_byThreshold = 128;
    ShowExposed(dialog);
    const auto &area = dialog.m_rcDragArea;
    Send(dialog, QEvent::MouseButtonPress, At(area, 138, 100), Qt::LeftButton);
    int x = 0;
    for (auto _ : state) {
        Send(dialog, QEvent::MouseMove, At(area, 20 + x, 100), Qt::LeftButton);
        dialog.repaint();
        x = (x + 37) % 240;
    }
    Send(dialog, QEvent::MouseButtonRelease, At(area, 20, 100), Qt::NoButton);
}
BENCHMARK(BM_ThresholdDragStep)->Unit(benchmark::kMicrosecond);

void BM_LinearBandStep(benchmark::State &state)
{
    CLinerParaDlg dialog;
    dialog.m_fSlope = 2;
    dialog.m_fIntercept = -128;
    ShowExposed(dialog);
    const auto &area = dialog.m_rcDragArea;
    Send(dialog, QEvent::MouseButtonPress, At(area, 10, 270), Qt::LeftButton);
    int x = 0;
    for (auto _ : state) {
        Send(dialog, QEvent::MouseMove, At(area, 20 + x, 30 + x), Qt::LeftButton);
        dialog.repaint();
        x = (x + 37) % 240;
    }
    Send(dialog, QEvent::MouseButtonRelease, At(area, 300, 100), Qt::NoButton);
}
BENCHMARK(BM_LinearBandStep)->Unit(benchmark::kMicrosecond);

// 100 megapixels with an odd width, so rows carry padding.
std::vector<std::uint8_t> &Rows()
{
    static std::vector<std::uint8_t> rows = [] {
        std::vector<std::uint8_t> bytes(RowStride(10001, 8) * 9999);
        std::uint32_t seed = 1;
        for (std::uint8_t &b : bytes) {
            seed = seed * 1664525u + 1013904223u;
            b = static_cast<std::uint8_t>(seed >> 24);
        }
        return bytes;
    }();
    return rows;
}

void BM_CountHistogram100M(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(PointKernels::CountHistogram(Rows().data(), 10001, 9999));
}
BENCHMARK(BM_CountHistogram100M)->Unit(benchmark::kMillisecond);

void BM_OpenHistogramDialog100M(benchmark::State &state)
{
    for (auto _ : state) {
        CIntensityDlg dialog;
        dialog.m_lpBits = Rows().data();
        dialog.m_lWidth = 10001;
        dialog.m_lHeight = 9999;
        dialog.m_iHigh = 255;
        dialog.show();
        benchmark::DoNotOptimize(dialog.m_lCount[0]);
    }
}
BENCHMARK(BM_OpenHistogramDialog100M)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Rows(); // made before any timing
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
