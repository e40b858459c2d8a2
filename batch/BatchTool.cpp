#include "BatchTool.h"

#include "BmpCodec.h"
#include "ByteOrder.h"
#include "DibImage.h"
#include "DibLock.h"
#include "FileException.h"
#include "GrayStatistics.h"
#include "HistogramPlot.h"
#include "ManyFiles.h"
#include "MemoryBudget.h"
#include "Messages.h"
#include "OutputFile.h"
#include "ParameterText.h"
#include "PngRenderer.h"
#include "PointKernels.h"
#include "PointOperations.h"
#include "PointTables.h"
#include "PosixFile.h"
#include "RowBands.h"
#include "SafeOutputFile.h"
#include "StandardStreams.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

enum ExitCode { kDone = 0, kRefused = 1, kUsage = 2, kFileError = 3 };

constexpr const char *kUsageText
    = "usage:\n"
      "  tonecraft-batch info IN.bmp\n"
      "  tonecraft-batch histogram [--stats] IN.bmp\n"
      "  tonecraft-batch histogram --plot OUT.png IN.bmp\n"
      "  tonecraft-batch invert IN.bmp OUT.bmp\n"
      "  tonecraft-batch linear SLOPE INTERCEPT IN.bmp OUT.bmp\n"
      "  tonecraft-batch threshold T IN.bmp OUT.bmp\n"
      "  tonecraft-batch threshold otsu [--quiet] IN.bmp OUT.bmp\n"
      "  tonecraft-batch window LOW HIGH IN.bmp OUT.bmp\n"
      "  tonecraft-batch stretch X1 Y1 X2 Y2 IN.bmp OUT.bmp\n"
      "  tonecraft-batch stretch auto [SATURATED] [--quiet] IN.bmp OUT.bmp\n"
      "  tonecraft-batch gamma G IN.bmp OUT.bmp\n"
      "  tonecraft-batch equalize IN.bmp OUT.bmp\n"
      "  tonecraft-batch TRANSFORM [PARAMETERS] -d DIR [-j N] [--quiet] IN.bmp...\n"
      "  tonecraft-batch table OPERATION [PARAMETERS]\n"
      "  tonecraft-batch render IN.bmp OUT.png\n"
      "  tonecraft-batch --help | --version\n"
      "T, LOW, HIGH, X1..Y2 are whole numbers 0..255; SLOPE and INTERCEPT are decimal numbers,\n"
      "G one above 0, SATURATED a percentage from 0 to less than 100 (default 0.35).\n"
      "otsu and auto choose the parameters from the image and print them unless --quiet.\n"
      "OPERATION is invert, linear, threshold, window, stretch or gamma.\n"
      "IN - reads standard input; OUT - writes standard output.\n"
      "TRANSFORM is any of the transforms above; -d (--output-dir) writes each IN into DIR\n"
      "under its own name, -j (--jobs) N files at a time.\n"
      "--max-pixels N refuses images of more than N pixels (in place of the default limit\n"
      "on compressed images: 1 GiB and 1000 times the file's size).\n";

// The transforms the command line offers: the catalogue without the histogram, which has a
// command of its own.
const PointOperation *FindTransform(std::string_view name)
{
    const PointOperation *op = PointOperations::Find(name);
    return op != nullptr && (op->table != nullptr || op->apply != nullptr) ? op : nullptr;
}

int UsageError(std::ostream &err, const std::string &problem)
{
    err << "tonecraft-batch: " << problem << "\n" << kUsageText;
    return kUsage;
}

// What a parameter of `kind` must be, for the refusal.
const char *Expected(PointParamKind kind)
{
    switch (kind) {
    case PointParamKind::kLevel:
        return "a whole number 0..255";
    case PointParamKind::kPositive:
        return "a finite decimal number above 0";
    case PointParamKind::kPercent:
        return "a decimal number from 0 to less than 100";
    case PointParamKind::kReal:
        break;
    }
    return "a finite decimal number";
}

