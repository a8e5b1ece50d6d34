// Printing from the consolidation window and the reference books on the
// demo installation, with the templates that the demo generator makes: the
// windows opened from the main window's buttons as the program builds them,
// "Печать" pressed, the question answered, and what came out of the real
// print queue (or was handed to the user's spreadsheet program) read back.

#include "books/BooksUnit.h"
#include "consolidation/ChoseClnmUnit.h"
#include "consolidation/HowCollectUnit.h"
#include "consolidation/SvodListUnit.h"
#include "consolidation/SvodUnit.h"
#include "demo/DemoData.h"
#include "demo/DemoReports.h"
#include "demo/DemoTemplates.h"
#include "printing/PrintAskUnit.h"
#include "printing/PrintEngine.h"
#include "sheet/OfficeEngine.h"
#include "shell/DataSetModel.h"
#include "shell/MultilineGrid_Old.h"
#include "shell/YearUnit.h"
#include "support/DemoProgram.h"
#include "support/PrintQueueOutput.h"

#include <QComboBox>
#include <QPointer>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

class PrintWindowsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::useRecordingViewer(); }
    static void TearDownTestSuite() { testsupport::endRecordingViewer(); }

    void SetUp() override {
        const QString problem = testsupport::printQueueProblem();
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        demo::WriteDemoTemplates(program.programDir + QStringLiteral("WED/BLANK"));
        testsupport::shownFiles().clear();
        program.recorder->onDialog = [this](QDialog &d) {
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
                sets->CB_SvodList->setCurrentIndex(setChoice - 1);
                sets->ButtonOK->click();
                return sets->result();
            }
            if (auto *how = qobject_cast<THowCollectForm *>(&d)) {
                how->ButtonOK->click();
                return how->result();
            }
            if (auto *columns = qobject_cast<TChoseClnmForm *>(&d)) {
                columns->CB_List->setCurrentIndex(1);
                columns->ButtonOK->click();
                return columns->result();
            }
            if (auto *ask = qobject_cast<TPrintAskForm *>(&d)) {
                ++questions;
                ask->findChild<QPushButton *>(QStringLiteral("ButtonPrint"))->click();
                return ask->result();
            }
            ADD_FAILURE() << "unexpected dialog " << d.metaObject()->className();
            return int(QDialog::Rejected);
        };
        program.start();
    }
    void TearDown() override { program.end(); }

    QWidget *openFromMain(const QString &caption, TMainForm::WorkWindow which) {
        QPushButton *button = program.mainButton(caption);
        EXPECT_NE(button, nullptr);
        if (!button)
            return nullptr;
        QTest::mouseClick(button, Qt::LeftButton);
        return program.mainForm->workWindow(which);
    }
    void doubleClickReport(TSvodForm *svod, const QString &base) {
        DataSetModel *model = svod->GridModel();
        const QModelIndex idx =
            model->index(demo::ReportCode(base) - 1, model->columnOfField(QStringLiteral("NAME")));
        svod->DBGrid1->scrollTo(idx);
        QTest::mouseDClick(svod->DBGrid1->viewport(), Qt::LeftButton, {},
                           svod->DBGrid1->visualRect(idx).center());
    }

    testsupport::DemoProgram program;
    int setChoice = 1;
    int questions = 0;
};

