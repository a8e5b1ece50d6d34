// The exchange window and its dialogs on their own: a program folder without
// the organisation book, the organisation dialog's titles for program kind
// 105, a sending whose consolidation run fails, and the folder dialog, which
// lists folders without opening a file.

#include "consolidation/LoadReportUnit.h"
#include "consolidation/UnitChooseFolder.h"
#include "consolidation/UnitChooseOrg.h"
#include "shell/AppState.h"
#include "shell/DataSetModel.h"
#include "shell/Paths.h"
#include "support/DataModuleConnections.h"
#include "support/MessageRecorder.h"
#include "support/TableBuilder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

namespace {

// Tells which files of a folder were opened while it lived (directories
// apart). A named pipe in the folder is kept open for writing from a thread
// of its own, so that a reader that opens the pipe is let through instead of
// waiting for ever, and is told of like any other.
class FolderOpenings {
public:
    FolderOpenings(const QString &Folder, const QString &Pipe)
        : m_pipe(QFile::encodeName(Pipe)), m_watch(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        inotify_add_watch(m_watch, QFile::encodeName(Folder).constData(), IN_OPEN | IN_ACCESS);
        m_writer = std::thread([this] {
            const int fd = ::open(m_pipe.constData(), O_WRONLY | O_CLOEXEC);
            if (fd >= 0)
                ::close(fd);
        });
    }
    ~FolderOpenings() {
        // A reader of our own lets the writer go when nobody else has.
        const int fd = ::open(m_pipe.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        m_writer.join();
        if (fd >= 0)
            ::close(fd);
        ::close(m_watch);
    }
    FolderOpenings(const FolderOpenings &) = delete;
    FolderOpenings &operator=(const FolderOpenings &) = delete;

    // The names of the files opened or read so far.
    QStringList files() const {
        QStringList names;
        alignas(inotify_event) char buffer[4096];
        ssize_t got = 0;
        while ((got = ::read(m_watch, buffer, sizeof buffer)) > 0) {
            for (char *p = buffer; p < buffer + got;) {
                const auto *e = reinterpret_cast<const inotify_event *>(p);
                const QString name = e->len ? QFile::decodeName(e->name) : QString();
                if (!(e->mask & IN_ISDIR) && !name.isEmpty() && !names.contains(name))
                    names.append(name);
                p += sizeof(inotify_event) + e->len;
            }
        }
        return names;
    }

private:
    QByteArray m_pipe;
    int m_watch;
    std::thread m_writer;
};

class LoadReportWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        program = tmp.path() + QStringLiteral("/kvr/");
        exch = tmp.path() + QStringLiteral("/out");
        ASSERT_TRUE(QDir().mkpath(program + QStringLiteral("WED")));
        ASSERT_TRUE(QDir().mkpath(exch));
        paths::setProgramDirForTests(program);
        testsupport::closeDataModuleConnections();
        appState() = AppState();
        appState().WorkYear = 2017;
    }
    void TearDown() override {
        testsupport::closeDataModuleConnections();
        paths::setProgramDirForTests(QString());
        appState() = AppState();
    }

    void writeSchool() {
        testsupport::writeTable(
            program, QStringLiteral("SCHOOL"),
            {{"KOD", 'N', 5, 0},
             {"NAME", 'C', 60, 0},
             {"KODCITY", 'N', 1, 0},
             {"INN_O", 'C', 12, 0}},
            {{{"KOD", 4}, {"NAME", QStringLiteral("Гимназия №4")}, {"KODCITY", 2}}});
    }

    QTemporaryDir tmp;
    QString program, exch;
};

TEST_F(LoadReportWindowTest, WithoutTheOrganisationBookTheWindowSaysSoAndTheDialogCloses) {
    MessageRecorder rec;
    TLoadReportForm window;
    window.show();
    EXPECT_EQ(rec.texts(),
              QStringList{QStringLiteral("В базе нет данных! (файл 'SCHOOL.DBF' не найден)")});
    EXPECT_EQ(rec.messages.value(0).title, QStringLiteral("Сообщение"));
    EXPECT_EQ(window.Year, 2017);
    EXPECT_EQ(window.PanelText(0), QStringLiteral("Период: 2016/2017"));

    // The dialog cannot open the book: it closes as Cancel, without a word.
    rec.messages.clear();
    int result = -1;
    rec.onDialog = [&result](QDialog &d) {
        d.show();
        QCoreApplication::processEvents();
        result = d.result();
        return result;
    };
    QTest::mouseClick(window.RBLoad, Qt::LeftButton, {}, QPoint(6, window.RBLoad->height() / 2));
    ASSERT_TRUE(window.ButtonChooseOrg->isEnabled());
    QTest::mouseClick(window.ButtonChooseOrg, Qt::LeftButton);
    EXPECT_EQ(result, int(QDialog::Rejected));
    EXPECT_TRUE(rec.messages.isEmpty());
    EXPECT_TRUE(window.EditOrg->text().isEmpty());
    EXPECT_EQ(window.EditOrgTag(), 0);
}

