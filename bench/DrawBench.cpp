// Drawing cost must follow the area drawn, not the image's size: times a 1000 x 800 region of
// a 20000 x 20000 8-bit image against the whole of a 1000 x 800 image, both at natural size
// onto a canvas of the region's size, and prints their ratio (and each against a memcpy of
// the canvas, measured in the same run).
#include "DibHandle.h"
#include "DibImage.h"
#include "DibLock.h"
#include "FastestRunReporter.h"
#include "MemoryDC.h"
#include "TestImages.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::int32_t kRegionWidth = 1000;
constexpr std::int32_t kRegionHeight = 800;

// An 8-bit, 256-colour image; only the rows of `fillTop`..`fillBottom` (picture rows) get
// random pixels, the rest stays as the allocator's untouched zero pages.
DibHandle MakeImage(std::int32_t width, std::int32_t height, std::int32_t fillTop,
                    std::int32_t fillBottom)
{
    // Header and table from the builder; the rows are written in place, so that those left
    // out are never touched.
    const TestImages::Bytes head
        = TestImages::MakeDib({.width = width, .height = height}, TestImages::GrayTable256(), {});
    const std::size_t stride = TestImages::Stride8(width);
    DibHandle block = DibHandle::Allocate(head.size() + stride * static_cast<std::size_t>(height));
    {
        DibLock lock(block);
        std::copy(head.begin(), head.end(), lock.Data());
        std::mt19937 rng(5);
        for (std::int32_t row = fillTop; row < fillBottom; ++row) {
            std::uint8_t *line
                = lock.Data() + head.size() + stride * static_cast<std::size_t>(height - 1 - row);
            std::generate(line, line + stride, [&rng] { return static_cast<std::uint8_t>(rng()); });
        }
    }
    return block;
}

void DrawRegion(benchmark::State &state, std::int32_t size, Rect clip)
{
    static std::map<std::int32_t, DibHandle> images;
    DibHandle &image = images[size];
    if (image.IsNull())
        image = MakeImage(size, size == kRegionWidth ? kRegionHeight : size, clip.top, clip.bottom);
    std::int32_t width = 0, height = 0;
    {
        DibReadLock lock(image);
        width = static_cast<std::int32_t>(CDibImage::GetImageWidth(lock.Data()));
        height = static_cast<std::int32_t>(CDibImage::GetImageHeight(lock.Data()));
    }
    const Rect picture{0, 0, width, height};
    // The canvas is the region, as a view's back buffer would be.
    CMemoryDC dc(clip, 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(CDibImage::DrawToDevice(dc, picture, image, picture, nullptr));
}

void BM_DrawRegionOfHugeImage(benchmark::State &state)
{
    DrawRegion(state, 20000, Rect{9000, 9500, 9000 + kRegionWidth, 9500 + kRegionHeight});
}

void BM_DrawWholeSmallImage(benchmark::State &state)
{
    DrawRegion(state, kRegionWidth, Rect{0, 0, kRegionWidth, kRegionHeight});
}

void BM_MemcpyCanvas(benchmark::State &state)
{
    const std::size_t bytes = static_cast<std::size_t>(kRegionWidth) * kRegionHeight * 4;
    std::vector<std::uint8_t> from(bytes, 1), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_MemcpyCanvas)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_DrawWholeSmallImage)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_DrawRegionOfHugeImage)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    CFastestRunReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double memcpyUs = reporter.Fastest("BM_MemcpyCanvas"); // all three in microseconds
    const double small = reporter.Fastest("BM_DrawWholeSmallImage");
    const double huge = reporter.Fastest("BM_DrawRegionOfHugeImage");
    if (memcpyUs > 0 && small > 0 && huge > 0) {
        std::printf(
            "\n1000x800 drawn from a 1000x800 image:     %8.1f us  %5.2f x memcpy of the canvas\n",
            small, small / memcpyUs);
        std::printf(
            "1000x800 drawn from a 20000x20000 image: %8.1f us  %5.2f x memcpy of the canvas\n",
            huge, huge / memcpyUs);
        std::printf("ratio huge / small: %.2f\n", huge / small);
    }
    benchmark::Shutdown();
    return 0;
}
