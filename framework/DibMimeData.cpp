#include "DibMimeData.h"

#include "ByteOrder.h"
#include "DibFormat.h"
#include "DibLayout.h"
#include "DibLock.h"

#include <QStringList>
#include <QVariant>

#include <span>

namespace {

// A copy of the block's bytes: what leaves the object must not depend on its lifetime.
QByteArray BytesOf(const DibHandle &dib)
{
    DibReadLock lock(dib);
    return QByteArray(reinterpret_cast<const char *>(lock.Data()),
                      static_cast<qsizetype>(lock.Size()));
}

} // namespace

CDibMimeData::CDibMimeData(DibHandle dib)
    : m_hDib(std::move(dib))
{ }

QStringList CDibMimeData::formats() const
{
    return {QString::fromLatin1(kDibFormat), QString::fromLatin1(kBmpFormat)};
}

bool CDibMimeData::hasFormat(const QString &mimeType) const
{
    return formats().contains(mimeType);
}

QVariant CDibMimeData::retrieveData(const QString &mimeType, QMetaType /*preferredType*/) const
{
    if (mimeType == QLatin1String(kDibFormat))
        return BytesOf(m_hDib);
    if (mimeType == QLatin1String(kBmpFormat))
        return BmpFileOf(m_hDib);
    return {};
}

QByteArray CDibMimeData::BmpFileOf(const DibHandle &dib)
{
    using namespace DibFormat;
    std::optional<DibLayout> layout;
    {
        DibReadLock lock(dib);
        layout = MeasureHeader(lock.Bytes());
    }
    const auto fileSize = static_cast<std::uint64_t>(dib.Size()) + kFileHeaderSize;
    if (!layout || fileSize > 0xFFFFFFFFu)
        return {};
    QByteArray file(static_cast<qsizetype>(kFileHeaderSize), '\0');
    auto *header = reinterpret_cast<std::uint8_t *>(file.data());
    ByteOrder::WriteU16(header + kOffType, kBmpSignature);
    ByteOrder::WriteU32(header + kOffFileSize, static_cast<std::uint32_t>(fileSize));
    ByteOrder::WriteU32(header + kOffOffBits,
                        static_cast<std::uint32_t>(kFileHeaderSize + layout->RowsOffset()));
    file.append(BytesOf(dib));
    return file;
}