TEST_F(PrintWindowsTest, ConsolidationsComeOutOfTheQueue) {
    QPointer<TSvodForm> svod = qobject_cast<TSvodForm *>(
        openFromMain(QStringLiteral("Сводные отчеты"), TMainForm::WorkWindow::TotalReports));
    ASSERT_NE(svod, nullptr);
    const QString bank = demo::OwnRequisites().bank;
    testsupport::PrintJobRecorder jobs;

    // Summed over every organisation: the report's template, every row.
    const demo::ReportSpec *f47 = demo::FindReport(QStringLiteral("F47"));
    doubleClickReport(svod, QStringLiteral("F47"));
    ASSERT_EQ(svod->View, 2);
    const int messagesBefore = program.recorder->messages.size();
    QTest::mouseClick(svod->ButtonPrint, Qt::LeftButton);
    EXPECT_EQ(questions, 1);
    ASSERT_EQ(jobs.jobs.size(), 1u) << program.recorder->texts().join(u'|').toStdString();
    const QString summed = testsupport::printedText(jobs.jobs[0]);
    EXPECT_TRUE(summed.contains(f47->name)) << summed.toStdString();
    EXPECT_TRUE(summed.contains(QStringLiteral("на 2015/2016 учебный год")));
    for (const demo::RowSpec &row : f47->rows)
        EXPECT_TRUE(summed.contains(row.name.left(15))) << row.name.toStdString();
    EXPECT_TRUE(summed.contains(svod->DS2.FieldByName(QStringLiteral("N1")).AsString().trimmed()));
    EXPECT_EQ(program.recorder->messages.size(), messagesBefore);

    // Its title pages: one question, two pages.
    QTest::mouseClick(svod->ButtonPrintTitle, Qt::LeftButton);
    EXPECT_EQ(questions, 2);
    ASSERT_EQ(jobs.jobs.size(), 3u);
    EXPECT_TRUE(testsupport::printedText(jobs.jobs[1]).contains(bank.left(20)));
    EXPECT_TRUE(testsupport::printedText(jobs.jobs[2]).contains(QStringLiteral("2015/2016")));

    // By column over every organisation: one narrow column per organisation,
    // named, all on one sheet of A3 across.
    QTest::mouseClick(svod->ButtonBack, Qt::LeftButton); // back to the list of reports
    ASSERT_EQ(svod->View, 1);
    doubleClickReport(svod, QStringLiteral("F7A"));
    ASSERT_EQ(svod->View, 2);
    const QStringList names = svod->OrgNames;
    ASSERT_FALSE(names.isEmpty());
    QTest::mouseClick(svod->ButtonPrint, Qt::LeftButton);
    EXPECT_EQ(questions, 3);
    ASSERT_EQ(jobs.jobs.size(), 4u) << program.recorder->texts().join(u'|').toStdString();
    const testsupport::PrintedPdf sheet = testsupport::printedPdf(jobs.jobs[3]);
    EXPECT_EQ(sheet.pages, 1);
    EXPECT_EQ(sheet.pageSize, QSize(1191, 842));
    const QString &byColumn = sheet.text;
    EXPECT_TRUE(byColumn.contains(QStringLiteral("Наименование показателя")))
        << byColumn.toStdString();
    EXPECT_TRUE(byColumn.contains(demo::FindReport(QStringLiteral("F7A"))->name.left(20)));
    for (const QString &name : names)
        EXPECT_TRUE(byColumn.contains(name.left(12))) << name.toStdString();
}

TEST_F(PrintWindowsTest, ReferenceBooksShowTheOrganisationList) {
    QPointer<TBooksForm> books = qobject_cast<TBooksForm *>(
        openFromMain(QStringLiteral("Справочники"), TMainForm::WorkWindow::Books));
    ASSERT_NE(books, nullptr);
    QTest::mouseClick(books->ButtonOrgs, Qt::LeftButton);
    ASSERT_EQ(books->Mode(), 1);
    QTest::mouseClick(books->ButtonPrint, Qt::LeftButton);
    EXPECT_EQ(questions, 1);
    ASSERT_EQ(testsupport::shownFiles().size(), 1)
        << program.recorder->texts().join(u'|').toStdString();
    auto book = printing::PrintEngine().open(testsupport::shownFiles().front());
    EXPECT_TRUE(book->text(2, 1).startsWith(QStringLiteral("СПИСОК")));
    EXPECT_TRUE(book->text(3, 1).startsWith(QStringLiteral("на ")));
    // One row per record of the book, in its order, from row 5.
    store::TADODataSet &ds = books->DS1;
    const int n = ds.RecordCount();
    ASSERT_GT(n, 1);
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(book->text(5, 2), ds.FieldByName(QStringLiteral("NAME")).AsString().trimmed());
    ds.Last();
    EXPECT_EQ(book->text(5 + n - 1, 2),
              ds.FieldByName(QStringLiteral("NAME")).AsString().trimmed());
    EXPECT_TRUE(book->value(5 + n, 1).isEmpty());
    book->close();
    QFile::remove(testsupport::shownFiles().front());
}

} // namespace