// Parses the first `count` of the operation's parameters from the front of `args`, the others
// keeping their defaults; on failure writes the usage message and returns nothing.
std::optional<PointParameters> ParseParameters(const PointOperation &op, std::size_t count,
                                               std::span<const std::string_view> args,
                                               std::ostream &err)
{
    PointParameters p = op.defaults;
    for (std::size_t i = 0; i < count; ++i) {
        const PointParam &param = op.params[i];
        const std::string_view text = args[i];
        const auto slot = static_cast<std::size_t>(param.slot);
        if (param.kind != PointParamKind::kLevel) {
            std::optional<float> value = ParameterText::ParseReal(text);
            if (value && param.kind == PointParamKind::kPositive && !(*value > 0))
                value.reset(); // also a positive number too small for a float
            if (value && param.kind == PointParamKind::kPercent && !(*value >= 0 && *value < 100))
                value.reset();
            if (!value) {
                (void)UsageError(err,
                                 std::string("bad ") + param.name + " '" + std::string(text)
                                     + "': expected " + Expected(param.kind));
                return std::nullopt;
            }
            p.real[slot] = *value;
        } else {
            const std::optional<std::uint8_t> value = ParameterText::ParseLevel(text);
            if (!value) {
                (void)UsageError(err,
                                 std::string("bad ") + param.name + " '" + std::string(text)
                                     + "': expected " + Expected(param.kind));
                return std::nullopt;
            }
            p.level[slot] = *value;
        }
    }
    return p;
}

int ReportFileError(std::ostream &err, const CFileException &e)
{
    err << "tonecraft-batch: '" << e.m_strFileName << "': " << e.Reason() << "\n";
    return kFileError;
}

// After a refusal, says so when the memory could not hold what the image needs: the read
// error alone would blame the file.
void ReportMemoryRefusal(std::ostream &err)
{
    if (const std::optional<MemoryBudget::Refusal> refusal = MemoryBudget::LastRefusal()) {
        constexpr std::uint64_t kMiB = 1 << 20;
        err << "tonecraft-batch: not enough memory: " << (refusal->asked + kMiB - 1) / kMiB
            << " MiB needed and " << refusal->reserve / kMiB << " MiB kept in reserve, "
            << refusal->available / kMiB << " MiB available\n";
    }
}

// Says why an image of `pixels` pixels was not admitted, in the document's order; kRefused.
int ReportRefusal(AdmitResult result, std::uint64_t pixels, const AdmissionLimits &limits,
                  std::ostream &err)
{
    if (result == AdmitResult::kTooBig)
        err << Messages::kImageTooBig << "\n";
    if (result == AdmitResult::kExpansionTooLarge)
        err << "tonecraft-batch: the compressed rows would expand beyond "
            << (kExpansionFloorBytes >> 30) << " GiB and " << kExpansionRatio
            << " times the file's size; --max-pixels N sets a limit of its own\n";
    if (result == AdmitResult::kTooManyPixels)
        err << "tonecraft-batch: the image has " << pixels << " pixels, more than --max-pixels "
            << *limits.maxPixels << "\n";
    ReportMemoryRefusal(err);
    err << Messages::kReadError << "\n";
    return kRefused;
}

// Opens an image the way the document does: read, size check, admission. On refusal the
// document's messages go to `err`, in the document's order.
struct LoadResult
{
    DibHandle block;
    int code = kDone;
    std::uint32_t fileCompression = 0; // as in the file; the block's rows come expanded
};

LoadResult LoadImage(const std::string &path, const AdmissionLimits &limits, std::ostream &err)
{
    LoadResult result;
    MemoryBudget::ClearRefusal();
    try {
        const std::unique_ptr<CFile> file = StandardStreams::OpenInput(path);
        if (file)
            result.block = CDibImage::ReadBmpFile(*file);
    } catch (const CFileException &e) {
        result.code = ReportFileError(err, e);
        return result;
    }
    std::uint64_t pixels = 0;
    if (!result.block.IsNull()) {
        // The reader has checked that the header can be read; the rest waits for admission.
        DibReadLock lock(result.block);
        result.fileCompression = CDibImage::GetCompression(lock.Data());
        pixels = std::uint64_t{CDibImage::GetImageWidth(lock.Data())}
            * CDibImage::GetImageHeight(lock.Data());
    }
    Admission admitted = CDibImage::Admit(std::move(result.block), limits);
    result.block = std::move(admitted.block);
    if (result.block.IsNull())
        result.code = ReportRefusal(admitted.result, pixels, limits, err);
    return result;
}

// A whole number written in decimal digits alone.
std::optional<std::uint64_t> ParseCount(std::string_view text)
{
    std::uint64_t n = 0;
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, n);
    if (text.empty() || error != std::errc{} || stop != end)
        return std::nullopt;
    return n;
}

