#include "QtUiServices.h"

#include "FileDialogSetup.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QWindow>

QWidget *CQtUiServices::DialogOwner(QWidget *requested)
{
    if (requested != nullptr)
        return requested;
    if (QWidget *active = QApplication::activeWindow())
        return active;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && qobject_cast<QMainWindow *>(window) != nullptr)
            return window;
    }
    return nullptr;
}

void CQtUiServices::UseFixedDialogFrame(QWidget &window)
{
    window.setWindowFlags(kFixedDialogFlags);
}

int CQtUiServices::MessageBox(QWidget *owner, const QString &text, const QString &caption,
                              unsigned style)
{
    QMessageBox box(DialogOwner(owner));
    UseFixedDialogFrame(box);
    box.setWindowTitle(caption);
    box.setText(text);
    switch (style & 0xF0) {
    case MessageStyle::kIconInformation:
        box.setIcon(QMessageBox::Information);
        break;
    case MessageStyle::kIconQuestion:
        box.setIcon(QMessageBox::Question);
        break;
    case MessageStyle::kIconExclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    default:
        break;
    }
    if ((style & 0x0F) == MessageStyle::kYesNoCancel) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("是(&Y)"));
        box.button(QMessageBox::No)->setText(QStringLiteral("否(&N)"));
        box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
        const int answer = box.exec();
        return answer == QMessageBox::Yes ? DialogResult::kYes
            : answer == QMessageBox::No   ? DialogResult::kNo
                                          : DialogResult::kCancel;
    }
    if ((style & 0x0F) == MessageStyle::kYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("是(&Y)"));
        box.button(QMessageBox::No)->setText(QStringLiteral("否(&N)"));
        return box.exec() == QMessageBox::Yes ? DialogResult::kYes : DialogResult::kNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.exec();
    return DialogResult::kOk;
}

int CQtUiServices::RunModal(QDialog &dialog)
{
    // A dialog built without a parent still belongs to the window it was opened from: it comes
    // up centred on that window, stays above it and takes the keyboard, where a free-standing
    // top-level window would open in the middle of the screen and could fall behind it.
    if (dialog.parentWidget() == nullptr) {
        if (QWidget *owner = DialogOwner(nullptr); owner != nullptr) {
            QWidget *ownerWindow = owner->window();
            dialog.winId();
            if (ownerWindow->windowHandle() != nullptr)
                dialog.windowHandle()->setTransientParent(ownerWindow->windowHandle());
            dialog.move(ownerWindow->frameGeometry().center() - dialog.rect().center());
        }
    }
    return dialog.exec() == QDialog::Accepted ? DialogResult::kOk : DialogResult::kCancel;
}

QString CQtUiServices::GetOpenFileName(QWidget *parent)
{
    QFileDialog dialog(DialogOwner(parent), QStringLiteral("打开"));
    FileDialogSetup::PrepareOpen(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    const QString path = dialog.selectedFiles().constFirst();
    FileDialogSetup::RememberOpenFolder(path);
    return path;
}

QString CQtUiServices::GetSaveFileName(QWidget *parent, const QString &suggestion)
{
    QFileDialog dialog(DialogOwner(parent), QStringLiteral("另存为"));
    FileDialogSetup::PrepareSave(dialog, suggestion);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

void CQtUiServices::SetBusyCursor(bool busy)
{
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}
