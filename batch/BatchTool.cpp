#include "BatchTool.h"

#include "ByteOrder.h"
#include "DibImage.h"
#include "DibLock.h"
#include "FileException.h"
#include "Messages.h"
#include "PngRenderer.h"
#include "PointKernels.h"
#include "PointOperations.h"
#include "PointTables.h"
#include "PosixFile.h"
#include "SafeOutputFile.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace {

enum ExitCode { kDone = 0, kRefused = 1, kUsage = 2, kFileError = 3 };

constexpr const char *kUsageText
    = "usage:\n"
      "  tonecraft-batch info IN.bmp\n"
      "  tonecraft-batch histogram IN.bmp\n"
      "  tonecraft-batch invert IN.bmp OUT.bmp\n"
      "  tonecraft-batch linear SLOPE INTERCEPT IN.bmp OUT.bmp\n"
      "  tonecraft-batch threshold T IN.bmp OUT.bmp\n"
      "  tonecraft-batch window LOW HIGH IN.bmp OUT.bmp\n"
      "  tonecraft-batch stretch X1 Y1 X2 Y2 IN.bmp OUT.bmp\n"
      "  tonecraft-batch equalize IN.bmp OUT.bmp\n"
      "  tonecraft-batch table OPERATION [PARAMETERS]\n"
      "  tonecraft-batch render IN.bmp OUT.png\n"
      "T, LOW, HIGH, X1..Y2 are whole numbers 0..255; SLOPE and INTERCEPT are decimal numbers.\n"
      "OPERATION is invert, linear, threshold, window or stretch.\n";

// The transforms the command line offers: the catalogue without the histogram, which has a
// command of its own.
const PointOperation *FindTransform(std::string_view name)
{
    const PointOperation *op = PointOperations::Find(name);
    return op != nullptr && op->apply != nullptr ? op : nullptr;
}

int UsageError(std::ostream &err, const std::string &problem)
{
    err << "tonecraft-batch: " << problem << "\n" << kUsageText;
    return kUsage;
}

std::optional<std::uint8_t> ParseLevel(std::string_view text)
{
    unsigned value = 0;
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || text.front() == '-' || ec != std::errc() || ptr != end || value > 255)
        return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

std::optional<float> ParseReal(std::string_view text)
{
    // from_chars rounds the decimal straight to float: no detour through double.
    float value = 0;
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
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
            const std::optional<float> value = ParseReal(text);
            if (!value) {
                (void)UsageError(err,
                                 std::string("bad ") + param.name + " '" + std::string(text)
                                     + "': expected a finite decimal number");
                return std::nullopt;
            }
            p.real[slot] = *value;
        } else {
            const std::optional<std::uint8_t> value = ParseLevel(text);
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

// Opens an image the way the document does: read, size check, admission. On refusal the
// document's messages go to `err`, in the document's order.
struct LoadResult
{
    DibHandle block;
    int code = kDone;
};

LoadResult LoadImage(const std::string &path, std::ostream &err)
{
    LoadResult result;
    try {
        CPosixFile file = CPosixFile::OpenForReading(path);
        result.block = CDibImage::ReadBmpFile(file);
    } catch (const CFileException &e) {
        result.code = ReportFileError(err, e);
        return result;
    }
    Admission admitted = CDibImage::Admit(std::move(result.block));
    if (admitted.result == AdmitResult::kTooBig)
        err << Messages::kImageTooBig << "\n";
    result.block = std::move(admitted.block);
    if (result.block.IsNull()) {
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
        << " header=" << ByteOrder::ReadU32(h) << " compression=" << CDibImage::GetCompression(h)
        << "\n";
    return kDone;
}

int RunHistogram(const std::string &path, std::ostream &out, std::ostream &err)
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
        CSafeOutputFile output(outPath);
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

int WriteOutput(const std::string &path, const std::string &bytes, std::ostream &err)
{
    try {
        CSafeOutputFile output(path);
        output.File().WriteHuge(bytes.data(), bytes.size());
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
    bool empty = false;
    {
        DibReadLock lock(image.block);
        empty = CDibImage::GetImageWidth(lock.Data()) == 0
            || CDibImage::GetImageHeight(lock.Data()) == 0;
    }
    const std::optional<std::string> png = empty ? std::nullopt : PngRenderer::Render(image.block);
    if (!png) {
        err << (empty ? "tonecraft-batch: the picture has no pixels to render\n"
                      : "tonecraft-batch: the picture is too large to render\n");
        return kRefused;
    }
    return WriteOutput(outPath, *png, err);
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

    if (command == "info" || command == "histogram") {
        if (rest.size() != 1)
            return UsageError(err, std::string(command) + " takes one file: IN.bmp");
        const std::string path(rest[0]);
        return command == "info" ? RunInfo(path, out, err) : RunHistogram(path, out, err);
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