// What the options after the command word ask for.
struct Options
{
    AdmissionLimits limits;
    std::optional<std::string> outputDir;
    std::optional<unsigned> jobs;
    bool quiet = false;
    const COutputFile::Keep *keep = nullptr; // with -d: where a complete output goes
};

// Takes the options out of `args` (anywhere after the command word; a parameter such as "-1.5"
// is not one of their names) into `options`; the rest stays in order. A problem for the usage
// message, or nothing.
std::optional<std::string> TakeOptions(std::vector<std::string_view> &args, Options &options)
{
    std::vector<std::string_view> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        const bool dir = a == "-d" || a == "--output-dir";
        const bool jobs = a == "-j" || a == "--jobs";
        const bool pixels = a == "--max-pixels";
        if (a == "--quiet") {
            options.quiet = true;
            continue;
        }
        if (!dir && !jobs && !pixels) {
            rest.push_back(a);
            continue;
        }
        if (++i == args.size())
            return std::string(a) + " needs a value";
        const std::string_view value = args[i];
        if (dir) {
            options.outputDir = std::string(value);
            continue;
        }
        const std::optional<std::uint64_t> n = ParseCount(value);
        if (!n || *n == 0 || (jobs && *n > CManyFiles::kMaxJobs))
            return "bad " + std::string(a) + " '" + std::string(value)
                + "': expected a whole number 1.."
                + (jobs ? std::to_string(CManyFiles::kMaxJobs) : "");
        if (jobs)
            options.jobs = static_cast<unsigned>(*n);
        else
            options.limits.maxPixels = *n;
    }
    args = std::move(rest);
    return std::nullopt;
}

int RunInfo(const std::string &path, const Options &o, std::ostream &out, std::ostream &err)
{
    LoadResult image = LoadImage(path, o.limits, err);
    if (image.code != kDone)
        return image.code;
    DibReadLock lock(image.block);
    const std::uint8_t *h = lock.Data();
    out << "width=" << CDibImage::GetImageWidth(h) << " height=" << CDibImage::GetImageHeight(h)
        << " bits=" << CDibImage::GetBitCount(h) << " colors=" << CDibImage::GetColorCount(h)
        << " header=" << ByteOrder::ReadU32(h) << " compression=" << image.fileCompression << "\n";
    return kDone;
}

// Reads an image that the histogram may be taken of and counts its levels; on refusal says
// why and leaves `code` set.
std::optional<GrayHistogram> CountLevels(const std::string &path, const char *refusal,
                                         const Options &o, std::ostream &err, int &code)
{
    LoadResult image = LoadImage(path, o.limits, err);
    code = image.code;
    if (code != kDone)
        return std::nullopt;
    DibReadLock lock(image.block);
    const std::uint8_t *h = lock.Data();
    if (!PointOperations::Accepts(h)) {
        err << refusal << "\n";
        code = kRefused;
        return std::nullopt;
    }
    return PointKernels::CountHistogram(CDibImage::GetPixelBits(h),
                                        static_cast<std::int32_t>(CDibImage::GetImageWidth(h)),
                                        static_cast<std::int32_t>(CDibImage::GetImageHeight(h)));
}

enum class HistogramForm { kLines, kStats, kPlot };

int RunHistogram(const std::string &path, HistogramForm form, const std::string &plotPath,
                 const Options &o, std::ostream &out, std::ostream &err)
{
    int code = kDone;
    const std::optional<GrayHistogram> counts
        = CountLevels(path, PointOperations::Find("histogram")->refusal, o, err, code);
    if (!counts)
        return code;
    if (form == HistogramForm::kPlot) {
        try {
            COutputFile output(plotPath);
            if (!HistogramPlot::Write(*counts, output.File())) {
                err << "tonecraft-batch: the picture could not be compressed\n";
                return kRefused;
            }
            output.Commit();
        } catch (const CFileException &e) {
            return ReportFileError(err, e);
        }
        return kDone;
    }
    if (form == HistogramForm::kStats) {
        const std::optional<std::string> line = GrayStatistics::Describe(*counts);
        if (!line) {
            err << "tonecraft-batch: the picture has no pixels to describe\n";
            return kRefused;
        }
        out << *line << '\n';
        return kDone;
    }
    for (std::size_t g = 0; g < counts->size(); ++g)
        out << g << ' ' << (*counts)[g] << '\n';
    return kDone;
}

