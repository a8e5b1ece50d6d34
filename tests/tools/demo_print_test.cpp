// Printing from report entry on the demo installation, with its templates
// made by the demo generator: "Печать" and "Печать титульника" pressed in
// the window, the question answered, and the pages read back from what the
// real print queue made of them.

#include "demo/DemoData.h"
#include "demo/DemoReports.h"
#include "demo/DemoTemplates.h"
#include "entry/EditReportUnit.h"
#include "printing/PrintAskUnit.h"
#include "printing/PrintEngine.h"
#include "shell/AppState.h"
#include "shell/DataSetModel.h"
#include "shell/MultilineGrid_Old.h"
#include "shell/Paths.h"
#include "support/DemoProgram.h"
#include "support/MessageRecorder.h"
#include "support/PrintQueueOutput.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

class DemoPrintTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString problem = testsupport::printQueueProblem();
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        demo::WriteDemoTemplates(program.programDir + QStringLiteral("WED/BLANK"));
        appState().WorkYear = 2017;
        appState().WorkDate = testsupport::DemoProgram::workingDate();
        recorder.onDialog = [this](QDialog &d) {
            if (auto *ask = qobject_cast<TPrintAskForm *>(&d)) {
                ++questions;
                ask->findChild<QPushButton *>(QStringLiteral("ButtonPrint"))->click();
                return ask->result();
            }
            return int(QDialog::Rejected);
        };
        entry = new TEditReportForm;
        entry->resize(1000, 700);
        entry->show();
    }
    void TearDown() override {
        if (entry) {
            entry->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        printing::EndPrintEngine();
    }

    QString currentText(const QString &field) {
        DataSetModel *model = entry->GridModel();
        const int row = entry->DBGrid1->currentIndex().row();
        return model->data(model->index(row, model->columnOfField(field))).toString().trimmed();
    }
    bool walkTo(const QString &field, const QString &value) {
        const int rows = entry->GridModel()->rowCount();
        for (int step = 0; step < 2 * rows; ++step) {
            if (currentText(field) == value)
                return true;
            QTest::keyClick(entry->DBGrid1, step < rows ? Qt::Key_Down : Qt::Key_Up);
        }
        return currentText(field) == value;
    }

    testsupport::DemoProgram program;
    MessageRecorder &recorder = *program.recorder;
    QPointer<TEditReportForm> entry;
    int questions = 0;
};

TEST_F(DemoPrintTest, EveryReportAndPageHasItsTemplate) {
    QStringList names = {QStringLiteral("BFFF.XLS"), QStringLiteral("BFFFF.XLS"),
                         QStringLiteral("BFSVOD.XLS"), QStringLiteral("BORG.XLS")};
    for (const demo::ReportSpec &report : demo::Reports())
        names << report.failText();
    for (const QString &name : names)
        EXPECT_TRUE(QFileInfo::exists(paths::GetBlankDir() + name)) << name.toStdString();
    // Each opens as a spreadsheet with its header cell.
    auto book = printing::PrintEngine().open(paths::GetBlankDir() + demo::Reports()[0].failText());
    EXPECT_TRUE(book->text(1, 1).endsWith(u';')) << book->text(1, 1).toStdString();
}

TEST_F(DemoPrintTest, ReportAndTitlePagesComeOutOfTheQueue) {
    ASSERT_EQ(entry->Level(), 2);
    const int kod = demo::OrganisationsWithData(2017).front();
    const QString name = demo::FindOrganisation(kod)->name;
    ASSERT_TRUE(walkTo(QStringLiteral("KOD"), QString::number(kod)));
    QTest::keyClick(entry->DBGrid1, Qt::Key_Return);
    ASSERT_EQ(entry->Level(), 3);
    ASSERT_TRUE(walkTo(QStringLiteral("KOD"), QString::number(demo::ReportCode("F7"))));
    QTest::keyClick(entry->DBGrid1, Qt::Key_Return);
    ASSERT_EQ(entry->Level(), 4);
    ASSERT_EQ(entry->TableName(), QStringLiteral("F72017"));
    entry->DS_TAB.First();
    const QString rowName = entry->DS_TAB.FieldByName(QStringLiteral("NAME")).AsString().trimmed();
    const QString figure = entry->DS_TAB.FieldByName(QStringLiteral("N1")).AsString().trimmed();
    entry->DS_TAB.Last();

    testsupport::PrintJobRecorder jobs;
    entry->ButtonPrint->click();
    EXPECT_EQ(questions, 1);
    EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.texts().join(u'|').toStdString();
    ASSERT_EQ(jobs.jobs.size(), 1u);
    const QString page = testsupport::printedText(jobs.jobs[0]);
    EXPECT_TRUE(page.contains(QStringLiteral("Учреждение: ") + name)) << page.toStdString();
    EXPECT_TRUE(page.contains(demo::FindReport("F7")->name));
    EXPECT_TRUE(page.contains(QStringLiteral("на 2016/2017 учебный год")));
    EXPECT_TRUE(page.contains(rowName.left(20))) << rowName.toStdString();
    EXPECT_TRUE(page.contains(figure));
    EXPECT_FALSE(page.contains(QStringLiteral("#A")));
    EXPECT_EQ(entry->DS_TAB.RecNo(), 1);

    entry->ButtonPrintTitle->click();
    EXPECT_EQ(questions, 2); // one question for both pages
    ASSERT_EQ(jobs.jobs.size(), 3u);
    const QString first = testsupport::printedText(jobs.jobs[1]);
    EXPECT_TRUE(first.contains(QStringLiteral("СВЕДЕНИЯ ОБ ОБЩЕОБРАЗОВАТЕЛЬНОМ УЧРЕЖДЕНИИ")))
        << first.toStdString();
    EXPECT_TRUE(first.contains(QStringLiteral("на начало 2016/2017 учебного года")));
    EXPECT_TRUE(first.contains(name));
    EXPECT_TRUE(first.contains(demo::OwnRequisites().rykorg));
    const QString second = testsupport::printedText(jobs.jobs[2]);
    EXPECT_TRUE(second.contains(QStringLiteral("Учебный год: 2016/2017"))) << second.toStdString();
    EXPECT_TRUE(second.contains(QStringLiteral("осенью 2017 года")));
    EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.texts().join(u'|').toStdString();
}

} // namespace
