// The consolidation window walked on the demo installation as a user walks
// it: the program's windows built as the main routine builds them, "Сводные
// отчеты" opened from the main window, the period chosen, and one report of
// each kind of build consolidated through the set, mode and column dialogs.
// Each result is checked in the grid (titles, fixed columns, status texts,
// counts) against figures read in the test from the organisations' own
// files, and printing and checking are checked to act on the consolidation
// shown.

#include "consolidation/ChoseClnmUnit.h"
#include "consolidation/HowCollectUnit.h"
#include "consolidation/ProgressSvodUnit.h"
#include "consolidation/SvodGridLayout.h"
#include "consolidation/SvodListUnit.h"
#include "consolidation/SvodUnit.h"
#include "demo/DemoData.h"
#include "demo/DemoReports.h"
#include "shell/AppState.h"
#include "shell/DataSetModel.h"
#include "shell/FixedColumn.h"
#include "shell/MultilineGrid_Old.h"
#include "shell/YearUnit.h"
#include "app/MainUnit.h"
#include "support/DemoProgram.h"
#include "support/MessageRecorder.h"
#include "support/TableBuilder.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace {

const int kYear = 2016; // the period 2015 / 2016, where most organisations have data

struct PrintCall {
    store::TADODataSet *ds;
    int kind;
    int yearOrCount;
    QString title;
};
struct CheckCall {
    store::TADODataSet *ds;
    int mode, report, org, year, set;
};

class SvodRoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(program.dir.isValid());
        recorder->onDialog = [this](QDialog &d) { return answer(d); };
    }

    // The windows go before the fixture's own members.
    void TearDown() override { program.end(); }

    // The user's answers: the school year, the set (0 cancels), whether
    // "OK" confirms the mode, and the column (0 closes the dialog unchosen).
    QString schoolYear = QStringLiteral("2015 / 2016");
    int setChoice = 1;
    bool modeOk = true;
    int columnChoice = 1;
    // What the mode dialog offered when it was last shown.
    bool rb1Enabled = false, rb2Enabled = false, rb1Checked = false;

    int answer(QDialog &d) {
        if (testsupport::DemoProgram::answerDate(d))
            return int(QDialog::Accepted);
        if (auto *year = qobject_cast<TYearForm *>(&d)) {
            year->FillYears();
            year->findChild<QComboBox *>(QStringLiteral("CB_Year"))->setCurrentText(schoolYear);
            year->findChild<QPushButton *>(QStringLiteral("ButtonOK"))->click();
            return year->result();
        }
        if (auto *sets = qobject_cast<TSvodListForm *>(&d)) {
            if (setChoice == 0) {
                sets->ButtonCancel->click();
            } else {
                sets->CB_SvodList->setCurrentIndex(setChoice - 1);
                sets->ButtonOK->click();
            }
            return sets->result();
        }
        if (auto *how = qobject_cast<THowCollectForm *>(&d)) {
            rb1Enabled = how->RB1->isEnabled();
            rb2Enabled = how->RB2->isEnabled();
            rb1Checked = how->RB1->isChecked();
            (modeOk ? how->ButtonOK : how->ButtonCancel)->click();
            return how->result();
        }
        if (auto *columns = qobject_cast<TChoseClnmForm *>(&d)) {
            if (columnChoice == 0) {
                columns->reject(); // the close box
            } else {
                columns->CB_List->setCurrentIndex(columnChoice - 1);
                columns->ButtonOK->click();
            }
            return columns->result();
        }
        ADD_FAILURE() << "unexpected dialog " << d.metaObject()->className();
        return int(QDialog::Rejected);
    }

    // Builds the program's windows, answers the date and opens "Сводные
    // отчеты" from the main window's button.
    void open() {
        program.start(QSize(1200, 800));
        QPushButton *button = program.mainButton(QStringLiteral("Сводные отчеты"));
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
        svod = qobject_cast<TSvodForm *>(mainForm->workWindow(TMainForm::WorkWindow::TotalReports));
        ASSERT_NE(svod, nullptr);
        ASSERT_EQ(SvodForm, svod.data());
        ASSERT_TRUE(svod->isVisible());
        svod->printReport = [this](store::TADODataSet &ds, int kind, int y, const QString &t) {
            prints.append({&ds, kind, y, t});
        };
        svod->checkReports = [this](store::TADODataSet &ds, int mode, int report, int org, int y,
                                    int set) {
            checks.append({&ds, mode, report, org, y, set});
        };
    }

    DataSetModel *model() { return svod->GridModel(); }
    QString title(int column) { return model()->headerData(column, Qt::Horizontal).toString(); }
    QString cell(int row, const QString &field) {
        return model()
            ->data(model()->index(row, model()->columnOfField(field)))
            .toString()
            .trimmed();
    }
    bool shown(const QString &field) {
        const int c = model()->columnOfField(field);
        return c >= 0 && !svod->DBGrid1->isColumnHidden(c);
    }

    // Double-clicks the report's row of the list.
    void doubleClickReport(const QString &base) {
        const int row = demo::ReportCode(base) - 1;
        const QModelIndex idx = model()->index(row, model()->columnOfField(QStringLiteral("NAME")));
        svod->DBGrid1->scrollTo(idx);
        QTest::mouseDClick(svod->DBGrid1->viewport(), Qt::LeftButton, {},
                           svod->DBGrid1->visualRect(idx).center());
    }
    // Types the text key by key into the combo box's editor.
    void typeIntoCombo(const QString &text) {
        for (const QChar ch : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
            QCoreApplication::sendEvent(svod->CB_Reps->lineEdit(), &press);
            QCoreApplication::sendEvent(svod->CB_Reps->lineEdit(), &release);
        }
        EXPECT_TRUE(svod->CB_Reps->currentText().endsWith(text));
    }
    // Chooses the report in the combo box at the left.
    void chooseInCombo(const QString &base) {
        const int i = demo::ReportCode(base) - 1;
        svod->CB_Reps->setCurrentIndex(i);
        emit svod->CB_Reps->activated(i);
    }

    // The names of the organisations of SCHOOL that a set selects (the
    // demo's book; the record without a name is in no consolidation).
    static QVector<const demo::Organisation *> orgsOfSet(int set) {
        QVector<const demo::Organisation *> out;
        for (const demo::Organisation &o : demo::Organisations()) {
            const bool in = set == 1 || (set == 2 && o.kodcity == 1) ||
                            (set == 3 && o.kodcity == 2) || (set == 4 && o.kodcity == 3);
            if (in)
                out.append(&o);
        }
        return out;
    }
    bool hasTable(int org, const QString &base) {
        return QFile::exists(programDir + QStringLiteral("DBF/D") + QString::number(org) +
                             QLatin1Char('/') + base + QString::number(kYear) +
                             QStringLiteral(".DBF"));
    }
    double orgCell(int org, const QString &base, int row, const QString &field) {
        return testsupport::readCell(programDir + QStringLiteral("DBF/D") + QString::number(org),
                                     base + QString::number(kYear), row, field)
            .toDouble();
    }
    QString setName(int set) { return demo::SvodSets().at(set - 1).name; }

    // The fixed row-code column beside the grid, row by row: every code
    // stands at the height of its row in the grid (its top and height in the
    // grid's coordinates), at the top of the table and scrolled to its end,
    // and the current row is the same in both.
    void expectRowsLineUp() {
        FixedColumnView *fixed = svod->FixedColumn();
        TMultiLineGrid *grid = svod->DBGrid1;
        ASSERT_TRUE(fixed->isVisible());
        const auto rowsOf = [grid](QTableView *view) {
            std::vector<std::pair<int, int>> rows;
            for (int r = 0; r < view->model()->rowCount(); ++r)
                rows.emplace_back(
                    view->viewport()->mapTo(grid, QPoint(0, view->rowViewportPosition(r))).y(),
                    view->rowHeight(r));
            return rows;
        };
        for (const bool atEnd : {false, true}) {
            SCOPED_TRACE(atEnd ? "scrolled to the end" : "at the top");
            grid->verticalScrollBar()->setValue(atEnd ? grid->verticalScrollBar()->maximum() : 0);
            EXPECT_EQ(rowsOf(fixed), rowsOf(grid));
        }
        const int last = model()->rowCount() - 1;
        grid->setCurrentIndex(model()->index(last, model()->columnOfField(QStringLiteral("NAME"))));
        EXPECT_EQ(fixed->currentIndex().row(), last);
        const QRect codeCell = fixed->visualRect(fixed->model()->index(last, fixed->column()));
        const QRect nameCell = grid->visualRect(grid->currentIndex());
        EXPECT_EQ(fixed->viewport()->mapTo(grid, codeCell.center()).y(),
                  grid->viewport()->mapTo(grid, nameCell.center()).y());
        grid->verticalScrollBar()->setValue(0);
    }

    testsupport::DemoProgram program;
    const QString &programDir = program.programDir;
    std::unique_ptr<MessageRecorder> &recorder = program.recorder;
    std::unique_ptr<TMainForm> &mainForm = program.mainForm;
    QPointer<TSvodForm> svod;
    QList<PrintCall> prints;
    QList<CheckCall> checks;
};

