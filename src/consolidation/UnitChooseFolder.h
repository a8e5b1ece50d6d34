#pragma once
// The dialog "Укажите каталог": a tree of the computer's folders (folders
// only, rooted at the file system's root, not refreshed by itself) with OK and
// Отмена. Folders are listed in a thread of the model's own and no file is
// opened, so a folder of files whose reading never ends (/proc) or a network
// share that no longer answers does not hold the program up; only the folders
// on the way to a path the caller selects are looked at on the caller's
// thread. Created once at start-up; the caller selects a path, shows it
// through msg::exec(*FormChooseFolder) (so tests answer it) and reads the
// selected path after OK.

#include <QDialog>
#include <QString>

#include <memory>

class QAbstractFileIconProvider;
class QFileSystemModel;
class QPushButton;
class QTreeView;

namespace Ui {
class TFormChooseFolder;
}

class TFormChooseFolder : public QDialog {
    Q_OBJECT
public:
    explicit TFormChooseFolder(QWidget *parent = nullptr);
    ~TFormChooseFolder() override;

    QTreeView *ShellTreeView1 = nullptr;
    QPushButton *ButtonOk = nullptr;
    QPushButton *ButtonCancel = nullptr;

    // Selects the folder in the tree (unfolding the way to it); a path that
    // is no existing folder selects its nearest existing parent folder.
    void setSelectedPath(const QString &path);
    // The selected folder; empty when none is selected.
    QString selectedPath() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QFileSystemModel *model();

    std::unique_ptr<Ui::TFormChooseFolder> ui;
    // Outlives the model (see the destructor).
    std::unique_ptr<QAbstractFileIconProvider> m_iconProvider;
    QFileSystemModel *m_model = nullptr;
};

// The one folder dialog of the program (created at start-up).
extern TFormChooseFolder *FormChooseFolder;
