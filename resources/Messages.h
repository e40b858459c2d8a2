#pragma once

// User-visible texts shared by the program and the batch tool, as the user sees them.
namespace Messages {

constexpr const char *kCaption = "系统提示";

constexpr const char *kImageTooBig = "BMP图像太大！";
constexpr const char *kReadError = "读取图像时出错！可能是不支持该类型的图像文件！";
constexpr const char *kCannotSave = "无法保存BMP图像！";
constexpr const char *kReloadQuestion = "重新打开图像将丢失所有改动！是否继续？";

// Memory: an image the memory check refused (%1 megabytes needed, %2 kept in reserve for the
// work around it, %3 available), shown before the read error; and any request that ran out of
// memory on the way.
constexpr const char *kImageNeedsMemory
    = "内存不足！该图像需要 %1 MB 内存，另需保留 %2 MB，目前只有 %3 MB 可用。";
constexpr const char *kOutOfMemory = "内存不足，无法完成所要求的操作！";

// Refusals of the point operations for images that are not 256-colour images.
constexpr const char *kInvertNeeds256 = "目前只支持256色位图的反色！";
constexpr const char *kLinearNeeds256 = "目前只支持256色位图的线性变换！";
constexpr const char *kThresholdNeeds256 = "目前只支持256色位图的阈值变换！";
constexpr const char *kWindowNeeds256 = "目前只支持256色位图的窗口变换！";
constexpr const char *kStretchNeeds256 = "目前只支持256色位图的灰度拉伸！";
constexpr const char *kEqualizeNeeds256 = "目前只支持256色位图的直方图均衡！";
// Only the batch tool offers the gamma curve.
constexpr const char *kGammaNeeds256 = "目前只支持256色位图的伽马变换！";
constexpr const char *kHistogramNeeds256 = "目前只支持查看256色位图灰度直方图！";

} // namespace Messages
