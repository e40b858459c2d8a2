// Times the point operations on 8-bit images of 1, 16 and 100 megapixels with an odd width,
// next to a memcpy of the same rows, and prints each operation as a ratio to that memcpy.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "DibImage.h"
#include "PointKernels.h"
#include "PointTables.h"

namespace {

struct ImageSize
{
    std::int32_t width;
    std::int32_t height;
};

// Odd widths leave 3 padding bytes per row, as most real images have some.
constexpr std::array<ImageSize, 3> kSizes{{{1001, 999}, {4001, 3999}, {10001, 9999}}};

// Random rows (padding included) and a second buffer of the same size. `pristine` is only
// read; in-place operations run on `work`.
struct TestImage
{
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::size_t bytes = 0; // stride x height
    std::vector<std::uint8_t> pristine;
    std::vector<std::uint8_t> work;
};

// Made once per size on first use, outside any timed loop, and kept for the whole run.
TestImage &ImageOfSize(std::int32_t width, std::int32_t height)
{
    static std::map<std::pair<std::int32_t, std::int32_t>, TestImage> images;
    TestImage &image = images[{width, height}];
    if (image.pristine.empty()) {
        image.width = width;
        image.height = height;
        image.bytes = static_cast<std::size_t>(PointKernels::GrayRowStride(width))
            * static_cast<std::size_t>(height);
        image.pristine.resize(image.bytes);
        image.work.resize(image.bytes);
        std::mt19937_64 random(static_cast<std::uint64_t>(width));
        for (std::size_t i = 0; i < image.bytes; i += 8) {
            const std::uint64_t value = random();
            std::memcpy(&image.pristine[i], &value, std::min<std::size_t>(8, image.bytes - i));
        }
    }
    return image;
}

using Operation = void (*)(TestImage &);

// The table the ApplyTable benchmark applies; built once, outside the timed loop.
const GrayTable kInvertTable = PointTables::Invert();

// In registration order; the memcpy is the baseline of the ratio table.
const std::array<std::pair<const char *, Operation>, 9> kOperations{{
    {"Memcpy",
     [](TestImage &i) {
         std::memcpy(i.work.data(), i.pristine.data(), i.bytes);
         benchmark::DoNotOptimize(i.work.data());
     }},
    {"Linear",
     [](TestImage &i) { CDibImage::ApplyLinear(i.work.data(), i.width, i.height, 2.0f, -128.0f); }},
    {"Invert",
     [](TestImage &i) { CDibImage::ApplyLinear(i.work.data(), i.width, i.height, -1.0f, 255.0f); }},
    {"Threshold",
     [](TestImage &i) { CDibImage::ApplyThreshold(i.work.data(), i.width, i.height, 128); }},
    {"Window",
     [](TestImage &i) { CDibImage::ApplyWindow(i.work.data(), i.width, i.height, 50, 200); }},
    {"GrayStretch",
     [](TestImage &i) {
         CDibImage::ApplyGrayStretch(i.work.data(), i.width, i.height, 50, 30, 200, 220);
     }},
    {"Equalize", [](TestImage &i) { CDibImage::ApplyEqualize(i.work.data(), i.width, i.height); }},
    {"CountHistogram",
     [](TestImage &i) {
         GrayHistogram counts = PointKernels::CountHistogram(i.pristine.data(), i.width, i.height);
         benchmark::DoNotOptimize(counts);
     }},
    {"ApplyTable",
     [](TestImage &i) {
         PointKernels::ApplyTable(i.work.data(), i.width, i.height, kInvertTable);
     }},
}};

// Every benchmark starts from the same random pixels. Repeating an operation in place then
// changes them, which does not matter: a table lookup costs the same for every value, and
// equalising uniformly random pixels maps them nearly onto themselves.
void RunOnImage(benchmark::State &state, Operation operation)
{
    TestImage &image = ImageOfSize(static_cast<std::int32_t>(state.range(0)),
                                   static_cast<std::int32_t>(state.range(1)));
    std::memcpy(image.work.data(), image.pristine.data(), image.bytes);
    for (auto _ : state) {
        operation(image);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(image.bytes));
}

std::string ArgsOf(const ImageSize &size)
{
    return std::to_string(size.width) + "/" + std::to_string(size.height);
}

// The console output as usual, and the real time per iteration kept by size and operation for
// the ratio table. With --benchmark_repetitions it keeps the fastest repetition: other work on
// the machine only ever slows a run down.
class CRatioReporter : public benchmark::ConsoleReporter
{
public:
    // Colours only on a terminal: a reporter passed in does not follow --benchmark_color.
    CRatioReporter()
        : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular)
    { }

    void ReportRuns(const std::vector<Run> &reports) override
    {
        for (const Run &run : reports) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0)
                continue;
            const double seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
            const auto [kept, added]
                = m_seconds.try_emplace({run.run_name.args, run.run_name.function_name}, seconds);
            if (!added && seconds < kept->second)
                kept->second = seconds;
        }
        ConsoleReporter::ReportRuns(reports);
    }

    void PrintRatios() const
    {
        std::printf("\nReal time per pixel and ratio to the memcpy of the same rows, this run:\n");
        std::printf("%-12s %-16s %10s %10s\n", "image", "operation", "ns/pixel", "x memcpy");
        for (const ImageSize &size : kSizes) {
            const std::string args = ArgsOf(size);
            const double pixels = double(size.width) * size.height;
            const double baseline = Seconds(args, kOperations.front().first);
            for (const auto &[name, operation] : kOperations) {
                const double seconds = Seconds(args, name);
                if (seconds <= 0)
                    continue;
                std::printf(
                    "%-12s %-16s %10.3f",
                    (std::to_string(size.width) + "x" + std::to_string(size.height)).c_str(), name,
                    seconds * 1e9 / pixels);
                if (baseline > 0)
                    std::printf(" %10.2f\n", seconds / baseline);
                else
                    std::printf(" %10s\n", "n/a");
            }
        }
    }

private:
    double Seconds(const std::string &args, const std::string &name) const
    {
        const auto found = m_seconds.find({args, name});
        return found == m_seconds.end() ? 0.0 : found->second;
    }

    std::map<std::pair<std::string, std::string>, double> m_seconds;
};

} // namespace

int main(int argc, char **argv)
{
    for (const auto &[name, operation] : kOperations) {
        auto *bench = benchmark::RegisterBenchmark(
            name, [op = operation](benchmark::State &state) { RunOnImage(state, op); });
        for (const ImageSize &size : kSizes)
            bench->Args({size.width, size.height});
        // The default minimum time gives 100 MP images several passes: enough, and the whole
        // run stays well under a minute.
        bench->UseRealTime()->Unit(benchmark::kMicrosecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    CRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    reporter.PrintRatios();
    return 0;
}
