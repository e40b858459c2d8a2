#include "GuardedApplication.h"

#include "Messages.h"
#include "Trace.h"
#include "UiServices.h"

#include <new>

CGuardedApplication::CGuardedApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{ }

bool CGuardedApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::bad_alloc &) {
        ReportOutOfMemory();
        return false;
    }
}

void CGuardedApplication::ReportOutOfMemory()
{
    static bool reporting = false;
    if (reporting) {
        TraceLine("out of memory again while reporting it\n");
        return;
    }
    reporting = true;
    try {
        CUiServices::Current().MessageBox(nullptr, QString::fromUtf8(Messages::kOutOfMemory),
                                          QString::fromUtf8(Messages::kCaption),
                                          MessageStyle::kIconInformation);
    } catch (const std::bad_alloc &) {
        TraceLine("out of memory while reporting it\n");
    }
    reporting = false;
}
