#pragma once

#include "DibHandle.h"

#include <QByteArray>
#include <QMimeData>

// What copy puts on the clipboard: one packed DIB, owned by the clipboard from then on,
// offered under our DIB format as it is and as "image/bmp" (the same bytes behind a 14-byte
// file header) for other programs. The bytes for others are made only when someone asks, so
// a copy costs one duplicate of the image; paste in this program duplicates the block itself.
class CDibMimeData : public QMimeData
{
    Q_OBJECT

public:
    // Our format: the packed DIB exactly as the document holds it.
    static constexpr const char *kDibFormat = "application/x-tonecraft-dib";
    static constexpr const char *kBmpFormat = "image/bmp";

    // Takes ownership of a packed DIB that passed admission.
    explicit CDibMimeData(DibHandle dib);

    [[nodiscard]] const DibHandle &Block() const { return m_hDib; }

    [[nodiscard]] QStringList formats() const override;
    [[nodiscard]] bool hasFormat(const QString &mimeType) const override;

    // The BMP file of a packed DIB: file header (type "BM", sizes, offset of the rows) and the
    // bytes. Empty when the sizes do not fit the header's 32-bit fields.
    [[nodiscard]] static QByteArray BmpFileOf(const DibHandle &dib);

protected:
    [[nodiscard]] QVariant retrieveData(const QString &mimeType,
                                        QMetaType preferredType) const override;

private:
    DibHandle m_hDib;
};
