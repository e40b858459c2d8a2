#pragma once

#include "CmdTarget.h"

#include <QObject>
#include <QString>

class CFileException;

// The document side of the document/view plumbing: modified flag, path name and title, the
// standard load/save error report, and the request to update every view.
class CDocument : public QObject, public CCmdTarget
{
    Q_OBJECT

public:
    // Prompt ids of the standard load/save error report.
    static constexpr unsigned kPromptSaveOpenFailed = 0xF100;
    static constexpr unsigned kPromptOpenFailed = 0xF101;
    static constexpr unsigned kPromptSaveFailed = 0xF102;

    explicit CDocument(QObject *parent = nullptr);

    // The framework's steps for a new, opened or saved document; true on success.
    virtual bool OnNewDocument();
    virtual bool OnOpenDocument(const QString &path) = 0;
    virtual bool OnSaveDocument(const QString &path) = 0;

    [[nodiscard]] bool IsModified() const { return m_bModified; }
    void SetModifiedFlag(bool modified = true);

    [[nodiscard]] const QString &GetPathName() const { return m_strPathName; }
    // Sets the path (made absolute) and the title (the file name); with `addToRecentFiles`
    // the path goes to the application's recent-file list.
    void SetPathName(const QString &path, bool addToRecentFiles = true);

    [[nodiscard]] const QString &GetTitle() const { return m_strTitle; }
    void SetTitle(const QString &title);

    // The standard save steps. DoSave with an empty path asks for a name first; on success
    // the document takes the new path. SaveModified asks whether to save a modified document
    // and returns false when the user cancels.
    bool DoFileSave();
    bool DoSave(const QString &path);
    bool SaveModified();

    // Save, save as and close; documents add their own commands.
    bool OnUpdateCommand(int command, bool &enabled) const override;
    bool OnCommand(int command) override;

    // Asks every view of the document to repaint.
    void UpdateAllViews(QObject *sender = nullptr, long hint = 0);

    // Tells the user that a file could not be read or written: the file, the reason, and
    // whether it happened while loading or saving (the prompt id).
    static void ReportSaveLoadException(const QString &path, const CFileException *error,
                                        bool saving, unsigned promptId);

signals:
    void viewsUpdateRequested(QObject *sender, long hint);
    void modifiedChanged(bool modified);
    void titleChanged(const QString &title);
    // The document is to close with all its windows (its modified state already settled).
    void closeRequested();

private:
    QString m_strPathName;
    QString m_strTitle;
    bool m_bModified = false;
};
