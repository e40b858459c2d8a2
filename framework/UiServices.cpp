#include "UiServices.h"

#include "QtUiServices.h"

namespace {

CUiServices *g_lpInstalled = nullptr;

} // namespace

CUiServices &CUiServices::Current()
{
    static CQtUiServices qtServices;
    return g_lpInstalled != nullptr ? *g_lpInstalled : qtServices;
}

CUiServices *CUiServices::Install(CUiServices *services)
{
    CUiServices *previous = g_lpInstalled;
    g_lpInstalled = services;
    return previous;
}
