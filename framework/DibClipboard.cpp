#include "DibClipboard.h"

#include "DibBuilder.h"
#include "DibImage.h"
#include "DibLock.h"
#include "DibMimeData.h"
#include "FileException.h"
#include "MemFile.h"
#include "MemoryBudget.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QMimeData>

#include <algorithm>
#include <climits>
#include <cstring>
#include <span>

namespace {

std::span<const std::uint8_t> BytesOf(const QByteArray &data)
{
    return {reinterpret_cast<const std::uint8_t *>(data.constData()),
            static_cast<std::size_t>(data.size())};
}

DibHandle ToBlock(std::span<const std::uint8_t> bytes)
{
    DibHandle block = DibHandle::Allocate(bytes.size());
    if (!block.IsNull() && !bytes.empty()) {
        DibLock lock(block); // ends before the handle is returned: no moving while locked
        std::memcpy(lock.Data(), bytes.data(), bytes.size());
    }
    return block;
}

// A BMP file read exactly as a file from disk is: signature checked, rows moved up behind
// the colour table when the file header places them after a gap.
DibHandle FromBmpFile(const QByteArray &file)
{
    const std::span<const std::uint8_t> bytes = BytesOf(file);
    CMemFile memory(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    return CDibImage::ReadBmpFile(memory);
}

DibHandle FromImage(const QImage &picture)
{
    if (picture.isNull())
        return {};
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    if (rgb.isNull())
        return {};
    return DibBuilder::FromRgb32(reinterpret_cast<const std::uint32_t *>(rgb.constBits()),
                                 rgb.width(), rgb.height(),
                                 static_cast<std::size_t>(rgb.bytesPerLine()) / 4);
}

// Sets the toolkit's ceiling on one decoded picture for the life of this object.
class CReaderLimit
{
public:
    explicit CReaderLimit(std::uint64_t bytes)
        : m_nPrevious(QImageReader::allocationLimit())
    {
        constexpr std::uint64_t kMiB = 1 << 20;
        const std::uint64_t megabytes = bytes / kMiB + 1;
        QImageReader::setAllocationLimit(
            static_cast<int>(std::min<std::uint64_t>(megabytes, INT_MAX)));
    }
    ~CReaderLimit() { QImageReader::setAllocationLimit(m_nPrevious); }
    CReaderLimit(const CReaderLimit &) = delete;
    CReaderLimit &operator=(const CReaderLimit &) = delete;

private:
    int m_nPrevious;
};

// A picture in one of the toolkit's formats. Its header gives the size; the memory check,
// not the toolkit's fixed ceiling (128 MB), decides whether it can be decoded: the decoded
// picture (up to 8 bytes a pixel, for 16-bit channels), its true-colour copy (4) and the block
// made of it (up to 3).
DibHandle FromPicture(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid())
        return FromImage(reader.read()); // no size before decoding: the toolkit's own ceiling
    const auto pixels = static_cast<std::uint64_t>(size.width()) * size.height();
    if (!MemoryBudget::Allows(pixels * (8 + 4 + 3)))
        return {};
    const CReaderLimit limit(pixels * 8);
    return FromImage(reader.read());
}

// The first format on offer that the toolkit decodes as a picture; empty when there is none.
QString PictureFormat(const QMimeData &data)
{
    static const QList<QByteArray> readable = QImageReader::supportedMimeTypes();
    for (const QString &format : data.formats()) {
        if (readable.contains(format.toLatin1()))
            return format;
    }
    return {};
}

// The clipboard's image as a block not yet admitted; null when there is none.
DibHandle Fetch(const QMimeData &data)
{
    // Our own copy, still on the clipboard: duplicated as a block, without the detour
    // through bytes for other programs.
    if (const auto *own = qobject_cast<const CDibMimeData *>(&data))
        return CDibImage::DuplicateBlock(own->Block());
    if (data.hasFormat(QLatin1String(CDibMimeData::kDibFormat)))
        return ToBlock(BytesOf(data.data(QLatin1String(CDibMimeData::kDibFormat))));
    if (data.hasFormat(QLatin1String(CDibMimeData::kBmpFormat)))
        return FromBmpFile(data.data(QLatin1String(CDibMimeData::kBmpFormat)));
    if (const QString format = PictureFormat(data); !format.isEmpty())
        return FromPicture(data.data(format));
    if (data.hasImage()) // a picture handed over inside this program, already decoded
        return FromImage(qvariant_cast<QImage>(data.imageData()));
    return {};
}

} // namespace

bool CDibClipboard::Copy(const DibHandle &block)
{
    if (block.IsNull())
        return false;
    DibHandle copy = CDibImage::DuplicateBlock(block);
    if (copy.IsNull())
        return false;
    // The clipboard owns the mime data, and with it the copy.
    QGuiApplication::clipboard()->setMimeData(new CDibMimeData(std::move(copy)));
    return true;
}

Admission CDibClipboard::Paste()
{
    MemoryBudget::ClearRefusal();
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr)
        return {};
    try {
        return CDibImage::Admit(Fetch(*data));
    } catch (const CFileException &) { // a BMP file cut short, seen by the file reader
        return {};
    }
}

bool CDibClipboard::HasImage()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr)
        return false;
    // Our own copy was admitted when it was made.
    if (qobject_cast<const CDibMimeData *>(data) != nullptr)
        return true;
    return data->hasFormat(QLatin1String(CDibMimeData::kDibFormat))
        || data->hasFormat(QLatin1String(CDibMimeData::kBmpFormat))
        || !PictureFormat(*data).isEmpty() || data->hasImage();
}
