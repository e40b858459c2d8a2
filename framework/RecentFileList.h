#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// The most recently opened files, newest first, kept in the program's settings store
// (organisation "Local AppWizard-Generated Applications", application "Tonecraft", group
// "Recent File List", keys File1..FileN) between runs.
class CRecentFileList
{
public:
    static constexpr const char *kOrganization = "Local AppWizard-Generated Applications";
    static constexpr const char *kApplication = "Tonecraft";

    explicit CRecentFileList(int size);

    // Puts `path` (made absolute) at the front, dropping an older entry for the same file and
    // the oldest entry beyond the list's size.
    void Add(const QString &path);
    void Remove(int index);

    // Called after every Add or Remove, so that the menu and the stored list follow at once.
    void SetChangedHandler(std::function<void()> handler) { m_onChanged = std::move(handler); }

    [[nodiscard]] const QStringList &Files() const { return m_files; }
    [[nodiscard]] int Size() const { return m_nSize; }

    void ReadList();
    void WriteList() const;

    // The list of the running application, which documents add their files to; null when
    // none is installed (as in most tests).
    [[nodiscard]] static CRecentFileList *Current();
    static void SetCurrent(CRecentFileList *list);

private:
    QStringList m_files;
    int m_nSize;
    std::function<void()> m_onChanged;
};
