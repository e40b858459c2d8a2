#include "PointOperations.h"

#include "CommandIds.h"
#include "DibImage.h"
#include "GrayStatistics.h"
#include "Messages.h"
#include "PointKernels.h"

namespace {

constexpr PointParam kLinearParams[]
    = {{"SLOPE", PointParamKind::kReal, 0}, {"INTERCEPT", PointParamKind::kReal, 1}};
constexpr PointParam kThresholdParams[] = {{"T", PointParamKind::kLevel, 0}};
constexpr PointParam kWindowParams[]
    = {{"LOW", PointParamKind::kLevel, 0}, {"HIGH", PointParamKind::kLevel, 1}};
constexpr PointParam kStretchParams[] = {{"X1", PointParamKind::kLevel, 0},
                                         {"Y1", PointParamKind::kLevel, 1},
                                         {"X2", PointParamKind::kLevel, 2},
                                         {"Y2", PointParamKind::kLevel, 3}};
constexpr PointParam kGammaParams[] = {{"G", PointParamKind::kPositive, 0}};
constexpr PointParam kSaturatedParams[] = {{"SATURATED", PointParamKind::kPercent, 0}};

// Invert is the linear transform with these two values.
constexpr PointParameters kInvert{{-1.0f, 255.0f}, {}};

const PointOperation kOperations[] = {
    {"invert",
     CommandId::kInvert,
     Messages::kInvertNeeds256,
     {},
     kInvert,
     [](const PointParameters &) { return PointTables::Linear(kInvert.real[0], kInvert.real[1]); },
     nullptr},
    {"linear",
     CommandId::kLinear,
     Messages::kLinearNeeds256,
     kLinearParams,
     {{2.0f, -128.0f}, {}},
     [](const PointParameters &p) { return PointTables::Linear(p.real[0], p.real[1]); },
     nullptr},
    {"threshold",
     CommandId::kThreshold,
     Messages::kThresholdNeeds256,
     kThresholdParams,
     {{}, {128}},
     [](const PointParameters &p) { return PointTables::Threshold(p.level[0]); },
     nullptr},
    {"window",
     CommandId::kWindowTransform,
     Messages::kWindowNeeds256,
     kWindowParams,
     {{}, {0, 255}},
     [](const PointParameters &p) { return PointTables::Window(p.level[0], p.level[1]); },
     nullptr},
    {"stretch",
     CommandId::kGrayStretch,
     Messages::kStretchNeeds256,
     kStretchParams,
     {{}, {50, 30, 200, 220}},
     [](const PointParameters &p) {
         return PointTables::GrayStretch(p.level[0], p.level[1], p.level[2], p.level[3]);
     },
     nullptr},
    {"equalize",
     CommandId::kEqualize,
     Messages::kEqualizeNeeds256,
     {},
     {},
     nullptr,
     [](std::uint8_t *b, std::int32_t w, std::int32_t h, const PointParameters &) {
         (void)CDibImage::ApplyEqualize(b, w, h);
     },
     {},
     {},
     nullptr,
     0,
     [](const GrayHistogram &histogram, std::int32_t w, std::int32_t h) {
         return PointTables::Equalize(histogram, w, h);
     }},
    // The histogram's display range starts as the whole gray scale.
    {"histogram",
     CommandId::kHistogram,
     Messages::kHistogramNeeds256,
     {},
     {{}, {0, 255}},
     nullptr,
     nullptr},
    {"gamma",
     0,
     Messages::kGammaNeeds256,
     kGammaParams,
     {{1.0f, 0.0f}, {}},
     [](const PointParameters &p) { return PointTables::Gamma(p.real[0]); },
     nullptr},
    // The threshold that best splits the levels in two (the otsu of the histogram statistics).
    {"threshold",
     0,
     Messages::kThresholdNeeds256,
     {},
     {},
     [](const PointParameters &p) { return PointTables::Threshold(p.level[0]); },
     nullptr,
     "otsu",
     kThresholdParams,
     [](const GrayHistogram &histogram, const PointParameters &) {
         const std::optional<std::uint8_t> t = GrayStatistics::OtsuThreshold(histogram);
         return t ? std::optional<PointParameters>(PointParameters{{}, {*t}}) : std::nullopt;
     }},
    // The stretch of the levels present onto the whole scale, a share of the darkest and the
    // brightest pixels set aside.
    {"stretch",
     0,
     Messages::kStretchNeeds256,
     kSaturatedParams,
     {{0.35f, 0.0f}, {}},
     [](const PointParameters &p) {
         return PointTables::GrayStretch(p.level[0], p.level[1], p.level[2], p.level[3]);
     },
     nullptr,
     "auto",
     kStretchParams,
     [](const GrayHistogram &histogram, const PointParameters &p) {
         const std::optional<GrayStatistics::LevelRange> range
             = GrayStatistics::SaturatedRange(histogram, p.real[0]);
         if (!range)
             return std::optional<PointParameters>();
         return std::optional<PointParameters>(
             PointParameters{{}, {range->low, 0, range->high, 255}});
     },
     1},
};

} // namespace

namespace PointOperations {

std::span<const PointOperation> All()
{
    return kOperations;
}

const PointOperation *Find(std::string_view name, std::string_view variant)
{
    for (const PointOperation &op : kOperations) {
        if (op.name == name && op.variant == variant)
            return &op;
    }
    return nullptr;
}

const PointOperation *ForCommand(int command)
{
    for (const PointOperation &op : kOperations) {
        if (op.command == command && command != 0)
            return &op;
    }
    return nullptr;
}

bool Accepts(const std::uint8_t *header)
{
    return header != nullptr && CDibImage::IsGrayLevelImage(header);
}

bool Run(const PointOperation &op, std::uint8_t *header, const PointParameters &p)
{
    if (!Accepts(header))
        return false;
    std::uint8_t *bits = CDibImage::GetPixelBits(header);
    const auto width = static_cast<std::int32_t>(CDibImage::GetImageWidth(header));
    const auto height = static_cast<std::int32_t>(CDibImage::GetImageHeight(header));
    if (op.table != nullptr)
        PointKernels::ApplyTable(bits, width, height, op.table(p));
    else if (op.apply != nullptr)
        op.apply(bits, width, height, p);
    return true;
}

} // namespace PointOperations