TEST_F(LoadReportWindowTest, TheOrganisationKindColumnIsTitledByTheProgramKind) {
    writeSchool();
    for (int kind : {105, 76}) {
        appState().ProgramKind = kind;
        TFormChooseOrg dialog;
        ASSERT_TRUE(dialog.OpenOrganisations());
        DataSetModel *m = dialog.GridModel();
        const int c = m->columnOfField(QStringLiteral("KODCITY"));
        ASSERT_GE(c, 0);
        EXPECT_EQ(m->columns()[c].title, kind == 105 ? QStringLiteral("1-районы   2-города   "
                                                                      "3-респ.учр 4-р-ны Тры")
                                                     : QStringLiteral("1-начальн  2-средние  "
                                                                      "3-общеобр"));
        EXPECT_EQ(m->columns()[c].titleAlignment, Qt::AlignLeft);
        EXPECT_EQ(m->columns()[0].titleAlignment, Qt::AlignHCenter);
        EXPECT_EQ(dialog.ChosenCode(), 4);
        EXPECT_EQ(dialog.DBTextOrgName->text(), QStringLiteral("Гимназия №4"));
    }
}

TEST_F(LoadReportWindowTest, AFailedConsolidationRunStopsTheSendingAndResetsTheExportSign) {
    testsupport::writeTable(program, QStringLiteral("REGIM"),
                            {{"BANK", 'C', 60, 0}, {"INNO", 'C', 12, 0}},
                            {{{"BANK", QStringLiteral("Отдел")}, {"INNO", "0201004517"}}});
    writeSchool();
    MessageRecorder rec;
    TLoadReportForm window;
    window.show();
    window.EditDir->setText(exch);
    int signDuringRun = -1;
    window.SaveAll = [&signDuringRun](const svod::SaveAllParams &p) {
        signDuringRun = appState().SvodForExport;
        EXPECT_EQ(p.Year, 2017);
        EXPECT_NE(p.Progress, nullptr);
        svod::SaveAllResult r;
        r.Ok = false;
        r.FailedReport = QStringLiteral("Сведения о кадрах");
        r.Error = QStringLiteral("Нет бланка F7.DBF.");
        return r;
    };
    QTest::mouseClick(window.ButtonGo, Qt::LeftButton);
    EXPECT_EQ(signDuringRun, 1);
    EXPECT_EQ(appState().SvodForExport, 0);
    EXPECT_EQ(rec.texts(),
              QStringList({QStringLiteral("Подготовка свода к сохранению займет некоторое "
                                          "время.\r\rПожалуйста, подождите."),
                           QStringLiteral("Не удалось подготовить сводный отчет \"Сведения о "
                                          "кадрах\"!\r\rНет бланка F7.DBF.\r\rОтчеты не "
                                          "переданы.")}));
    EXPECT_TRUE(window.isVisible()) << "the window stays open for another try";
    EXPECT_TRUE(QDir(exch).isEmpty());
}

TEST_F(LoadReportWindowTest, TheFolderDialogSelectsTheNearestExistingFolder) {
    TFormChooseFolder dialog;
    dialog.setSelectedPath(exch + QStringLiteral("/not/yet/made"));
    EXPECT_EQ(dialog.selectedPath(), exch);
    dialog.setSelectedPath(program + QStringLiteral("WED"));
    EXPECT_EQ(dialog.selectedPath(), program + QStringLiteral("WED"));
}

TEST_F(LoadReportWindowTest, TheFolderDialogListsFoldersWithoutOpeningAnyFile) {
    // A folder as the kernel's process folder is: files whose reading may
    // never end beside folders.
    const QString folder = exch + QStringLiteral("/proc");
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/1")));
    QFile data(folder + QStringLiteral("/status"));
    ASSERT_TRUE(data.open(QIODevice::WriteOnly));
    data.write("Name:\tkvr\n");
    data.close();
    const QString pipe = folder + QStringLiteral("/kmsg");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    FolderOpenings openings(folder, pipe);

    MessageRecorder rec;
    TLoadReportForm window;
    window.show();
    // The user types the folder's path and chooses it again in the dialog.
    window.EditDir->setText(QDir::toNativeSeparators(folder));
    QStringList listed;
    QString chosen;
    rec.onDialog = [&](QDialog &d) {
        auto *dialog = qobject_cast<TFormChooseFolder *>(&d);
        if (!dialog)
            return int(QDialog::Rejected);
        dialog->show();
        QTreeView *tree = dialog->ShellTreeView1;
        auto *model = qobject_cast<QFileSystemModel *>(tree->model());
        EXPECT_NE(model, nullptr);
        if (!model)
            return int(QDialog::Rejected);
        chosen = dialog->selectedPath();
        // Unfolded from the keyboard, its one folder listed.
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Right);
        const QModelIndex at = model->index(folder);
        EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount(at) > 0; }, 60000));
        for (int row = 0; row < model->rowCount(at); ++row)
            listed.append(model->index(row, 0, at).data().toString());
        QTest::mouseClick(dialog->ButtonCancel, Qt::LeftButton);
        return dialog->result();
    };
    QTest::mouseClick(window.ButtonChooseDir, Qt::LeftButton);
    EXPECT_EQ(chosen, folder);
    EXPECT_EQ(listed, QStringList{QStringLiteral("1")});
    EXPECT_EQ(openings.files(), QStringList());
    EXPECT_EQ(window.EditDir->text(), QDir::toNativeSeparators(folder)) << "Отмена keeps the path";
}

} // namespace
