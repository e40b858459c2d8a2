// The menu commands on a 100-megapixel image, offscreen: a command must cost little more than
// the core transform of the same rows plus the repaint of the visible area (the view decodes
// only what is exposed), and copy and paste are compared with a memcpy of the image's bytes.
// Each figure is measured in the same run as its baseline.
#include "DibHandle.h"
#include "DibImage.h"
#include "DibLock.h"
#include "FastestRunReporter.h"
#include "TestImages.h"
#include "TonecraftDoc.h"
#include "TonecraftView.h"
#include "UiServices.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDialog>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::int32_t kSide = 10000; // 100 megapixels
constexpr int kCopy = 57634;
constexpr int kPaste = 57637;
constexpr int kInvert = 32786;
constexpr int kLinear = 32787;

// Answers every dialog with OK at once, as a user who accepts the defaults would.
class CAcceptingUiServices : public CUiServices
{
public:
    int MessageBox(QWidget *, const QString &, const QString &, unsigned) override
    {
        return DialogResult::kOk;
    }
    int RunModal(QDialog &) override { return DialogResult::kOk; }
    QString GetOpenFileName(QWidget *) override { return {}; }
    QString GetSaveFileName(QWidget *, const QString &) override { return {}; }
    void SetBusyCursor(bool) override { }
};

DibHandle MakeImage()
{
    // Header and table from the tests' builder, the rows written in place.
    const TestImages::Bytes head
        = TestImages::MakeDib({.width = kSide, .height = kSide}, TestImages::GrayTable256(), {});
    const std::uint64_t rows = TestImages::Stride8(kSide) * std::uint64_t{kSide};
    DibHandle block = DibHandle::Allocate(head.size() + rows);
    {
        DibLock lock(block);
        std::copy(head.begin(), head.end(), lock.Data());
        std::uint8_t *bits = lock.Data() + head.size();
        for (std::uint64_t i = 0; i < rows; ++i)
            bits[i] = static_cast<std::uint8_t>(i * 7 + i / kSide);
    }
    return block;
}

// One document with a 100-megapixel image, shown in an 800 x 600 view.
struct Scene
{
    Scene()
    {
        doc.ReplaceImageBlock(MakeImage());
        doc.PrepareImage();
        view = std::make_unique<CTonecraftView>(&doc);
        view->resize(800, 600);
        view->show();
        targetView = std::make_unique<CTonecraftView>(&target);
        QCoreApplication::processEvents();
    }
    CTonecraftDoc doc;
    std::unique_ptr<CTonecraftView> view;
    CTonecraftDoc target; // where paste goes
    std::unique_ptr<CTonecraftView> targetView;
};

// Made on first use, ended before the application object.
std::unique_ptr<Scene> g_pScene;

Scene &TheScene()
{
    if (!g_pScene)
        g_pScene = std::make_unique<Scene>();
    return *g_pScene;
}

std::uint8_t *Rows(CTonecraftDoc &doc)
{
    DibLock lock(doc.GetImageBlock());
    return CDibImage::GetPixelBits(lock.Data());
}

void BM_Memcpy(benchmark::State &state)
{
    const std::size_t bytes = TheScene().doc.GetImageBlock().Size();
    std::vector<std::uint8_t> from(bytes, 1), to(bytes, 2);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

void BM_CoreInvertAndRepaint(benchmark::State &state)
{
    Scene &s = TheScene();
    std::uint8_t *rows = Rows(s.doc);
    for (auto _ : state) {
        CDibImage::ApplyLinear(rows, kSide, kSide, -1.0f, 255.0f);
        s.view->viewport()->update();
        QCoreApplication::processEvents();
    }
}

void BM_CoreLinearAndRepaint(benchmark::State &state)
{
    Scene &s = TheScene();
    std::uint8_t *rows = Rows(s.doc);
    for (auto _ : state) {
        CDibImage::ApplyLinear(rows, kSide, kSide, 2.0f, -128.0f);
        s.view->viewport()->update();
        QCoreApplication::processEvents();
    }
}

void Command(benchmark::State &state, int command)
{
    Scene &s = TheScene();
    for (auto _ : state) {
        s.view->OnCommand(command);
        QCoreApplication::processEvents();
    }
}

void BM_InvertCommand(benchmark::State &state)
{
    Command(state, kInvert);
}

void BM_LinearCommand(benchmark::State &state)
{
    Command(state, kLinear);
}

void BM_Copy(benchmark::State &state)
{
    Command(state, kCopy);
}

void BM_Paste(benchmark::State &state)
{
    Scene &s = TheScene();
    s.view->OnCommand(kCopy);
    for (auto _ : state) {
        s.targetView->OnCommand(kPaste);
        QCoreApplication::processEvents();
    }
}

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CoreInvertAndRepaint)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_InvertCommand)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CoreLinearAndRepaint)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LinearCommand)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Copy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Paste)->Unit(benchmark::kMillisecond)->UseRealTime();

void PrintRatio(const CFastestRunReporter &times, const char *what, const char *measured,
                const char *baseline)
{
    const double a = times.Fastest(measured); // milliseconds
    const double b = times.Fastest(baseline);
    if (a > 0 && b > 0)
        std::printf("%-44s %8.1f ms  %5.2f x %s\n", what, a, a / b, baseline);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    CAcceptingUiServices services;
    CUiServices::Install(&services);
    benchmark::Initialize(&argc, argv);
    CFastestRunReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n100-megapixel image, 800 x 600 view:\n");
    PrintRatio(reporter, "invert command", "BM_InvertCommand", "BM_CoreInvertAndRepaint");
    PrintRatio(reporter, "linear command, dialog answered at once", "BM_LinearCommand",
               "BM_CoreLinearAndRepaint");
    PrintRatio(reporter, "copy", "BM_Copy", "BM_Memcpy");
    PrintRatio(reporter, "paste", "BM_Paste", "BM_Memcpy");
    benchmark::Shutdown();
    g_pScene.reset();
    CUiServices::Install(nullptr);
    return 0;
}