// "threshold: T=123": the parameters an operation chose, as its fixed form takes them.
void Announce(const PointOperation &op, const PointParameters &p, std::ostream &err)
{
    err << op.name << ":";
    for (const PointParam &param : op.chosen) {
        const auto slot = static_cast<std::size_t>(param.slot);
        err << ' ' << param.name << '=';
        if (param.kind == PointParamKind::kLevel)
            err << static_cast<unsigned>(p.level[slot]);
        else
            err << p.real[slot];
    }
    err << "\n";
}

// Bytes per band of streamed rows. TONECRAFT_BAND_BYTES sets another size for tests and
// measurements; 0 reads every image whole, as a file too large to stream would be.
std::uint64_t BandBytes()
{
    const char *text = std::getenv("TONECRAFT_BAND_BYTES");
    const std::optional<std::uint64_t> bytes
        = text != nullptr ? ParseCount(text) : std::optional<std::uint64_t>();
    return bytes.value_or(CRowBands::kBandBytes);
}

// The counts of every level in one pass over the rows; nothing when the file ended early.
std::optional<GrayHistogram> CountBands(CRowBands &bands, CFile &file)
{
    GrayHistogram counts{};
    bands.Rewind(file);
    while (const std::optional<CRowBands::Band> band = bands.Next(file)) {
        const GrayHistogram part
            = PointKernels::CountHistogram(band->bits, band->width, band->height);
        for (std::size_t g = 0; g < counts.size(); ++g)
            counts[g] += part[g];
    }
    return bands.Complete() ? std::optional(counts) : std::nullopt;
}

// The parameters an operation that chooses them takes from `counts`, said on `err` unless
// quiet; none, after saying why, when the picture has no pixels to choose from.
std::optional<PointParameters> Choose(const PointOperation &op, const GrayHistogram &counts,
                                      const PointParameters &given, const Options &o,
                                      std::ostream &err)
{
    const std::optional<PointParameters> chosen = op.choose(counts, given);
    if (!chosen)
        err << "tonecraft-batch: the picture has no pixels to choose from\n";
    else if (!o.quiet)
        Announce(op, *chosen, err);
    return chosen;
}

