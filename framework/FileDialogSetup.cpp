#include "FileDialogSetup.h"

#include "RecentFileList.h"

#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QMimeDatabase>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QStyle>
#include <QTreeView>

#include <algorithm>

namespace {

constexpr const char *kBmpFilter = "BMP 图像 (*.bmp)";
constexpr const char *kAllFilter = "所有文件 (*)";
constexpr const char *kBmpSuffix = "bmp";
constexpr const char *kFolderType = "文件夹";
constexpr const char *kOpenFolderKey = "File Dialog/Open Folder";

enum Column { kName, kSize, kType, kDate };

// The list's sizes, types of folders and dates in the default locale. The file system model
// formats sizes and dates in the system's locale and leaves the folder type to a translation
// Qt does not ship, so a Chinese program on an English desktop would show English there.
class CLocaleColumns : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
        if (role != Qt::DisplayRole || files == nullptr || index.column() == kName)
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        const bool folder = files->isDir(source);
        switch (index.column()) {
        case kSize:
            return folder ? QString() : QLocale().formattedDataSize(files->size(source));
        case kType:
            return folder ? QString::fromUtf8(kFolderType) : QIdentityProxyModel::data(index, role);
        case kDate:
            return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
        default:
            return QIdentityProxyModel::data(index, role);
        }
    }
};

// The widest texts the size, type and date columns commonly show in the default locale.
QStringList Samples(int column)
{
    const QLocale locale;
    switch (column) {
    case kSize:
        return {locale.formattedDataSize(1023), locale.formattedDataSize(1048575),
                locale.formattedDataSize(1073741823), locale.formattedDataSize(1099511627775)};
    case kType: {
        QStringList types{QString::fromUtf8(kFolderType)};
        const QMimeDatabase mime;
        for (const char *name : {"image/bmp", "image/png", "image/jpeg", "text/plain",
                                 "application/octet-stream", "application/x-executable"})
            types.append(mime.mimeTypeForName(QString::fromLatin1(name)).comment());
        return types;
    }
    default:
        return {
            locale.toString(QDateTime(QDate(2026, 12, 28), QTime(23, 58)), QLocale::ShortFormat)};
    }
}

// Opens the dialog wide enough for the size, type and date columns beside the name column:
// each column as wide as its widest common text, the dialog as wide as the columns need (as far
// as the screen allows). Only at its first showing are the view's and dialog's widths known.
class CColumnFitter : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *dialog = qobject_cast<QFileDialog *>(watched);
        if (event->type() == QEvent::Show && dialog != nullptr && !m_bDone) {
            m_bDone = true;
            if (auto *view = dialog->findChild<QTreeView *>(QStringLiteral("treeView")))
                Fit(*dialog, *view);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    static void Fit(QFileDialog &dialog, QTreeView &view)
    {
        QHeaderView *header = view.header();
        const QFontMetrics metrics(view.font());
        // Item texts keep a focus-frame margin plus one pixel on each side.
        const int margins
            = 2 * (view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1);
        int needed = header->sectionSize(kName);
        for (const int column : {kSize, kType, kDate}) {
            int width = header->sectionSizeHint(column);
            for (const QString &text : Samples(column))
                width = std::max(width, metrics.horizontalAdvance(text) + margins + 2);
            header->resizeSection(column, width);
            needed += width;
        }
        needed += view.verticalScrollBar()->sizeHint().width();
        const int missing = needed - view.viewport()->width();
        if (missing <= 0)
            return;
        int width = dialog.width() + missing;
        if (const QScreen *screen = dialog.screen())
            width = std::min(width, screen->availableGeometry().width());
        const int grown = width - dialog.width();
        dialog.resize(width, dialog.height());
        dialog.move(dialog.x() - grown / 2, dialog.y());
    }

    bool m_bDone = false;
};

QString Utf8(const char *text)
{
    return QString::fromUtf8(text);
}

void PrepareCommon(QFileDialog &dialog, const QString &folder)
{
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setProxyModel(new CLocaleColumns(&dialog));
    dialog.setViewMode(QFileDialog::Detail);
    dialog.setNameFilters(FileDialogSetup::NameFilters());
    dialog.selectNameFilter(Utf8(kBmpFilter));
    dialog.setDirectory(folder);
    dialog.installEventFilter(new CColumnFitter(&dialog));
}

} // namespace

namespace FileDialogSetup {

QStringList NameFilters()
{
    return {Utf8(kBmpFilter), Utf8(kAllFilter)};
}

void PrepareOpen(QFileDialog &dialog)
{
    PrepareCommon(dialog, LastOpenFolder());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
}

void PrepareSave(QFileDialog &dialog, const QString &suggestion)
{
    const QFileInfo info(suggestion);
    const bool hasFolder = !suggestion.isEmpty() && info.isAbsolute();
    PrepareCommon(dialog, hasFolder ? info.absolutePath() : LastOpenFolder());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(Utf8(kBmpSuffix));
    QObject::connect(
        &dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString &filter) {
            dialog.setDefaultSuffix(filter == Utf8(kBmpFilter) ? Utf8(kBmpSuffix) : QString());
        });
    QString name = info.fileName();
    if (!name.isEmpty() && info.suffix().isEmpty())
        name += QLatin1Char('.') + Utf8(kBmpSuffix);
    dialog.selectFile(name);
}

QString LastOpenFolder()
{
    const QString folder = QSettings(CRecentFileList::kOrganization, CRecentFileList::kApplication)
                               .value(Utf8(kOpenFolderKey))
                               .toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::currentPath();
}

void RememberOpenFolder(const QString &openedFile)
{
    QSettings(CRecentFileList::kOrganization, CRecentFileList::kApplication)
        .setValue(Utf8(kOpenFolderKey), QFileInfo(openedFile).absolutePath());
}

} // namespace FileDialogSetup
