#pragma once

#include <QString>
#include <QStringList>

class QFileDialog;

// The program's open and save dialogs: where they start, which files they offer, how names
// without a suffix are completed, and a list that speaks the program's language (sizes, types
// and dates in the default locale) in columns wide enough to read whole. The dialog is Qt's
// own on every desktop, so that all of this holds everywhere.
namespace FileDialogSetup {

// "BMP 图像 (*.bmp)", then "所有文件 (*)".
[[nodiscard]] QStringList NameFilters();

// An existing file to open, starting in LastOpenFolder().
void PrepareOpen(QFileDialog &dialog);

// A name to save under. `suggestion` is the document's path, or its bare title when it has
// none: a path starts in its folder, a title in LastOpenFolder(); the name is filled in, with
// ".bmp" added when it has no suffix. A name typed without a suffix gets ".bmp" while the BMP
// filter is chosen, and stays as typed under "所有文件 (*)".
void PrepareSave(QFileDialog &dialog, const QString &suggestion);

// The folder of the file last chosen in the open dialog, kept in the settings store across
// runs; the current folder when there is none or it is gone.
[[nodiscard]] QString LastOpenFolder();
void RememberOpenFolder(const QString &openedFile);

} // namespace FileDialogSetup
