#include "SharedPrinter.h"

namespace SharedPrinter {

namespace {

QPrinter *g_lpPrinter = nullptr;

} // namespace

QPrinter *Current()
{
    return g_lpPrinter;
}

void SetCurrent(QPrinter *printer)
{
    g_lpPrinter = printer;
}

} // namespace SharedPrinter
