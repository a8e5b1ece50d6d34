// "Проверка" of the consolidation window walked on the demo installation:
// the program's windows built as the main routine builds them, "Сводные
// отчеты" opened from the main window, every report of set 1 checked from
// the report list and one consolidation checked as it is shown. Each run
// through the window must show what the same check run directly shows.

#include "checks/CheckUnit.h"
#include "checks/MesssageMCheckUnit.h"
#include "consolidation/HowCollectUnit.h"
#include "consolidation/SvodEngine.h"
#include "consolidation/SvodListUnit.h"
#include "consolidation/SvodUnit.h"
#include "demo/DemoReports.h"
#include "shell/DataSetModel.h"
#include "shell/MultilineGrid_Old.h"
#include "shell/YearUnit.h"
#include "app/MainUnit.h"
#include "app/ProgramWindows.h"
#include "support/DemoProgram.h"
#include "support/MessageRecorder.h"
#include "support/TableBuilder.h"

#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

namespace {

class CheckRoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(program.dir.isValid());
        recorder->onDialog = [this](QDialog &d) { return answer(d); };
    }

    // The windows go before the fixture's own members.
    void TearDown() override { program.end(); }

    // The user: the date, the period 2015 / 2016, set 1, "Все вместе ", and
    // "Продолжить" at every mismatch between reports.
    int answer(QDialog &d) {
        if (testsupport::DemoProgram::answerDate(d))
            return int(QDialog::Accepted);
        if (auto *year = qobject_cast<TYearForm *>(&d)) {
            year->FillYears();
            year->findChild<QComboBox *>(QStringLiteral("CB_Year"))
                ->setCurrentText(QStringLiteral("2015 / 2016"));
            year->findChild<QPushButton *>(QStringLiteral("ButtonOK"))->click();
            return year->result();
        }
        if (auto *sets = qobject_cast<TSvodListForm *>(&d)) {
            sets->CB_SvodList->setCurrentIndex(0);
            sets->ButtonOK->click();
            return sets->result();
        }
        if (auto *how = qobject_cast<THowCollectForm *>(&d)) {
            how->ButtonOK->click();
            return how->result();
        }
        if (auto *stop = qobject_cast<TMessageMCheckForm *>(&d)) {
            relations.append(stop->Message());
            QTest::mouseClick(stop->ButtonOK, Qt::LeftButton);
            return stop->result();
        }
        ADD_FAILURE() << "unexpected dialog " << d.metaObject()->className();
        return int(QDialog::Rejected);
    }

    void open() {
        program.start(QSize()); // the main window at its own size
        QPushButton *button = program.mainButton(QStringLiteral("Сводные отчеты"));
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
        svod = qobject_cast<TSvodForm *>(mainForm->workWindow(TMainForm::WorkWindow::TotalReports));
        ASSERT_NE(svod, nullptr);
        ASSERT_TRUE(svod->isVisible());
        ASSERT_EQ(svod->View, 1);
    }

    // The messages and relation dialogs of what `run` does, from a clean
    // recorder.
    template <class F> QPair<QStringList, QStringList> shownBy(F run) {
        recorder->messages.clear();
        relations.clear();
        run();
        return {recorder->texts(), relations};
    }

    testsupport::DemoProgram program;
    const QString &programDir = program.programDir;
    std::unique_ptr<MessageRecorder> &recorder = program.recorder;
    std::unique_ptr<TMainForm> &mainForm = program.mainForm;
    QPointer<TSvodForm> svod;
    QStringList relations;
};

TEST_F(CheckRoadTest, CheckingASetAndAConsolidationFromTheWindow) {
    open();
    ASSERT_FALSE(HasFailure());
    svod::SaveAllParams all;
    all.ProgramDir = programDir;
    all.Year = 2016;
    all.ProgramKind = 1;
    ASSERT_TRUE(svod::SaveAllSvods(all).Ok);

    // --- every report of set 1, from the list.
    const auto throughWindow =
        shownBy([&] { QTest::mouseClick(svod->ButtonCheck, Qt::LeftButton); });
    const auto direct = shownBy([&] {
        testsupport::OpenTable catalogue(programDir + QStringLiteral("WED"),
                                         QStringLiteral("OTHE2016"));
        CheckReports(catalogue.ds, 2, 0, 0, 16, 1);
    });
    EXPECT_EQ(throughWindow, direct);
    ASSERT_FALSE(direct.first.isEmpty());
    EXPECT_FALSE(direct.second.isEmpty());
    EXPECT_EQ(direct.first.last(),
              QStringLiteral("Проверка завершена.\r\rОбнаружено ошибок: ") +
                  QString::number(direct.first.size() - 1 + direct.second.size()));
    EXPECT_EQ(recorder->messages.last().title, QStringLiteral("Результаты проверки"));

    // --- F47 summed over set 1 and checked as it is shown: the total row
    // carries the planted mistake of organisation 12 in N1 and N2.
    const demo::ReportSpec *f47 = demo::FindReport(QStringLiteral("F47"));
    const int row = demo::ReportCode(QStringLiteral("F47")) - 1;
    DataSetModel *model = svod->GridModel();
    const QModelIndex idx = model->index(row, model->columnOfField(QStringLiteral("NAME")));
    svod->DBGrid1->scrollTo(idx);
    QTest::mouseDClick(svod->DBGrid1->viewport(), Qt::LeftButton, {},
                       svod->DBGrid1->visualRect(idx).center());
    ASSERT_EQ(svod->View, 2);
    ASSERT_EQ(svod->CB_Reps->currentText(), f47->name);
    const auto shown = shownBy([&] { QTest::mouseClick(svod->ButtonCheck, Qt::LeftButton); });
    const auto ofFile = shownBy([&] {
        testsupport::OpenTable table(CheckDataFolder(0, 16, 1), QStringLiteral("F472016"));
        CheckReports(table.ds, 1, demo::ReportCode(QStringLiteral("F47")), 0, 16, 1);
    });
    EXPECT_EQ(shown, ofFile);
    ASSERT_EQ(shown.first.size(), 3);
    EXPECT_TRUE(shown.first[0].contains(QStringLiteral("строка  05, колонка  3\r")));
    EXPECT_TRUE(shown.first[1].contains(QStringLiteral("строка  05, колонка  4\r")));
    EXPECT_EQ(shown.first[2], QStringLiteral("Проверка завершена.\r\rОбнаружено ошибок: 2"));
    EXPECT_TRUE(shown.second.isEmpty());
    EXPECT_EQ(svod->DS2.RecNo(), 1);
}

} // namespace
