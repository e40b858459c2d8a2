#include "PlotSurface.h"

#include <QImage>
#include <QPainter>

CPlotSurface::CPlotSurface(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CPlotSurface::paintEvent(QPaintEvent * /*event*/)
{
    if (m_source)
        QPainter(this).drawImage(QPoint(0, 0), m_source());
}
