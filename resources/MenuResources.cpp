#include "MenuResources.h"

#include "CommandIds.h"
#include "StandardCommandIds.h"

using namespace CommandId;

namespace MenuResources {

namespace {

constexpr Item kSeparator{};

constexpr Item kMainFile[] = {
    {"打开(&O)...\tCtrl+O", kFileOpen},
    kSeparator,
    {"打印设置(&R)...", kFilePrintSetup},
    kSeparator,
    {"最近文件", kFileMru1, true},
    kSeparator,
    {"退出(&X)", kAppExit},
};
constexpr Item kMainView[] = {
    {"工具栏(&T)", kViewToolbar},
    {"状态栏(&S)", kViewStatusBar},
};
constexpr Item kHelp[] = {
    {"关于 Tonecraft(&A)...", kAppAbout},
};
constexpr Popup kMainFrameMenu[] = {
    {"文件(&F)", kMainFile},
    {"查看(&V)", kMainView},
    {"帮助(&H)", kHelp},
};

constexpr Item kImageFile[] = {
    {"打开(&O)...\tCtrl+O", kFileOpen},
    {"关闭(&C)", kFileClose},
    {"保存(&S)\tCtrl+S", kFileSave},
    {"另存为(&A)...", kFileSaveAs},
    {"重新加载(&R)\tCtrl+R", kReload},
    kSeparator,
    {"打印(&P)...\tCtrl+P", kFilePrint},
    {"打印预览(&V)", kFilePrintPreview},
    {"打印设置(&R)...", kFilePrintSetup},
    kSeparator,
    {"最近文件", kFileMru1, true},
    kSeparator,
    {"退出(&X)", kAppExit},
};
constexpr Item kImageEdit[] = {
    {"撤消(&U)\tCtrl+Z", kEditUndo},  kSeparator,
    {"剪切(&T)\tCtrl+X", kEditCut},   {"复制(&C)\tCtrl+C", kEditCopy},
    {"粘贴(&P)\tCtrl+V", kEditPaste},
};
constexpr Item kImagePoint[] = {
    {"图像反色(&I)", kInvert},
    {"线性变换(&L)...", kLinear},
    kSeparator,
    {"阈值变换(&T)...", kThreshold},
    {"窗口变换(&W)...", kWindowTransform},
    {"灰度拉伸(&S)...", kGrayStretch},
    kSeparator,
    {"灰度均衡(&U)", kEqualize},
};
constexpr Item kImageView[] = {
    {"直方图(I)...", kHistogram},
    kSeparator,
    {"工具栏(&T)", kViewToolbar},
    {"状态栏(&S)", kViewStatusBar},
};
constexpr Item kImageWindow[] = {
    {"新建窗口(&N)", kWindowNew},
    {"层叠(&C)", kWindowCascade},
    {"平铺(&T)", kWindowTile},
    {"排列图标(&A)", kWindowArrange},
};
constexpr Popup kImageMenu[] = {
    {"文件(&F)", kImageFile}, {"编辑(&E)", kImageEdit},         {"点运算(&P)", kImagePoint},
    {"查看(&V)", kImageView}, {"窗口(&W)", kImageWindow, true}, {"帮助(&H)", kHelp},
};

constexpr Accelerator kAccelerators[] = {
    {"Ctrl+N", kFileNew},    {"Ctrl+O", kFileOpen},   {"Ctrl+S", kFileSave},
    {"Ctrl+P", kFilePrint},  {"Ctrl+Z", kEditUndo},   {"Ctrl+X", kEditCut},
    {"Ctrl+C", kEditCopy},   {"Ctrl+V", kEditPaste},  {"Alt+Backspace", kEditUndo},
    {"Shift+Del", kEditCut}, {"Ctrl+Ins", kEditCopy}, {"Shift+Ins", kEditPaste},
    {"F6", kNextPane},       {"Shift+F6", kPrevPane},
};

constexpr int kToolbar[] = {kFileNew,   kFileOpen, kFileSave,  0, kEditCut, kEditCopy,
                            kEditPaste, 0,         kFilePrint, 0, kAppAbout};

} // namespace

std::span<const Popup> MainFrameMenu()
{
    return kMainFrameMenu;
}

std::span<const Popup> ImageMenu()
{
    return kImageMenu;
}

std::span<const Accelerator> Accelerators()
{
    return kAccelerators;
}

std::span<const int> ToolbarLayout()
{
    return kToolbar;
}

} // namespace MenuResources
