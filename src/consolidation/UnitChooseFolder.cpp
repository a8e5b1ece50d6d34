#include "consolidation/UnitChooseFolder.h"

#include "shell/FixedDialog.h"

#include "ui_UnitChooseFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>

TFormChooseFolder *FormChooseFolder = nullptr;

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

TFormChooseFolder::~TFormChooseFolder() = default;

QFileSystemModel *TFormChooseFolder::model() {
    // Made on first use: the tree reads the file system in a thread of its
    // own, which a run that never chooses a folder does not need.
    if (!m_model) {
        m_model = new QFileSystemModel(this);
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
