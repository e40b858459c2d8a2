#pragma once

#include "UiServices.h"

#include <Qt>

// The real services: QMessageBox, QDialog::exec and the application's override cursor.
class CQtUiServices : public CUiServices
{
public:
    int MessageBox(QWidget *owner, const QString &text, const QString &caption,
                   unsigned style) override;
    int RunModal(QDialog &dialog) override;
    QString GetOpenFileName(QWidget *parent) override;
    QString GetSaveFileName(QWidget *parent, const QString &suggestion) override;
    void SetBusyCursor(bool busy) override;

    // The window a dialog is centred on: `requested`, or else the active window, or else the
    // first visible main window; null when there is none (the dialog then centres on the
    // screen).
    [[nodiscard]] static QWidget *DialogOwner(QWidget *requested);

    // The frame of a fixed-size modal window: a title bar with its system menu and close
    // button only. Minimising or maximising a window that cannot change size and blocks its
    // owner makes no sense, and window managers offer both unless told otherwise.
    static constexpr Qt::WindowFlags kFixedDialogFlags = Qt::Dialog | Qt::CustomizeWindowHint
        | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    static void UseFixedDialogFrame(QWidget &window);
};
