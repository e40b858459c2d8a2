#include "AppTestSupport.h"
#include "FileDialogSetup.h"
#include "QtUiServices.h"
#include "RecentFileList.h"

namespace {

QLineEdit *FileNameEdit(QWidget *dialog)
{
    return dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
}

void WriteBytes(const QString &path, qsizetype count, const QDateTime &modified)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(count, 'x'));
    ASSERT_TRUE(file.flush());
    ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

class FileDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QSettings(CRecentFileList::kOrganization, CRecentFileList::kApplication).clear();
        QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    }
    void TearDown() override { QLocale::setDefault(m_previousLocale); }

    QLocale m_previousLocale;
    QTemporaryDir m_dir;
};

} // namespace

// Open starts where the last file was opened from, in this run or an earlier one, and offers
// BMP images first; a folder that is gone gives way to the current one.
TEST_F(FileDialogTest, OpenStartsInTheFolderLastOpenedFrom)
{
    QDir(m_dir.path()).mkdir("pictures");
    const QString pictures = m_dir.filePath("pictures");
    const QString picked = pictures + "/x.bmp";
    WriteBytes(picked, 10, QDateTime::currentDateTime());
    QFileDialog dialog;
    FileDialogSetup::PrepareOpen(dialog);
    EXPECT_EQ(dialog.directory().absolutePath(), QDir::currentPath());
    EXPECT_EQ(dialog.nameFilters(), QStringList({"BMP 图像 (*.bmp)", "所有文件 (*)"}));
    EXPECT_EQ(dialog.selectedNameFilter(), "BMP 图像 (*.bmp)");
    EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
    // Chosen through the real dialog: the services remember its folder.
    QTimer::singleShot(0, [&] {
        auto *shown = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(shown, nullptr);
        FileNameEdit(shown)->setText(picked);
        static_cast<QDialog *>(shown)->accept();
    });
    EXPECT_EQ(CQtUiServices().GetOpenFileName(nullptr), picked);
    const auto startFolder = [] {
        QFileDialog again;
        FileDialogSetup::PrepareOpen(again);
        return again.directory().absolutePath();
    };
    EXPECT_EQ(startFolder(), pictures);
    QDir(pictures).removeRecursively();
    EXPECT_EQ(startFolder(), QDir::currentPath());
}

// Save as starts in the document's folder under its name; a new document's title gets the
// suffix and starts where files were opened from.
TEST_F(FileDialogTest, SaveStartsAtTheDocumentUnderItsName)
{
    const QString opened = m_dir.filePath("opened");
    QDir(m_dir.path()).mkdir("opened");
    FileDialogSetup::RememberOpenFolder(opened + "/y.bmp");
    struct Case
    {
        QString suggestion; // the document's path, or its title
        QString folder, name;
    };
    const Case cases[] = {
        {m_dir.filePath("photo.bmp"), m_dir.path(), "photo.bmp"},
        {m_dir.filePath("SCAN.BMP"), m_dir.path(), "SCAN.BMP"},
        {m_dir.filePath("notes.dib"), m_dir.path(), "notes.dib"},
        {"Tonecr2", opened, "Tonecr2.bmp"},
    };
    for (const auto &[suggestion, folder, name] : cases) {
        QFileDialog dialog;
        FileDialogSetup::PrepareSave(dialog, suggestion);
        SCOPED_TRACE(suggestion.toStdString());
        EXPECT_EQ(dialog.directory().absolutePath(), folder);
        EXPECT_EQ(FileNameEdit(&dialog)->text(), name);
        EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog.selectedNameFilter(), "BMP 图像 (*.bmp)");
    }
}

// A name typed without a suffix gets ".bmp" under the BMP filter, and stays as typed under
// "所有文件 (*)"; a typed suffix stays.
TEST_F(FileDialogTest, TypedNameWithoutSuffixGetsBmpUnderTheBmpFilter)
{
    struct Case
    {
        const char *typed;
        int filter; // 0 BMP, 1 all files
        QString saved;
    };
    const Case cases[] = {
        {"picture", 0, "picture.bmp"},
        {"picture.dib", 0, "picture.dib"},
        {"picture", 1, "picture"},
    };
    for (const auto &[typed, filter, saved] : cases) {
        QFileDialog dialog;
        FileDialogSetup::PrepareSave(dialog, m_dir.filePath("old.bmp"));
        dialog.show();
        // As the user picks it from the list of types.
        auto *types = dialog.findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        QTest::keyClick(types, filter == 0 ? Qt::Key_Home : Qt::Key_End);
        ASSERT_EQ(types->currentIndex(), filter);
        FileNameEdit(&dialog)->setText(typed);
        static_cast<QDialog &>(dialog).accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted) << typed;
        EXPECT_EQ(dialog.selectedFiles(), QStringList(m_dir.filePath(saved))) << typed;
    }
}

// Sizes, types and dates in Chinese, each column wide enough for its texts, and the four
// columns side by side without scrolling.
TEST_F(FileDialogTest, ListSpeaksChineseInColumnsShownWhole)
{
    const QDateTime march(QDate(2026, 3, 4), QTime(5, 6));
    WriteBytes(m_dir.filePath("small.bmp"), 5, march);
    WriteBytes(m_dir.filePath("larger.bmp"), 1536, march);
    QDir(m_dir.path()).mkdir("folder");
    QFileDialog dialog;
    FileDialogSetup::PrepareSave(dialog, m_dir.filePath("small.bmp"));
    dialog.selectNameFilter("所有文件 (*)");
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto *view = dialog.findChild<QTreeView *>(QStringLiteral("treeView"));
    const QAbstractItemModel *model = view->model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount(view->rootIndex()) == 3; }));
    const auto text = [&](const char *name, int column) {
        const QModelIndex first = model->index(0, 0, view->rootIndex());
        const QModelIndex row
            = model->match(first, Qt::DisplayRole, name, 1, Qt::MatchExactly).value(0);
        return row.siblingAtColumn(column).data().toString();
    };
    EXPECT_EQ(text("small.bmp", 1), "5 字节");
    EXPECT_EQ(text("larger.bmp", 1), "1.50 KiB");
    EXPECT_EQ(text("small.bmp", 3), "2026/3/4 05:06");
    EXPECT_EQ(text("folder", 1), "");
    EXPECT_EQ(text("folder", 2), "文件夹");

    QHeaderView *header = view->header();
    int total = 0;
    for (int column = 0; column < 4; ++column) {
        total += header->sectionSize(column);
        for (int r = 0; r < 3; ++r) {
            const QModelIndex index = model->index(r, column, view->rootIndex());
            QStyleOptionViewItem option;
            option.initFrom(view);
            option.widget = view;
            option.font = view->font();
            const int wanted = view->itemDelegateForIndex(index)->sizeHint(option, index).width();
            EXPECT_LE(wanted, header->sectionSize(column)) << index.data().toString().toStdString();
        }
    }
    EXPECT_LE(total, view->viewport()->width());
}
