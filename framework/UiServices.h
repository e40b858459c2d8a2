#pragma once

class QDialog;
class QString;
class QWidget;

// Message-box styles and results, as the program's texts are specified with them.
namespace MessageStyle {
constexpr unsigned kOk = 0x00;
constexpr unsigned kYesNoCancel = 0x03;
constexpr unsigned kYesNo = 0x04;
constexpr unsigned kIconExclamation = 0x30;
constexpr unsigned kIconQuestion = 0x20;
constexpr unsigned kIconInformation = 0x40;
} // namespace MessageStyle

namespace DialogResult {
constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int kYes = 6;
constexpr int kNo = 7;
} // namespace DialogResult

// The services through which the program talks to the user modally or changes the cursor.
// The program installs the Qt implementation; tests install one that records the calls and
// answers at once, so that no test ever blocks.
class CUiServices
{
public:
    virtual ~CUiServices() = default;

    // Shows a modal message box; `owner` may be null. Returns a DialogResult value.
    virtual int MessageBox(QWidget *owner, const QString &text, const QString &caption,
                           unsigned style)
        = 0;

    // Runs `dialog` modally and returns its result (DialogResult::kOk when accepted).
    virtual int RunModal(QDialog &dialog) = 0;

    // Asks for a file to open or a name to save under; empty when cancelled. `suggestion` is
    // the document's path, or its title when it has none (FileDialogSetup says where each
    // dialog starts).
    virtual QString GetOpenFileName(QWidget *parent) = 0;
    virtual QString GetSaveFileName(QWidget *parent, const QString &suggestion) = 0;

    // Shows or hides the busy cursor over the whole application.
    virtual void SetBusyCursor(bool busy) = 0;

    // The installed services; the Qt implementation unless a test installed its own.
    [[nodiscard]] static CUiServices &Current();

    // Installs `services` (not owned; null restores the Qt implementation). Returns the
    // previously installed one.
    static CUiServices *Install(CUiServices *services);
};