TEST_F(SvodRoadTest, SummedAndPerOrganisationConsolidationsAreShownPrintedAndChecked) {
    open();
    ASSERT_FALSE(HasFailure());
    // --- the list of the period chosen in the year dialog.
    EXPECT_EQ(svod->Year, kYear);
    EXPECT_EQ(svod->PanelText(0), QStringLiteral("Период: 2015 / 2016"));
    EXPECT_EQ(svod->View, 1);
    ASSERT_TRUE(svod->DBGrid1->isVisible());
    QStringList titles;
    for (int c = 0; c < model()->columnCount(); ++c)
        if (!svod->DBGrid1->isColumnHidden(c))
            titles << title(c);
    EXPECT_EQ(titles, QStringList({"Код", "Наименование", "Форма", "Файл печатного листа"}));
    EXPECT_EQ(svod->CB_Reps->count(), demo::Reports().size());
    EXPECT_EQ(svod->CB_Reps->currentIndex(), -1);
    EXPECT_FALSE(svod->ButtonBack->isEnabled());
    EXPECT_FALSE(svod->ButtonPrint->isEnabled());
    EXPECT_TRUE(svod->ButtonCheck->isEnabled());

    // --- group 47 summed over every organisation, by double click.
    const demo::ReportSpec *f47 = demo::FindReport(QStringLiteral("F47"));
    ASSERT_EQ(f47->group, 47);
    setChoice = 1;
    doubleClickReport(QStringLiteral("F47"));
    EXPECT_EQ(recorder->dialogs.mid(2), QList<QString>({"TSvodListForm", "THowCollectForm"}));
    EXPECT_TRUE(rb1Enabled && rb1Checked && !rb2Enabled); // only "Все вместе "
    ASSERT_EQ(svod->View, 2);
    EXPECT_EQ(svod->CB_Reps->currentText(), f47->name);
    int with = 0, without = 0;
    QStringList missing;
    for (const demo::Organisation *o : orgsOfSet(1)) {
        if (hasTable(o->kod, QStringLiteral("F47")))
            ++with;
        else
            ++without, missing << o->name;
    }
    EXPECT_EQ(svod->PanelText(1), setName(1) + QStringLiteral(" ( ") + QString::number(with) +
                                      QStringLiteral(" из ") + QString::number(with + without) +
                                      QStringLiteral(" организаций )"));
    EXPECT_EQ(svod->PanelText(2), f47->name);
    EXPECT_EQ(svod->GroupBox2->title(), svod->PanelText(1) + QStringLiteral(": ") + f47->name);
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_EQ(recorder->messages[0].title, QStringLiteral("Сообщение"));
    EXPECT_TRUE(recorder->messages[0].text.startsWith(QStringLiteral("Нет следующих отчетов: ")));
    for (const QString &name : missing)
        EXPECT_TRUE(recorder->messages[0].text.contains(name)) << name.toStdString();
    // Two fixed columns: the indicator and the row code; then the name.
    EXPECT_EQ(svod->FixedCols(), 2);
    EXPECT_TRUE(svod->FixedColumn()->isVisible());
    expectRowsLineUp();
    EXPECT_EQ(model()->fieldOfColumn(0), QStringLiteral("KODSTR"));
    EXPECT_EQ(title(0), QStringLiteral("N N строки"));
    EXPECT_EQ(model()->fieldOfColumn(1), QStringLiteral("NAME"));
    EXPECT_EQ(title(1), QStringLiteral("Наименование показателя"));
    EXPECT_FALSE(shown(QStringLiteral("KODN")));
    EXPECT_FALSE(shown(QStringLiteral("KODPOKAZ")));
    // Captions of two lines keep a blank between their lines in the titles.
    const int n2 = model()->columnOfField(QStringLiteral("N2"));
    EXPECT_EQ(title(n2), QString(f47->columns[1].caption).replace(QLatin1Char(';'), u' '));
    // Every row and column is the sum of the organisations' cells.
    for (int row = 1; row <= f47->rows.size(); ++row) {
        for (int k = 1; k <= f47->columns.size(); ++k) {
            const QString field = QStringLiteral("N") + QString::number(k);
            double sum = 0;
            for (const demo::Organisation *o : orgsOfSet(1))
                if (hasTable(o->kod, QStringLiteral("F47")))
                    sum += orgCell(o->kod, QStringLiteral("F47"), row, field);
            EXPECT_DOUBLE_EQ(cell(row - 1, field).toDouble(), sum) << row << " " << k;
        }
    }
    EXPECT_FALSE(ProgressSvodForm->isVisible());
    EXPECT_GT(ProgressSvodForm->ProgressBar1->maximum(), 1);
    EXPECT_TRUE(svod->ButtonCheck->isEnabled());
    EXPECT_TRUE(svod->ButtonBack->isEnabled());

    // --- printed and checked as what it is.
    QTest::mouseClick(svod->ButtonPrint, Qt::LeftButton);
    ASSERT_EQ(prints.size(), 1);
    EXPECT_EQ(prints[0].ds, &svod->DS2);
    EXPECT_EQ(prints[0].kind, demo::ReportCode(QStringLiteral("F47")));
    EXPECT_EQ(prints[0].yearOrCount, 16);
    EXPECT_EQ(prints[0].title,
              demo::OwnRequisites().bank + QStringLiteral(" (") + setName(1) + QStringLiteral(")"));
    QTest::mouseClick(svod->ButtonPrintTitle, Qt::LeftButton);
    ASSERT_EQ(prints.size(), 3);
    EXPECT_EQ(prints[1].ds, &svod->DS1);
    EXPECT_EQ(prints[1].kind, 0);
    EXPECT_EQ(prints[2].kind, -1);
    EXPECT_EQ(prints[2].title, demo::OwnRequisites().bank);
    QTest::mouseClick(svod->ButtonCheck, Qt::LeftButton);
    ASSERT_EQ(checks.size(), 1);
    EXPECT_EQ(checks[0].ds, &svod->DS2);
    EXPECT_EQ(checks[0].mode, 1);
    EXPECT_EQ(checks[0].report, demo::ReportCode(QStringLiteral("F47")));
    EXPECT_EQ(checks[0].year, 16);
    EXPECT_EQ(checks[0].set, 1);

    // --- straight from the shown table: group 4 one row per organisation of
    // the districts (set 2), chosen in the combo box.
    const demo::ReportSpec *f3a = demo::FindReport(QStringLiteral("F3A"));
    setChoice = 2;
    recorder->messages.clear();
    chooseInCombo(QStringLiteral("F3A"));
    EXPECT_FALSE(rb1Enabled || !rb2Enabled || rb1Checked); // only "Каждую организацию отдельно"
    ASSERT_EQ(svod->View, 2);
    QVector<const demo::Organisation *> taken;
    int set2 = 0;
    for (const demo::Organisation *o : orgsOfSet(2)) {
        ++set2;
        if (hasTable(o->kod, QStringLiteral("F3A")))
            taken.append(o);
    }
    ASSERT_GE(taken.size(), 2);
    EXPECT_TRUE(svod->PanelText(1).startsWith(setName(2) + QStringLiteral(" ( ") +
                                              QString::number(taken.size()) +
                                              QStringLiteral(" из ") + QString::number(set2)));
    EXPECT_TRUE(svod->TargetFile.endsWith(QStringLiteral("S20162/FTEMP.DBF"), Qt::CaseInsensitive));
    // The first organisation in place of the blank's first row, the others
    // after the blank's rows, then the total row.
    const int rows = model()->rowCount();
    EXPECT_EQ(rows, f3a->rows.size() + taken.size());
    EXPECT_EQ(cell(0, QStringLiteral("KODSTR")), QStringLiteral("1"));
    EXPECT_EQ(cell(0, QStringLiteral("NAME")), taken[0]->name);
    EXPECT_EQ(cell(rows - 2, QStringLiteral("NAME")), taken.last()->name);
    EXPECT_EQ(cell(rows - 1, QStringLiteral("NAME")), QStringLiteral("И Т О Г О"));
    EXPECT_EQ(cell(rows - 1, QStringLiteral("KODSTR")), QString::number(set2 + 1));
    expectRowsLineUp();
    EXPECT_DOUBLE_EQ(cell(0, QStringLiteral("N2")).toDouble(),
                     orgCell(taken[0]->kod, QStringLiteral("F3A"), 1, QStringLiteral("N2")));

    // --- another report's dialogs cancelled: the combo box goes back to the
    // report shown, and printing and checking still act on it.
    setChoice = 3;
    modeOk = false;
    chooseInCombo(QStringLiteral("F47"));
    EXPECT_EQ(svod->CB_Reps->currentText(), f3a->name);
    EXPECT_EQ(svod->DS1.RecNo(), demo::ReportCode(QStringLiteral("F3A")));
    EXPECT_TRUE(svod->PanelText(1).startsWith(setName(2) + QStringLiteral(" ( ")));
    QTest::mouseClick(svod->ButtonPrint, Qt::LeftButton);
    EXPECT_EQ(prints.last().kind, demo::ReportCode(QStringLiteral("F3A")));
    EXPECT_EQ(prints.last().title,
              demo::OwnRequisites().bank + QStringLiteral(" (") + setName(2) + QStringLiteral(")"));
    QTest::mouseClick(svod->ButtonCheck, Qt::LeftButton);
    EXPECT_EQ(checks.last().report, demo::ReportCode(QStringLiteral("F3A")));
    EXPECT_EQ(checks.last().set, 2);
    // A cancelled set dialog changes nothing either.
    modeOk = true;
    setChoice = 0;
    chooseInCombo(QStringLiteral("F47"));
    EXPECT_EQ(svod->CB_Reps->currentText(), f3a->name);

    // --- "Назад": the list on the report last built; there "Проверка"
    // checks a whole set's folder.
    QTest::mouseClick(svod->ButtonBack, Qt::LeftButton);
    EXPECT_EQ(svod->View, 1);
    EXPECT_EQ(svod->DS1.RecNo(), demo::ReportCode(QStringLiteral("F3A")));
    EXPECT_EQ(svod->CB_Reps->currentText(), QString());
    EXPECT_EQ(svod->PanelText(1), QString());
    setChoice = 2;
    QTest::mouseClick(svod->ButtonCheck, Qt::LeftButton);
    EXPECT_EQ(checks.last().ds, &svod->DS1);
    EXPECT_EQ(checks.last().mode, 2);
    EXPECT_EQ(checks.last().report, 1); // the combo box names no report
    EXPECT_EQ(checks.last().set, 2);
    EXPECT_EQ(svod->PanelText(1), QString());

    // --- "Закрыть".
    QTest::mouseClick(svod->ToolButton1, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(svod.isNull());
    EXPECT_EQ(SvodForm, nullptr);
}

TEST_F(SvodRoadTest, ByColumnConsolidationPutsEachOrganisationBesideTheTotal) {
    open();
    ASSERT_FALSE(HasFailure());
    const demo::ReportSpec *f7a = demo::FindReport(QStringLiteral("F7A"));
    ASSERT_EQ(f7a->group, 10);
    setChoice = 3; // the cities
    columnChoice = 2;
    doubleClickReport(QStringLiteral("F7A"));
    EXPECT_EQ(recorder->dialogs.mid(2),
              QList<QString>({"TSvodListForm", "THowCollectForm", "TChoseClnmForm"}));
    ASSERT_EQ(svod->View, 2);
    const QString caption = QString(f7a->columns[1].caption).replace(QLatin1Char(';'), u' ');
    EXPECT_EQ(ChoseClnmForm->ColumnCaption, caption);
    EXPECT_EQ(svod->PanelText(2), f7a->name + QStringLiteral(" (") + caption + QStringLiteral(")"));
    const QVector<const demo::Organisation *> orgs = orgsOfSet(3);
    int with = 0;
    double total = 0;
    for (const demo::Organisation *o : orgs)
        if (hasTable(o->kod, QStringLiteral("F7A"))) {
            ++with;
            total += orgCell(o->kod, QStringLiteral("F7A"), 1, QStringLiteral("N2"));
        }
    ASSERT_GE(with, 1);
    EXPECT_EQ(svod->PanelText(1), setName(3) + QStringLiteral(" ( ") + QString::number(with) +
                                      QStringLiteral(" из ") + QString::number(orgs.size()) +
                                      QStringLiteral(" организаций )"));
    EXPECT_EQ(svod->OrgCount(), orgs.size());
    EXPECT_EQ(model()->fieldOfColumn(0), QStringLiteral("KODSTR"));
    EXPECT_EQ(model()->fieldOfColumn(1), QStringLiteral("NAME"));
    EXPECT_EQ(svod->FixedCols(), 2);
    const int totalColumn = model()->columnOfField(QStringLiteral("TOTAL"));
    EXPECT_EQ(title(totalColumn), TotalColumnTitle(caption));
    expectRowsLineUp();
    EXPECT_EQ(
        model()->data(model()->index(0, totalColumn), Qt::TextAlignmentRole).value<Qt::Alignment>(),
        Qt::AlignRight | Qt::AlignVCenter);
    EXPECT_TRUE(model()->data(model()->index(0, totalColumn), Qt::FontRole).value<QFont>().bold());
    for (int k = 1; k <= orgs.size(); ++k) {
        const QString field = QStringLiteral("NNN") + QString::number(k);
        EXPECT_EQ(title(model()->columnOfField(field)), orgs[k - 1]->name);
        const double expected =
            hasTable(orgs[k - 1]->kod, QStringLiteral("F7A"))
                ? orgCell(orgs[k - 1]->kod, QStringLiteral("F7A"), 1, QStringLiteral("N2"))
                : 0.0;
        EXPECT_DOUBLE_EQ(cell(0, field).toDouble(), expected) << k;
    }
    EXPECT_DOUBLE_EQ(cell(0, QStringLiteral("TOTAL")).toDouble(), total);
    EXPECT_FALSE(svod->ButtonCheck->isEnabled());
    EXPECT_TRUE(QFile::exists(programDir + QStringLiteral("WED/TEMPSVOD.DBF")));

    // The by-column print: kind 1111, the organisation count, the report's
    // title with the column; still so after a cancelled choice of another
    // report in the combo box (the combo box returns to this one).
    QTest::mouseClick(svod->ButtonPrint, Qt::LeftButton);
    ASSERT_EQ(prints.size(), 1);
    EXPECT_EQ(prints[0].ds, &svod->ResultDataSet());
    EXPECT_EQ(prints[0].kind, 1111);
    EXPECT_EQ(prints[0].yearOrCount, orgs.size());
    EXPECT_EQ(prints[0].title, svod->PanelText(2));
    modeOk = true;
    columnChoice = 0; // the column dialog closed by its close box
    chooseInCombo(QStringLiteral("F12"));
    EXPECT_EQ(svod->CB_Reps->currentText(), f7a->name);
    QTest::mouseClick(svod->ButtonPrint, Qt::LeftButton);
    EXPECT_EQ(prints.last().kind, 1111);
    EXPECT_EQ(prints.last().title,
              f7a->name + QStringLiteral(" (") + caption + QStringLiteral(")"));

    // Double click and typing in a consolidation build nothing; the Left
    // arrow in the name column does not move the cursor.
    const int before = int(recorder->dialogs.size());
    doubleClickReport(QStringLiteral("F7A"));
    typeIntoCombo(QStringLiteral("Общие"));
    EXPECT_EQ(recorder->dialogs.size(), before);
    const QModelIndex name = model()->index(0, model()->columnOfField(QStringLiteral("NAME")));
    svod->DBGrid1->setCurrentIndex(name);
    QTest::keyClick(svod->DBGrid1, Qt::Key_Left);
    EXPECT_EQ(svod->DBGrid1->currentIndex(), name);

    // Closing the window deletes the scratch table.
    QTest::mouseClick(svod->ToolButton1, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(svod.isNull());
    EXPECT_FALSE(QFile::exists(programDir + QStringLiteral("WED/TEMPSVOD.DBF")));
}

TEST_F(SvodRoadTest, AppendedRowsAndSchoolCountsShowWhatTheyGathered) {
    open();
    ASSERT_FALSE(HasFailure());
    // --- group 48: the organisations' filled rows one after another; no
    // mode is asked and the checks, which have nothing to do there, are off.
    const demo::ReportSpec *f48 = demo::FindReport(QStringLiteral("F48"));
    ASSERT_EQ(f48->group, 48);
    setChoice = 1;
    chooseInCombo(QStringLiteral("F48"));
    EXPECT_EQ(recorder->dialogs.mid(2), QList<QString>({"TSvodListForm"}));
    EXPECT_EQ(svod->View, 48);
    EXPECT_FALSE(svod->ButtonCheck->isEnabled());
    EXPECT_TRUE(svod->ButtonPrint->isEnabled());
    int gathered = 0;
    QStringList names;
    for (const demo::Organisation *o : orgsOfSet(1)) {
        if (!hasTable(o->kod, QStringLiteral("F48")))
            continue;
        testsupport::OpenTable t(programDir + QStringLiteral("DBF/D") + QString::number(o->kod),
                                 QStringLiteral("F48") + QString::number(kYear));
        for (int r = 1; r <= t.ds.RecordCount(); ++r)
            if (!t.text(r, QStringLiteral("N1")).trimmed().isEmpty())
                ++gathered, names << t.text(r, QStringLiteral("NAME"));
    }
    ASSERT_GE(gathered, 10);
    EXPECT_EQ(cell(0, QStringLiteral("KODSTR")), QStringLiteral("01"));
    EXPECT_EQ(cell(8, QStringLiteral("KODSTR")), QStringLiteral("09"));
    EXPECT_EQ(cell(9, QStringLiteral("KODSTR")), QStringLiteral("10"));
    EXPECT_EQ(cell(gathered - 1, QStringLiteral("KODSTR")), QString::number(gathered));
    EXPECT_EQ(cell(gathered - 1, QStringLiteral("NAME")), names.last());
    EXPECT_EQ(model()->fieldOfColumn(0), QStringLiteral("KODSTR"));
    EXPECT_EQ(svod->FixedCols(), 2);
    // A window too low for every row: the rows scroll, the codes with them.
    mainForm->showNormal();
    mainForm->resize(1000, 400);
    QCoreApplication::processEvents();
    ASSERT_GT(svod->DBGrid1->verticalScrollBar()->maximum(), 0);
    expectRowsLineUp();
    EXPECT_TRUE(svod->PanelText(1).startsWith(setName(1) + QStringLiteral(" ( ")));
    QTest::mouseClick(svod->ButtonCheck, Qt::LeftButton);
    EXPECT_TRUE(checks.isEmpty());

    // --- group 1 with the set of the cities chosen: the school counts are
    // built over every organisation into set 1, and say so.
    const demo::ReportSpec *f0 = demo::FindReport(QStringLiteral("F0"));
    ASSERT_EQ(f0->group, 1);
    setChoice = 3;
    recorder->messages.clear();
    chooseInCombo(QStringLiteral("F0"));
    EXPECT_TRUE(rb1Enabled && rb1Checked && !rb2Enabled);
    ASSERT_EQ(svod->View, 2);
    EXPECT_TRUE(svod->PanelText(1).startsWith(setName(1) + QStringLiteral(" ( ")))
        << svod->PanelText(1).toStdString();
    EXPECT_EQ(svod->PanelText(2), f0->name);
    EXPECT_EQ(svod->Shown().setIndex, 1);
    EXPECT_TRUE(svod->TargetFile.contains(QStringLiteral("S20161/"), Qt::CaseInsensitive));
    QStringList visible;
    for (int c = 0; c < model()->columnCount(); ++c)
        if (!svod->DBGrid1->isColumnHidden(c))
            visible << title(c);
    EXPECT_EQ(visible,
              QStringList({"N N строки", "Наименование показателя", "Кол-во", "% от кол-ва уч."}));
    expectRowsLineUp();
    // Records 3 to 8 count the schools by kind and status, read here
    // straight from SCHOOL.
    testsupport::OpenTable school(programDir, QStringLiteral("SCHOOL"));
    for (int kind = 1; kind <= 3; ++kind) {
        for (int status = 1; status <= 2; ++status) {
            int count = 0;
            for (int r = 1; r <= school.ds.RecordCount(); ++r)
                if (school.integer(r, QStringLiteral("KOD3")) == kind &&
                    school.integer(r, QStringLiteral("KOD4")) == status)
                    ++count;
            const int record = 2 * kind + status;
            EXPECT_EQ(cell(record - 1, QStringLiteral("N1")).toInt(), count) << record;
        }
    }
    EXPECT_TRUE(svod->ButtonCheck->isEnabled());
    QTest::mouseClick(svod->ButtonPrint, Qt::LeftButton);
    ASSERT_EQ(prints.size(), 1);
    EXPECT_EQ(prints[0].kind, 1);
    EXPECT_EQ(prints[0].title,
              demo::OwnRequisites().bank + QStringLiteral(" (") + setName(1) + QStringLiteral(")"));
    QTest::mouseClick(svod->ButtonCheck, Qt::LeftButton);
    ASSERT_EQ(checks.size(), 1);
    EXPECT_EQ(checks[0].set, 1);
    EXPECT_EQ(checks[0].report, 1);
}

TEST_F(SvodRoadTest, TheListRemembersTheReportAndAFailedBuildLeavesNothingOpen) {
    open();
    ASSERT_FALSE(HasFailure());
    // The fifth report, then "Назад": the list stands on the fifth record.
    const QString fifth = demo::Reports().at(4).base;
    setChoice = 1;
    doubleClickReport(fifth);
    ASSERT_EQ(svod->View, 2);
    EXPECT_EQ(svod->CurrentReport, 5);
    QTest::mouseClick(svod->ButtonBack, Qt::LeftButton);
    EXPECT_EQ(svod->DS1.RecNo(), 5);
    EXPECT_EQ(svod->DBGrid1->currentIndex().row(), 4);
    EXPECT_FALSE(svod->ButtonBack->isEnabled());
    // Typing a report's name into the combo box builds nothing.
    const int dialogs = int(recorder->dialogs.size());
    typeIntoCombo(demo::Reports().at(1).name);
    EXPECT_EQ(recorder->dialogs.size(), dialogs);
    // On the list, a cancelled mode dialog leaves the set chosen in the
    // status bar and the combo box empty again.
    setChoice = 2;
    modeOk = false;
    doubleClickReport(QStringLiteral("F47"));
    EXPECT_EQ(recorder->dialogs.size(), dialogs + 2);
    EXPECT_EQ(svod->View, 1);
    EXPECT_EQ(svod->PanelText(1), setName(2));
    EXPECT_EQ(svod->GroupBox2->title(), setName(2) + QStringLiteral(": "));
    EXPECT_EQ(svod->CB_Reps->currentText(), QString());
    modeOk = true;
    setChoice = 1;

    // A by-column build leaves its scratch table; then a build that fails
    // on an unreadable organisation table says why and returns to the list.
    columnChoice = 1;
    chooseInCombo(QStringLiteral("F12"));
    ASSERT_EQ(svod->View, 2);
    ASSERT_TRUE(QFile::exists(programDir + QStringLiteral("WED/TEMPSVOD.DBF")));
    const QString broken = programDir + QStringLiteral("DBF/D1/F3A2016.DBF");
    QFile f(broken);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("not a table");
    f.close();
    recorder->messages.clear();
    chooseInCombo(QStringLiteral("F3A"));
    ASSERT_FALSE(recorder->messages.isEmpty());
    EXPECT_EQ(recorder->messages.last().title, QStringLiteral("KVR"));
    EXPECT_EQ(recorder->messages.last().icon, msg::Icon::Critical);
    EXPECT_EQ(svod->View, 1);
    EXPECT_FALSE(ProgressSvodForm->isVisible());
    EXPECT_EQ(svod->DS1.RecNo(), demo::ReportCode(QStringLiteral("F3A")));
    EXPECT_EQ(svod->GroupBox2->title(), QString());
    // A report whose blank is missing builds nothing and says nothing.
    ASSERT_TRUE(QFile::remove(programDir + QStringLiteral("WED/F3B.DBF")));
    recorder->messages.clear();
    setChoice = 2;
    doubleClickReport(QStringLiteral("F3B"));
    EXPECT_TRUE(recorder->messages.isEmpty());
    EXPECT_EQ(svod->View, 1);
    EXPECT_EQ(svod->PanelText(1), setName(2));
    EXPECT_EQ(svod->GroupBox2->title(), setName(2) + QStringLiteral(": "));
    QTest::mouseClick(svod->ToolButton1, Qt::LeftButton);
    EXPECT_FALSE(QFile::exists(programDir + QStringLiteral("WED/TEMPSVOD.DBF")));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(svod.isNull());
}

TEST_F(SvodRoadTest, TheDroppedReportListShowsEveryNameWhole) {
    open();
    ASSERT_FALSE(HasFailure());
    QComboBox *reports = svod->CB_Reps;
    ASSERT_EQ(reports->count(), demo::Reports().size());
    // The names are far longer than the narrow panel: the dropped list is as
    // wide as the longest of them, so that reports of one section that
    // differ only in their middle can be told apart.
    const QFontMetrics metrics(reports->view()->font());
    int widest = 0;
    for (int i = 0; i < reports->count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(reports->itemText(i)));
    ASSERT_GT(widest, reports->width());
    reports->showPopup();
    QWidget *popup = reports->view()->window();
    ASSERT_TRUE(popup->isVisible());
    EXPECT_GE(reports->view()->viewport()->width(), widest);
    EXPECT_EQ(reports->view()->textElideMode(), Qt::ElideNone);
    reports->hidePopup();
}

TEST_F(SvodRoadTest, APeriodWithoutItsTablesIsSaidToBeNotOpened) {
    // The catalogue of 2015 / 2016 is gone: the message, then an empty view.
    ASSERT_TRUE(QFile::remove(programDir + QStringLiteral("WED/OTHE2016.DBF")));
    open();
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_EQ(recorder->messages[0].title, QStringLiteral("Сообщение"));
    EXPECT_EQ(recorder->messages[0].text,
              QStringLiteral("Нет БД OTHE2016.DBF\r\rНе открыт период!\r\rСделайте: \"Начало "
                             "нового периода.\""));
    EXPECT_FALSE(svod->DBGrid1->isVisible());
    EXPECT_FALSE(svod->CB_Reps->isEnabled());
    EXPECT_FALSE(svod->ButtonCheck->isEnabled());
    EXPECT_EQ(svod->PanelText(0), QStringLiteral("Период: 2015 / 2016"));
    QTest::mouseClick(svod->ToolButton1, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // The sets of 2016 / 2017 are gone: the set dialog says so and is not
    // shown; nothing is built.
    ASSERT_TRUE(QFile::remove(programDir + QStringLiteral("WED/SVOD2017.DBF")));
    schoolYear = QStringLiteral("2016 / 2017");
    recorder->messages.clear();
    recorder->dialogs.clear();
    // This time from the menu.
    QAction *item = nullptr;
    for (QAction *a : mainForm->findChildren<QAction *>())
        if (a->text() == QStringLiteral("Сводные отчеты"))
            item = a;
    ASSERT_NE(item, nullptr);
    item->trigger();
    svod = qobject_cast<TSvodForm *>(mainForm->workWindow(TMainForm::WorkWindow::TotalReports));
    ASSERT_NE(svod, nullptr);
    EXPECT_EQ(svod->PanelText(0), QStringLiteral("Период: 2016 / 2017"));
    doubleClickReport(QStringLiteral("F1"));
    EXPECT_EQ(recorder->dialogs, QList<QString>({"TYearForm"}));
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_EQ(recorder->messages[0].text,
              QStringLiteral("Нет БД SVOD2017.DBF\r\rНе открыт период!\r\rСделайте: \"Начало "
                             "нового периода.\""));
    EXPECT_EQ(svod->View, 1);
    EXPECT_EQ(svod->CB_Reps->currentIndex(), -1);
}

TEST_F(SvodRoadTest, WhileConsolidationsAreBuiltForSendingNoYearIsAsked) {
    program.build();
    appState().WorkYear = 2016;
    appState().SvodForExport = 1;
    auto *window = new TSvodForm;
    window->show();
    EXPECT_TRUE(recorder->dialogs.isEmpty());
    EXPECT_EQ(window->Year, 2016);
    EXPECT_EQ(window->PanelText(0), QStringLiteral("Период: 2015 / 2016"));
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(SvodRoadTest, TheProgramEndingWithAByColumnResultShownRemovesItsScratchTable) {
    open();
    ASSERT_FALSE(HasFailure());
    setChoice = 3;
    columnChoice = 2;
    doubleClickReport(QStringLiteral("F7A"));
    ASSERT_EQ(svod->View, 2);
    ASSERT_TRUE(QFile::exists(programDir + QStringLiteral("WED/TEMPSVOD.DBF")));
    // "Выход" of the menu: the window is freed without its own closing.
    program.end();
    EXPECT_FALSE(QFile::exists(programDir + QStringLiteral("WED/TEMPSVOD.DBF")));
}

} // namespace
