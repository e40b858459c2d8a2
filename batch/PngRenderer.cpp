#include "PngRenderer.h"

#include "DibImage.h"
#include "DibLock.h"
#include "PainterDC.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

namespace PngRenderer {

std::optional<std::string> Render(const DibHandle &block)
{
    int width = 0;
    int height = 0;
    {
        DibReadLock lock(block);
        width = static_cast<int>(CDibImage::GetImageWidth(lock.Data()));
        height = static_cast<int>(CDibImage::GetImageHeight(lock.Data()));
    }
    QImage canvas(width, height, QImage::Format_RGB32);
    if (canvas.isNull() && width > 0 && height > 0)
        return std::nullopt;
    canvas.fill(QColor(128, 128, 128));
    {
        QPainter painter(&canvas);
        CPainterDC dc(painter, canvas.rect());
        const Rect picture{0, 0, width, height};
        CDibImage::DrawToDevice(dc, picture, block, picture, nullptr);
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!canvas.save(&buffer, "PNG"))
        return std::nullopt;
    return png.toStdString();
}

} // namespace PngRenderer
