// The exchange window and its dialogs on their own: a program folder without
// the organisation book, the organisation dialog's titles for program kind
// 105, and a sending whose consolidation run fails.

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
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

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

} // namespace
