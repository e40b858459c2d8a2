#include "QtTranslations.h"
#include "Tonecraft.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    // Qt's standard dialogs in Chinese beside the Chinese menus; without the translations the
    // program still runs, its own texts unchanged.
    QtTranslations::Install();
    CTonecraftApp theApp;
    if (!theApp.InitInstance(QApplication::arguments()))
        return 0;
    return QApplication::exec();
}
