#include "Trace.h"

#include <QtDebug>

void TraceLine(const char *text)
{
#ifndef NDEBUG
    qDebug().noquote() << text;
#else
    (void)text;
#endif
}
