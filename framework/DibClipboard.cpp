#include "DibClipboard.h"

#include "DibBuilder.h"
#include "DibImage.h"
#include "DibLock.h"
#include "DibMimeData.h"
#include "MemFile.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include <cstring>
#include <exception>
#include <optional>
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
    if (data.hasImage())
        return FromImage(qvariant_cast<QImage>(data.imageData()));
    return {};
}

// The answer of HasImage, forgotten whenever the clipboard changes.
std::optional<bool> g_cachedHasImage;

void WatchClipboard()
{
    static const bool watching = [] {
        QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged,
                         [] { g_cachedHasImage.reset(); });
        return true;
    }();
    (void)watching;
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

DibHandle CDibClipboard::Paste()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr)
        return {};
    try {
        return CDibImage::Admit(Fetch(*data)).block;
    } catch (const std::exception &) { // no memory for a copy, or a file error of the reader
        return {};
    }
}

bool CDibClipboard::HasImage()
{
    WatchClipboard();
    if (g_cachedHasImage)
        return *g_cachedHasImage;
    bool available = false;
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (const auto *own = qobject_cast<const CDibMimeData *>(data)) {
        DibReadLock lock(own->Block());
        available = CDibImage::CheckAdmission(lock.Bytes()) == AdmitResult::kAdmitted;
    } else if (data != nullptr && data->hasFormat(QLatin1String(CDibMimeData::kDibFormat))) {
        // Our own format is checked where it lies, without a copy.
        available = CDibImage::CheckAdmission(
                        BytesOf(data->data(QLatin1String(CDibMimeData::kDibFormat))))
            == AdmitResult::kAdmitted;
    } else if (data != nullptr) {
        available = !Paste().IsNull();
    }
    g_cachedHasImage = available;
    return available;
}
