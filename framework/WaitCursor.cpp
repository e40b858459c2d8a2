#include "WaitCursor.h"

#include "UiServices.h"

namespace {

int g_nWaitCount = 0;

} // namespace

CWaitCursor::CWaitCursor()
{
    if (g_nWaitCount++ == 0)
        CUiServices::Current().SetBusyCursor(true);
}

CWaitCursor::~CWaitCursor()
{
    if (--g_nWaitCount == 0)
        CUiServices::Current().SetBusyCursor(false);
}

int CWaitCursor::Count()
{
    return g_nWaitCount;
}
