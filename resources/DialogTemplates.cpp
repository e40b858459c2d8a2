#include "DialogTemplates.h"

#include <array>

namespace DialogTemplates {
namespace {

using enum Kind;

constexpr Control kAboutControls[] = {
    {Id::kStatic, Icon, ":/images/mainframe-32.png", 11, 17, 20, 20},
    {Id::kStatic, Label, "Tonecraft 1.0 版", 40, 10, 119, 8},
    {Id::kStatic, Label, "灰度图像点运算", 40, 25, 119, 8},
    {Id::kOk, DefaultButton, "确定", 178, 7, 50, 14},
};

constexpr Control kLinearControls[] = {
    {Id::kOk, DefaultButton, "确定", 15, 102, 32, 13},
    {Id::kCancel, PushButton, "取消", 54, 102, 32, 13},
    {Id::kStatic, GroupBox, "线性变换参数：", 4, 39, 91, 51},
    {Id::kStatic, Label, "斜率：", 12, 55, 25, 10},
    {Id::kStatic, Label, "截距：", 12, 70, 27, 10},
    {Id::kSlope, Edit, "", 40, 53, 50, 12},
    {Id::kIntercept, Edit, "", 40, 69, 50, 12},
    {Id::kPreview, Preview, "", 99, 4, 121, 148},
};

constexpr Control kThresholdControls[] = {
    {Id::kOk, DefaultButton, "确定", 15, 102, 32, 13},
    {Id::kCancel, PushButton, "取消", 54, 102, 32, 13},
    {Id::kStatic, GroupBox, "阈值变换参数：", 4, 39, 91, 51},
    {Id::kStatic, Label, "阈值：", 12, 64, 25, 10},
    {Id::kThreshold, Digits, "", 40, 62, 50, 12},
    {Id::kPreview, Preview, "", 99, 4, 164, 149},
};

constexpr Control kWindowControls[] = {
    {Id::kOk, DefaultButton, "确定", 15, 102, 32, 13},
    {Id::kCancel, PushButton, "取消", 54, 102, 32, 13},
    {Id::kStatic, GroupBox, "窗口变换参数：", 4, 39, 91, 51},
    {Id::kStatic, Label, "下限：", 12, 55, 25, 10},
    {Id::kStatic, Label, "上限：", 12, 70, 27, 10},
    {Id::kWinLow, Digits, "", 40, 53, 50, 12},
    {Id::kWinHigh, Digits, "", 40, 69, 50, 12},
    {Id::kPreview, Preview, "", 99, 4, 164, 149},
};

constexpr Control kStretchControls[] = {
    {Id::kOk, DefaultButton, "确定", 15, 121, 32, 13},
    {Id::kCancel, PushButton, "取消", 54, 121, 32, 13},
    {Id::kStatic, GroupBox, "灰度拉伸参数：", 4, 21, 91, 75},
    {Id::kStatic, Label, "第一点X坐标:", 12, 35, 48, 10},
    {Id::kStatic, Label, "第一点Y坐标:", 12, 50, 48, 10},
    {Id::kStretchX1, Digits, "", 66, 33, 24, 12},
    {Id::kStretchY1, Digits, "", 66, 48, 24, 12},
    {Id::kPreview, Preview, "", 99, 4, 146, 124},
    {Id::kStatic, Label, "第二点X坐标:", 12, 65, 48, 10},
    {Id::kStatic, Label, "第二点Y坐标:", 12, 80, 48, 10},
    {Id::kStretchX2, Digits, "", 66, 63, 24, 12},
    {Id::kStretchY2, Digits, "", 66, 78, 24, 12},
};

constexpr Control kHistogramControls[] = {
    {Id::kPreview, Preview, "", 4, 4, 165, 147},
    {Id::kOk, DefaultButton, "确定", 42, 173, 32, 13},
    {Id::kCancel, PushButton, "取消", 100, 173, 32, 13},
    {Id::kStatic, Label, "显示的灰度区域下限:", 11, 160, 77, 10},
    {Id::kStatic, Label, "上限:", 112, 160, 20, 10},
    {Id::kHistLow, Digits, "", 88, 158, 23, 12},
    {Id::kHistHigh, Digits, "", 132, 158, 23, 12},
};

constexpr std::array kDialogs = {
    Dialog{Id::kAboutBox, "关于 Tonecraft", 235, 55, 9, kAboutControls},
    Dialog{Id::kLinearParams, "线性变换参数设置", 267, 157, 0, kLinearControls},
    Dialog{Id::kThresholdParams, "阈值变换参数设置", 267, 157, 0, kThresholdControls},
    Dialog{Id::kWindowParams, "窗口变换参数设置", 267, 157, 0, kWindowControls},
    Dialog{Id::kStretchParams, "灰度拉伸参数设置", 267, 157, 0, kStretchControls},
    Dialog{Id::kHistogram, "灰度直方图", 173, 190, 0, kHistogramControls},
};

} // namespace

const Dialog *Find(int id)
{
    for (const Dialog &dialog : kDialogs)
        if (dialog.id == id)
            return &dialog;
    return nullptr;
}

} // namespace DialogTemplates
