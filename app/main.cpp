#include "QtTranslations.h"
#include "SafeOutputFile.h"
#include "Tonecraft.h"
#include "Trace.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // A save cut short by a signal leaves no temporary file; a file-size limit fails the save
    // with its reason instead of ending the program with every document.
    CSafeOutputFile::RemoveTemporaryFilesOnSignals();
    QApplication application(argc, argv);
    // Qt's standard dialogs in Chinese beside the Chinese menus; without the translations the
    // program still runs, its own texts unchanged.
    if (!QtTranslations::Install())
        TraceLine("Qt's Chinese translations not found; its dialogs stay in English\n");
    CTonecraftApp theApp;
    if (!theApp.InitInstance(QApplication::arguments()))
        return 0;
    return QApplication::exec();
}