// RunTransform for an IN whose rows stream (CRowBands): read, mapped and written a band at a
// time, so that the memory does not grow with the image, with the same refusals, messages and
// bytes as the block path. Nothing, before anything is written, for an image left to that path.
std::optional<int> StreamTransform(const PointOperation &op, const PointParameters &given,
                                   const Options &o, const std::string &inPath,
                                   const std::string &outPath, std::ostream &err)
{
    const std::uint64_t bandBytes = BandBytes();
    if (bandBytes == 0 || inPath == StandardStreams::kDash
        || (op.table == nullptr && op.countedTable == nullptr))
        return std::nullopt;
    // Only a regular file is opened here: opening a FIFO would take the bytes its writer
    // meant for the block path.
    struct stat info
    { };
    if (::stat(inPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    std::optional<CPosixFile> in;
    std::optional<CRowBands> bands;
    try {
        in.emplace(CPosixFile::OpenForReading(inPath));
        if (::fstat(in->Descriptor(), &info) != 0 || !S_ISREG(info.st_mode))
            return std::nullopt;
        bands = CRowBands::Open(*in, bandBytes);
    } catch (const CFileException &) { // the block path tells it
        return std::nullopt;
    }
    if (!bands)
        return std::nullopt;

    const DibLayout &layout = bands->Layout();
    const auto width = static_cast<std::int32_t>(layout.width);
    const auto height = static_cast<std::int32_t>(layout.height);
    MemoryBudget::ClearRefusal();
    const AdmitResult admitted = CDibImage::CheckAdmission(layout, bands->FileLength(), o.limits);
    if (admitted != AdmitResult::kAdmitted)
        return ReportRefusal(admitted, std::uint64_t{layout.width} * layout.height, o.limits, err);
    if (!PointOperations::Accepts(bands->Head().data())) {
        err << op.refusal << "\n";
        return kRefused;
    }
    try {
        std::optional<GrayHistogram> counts;
        if (op.choose != nullptr || op.table == nullptr) {
            counts = CountBands(*bands, *in);
            if (!counts) {
                err << Messages::kReadError << "\n";
                return kRefused;
            }
        }
        PointParameters p = given;
        if (op.choose != nullptr) {
            const std::optional<PointParameters> chosen = Choose(op, *counts, given, o, err);
            if (!chosen)
                return kRefused;
            p = *chosen;
        }
        const GrayTable table
            = op.table != nullptr ? op.table(p) : op.countedTable(*counts, width, height);

        COutputFile output(outPath, o.keep);
        const std::optional<std::vector<std::uint8_t>> front
            = BmpCodec::WrittenFront(bands->Head(), layout, std::nullopt);
        if (!front) {
            err << Messages::kCannotSave << "\n";
            return kRefused;
        }
        output.File().WriteHuge(front->data(), front->size());
        bands->Rewind(*in);
        while (const std::optional<CRowBands::Band> band = bands->Next(*in)) {
            PointKernels::ApplyTable(band->bits, band->width, band->height, table);
            output.File().WriteHuge(band->bits, band->bytes);
        }
        if (!bands->Complete()) {
            err << Messages::kReadError << "\n";
            return kRefused;
        }
        output.Commit();
    } catch (const CFileException &e) {
        return ReportFileError(err, e);
    }
    return kDone;
}

// Applies `op` to IN and writes OUT. An operation that chooses its parameters takes them
// from the image's counts and says which (unless quiet).
int RunTransform(const PointOperation &op, const PointParameters &given, const Options &o,
                 const std::string &inPath, const std::string &outPath, std::ostream &err)
{
    if (const std::optional<int> code = StreamTransform(op, given, o, inPath, outPath, err))
        return *code;
    LoadResult image = LoadImage(inPath, o.limits, err);
    if (image.code != kDone)
        return image.code;
    {
        DibLock lock(image.block);
        std::uint8_t *h = lock.Data();
        PointParameters p = given;
        if (op.choose != nullptr && PointOperations::Accepts(h)) {
            const std::optional<PointParameters> chosen
                = Choose(op,
                         PointKernels::CountHistogram(
                             CDibImage::GetPixelBits(h),
                             static_cast<std::int32_t>(CDibImage::GetImageWidth(h)),
                             static_cast<std::int32_t>(CDibImage::GetImageHeight(h))),
                         given, o, err);
            if (!chosen)
                return kRefused;
            p = *chosen;
        }
        if (!PointOperations::Run(op, h, p)) {
            err << op.refusal << "\n";
            return kRefused;
        }
    }
    try {
        COutputFile output(outPath, o.keep);
        if (!CDibImage::WriteBmpFile(image.block, output.File())) {
            err << Messages::kCannotSave << "\n";
            return kRefused;
        }
        output.Commit();
    } catch (const CFileException &e) {
        return ReportFileError(err, e);
    }
    return kDone;
}

int RunRender(const std::string &inPath, const std::string &outPath, const Options &o,
              std::ostream &err)
{
    LoadResult image = LoadImage(inPath, o.limits, err);
    if (image.code != kDone)
        return image.code;
    try {
        COutputFile output(outPath);
        switch (PngRenderer::Render(image.block, output.File())) {
        case PngRenderer::Outcome::Done:
            output.Commit();
            return kDone;
        case PngRenderer::Outcome::NoPixels:
            err << "tonecraft-batch: the picture has no pixels to render\n";
            return kRefused;
        case PngRenderer::Outcome::DrawingFailed:
            err << "tonecraft-batch: the picture could not be drawn: not enough memory\n";
            return kRefused;
        case PngRenderer::Outcome::EncodingFailed:
            break;
        }
        err << "tonecraft-batch: the picture could not be compressed\n";
        return kRefused;
    } catch (const CFileException &e) {
        return ReportFileError(err, e);
    }
}

int RunTable(std::span<const std::string_view> args, std::ostream &out, std::ostream &err)
{
    if (args.empty())
        return UsageError(err, "table needs an OPERATION");
    const PointOperation *op = PointOperations::Find(args[0]);
    if (op == nullptr || op->table == nullptr)
        return UsageError(err,
                          "bad OPERATION '" + std::string(args[0])
                              + "': expected invert, linear, threshold, window or stretch");
    const std::span<const std::string_view> rest = args.subspan(1);
    if (rest.size() != op->params.size())
        return UsageError(err,
                          "table " + std::string(op->name) + " takes "
                              + std::to_string(op->params.size()) + " parameters");
    const std::optional<PointParameters> p = ParseParameters(*op, rest.size(), rest, err);
    if (!p)
        return kUsage;
    const GrayTable table = op->table(*p);
    for (std::size_t g = 0; g < table.size(); ++g)
        out << g << ' ' << static_cast<unsigned>(table[g]) << '\n';
    return kDone;
}

} // namespace

int CBatchTool::Run(std::span<const std::string_view> args, std::ostream &out, std::ostream &err,
                    bool errIsTerminal)
{
    if (args.empty())
        return UsageError(err, "no command given");
    const std::string_view command = args[0];

    if (command == "--help") {
        out << kUsageText;
        return kDone;
    }
    if (command == "--version") {
        out << "tonecraft-batch " << TONECRAFT_VERSION << "\n";
        return kDone;
    }
    if (command == "table")
        return RunTable(args.subspan(1), out, err);

    std::vector<std::string_view> rest(args.begin() + 1, args.end());
    Options o;
    if (const std::optional<std::string> problem = TakeOptions(rest, o))
        return UsageError(err, *problem);
    const PointOperation *op = FindTransform(command);
    if ((o.outputDir || o.jobs) && op == nullptr)
        return UsageError(err, "-d and -j go with a transform");
    if (command == "histogram" && !rest.empty() && rest[0] == "--plot") {
        if (rest.size() != 3)
            return UsageError(err, "histogram --plot takes OUT.png and IN.bmp");
        return RunHistogram(std::string(rest[2]), HistogramForm::kPlot, std::string(rest[1]), o,
                            out, err);
    }
    if (command == "info" || command == "histogram") {
        const bool stats = command == "histogram" && !rest.empty() && rest[0] == "--stats";
        if (rest.size() != (stats ? 2u : 1u))
            return UsageError(err, std::string(command) + " takes one file: IN.bmp");
        const std::string path(rest.back());
        return command == "info"
            ? RunInfo(path, o, out, err)
            : RunHistogram(path, stats ? HistogramForm::kStats : HistogramForm::kLines, {}, o, out,
                           err);
    }
    if (command == "render") {
        if (rest.size() != 2)
            return UsageError(err, "render takes IN.bmp and OUT.png");
        return RunRender(std::string(rest[0]), std::string(rest[1]), o, err);
    }

    if (op == nullptr)
        return UsageError(err, "unknown command '" + std::string(command) + "'");
    const PointOperation *chooser
        = rest.empty() || rest[0].empty() ? nullptr : PointOperations::Find(command, rest[0]);
    if (chooser != nullptr && chooser->choose != nullptr) {
        op = chooser;
        rest.erase(rest.begin());
    }
    const std::string name
        = std::string(command) + (op->variant.empty() ? "" : " ") + std::string(op->variant);
    const std::size_t most = op->params.size(), least = most - op->optional;
    // With -d the files follow the parameters, so an optional parameter is told from a file
    // by being a number.
    std::size_t n = most;
    if (o.outputDir) {
        while (n > least && (rest.size() <= n - 1 || !ParameterText::ParseReal(rest[n - 1])))
            --n;
        if (rest.size() < n + 1)
            return UsageError(err,
                              name + " takes " + std::to_string(least)
                                  + " parameters and at least one IN.bmp with -d DIR");
    } else {
        if (rest.size() < least + 2 || rest.size() > most + 2)
            return UsageError(err,
                              name + " takes "
                                  + (least == most
                                         ? std::to_string(most)
                                         : std::to_string(least) + " to " + std::to_string(most))
                                  + " parameters, IN.bmp and OUT.bmp");
        n = rest.size() - 2;
    }
    const std::optional<PointParameters> p = ParseParameters(*op, n, rest, err);
    if (!p)
        return kUsage;
    if (!o.outputDir)
        return RunTransform(*op, *p, o, std::string(rest[n]), std::string(rest[n + 1]), err);

    const std::vector<std::string> inputs(rest.begin() + static_cast<std::ptrdiff_t>(n),
                                          rest.end());
    const CManyFiles::Plan plan = CManyFiles::Prepare(inputs, *o.outputDir);
    if (!plan.problem.empty())
        return UsageError(err, plan.problem);
    const CManyFiles::Settings settings{o.jobs.value_or(CManyFiles::DefaultJobs()),
                                        errIsTerminal && !o.quiet};
    return CManyFiles::Run(
        plan, settings,
        [&](const std::string &in, const std::string &outPath, std::ostream &fileErr,
            const COutputFile::Keep &keep) {
            Options fileOptions = o;
            fileOptions.keep = &keep;
            return RunTransform(*op, *p, fileOptions, in, outPath, fileErr);
        },
        err);
}
