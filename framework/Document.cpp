#include "Document.h"

#include "FileException.h"
#include "RecentFileList.h"
#include "StandardCommandIds.h"
#include "UiServices.h"

#include <QFileInfo>

namespace {

// The reason of a file error as the user reads it: the program's own words for every cause
// the error tells apart; the system's wording only where nothing more is known.
QString ReasonText(const CFileException &error)
{
    switch (error.m_cause) {
    case CFileException::Cause::FileNotFound:
        return QStringLiteral("找不到该文件。");
    case CFileException::Cause::BadPath:
        return QStringLiteral("路径无效，或指向一个文件夹。");
    case CFileException::Cause::TooManyOpenFiles:
        return QStringLiteral("打开的文件太多。");
    case CFileException::Cause::AccessDenied:
        return QStringLiteral("拒绝访问：没有读写该文件的权限，或文件是只读的。");
    case CFileException::Cause::SharingViolation:
        return QStringLiteral("文件正被使用，无法访问。");
    case CFileException::Cause::DiskFull:
        return QStringLiteral("磁盘已满。");
    case CFileException::Cause::HardIO:
        return QStringLiteral("读写设备时发生错误。");
    case CFileException::Cause::EndOfFile:
        return QStringLiteral("文件意外结束。");
    case CFileException::Cause::Generic:
        break;
    }
    const std::string system = error.Reason();
    return system.empty()
        ? QStringLiteral("发生了未知的文件错误。")
        : QStringLiteral("发生了未知的文件错误（%1）。").arg(QString::fromStdString(system));
}

} // namespace

CDocument::CDocument(QObject *parent)
    : QObject(parent)
{ }

bool CDocument::OnNewDocument()
{
    m_strPathName.clear();
    SetModifiedFlag(false);
    return true;
}

void CDocument::SetModifiedFlag(bool modified)
{
    if (m_bModified == modified)
        return;
    m_bModified = modified;
    emit modifiedChanged(modified);
}

void CDocument::SetPathName(const QString &path, bool addToRecentFiles)
{
    const QFileInfo info(path);
    m_strPathName = info.absoluteFilePath();
    SetTitle(info.fileName());
    if (addToRecentFiles && CRecentFileList::Current() != nullptr)
        CRecentFileList::Current()->Add(m_strPathName);
}

void CDocument::SetTitle(const QString &title)
{
    m_strTitle = title;
    emit titleChanged(title);
}

bool CDocument::DoFileSave()
{
    return DoSave(m_strPathName);
}

bool CDocument::DoSave(const QString &path)
{
    QString target = path;
    if (target.isEmpty()) {
        // Save as starts where the document's file is, under its name.
        target = CUiServices::Current().GetSaveFileName(
            nullptr, m_strPathName.isEmpty() ? m_strTitle : m_strPathName);
        if (target.isEmpty())
            return false;
    }
    if (!OnSaveDocument(target))
        return false;
    if (target != m_strPathName)
        SetPathName(target, true);
    return true;
}

bool CDocument::SaveModified()
{
    if (!IsModified())
        return true;
    const QString name = m_strPathName.isEmpty() ? m_strTitle : m_strPathName;
    const int answer = CUiServices::Current().MessageBox(
        nullptr, QStringLiteral("是否保存对“%1”的修改？").arg(name), QStringLiteral("Tonecraft"),
        MessageStyle::kYesNoCancel | MessageStyle::kIconExclamation);
    if (answer == DialogResult::kCancel)
        return false;
    if (answer == DialogResult::kYes)
        return DoFileSave();
    return true;
}

bool CDocument::OnUpdateCommand(int command, bool &enabled) const
{
    switch (command) {
    case CommandId::kFileSave:
    case CommandId::kFileSaveAs:
    case CommandId::kFileClose:
        enabled = true;
        return true;
    default:
        return false;
    }
}

bool CDocument::OnCommand(int command)
{
    switch (command) {
    case CommandId::kFileSave:
        DoFileSave();
        return true;
    case CommandId::kFileSaveAs:
        DoSave(QString());
        return true;
    case CommandId::kFileClose:
        if (SaveModified())
            emit closeRequested();
        return true;
    default:
        return false;
    }
}

void CDocument::UpdateAllViews(QObject *sender, long hint)
{
    emit viewsUpdateRequested(sender, hint);
}

void CDocument::ReportSaveLoadException(const QString &path, const CFileException *error,
                                        bool saving, unsigned promptId)
{
    const QString reason
        = error != nullptr ? ReasonText(*error) : QStringLiteral("发生了未知的文件错误。");
    QString text;
    switch (promptId) {
    case kPromptSaveOpenFailed:
        text = QStringLiteral("无法创建文件“%1”，图像未保存。\n原因：%2");
        break;
    case kPromptSaveFailed:
        text = QStringLiteral("保存文件“%1”时出错，原有文件未被改动。\n原因：%2");
        break;
    default:
        text = saving ? QStringLiteral("保存文件“%1”时出错。\n原因：%2")
                      : QStringLiteral("无法打开文件“%1”。\n原因：%2");
        break;
    }
    CUiServices::Current().MessageBox(nullptr, text.arg(path, reason), QStringLiteral("Tonecraft"),
                                      MessageStyle::kIconExclamation);
}
