#include "BatchTool.h"

#include "ByteOrder.h"
#include "DibImage.h"
#include "DibLock.h"
#include "FileException.h"
#include "GrayStatistics.h"
#include "MemoryBudget.h"
#include "Messages.h"
#include "OutputFile.h"
#include "ParameterText.h"
#include "PngRenderer.h"
#include "PointKernels.h"
#include "PointOperations.h"
#include "PointTables.h"
#include "StandardStreams.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

namespace {

enum ExitCode { kDone = 0, kRefused = 1, kUsage = 2, kFileError = 3 };

constexpr const char *kUsageText
    = "usage:\n"
      "  tonecraft-batch info IN.bmp\n"
      "  tonecraft-batch histogram [--stats] IN.bmp\n"
      "  tonecraft-batch invert IN.bmp OUT.bmp\n"
      "  tonecraft-batch linear SLOPE INTERCEPT IN.bmp OUT.bmp\n"
      "  tonecraft-batch threshold T IN.bmp OUT.bmp\n"
      "  tonecraft-batch window LOW HIGH IN.bmp OUT.bmp\n"
      "  tonecraft-batch stretch X1 Y1 X2 Y2 IN.bmp OUT.bmp\n"
      "  tonecraft-batch equalize IN.bmp OUT.bmp\n"
      "  tonecraft-batch table OPERATION [PARAMETERS]\n"
      "  tonecraft-batch render IN.bmp OUT.png\n"
      "  tonecraft-batch --help | --version\n"
      "T, LOW, HIGH, X1..Y2 are whole numbers 0..255; SLOPE and INTERCEPT are decimal numbers.\n"
      "OPERATION is invert, linear, threshold, window or stretch.\n"
      "IN - reads standard input; OUT - writes standard output.\n";

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

// Parses the operation's parameters from the front of `args`; on failure writes the usage
// message and returns nothing.
std::optional<PointParameters>
ParseParameters(const PointOperation &op, std::span<const std::string_view> args, std::ostream &err)
{
    PointParameters p;
    for (std::size_t i = 0; i < op.params.size(); ++i) {
        const PointParam &param = op.params[i];
        const std::string_view text = args[i];
        const auto slot = static_cast<std::size_t>(param.slot);
        if (param.kind == PointParamKind::kReal) {
            const std::optional<float> value = ParameterText::ParseReal(text);
            if (!value) {
                (void)UsageError(err,
                                 std::string("bad ") + param.name + " '" + std::string(text)
                                     + "': expected a finite decimal number");
                return std::nullopt;
            }
            p.real[slot] = *value;
        } else {
            const std::optional<std::uint8_t> value = ParameterText::ParseLevel(text);
            if (!value) {
                (void)UsageError(err,
                                 std::string("bad ") + param.name + " '" + std::string(text)
                                     + "': expected a whole number 0..255");
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

// Opens an image the way the document does: read, size check, admission. On refusal the
// document's messages go to `err`, in the document's order.
struct LoadResult
{
    DibHandle block;
    int code = kDone;
    std::uint32_t fileCompression = 0; // as in the file; the block's rows come expanded
};

LoadResult LoadImage(const std::string &path, std::ostream &err)
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
    if (!result.block.IsNull()) {
        // The reader has checked that the header can be read; the rest waits for admission.
        DibReadLock lock(result.block);
        result.fileCompression = CDibImage::GetCompression(lock.Data());
    }
    Admission admitted = CDibImage::Admit(std::move(result.block));
    if (admitted.result == AdmitResult::kTooBig)
        err << Messages::kImageTooBig << "\n";
    result.block = std::move(admitted.block);
    if (result.block.IsNull()) {
        ReportMemoryRefusal(err);
        err << Messages::kReadError << "\n";
        result.code = kRefused;
    }
    return result;
}

int RunInfo(const std::string &path, std::ostream &out, std::ostream &err)
{
    LoadResult image = LoadImage(path, err);
    if (image.code != kDone)
        return image.code;
    DibReadLock lock(image.block);
    const std::uint8_t *h = lock.Data();
    out << "width=" << CDibImage::GetImageWidth(h) << " height=" << CDibImage::GetImageHeight(h)
        << " bits=" << CDibImage::GetBitCount(h) << " colors=" << CDibImage::GetColorCount(h)
        << " header=" << ByteOrder::ReadU32(h) << " compression=" << image.fileCompression << "\n";
    return kDone;
}

int RunHistogram(const std::string &path, bool stats, std::ostream &out, std::ostream &err)
{
    LoadResult image = LoadImage(path, err);
    if (image.code != kDone)
        return image.code;
    DibReadLock lock(image.block);
    const std::uint8_t *h = lock.Data();
    if (!PointOperations::Accepts(h)) {
        err << PointOperations::Find("histogram")->refusal << "\n";
        return kRefused;
    }
    const GrayHistogram counts = PointKernels::CountHistogram(
        CDibImage::GetPixelBits(h), static_cast<std::int32_t>(CDibImage::GetImageWidth(h)),
        static_cast<std::int32_t>(CDibImage::GetImageHeight(h)));
    if (stats) {
        const std::optional<std::string> line = GrayStatistics::Describe(counts);
        if (!line) {
            err << "tonecraft-batch: the picture has no pixels to describe\n";
            return kRefused;
        }
        out << *line << '\n';
        return kDone;
    }
    for (std::size_t g = 0; g < counts.size(); ++g)
        out << g << ' ' << counts[g] << '\n';
    return kDone;
}

int RunTransform(const PointOperation &op, const PointParameters &p, const std::string &inPath,
                 const std::string &outPath, std::ostream &err)
{
    LoadResult image = LoadImage(inPath, err);
    if (image.code != kDone)
        return image.code;
    {
        DibLock lock(image.block);
        if (!PointOperations::Run(op, lock.Data(), p)) {
            err << op.refusal << "\n";
            return kRefused;
        }
    }
    try {
        COutputFile output(outPath);
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

int RunRender(const std::string &inPath, const std::string &outPath, std::ostream &err)
{
    LoadResult image = LoadImage(inPath, err);
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
    const std::optional<PointParameters> p = ParseParameters(*op, rest, err);
    if (!p)
        return kUsage;
    const GrayTable table = op->table(*p);
    for (std::size_t g = 0; g < table.size(); ++g)
        out << g << ' ' << static_cast<unsigned>(table[g]) << '\n';
    return kDone;
}

} // namespace

int CBatchTool::Run(std::span<const std::string_view> args, std::ostream &out, std::ostream &err)
{
    if (args.empty())
        return UsageError(err, "no command given");
    const std::string_view command = args[0];
    const std::span<const std::string_view> rest = args.subspan(1);

    if (command == "--help") {
        out << kUsageText;
        return kDone;
    }
    if (command == "--version") {
        out << "tonecraft-batch " << TONECRAFT_VERSION << "\n";
        return kDone;
    }
    if (command == "info" || command == "histogram") {
        const bool stats = command == "histogram" && !rest.empty() && rest[0] == "--stats";
        const std::span<const std::string_view> files = rest.subspan(stats ? 1 : 0);
        if (files.size() != 1)
            return UsageError(err, std::string(command) + " takes one file: IN.bmp");
        const std::string path(files[0]);
        return command == "info" ? RunInfo(path, out, err) : RunHistogram(path, stats, out, err);
    }
    if (command == "table")
        return RunTable(rest, out, err);
    if (command == "render") {
        if (rest.size() != 2)
            return UsageError(err, "render takes IN.bmp and OUT.png");
        return RunRender(std::string(rest[0]), std::string(rest[1]), err);
    }

    const PointOperation *op = FindTransform(command);
    if (op == nullptr)
        return UsageError(err, "unknown command '" + std::string(command) + "'");
    if (rest.size() != op->params.size() + 2)
        return UsageError(err,
                          std::string(command) + " takes " + std::to_string(op->params.size())
                              + " parameters, IN.bmp and OUT.bmp");
    const std::optional<PointParameters> p = ParseParameters(*op, rest, err);
    if (!p)
        return kUsage;
    const std::size_t n = op->params.size();
    return RunTransform(*op, *p, std::string(rest[n]), std::string(rest[n + 1]), err);
}
