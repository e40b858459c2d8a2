#include "GuardedApplication.h"
#include "QtTranslations.h"
#include "SafeOutputFile.h"
#include "Tonecraft.h"
#include "Trace.h"

int main(int argc, char **argv)
{
    // A save cut short by a signal leaves no temporary file; a file-size limit fails the save
    // with its reason instead of ending the program with every document.
    CSafeOutputFile::RemoveTemporaryFilesOnSignals();
    // Every event goes through this object, which keeps a failed allocation in one handler
    // from ending the program with its unsaved documents.
    CGuardedApplication application(argc, argv);
    // Qt's standard dialogs in Chinese beside the Chinese menus; without the translations the
    // program still runs, its own texts unchanged.
    if (!QtTranslations::Install())
        TraceLine("Qt's Chinese translations not found; its dialogs stay in English\n");
    CTonecraftApp theApp;
    if (!theApp.InitInstance(CGuardedApplication::arguments()))
        return 0;
    return CGuardedApplication::exec();
}
