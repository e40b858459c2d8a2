#include "TonecraftDoc.h"

#include "CommandIds.h"
#include "DibImage.h"
#include "DibLock.h"
#include "DiskFile.h"
#include "FileException.h"
#include "MemoryBudget.h"
#include "Messages.h"
#include "Palette.h"
#include "UiServices.h"
#include "WaitCursor.h"

#include <QString>

#include <optional>

CTonecraftDoc::CTonecraftDoc(QObject *parent)
    : CDocument(parent)
{ }

CTonecraftDoc::~CTonecraftDoc()
{
    // Released in this order: the block, the palette, the image-core object.
    m_hImageBlock.Reset();
    m_pPalette.reset();
    m_pDibImage.reset();
}

int CTonecraftDoc::ShowMessage(const char *text, unsigned style)
{
    return CUiServices::Current().MessageBox(nullptr, QString::fromUtf8(text),
                                             QString::fromUtf8(Messages::kCaption), style);
}

void CTonecraftDoc::ShowReadError()
{
    if (const std::optional<MemoryBudget::Refusal> refusal = MemoryBudget::LastRefusal()) {
        constexpr std::uint64_t kMiB = 1 << 20;
        const QString text = QString::fromUtf8(Messages::kImageNeedsMemory)
                                 .arg((refusal->asked + kMiB - 1) / kMiB)
                                 .arg(refusal->reserve / kMiB)
                                 .arg(refusal->available / kMiB);
        ShowMessage(text.toUtf8().constData(), MessageStyle::kIconInformation);
    }
    ShowMessage(Messages::kReadError, MessageStyle::kIconInformation);
}

void CTonecraftDoc::ReplaceImageBlock(DibHandle block)
{
    m_hImageBlock = std::move(block);
}

void CTonecraftDoc::PrepareImage()
{
    m_pPalette.reset();
    if (m_hImageBlock.IsNull())
        return;

    // Only a block that holds everything its header describes may stay: every later read or
    // write of its pixels relies on that.
    Admission admitted = CDibImage::Admit(std::move(m_hImageBlock));
    m_hImageBlock = std::move(admitted.block);
    if (admitted.result == AdmitResult::kTooBig)
        ShowMessage(Messages::kImageTooBig, MessageStyle::kIconInformation);
    if (m_hImageBlock.IsNull())
        return;
    {
        DibReadLock lock(m_hImageBlock);
        m_imageSize = QSize(static_cast<int>(CDibImage::GetImageWidth(lock.Data())),
                            static_cast<int>(CDibImage::GetImageHeight(lock.Data())));
    }

    m_pPalette = std::make_unique<CPalette>();
    if (!CDibImage::BuildPalette(m_hImageBlock, *m_pPalette))
        m_pPalette.reset();
}

bool CTonecraftDoc::LoadImageFile(const QString &path, bool refusalWhileBusy)
{
    CDiskFile file;
    CFileException openError(CFileException::Cause::Generic, 0, path.toStdString());
    if (!file.Open(path, CDiskFile::kReadShareDenyWrite, &openError)) {
        ReportSaveLoadException(path, &openError, false, kPromptOpenFailed);
        return false;
    }
    std::optional<CFileException> readError;
    MemoryBudget::ClearRefusal();
    {
        CWaitCursor wait;
        m_pDibImage = std::make_unique<CDibImage>();
        m_hImageBlock.Reset();
        try {
            m_hImageBlock = CDibImage::ReadBmpFile(file);
        } catch (const CFileException &error) {
            file.Abort();
            readError = error;
        }
        if (!readError) {
            PrepareImage();
            if (refusalWhileBusy && m_hImageBlock.IsNull())
                ShowReadError();
        }
    }
    if (readError) {
        ReportSaveLoadException(path, &*readError, false, kPromptOpenFailed);
        m_hImageBlock.Reset();
        m_pDibImage.reset();
        return false;
    }
    if (m_hImageBlock.IsNull()) {
        if (!refusalWhileBusy)
            ShowReadError();
        m_pDibImage.reset();
        return false;
    }
    return true;
}

bool CTonecraftDoc::OpenImageFile(const QString &path)
{
    if (!LoadImageFile(path, false))
        return false;
    SetPathName(path, true);
    SetModifiedFlag(false);
    return true;
}

bool CTonecraftDoc::SaveImageFile(const QString &path)
{
    CDiskFile file;
    CFileException openError(CFileException::Cause::Generic, 0, path.toStdString());
    if (!file.Open(path, CDiskFile::kCreateReadWriteExclusive, &openError)) {
        ReportSaveLoadException(path, &openError, true, kPromptSaveOpenFailed);
        return false;
    }

    bool ok = false;
    std::optional<CWaitCursor> wait(std::in_place);
    try {
        ok = CDibImage::WriteBmpFile(m_hImageBlock, file);
        // A refused image leaves the target as it was: the new file is only put in place once
        // it has been written completely.
        if (ok)
            file.Close();
        else
            file.Abort();
    } catch (const CFileException &error) {
        file.Abort();
        wait.reset();
        ReportSaveLoadException(path, &error, true, kPromptSaveFailed);
        return false;
    }
    wait.reset();

    // A refused save of an image keeps the changes marked, so closing still offers to save.
    if (ok || m_hImageBlock.IsNull())
        SetModifiedFlag(false);
    if (!ok)
        ShowMessage(Messages::kCannotSave, MessageStyle::kIconInformation);
    return ok;
}

void CTonecraftDoc::OnCmdReload()
{
    if (IsModified()
        && ShowMessage(Messages::kReloadQuestion,
                       MessageStyle::kYesNo | MessageStyle::kIconQuestion)
            == DialogResult::kNo)
        return;

    if (!LoadImageFile(GetPathName(), true))
        return;
    SetModifiedFlag(false);
    UpdateAllViews(nullptr, 0);
}

bool CTonecraftDoc::OnUpdateCommand(int command, bool &enabled) const
{
    if (command == CommandId::kReload) {
        enabled = true;
        return true;
    }
    return CDocument::OnUpdateCommand(command, enabled);
}

bool CTonecraftDoc::OnCommand(int command)
{
    if (command == CommandId::kReload) {
        OnCmdReload();
        return true;
    }
    return CDocument::OnCommand(command);
}
