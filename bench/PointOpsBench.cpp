// Times the point operations on 8-bit images of 1, 16 and 100 megapixels with an odd width, on
// every kernel path this processor runs, on one thread and on every processor, next to a
// single-thread memcpy of the same rows and the plain table loop, and prints each operation as
// a ratio to that memcpy and as a speed-up over that loop. Built with OpenCV at hand, it also
// times OpenCV's table lookup and histogram equalisation on the same rows.
#include "DibImage.h"
#include "DibLayout.h"
#include "PointKernelPaths.h"
#include "PointKernels.h"
#include "PointTables.h"

#include <benchmark/benchmark.h>
#if defined(TONECRAFT_BENCH_OPENCV)
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using PointKernels::KernelPath;

struct ImageSize
{
    std::int32_t width;
    std::int32_t height;
};

// Odd widths leave 3 padding bytes per row, as most real images have some.
constexpr std::array<ImageSize, 3> kSizes{{{1001, 999}, {4001, 3999}, {10001, 9999}}};

constexpr std::array<KernelPath, 3> kPaths{KernelPath::Plain, KernelPath::Avx2,
                                           KernelPath::Avx512Vbmi};

// Random rows (padding included), the same squeezed into levels 48..207 for equalisation, and
// a buffer of the same size for the in-place operations. The sources are only read.
struct TestImage
{
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::size_t bytes = 0; // stride x height
    std::vector<std::uint8_t> pristine;
    std::vector<std::uint8_t> lowContrast;
    std::vector<std::uint8_t> work;
    GrayTable equalizeTable{}; // equalisation's table for the low-contrast pixels
};

// Made once per size on first use, outside any timed loop, and kept for the whole run.
TestImage &ImageOfSize(std::int32_t width, std::int32_t height)
{
    static std::map<std::pair<std::int32_t, std::int32_t>, TestImage> images;
    TestImage &image = images[{width, height}];
    if (image.pristine.empty()) {
        image.width = width;
        image.height = height;
        image.bytes = static_cast<std::size_t>(RowStride(static_cast<std::uint32_t>(width), 8))
            * static_cast<std::size_t>(height);
        image.pristine.resize(image.bytes);
        image.work.resize(image.bytes);
        std::mt19937_64 random(static_cast<std::uint64_t>(width));
        for (std::size_t i = 0; i < image.bytes; i += 8) {
            const std::uint64_t value = random();
            std::memcpy(&image.pristine[i], &value, std::min<std::size_t>(8, image.bytes - i));
        }
        image.lowContrast.resize(image.bytes);
        std::transform(image.pristine.begin(), image.pristine.end(), image.lowContrast.begin(),
                       [](std::uint8_t g) { return static_cast<std::uint8_t>(48 + g * 5 / 8); });
        image.equalizeTable = PointTables::Equalize(
            PointKernels::CountHistogram(image.lowContrast.data(), width, height), width, height);
    }
    return image;
}

// A table without a special shape: a fixed shuffle of the levels.
GrayTable ShuffledTable()
{
    GrayTable table{};
    std::iota(table.begin(), table.end(), std::uint8_t{0});
    std::shuffle(table.begin(), table.end(), std::mt19937(3));
    return table;
}

const GrayTable kShuffled = ShuffledTable();

using Operation = void (*)(TestImage &);

enum class Runs {
    Once,             // memcpy and the plain loop: one thread, the path does not matter
    PerThreads,       // on one thread and on every processor
    PerPathAndThreads // the same on each kernel path in turn
};

struct Benchmarked
{
    const char *name;
    Operation operation;
    Runs runs;
    // Starts from the low-contrast pixels (equalisation) instead of the random ones.
    bool lowContrast = false;
};

#if defined(TONECRAFT_BENCH_OPENCV)
// OpenCV's functions write into another image, the work buffer, as they are used.
cv::Mat MatOf(std::vector<std::uint8_t> &rows, const TestImage &i)
{
    const auto stride = static_cast<std::size_t>(RowStride(static_cast<std::uint32_t>(i.width), 8));
    return cv::Mat(i.height, i.width, CV_8UC1, rows.data(), stride);
}
#endif

