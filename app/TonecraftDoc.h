#pragma once

#include "DibHandle.h"
#include "Document.h"

#include <QSize>

#include <cstdint>
#include <memory>

class CDibImage;
class CPalette;

// One open image: its packed-DIB block, the palette built from its colour table, its size,
// and the CDibImage object through which the shell reaches the image core. Reads, saves and
// reloads BMP files and reports every failure to the user.
//
// States: empty (no block, no CDibImage, no palette: a new document, a failed open or
// reload), loaded (block; CDibImage after open or reload, none after a paste; a palette when
// the image has a colour table). Users of the accessors must expect null from each.
class CTonecraftDoc : public CDocument
{
    Q_OBJECT

public:
    explicit CTonecraftDoc(QObject *parent = nullptr);
    ~CTonecraftDoc() override;

    // Background colour of the views, RGB(128, 128, 128) as a 0x00BBGGRR value.
    std::uint32_t m_backColor = 0x808080;

    [[nodiscard]] DibHandle &GetImageBlock() { return m_hImageBlock; }
    [[nodiscard]] const DibHandle &GetImageBlock() const { return m_hImageBlock; }
    [[nodiscard]] CPalette *GetPalette() const { return m_pPalette.get(); }
    [[nodiscard]] CDibImage *GetDibImage() const { return m_pDibImage.get(); }
    // Width and height of the prepared image; (1, 1) until one is prepared, and the last
    // image's size after it has gone.
    [[nodiscard]] QSize GetImageSize() const { return m_imageSize; }

    // Takes ownership of `block`, releasing the block held so far.
    void ReplaceImageBlock(DibHandle block);

    // Checks the held image and builds its palette: a width or height beyond 2^31 - 1 is
    // refused ("BMP图像太大！"), a block that does not hold what its header says is dropped
    // without a message (the callers report it), RLE rows are expanded. Afterwards the
    // document holds no block if the image was refused.
    void PrepareImage();

    // Says that an image could not be read: first, when the memory check refused what it
    // needed, how much it needed and how much there was (MemoryBudget::LastRefusal); then the
    // read error. Messages without an owner, like the document's own.
    static void ShowReadError();

    [[nodiscard]] bool OpenImageFile(const QString &path);
    [[nodiscard]] bool SaveImageFile(const QString &path);
    void OnCmdReload();

    bool OnUpdateCommand(int command, bool &enabled) const override;
    bool OnCommand(int command) override;

    bool OnOpenDocument(const QString &path) override { return OpenImageFile(path); }
    bool OnSaveDocument(const QString &path) override { return SaveImageFile(path); }

private:
    // Reads `path` into the document with a fresh CDibImage and prepares its image, all under
    // one busy-cursor scope. False after the report when the file cannot be opened (the
    // document unchanged), a device error ends the read or the image is refused (the document
    // then without image or CDibImage). Device errors are reported once the cursor has ended;
    // a refused image's message appears while it still runs when `refusalWhileBusy` is set.
    bool LoadImageFile(const QString &path, bool refusalWhileBusy);

    // Shows one of the document's own messages: no owner window, caption "系统提示".
    static int ShowMessage(const char *text, unsigned style);

    std::unique_ptr<CDibImage> m_pDibImage;
    DibHandle m_hImageBlock;
    std::unique_ptr<CPalette> m_pPalette;
    QSize m_imageSize{1, 1};
};
