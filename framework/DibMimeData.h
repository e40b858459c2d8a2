#pragma once

#include <QByteArray>
#include <QMimeData>

// What copy puts on the clipboard: one packed DIB, offered under our DIB format as it is and
// as "image/bmp" (the same bytes behind a 14-byte file header) for other programs. The file
// form is made only when someone asks for it, so a copy costs one duplicate of the image.
class CDibMimeData : public QMimeData
{
    Q_OBJECT

public:
    // Our format: the packed DIB exactly as the document holds it.
    static constexpr const char *kDibFormat = "application/x-tonecraft-dib";
    static constexpr const char *kBmpFormat = "image/bmp";

    // Takes the bytes of a packed DIB that passed admission.
    explicit CDibMimeData(QByteArray dib);

    [[nodiscard]] QStringList formats() const override;
    [[nodiscard]] bool hasFormat(const QString &mimeType) const override;

    // The BMP file of a packed DIB: file header (type "BM", sizes, offset of the rows) and the
    // bytes. Empty when the sizes do not fit the header's 32-bit fields.
    [[nodiscard]] static QByteArray BmpFileOf(const QByteArray &dib);

protected:
    [[nodiscard]] QVariant retrieveData(const QString &mimeType,
                                        QMetaType preferredType) const override;

private:
    QByteArray m_dib;
};
