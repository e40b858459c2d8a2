#include "DibMimeData.h"

#include "ByteOrder.h"
#include "DibFormat.h"
#include "DibLayout.h"

#include <QStringList>
#include <QVariant>

#include <span>

CDibMimeData::CDibMimeData(QByteArray dib)
    : m_dib(std::move(dib))
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
        return m_dib;
    if (mimeType == QLatin1String(kBmpFormat))
        return BmpFileOf(m_dib);
    return {};
}

QByteArray CDibMimeData::BmpFileOf(const QByteArray &dib)
{
    using namespace DibFormat;
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t *>(dib.data()),
                                              static_cast<std::size_t>(dib.size()));
    const std::optional<DibLayout> layout = MeasureHeader(bytes);
    const auto fileSize = static_cast<std::uint64_t>(dib.size()) + kFileHeaderSize;
    if (!layout || fileSize > 0xFFFFFFFFu)
        return {};
    QByteArray file(static_cast<qsizetype>(kFileHeaderSize), '\0');
    auto *header = reinterpret_cast<std::uint8_t *>(file.data());
    ByteOrder::WriteU16(header + kOffType, kBmpSignature);
    ByteOrder::WriteU32(header + kOffFileSize, static_cast<std::uint32_t>(fileSize));
    ByteOrder::WriteU32(header + kOffOffBits,
                        static_cast<std::uint32_t>(kFileHeaderSize + layout->RowsOffset()));
    file.append(dib);
    return file;
}