// In print order; the memcpy is the baseline of the ratios, the plain loop of the speed-ups.
const Benchmarked kOperations[] = {
    {"Memcpy",
     [](TestImage &i) {
         std::memcpy(i.work.data(), i.pristine.data(), i.bytes);
         benchmark::DoNotOptimize(i.work.data());
     },
     Runs::Once},
    {"PlainTableLoop",
     [](TestImage &i) {
         const std::size_t stride
             = static_cast<std::size_t>(RowStride(static_cast<std::uint32_t>(i.width), 8));
         PointKernels::Paths::kPlainKernels.applyTable({i.work.data(),
                                                        static_cast<std::size_t>(i.width),
                                                        static_cast<std::size_t>(i.height), stride},
                                                       kShuffled.data());
     },
     Runs::Once},
    {"CountHistogram",
     [](TestImage &i) {
         GrayHistogram counts = PointKernels::CountHistogram(i.pristine.data(), i.width, i.height);
         benchmark::DoNotOptimize(counts);
     },
     Runs::PerThreads},
    {"ApplyTable",
     [](TestImage &i) { PointKernels::ApplyTable(i.work.data(), i.width, i.height, kShuffled); },
     Runs::PerPathAndThreads},
    {"Linear",
     [](TestImage &i) { CDibImage::ApplyLinear(i.work.data(), i.width, i.height, 2.0f, -128.0f); },
     Runs::PerPathAndThreads},
    {"Invert",
     [](TestImage &i) { CDibImage::ApplyLinear(i.work.data(), i.width, i.height, -1.0f, 255.0f); },
     Runs::PerPathAndThreads},
    {"Threshold",
     [](TestImage &i) { CDibImage::ApplyThreshold(i.work.data(), i.width, i.height, 128); },
     Runs::PerPathAndThreads},
    {"Window",
     [](TestImage &i) { CDibImage::ApplyWindow(i.work.data(), i.width, i.height, 50, 200); },
     Runs::PerPathAndThreads},
    {"GrayStretch",
     [](TestImage &i) {
         CDibImage::ApplyGrayStretch(i.work.data(), i.width, i.height, 50, 30, 200, 220);
     },
     Runs::PerPathAndThreads},
    {"EqualizeApply",
     [](TestImage &i) {
         PointKernels::ApplyTable(i.work.data(), i.width, i.height, i.equalizeTable);
     },
     Runs::PerPathAndThreads, true},
    {"Equalize", [](TestImage &i) { CDibImage::ApplyEqualize(i.work.data(), i.width, i.height); },
     Runs::PerPathAndThreads, true},
#if defined(TONECRAFT_BENCH_OPENCV)
    {"CvLut",
     [](TestImage &i) {
         static const cv::Mat table(1, 256, CV_8UC1, const_cast<std::uint8_t *>(kShuffled.data()));
         cv::Mat target = MatOf(i.work, i);
         cv::LUT(MatOf(i.pristine, i), table, target);
     },
     Runs::PerThreads},
    {"CvEqualizeHist",
     [](TestImage &i) {
         cv::Mat target = MatOf(i.work, i);
         cv::equalizeHist(MatOf(i.lowContrast, i), target);
     },
     Runs::PerThreads, true},
#endif
};

// 1 for one thread, 0 for every processor.
constexpr std::array<unsigned, 2> kThreads{1, 0};

std::string NameOf(const Benchmarked &b, KernelPath path, unsigned threads)
{
    std::string name = b.name;
    if (b.runs == Runs::PerPathAndThreads)
        name += std::string(".") + PointKernels::PathName(path);
    if (b.runs != Runs::Once)
        name += threads == 1 ? ".1" : ".all";
    return name;
}

