#include "RecentFileList.h"

#include <QFileInfo>
#include <QSettings>

namespace {

CRecentFileList *g_lpCurrent = nullptr;
constexpr const char *kGroup = "Recent File List";

} // namespace

CRecentFileList::CRecentFileList(int size)
    : m_nSize(size)
{ }

void CRecentFileList::Add(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    m_files.removeAll(absolute);
    m_files.prepend(absolute);
    while (m_files.size() > m_nSize)
        m_files.removeLast();
    if (m_onChanged)
        m_onChanged();
}

void CRecentFileList::Remove(int index)
{
    if (index < 0 || index >= m_files.size())
        return;
    m_files.removeAt(index);
    if (m_onChanged)
        m_onChanged();
}

void CRecentFileList::ReadList()
{
    QSettings settings(kOrganization, kApplication);
    settings.beginGroup(kGroup);
    m_files.clear();
    for (int i = 1; i <= m_nSize; ++i) {
        const QString file = settings.value(QStringLiteral("File%1").arg(i)).toString();
        if (!file.isEmpty())
            m_files.append(file);
    }
}

void CRecentFileList::WriteList() const
{
    QSettings settings(kOrganization, kApplication);
    settings.beginGroup(kGroup);
    for (int i = 1; i <= m_nSize; ++i) {
        const QString key = QStringLiteral("File%1").arg(i);
        if (i <= m_files.size())
            settings.setValue(key, m_files.at(i - 1));
        else
            settings.remove(key);
    }
}

CRecentFileList *CRecentFileList::Current()
{
    return g_lpCurrent;
}

void CRecentFileList::SetCurrent(CRecentFileList *list)
{
    g_lpCurrent = list;
}
