#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace QtTranslations {

bool Install(const QString &folder)
{
    if (QCoreApplication::instance() == nullptr)
        return false;
    const QString from
        = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_zh_CN"), from)
        || !QCoreApplication::installTranslator(translator.get()))
        return false;
    // The application keeps it for the rest of the run.
    translator.release()->setParent(QCoreApplication::instance());
    return true;
}

} // namespace QtTranslations
