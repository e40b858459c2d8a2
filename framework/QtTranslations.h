#pragma once

#include <QString>

// Qt's own texts (file, print, page set-up and preview dialogs, message-box buttons) in the
// program's language, Simplified Chinese.
namespace QtTranslations {

// Loads qtbase_zh_CN from `folder` (empty: Qt's translations folder) into a translator owned
// by the application and installs it; call it before the first widget is made. False, and
// nothing changed, when the file is missing or unreadable: Qt then speaks English.
bool Install(const QString &folder = QString());

} // namespace QtTranslations
