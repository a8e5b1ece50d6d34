#include "consolidation/UnitChooseFolder.h"

#include "shell/FixedDialog.h"

#include "ui_UnitChooseFolder.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QStyle>

TFormChooseFolder *FormChooseFolder = nullptr;

namespace {

// Icons and type names from what the listing already knows of an entry
// (a folder or not), never from the file itself. The model asks its icon
// provider about every entry of a folder it lists, files included, on the
// user-interface thread; the standard provider tells a file's type by its
// content, and reading a file can take for ever (the kernel's message file
// in /proc) or a long while (a network share that no longer answers), which
// would freeze the whole program.
class FolderIconProvider : public QAbstractFileIconProvider {
public:
    FolderIconProvider()
        : m_folder(QApplication::style()->standardIcon(QStyle::SP_DirIcon)),
          m_file(QApplication::style()->standardIcon(QStyle::SP_FileIcon)) {}

    QIcon icon(IconType type) const override { return type == File ? m_file : m_folder; }
    QIcon icon(const QFileInfo &info) const override { return info.isDir() ? m_folder : m_file; }
    QString type(const QFileInfo &info) const override {
        return info.isDir() ? QStringLiteral("Folder") : QStringLiteral("File");
    }

private:
    QIcon m_folder;
    QIcon m_file;
};

} // namespace

TFormChooseFolder::TFormChooseFolder(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::TFormChooseFolder>()) {
    ui->setupUi(this);
    SetFixedDialogBorder(*this, size());
    ShellTreeView1 = ui->ShellTreeView1;
    ButtonOk = ui->ButtonOk;
    ButtonCancel = ui->ButtonCancel;

    connect(ButtonOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TFormChooseFolder::~TFormChooseFolder() {
    // The model goes before its icon provider, which it asks until it is gone.
    delete m_model;
}

QFileSystemModel *TFormChooseFolder::model() {
    // Made on first use: the tree reads the file system in a thread of its
    // own, which a run that never chooses a folder does not need. It lists
    // folders only and opens no file: a file's icon and type are told
    // without reading it.
    if (!m_model) {
        m_iconProvider = std::make_unique<FolderIconProvider>();
        m_model = new QFileSystemModel(this);
        m_model->setIconProvider(m_iconProvider.get());
        m_model->setOption(QFileSystemModel::DontWatchForChanges);
        m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
        m_model->setRootPath(QDir::rootPath());
        ShellTreeView1->setModel(m_model);
        for (int c = 1; c < m_model->columnCount(); ++c)
            ShellTreeView1->hideColumn(c);
    }
    return m_model;
}

void TFormChooseFolder::showEvent(QShowEvent *event) {
    model();
    QDialog::showEvent(event);
}

void TFormChooseFolder::setSelectedPath(const QString &path) {
    QString folder = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!QFileInfo(folder).isDir() && folder != QDir::rootPath()) {
        const QString up = QFileInfo(folder).absolutePath();
        if (up == folder)
            break;
        folder = up;
    }
    const QModelIndex index = model()->index(folder);
    if (!index.isValid())
        return;
    ShellTreeView1->setCurrentIndex(index);
    ShellTreeView1->scrollTo(index);
}

QString TFormChooseFolder::selectedPath() const {
    const QModelIndex index = ShellTreeView1->currentIndex();
    return index.isValid() && m_model ? m_model->filePath(index) : QString();
}