// Every benchmark starts from the same pixels. Repeating an operation in place then changes
// them, which does not matter: each kernel costs the same for every value. Equalisation starts
// from the low-contrast copy: equalising uniformly random pixels would give a table that maps
// nearly every level onto itself, which is not what the benchmark is for; repeated, it keeps
// the equalised levels and maps the missing ones down, so the table stays a general one.
void RunOnImage(benchmark::State &state, const Benchmarked &b, KernelPath path, unsigned threads)
{
    if (!PointKernels::SelectPath(path)) {
        state.SkipWithError("path not supported");
        return;
    }
    PointKernels::SetThreadCount(threads);
#if defined(TONECRAFT_BENCH_OPENCV)
    cv::setNumThreads(threads == 1 ? 1 : -1);
#endif
    TestImage &image = ImageOfSize(static_cast<std::int32_t>(state.range(0)),
                                   static_cast<std::int32_t>(state.range(1)));
    const Operation operation = b.operation;
    std::memcpy(image.work.data(), (b.lowContrast ? image.lowContrast : image.pristine).data(),
                image.bytes);
    if (b.lowContrast) {
        // After one pass the tables must still be general ones, or the figures would time a
        // special kernel instead.
        operation(image);
        const GrayTable again = PointTables::Equalize(
            PointKernels::CountHistogram(image.work.data(), image.width, image.height), image.width,
            image.height);
        for (const GrayTable &table : {again, image.equalizeTable}) {
            if (PointKernels::Paths::ClassifyTable(table.data()).shape
                != PointKernels::Paths::Shape::General) {
                state.SkipWithError("the equalisation table has a special shape");
                return;
            }
        }
    }
    for (auto _ : state) {
        operation(image);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(image.bytes));
}

// Each operation runs once per path and thread count it varies with, on paths this processor
// has; the others on the first of each.
bool Registered(const Benchmarked &b, KernelPath path, unsigned threads)
{
    if (b.runs != Runs::PerPathAndThreads && path != kPaths[0])
        return false;
    if (b.runs == Runs::Once && threads != kThreads[0])
        return false;
    return PointKernels::CanRun(path);
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
        std::printf("\nReal time per pixel, ratio to the memcpy of the same rows and speed-up over "
                    "the plain table loop, this run:\n");
        std::printf("%-12s %-16s %-11s %-7s %9s %9s %11s\n", "image", "operation", "path",
                    "threads", "ns/pixel", "x memcpy", "plain loop/");
        for (const ImageSize &size : kSizes) {
            const std::string args = ArgsOf(size);
            const std::string image
                = std::to_string(size.width) + "x" + std::to_string(size.height);
            const double pixels = double(size.width) * size.height;
            const double memcpy = Seconds(args, kOperations[0].name);
            const double plainLoop = Seconds(args, kOperations[1].name);
            for (const Benchmarked &b : kOperations) {
                for (KernelPath path : kPaths) {
                    for (unsigned threads : kThreads) {
                        if (!Registered(b, path, threads))
                            continue;
                        const double seconds = Seconds(args, NameOf(b, path, threads));
                        if (seconds <= 0)
                            continue;
                        std::printf("%-12s %-16s %-11s %-7s %9.3f", image.c_str(), b.name,
                                    b.runs == Runs::PerPathAndThreads ? PointKernels::PathName(path)
                                                                      : "-",
                                    b.runs == Runs::Once ? "1" : (threads == 1 ? "1" : "all"),
                                    seconds * 1e9 / pixels);
                        PrintRatio(memcpy, seconds);
                        PrintRatio(seconds, plainLoop);
                        std::printf("\n");
                    }
                }
            }
        }
    }

private:
    static void PrintRatio(double numerator, double denominator)
    {
        if (numerator > 0 && denominator > 0)
            std::printf(" %9.2f", denominator / numerator);
        else
            std::printf(" %9s", "n/a");
    }

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
    const KernelPath chosen = PointKernels::ActivePath();
    for (const Benchmarked &b : kOperations) {
        for (KernelPath path : kPaths) {
            for (unsigned threads : kThreads) {
                if (!Registered(b, path, threads))
                    continue;
                // The path-independent ones run on the path chosen for this processor.
                const KernelPath runOn = b.runs == Runs::PerPathAndThreads ? path : chosen;
                auto *bench
                    = benchmark::RegisterBenchmark(NameOf(b, path, threads).c_str(),
                                                   [&b, runOn, threads](benchmark::State &state) {
                                                       RunOnImage(state, b, runOn, threads);
                                                   });
                for (const ImageSize &size : kSizes)
                    bench->Args({size.width, size.height});
                // The default minimum time gives 100 MP images several passes: enough, and the
                // whole run stays within a few minutes.
                bench->UseRealTime()->Unit(benchmark::kMicrosecond);
            }
        }
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
