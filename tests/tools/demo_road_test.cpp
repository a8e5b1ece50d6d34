// The program's main road on the demo installation, walked as a new user
// walks it: the program's windows built as the main routine builds them, the
// working date answered, report entry opened from its button, a report of an
// organisation without data made from its blank, figures typed with the
// keyboard, totals computed, the report left and opened again, and the
// program closed. Each step relies on the windows working together, which
// the tests of each window alone do not show.

#include "demo/DemoData.h"
#include "demo/DemoReports.h"
#include "entry/EditReportUnit.h"
#include "entry/MessageUnit.h"
#include "shell/DataSetModel.h"
#include "shell/MultilineGrid_Old.h"
#include "shell/Paths.h"
#include "app/MainUnit.h"
#include "support/DemoProgram.h"
#include "support/MessageRecorder.h"
#include "support/TableBuilder.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QColor kDataColour(204, 223, 255);
const QColor kDerivedColour(255, 255, 119);

class DemoRoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(program.dir.isValid());
        recorder->onDialog = [this](QDialog &d) {
            if (testsupport::DemoProgram::answerDate(d))
                return int(QDialog::Accepted);
            if (auto *blank = qobject_cast<TMessageForm *>(&d)) {
                ++blankQuestions;
                blank->ButtonOk->click();
                return blank->result();
            }
            return int(QDialog::Rejected);
        };
    }

    // The windows go before the fixture's own members.
    void TearDown() override { program.end(); }

    // Builds the program's windows as the main routine does, shows the main
    // window, answers the date and opens report entry from its button.
    void startAndOpenReportEntry() {
        program.start(QSize(1200, 800));
        EXPECT_EQ(recorder->dialogs, QList<QString>({"TDateForm"}));
        EXPECT_EQ(mainForm->WorkYear(), 2017);
        EXPECT_EQ(mainForm->ProgramKind(), 1);

        QPushButton *reports = mainButton(QStringLiteral("Отчеты (ввод и корректировка)"));
        ASSERT_NE(reports, nullptr);
        QTest::mouseClick(reports, Qt::LeftButton);
        entry =
            qobject_cast<TEditReportForm *>(mainForm->workWindow(TMainForm::WorkWindow::Reports));
        ASSERT_NE(entry, nullptr);
        ASSERT_TRUE(entry->isVisible());
        ASSERT_EQ(entry->Level(), 2);
    }

    // The visible push button of the main window with this caption.
    QPushButton *mainButton(const QString &text) {
        QPushButton *button = program.mainButton(text);
        if (!button)
            ADD_FAILURE() << "no visible button " << text.toStdString();
        return button;
    }

    DataSetModel *model() { return entry->GridModel(); }
    QVariant cell(int row, const QString &field, int role = Qt::DisplayRole) {
        return model()->data(model()->index(row, model()->columnOfField(field)), role);
    }
    QString currentText(const QString &field) {
        return cell(entry->DBGrid1->currentIndex().row(), field).toString().trimmed();
    }

    // Moves the grid's cursor with the arrow keys to the row whose `field`
    // reads `value`; false when no row does.
    bool walkTo(const QString &field, const QString &value) {
        const int rows = model()->rowCount();
        for (int step = 0; step < 2 * rows; ++step) {
            if (currentText(field) == value)
                return true;
            QTest::keyClick(entry->DBGrid1, step < rows ? Qt::Key_Down : Qt::Key_Up);
        }
        return currentText(field) == value;
    }

    QLineEdit *openEditor() {
        for (QLineEdit *e : entry->DBGrid1->viewport()->findChildren<QLineEdit *>())
            if (e->isVisible())
                return e;
        return nullptr;
    }

    // Puts the cursor on a cell of the open report (unless an editor is
    // already open there) and types the text key by key: the first key opens
    // the cell editor, the rest go into it. `last` ends the entry (Tab, Enter)
    // or, when 0, leaves the editor open.
    void typeInto(int row, const QString &field, const QString &text, int last) {
        const QModelIndex idx = model()->index(row, model()->columnOfField(field));
        ASSERT_TRUE(idx.isValid()) << field.toStdString();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!openEditor() || entry->DBGrid1->currentIndex() != idx) {
            entry->DBGrid1->setCurrentIndex(idx);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QTest::keyClick(entry->DBGrid1, text.at(0).toLatin1());
        } else {
            QTest::keyClick(openEditor(), text.at(0).toLatin1());
        }
        QLineEdit *editor = openEditor();
        ASSERT_NE(editor, nullptr) << "no cell editor on " << field.toStdString();
        QTest::keyClicks(editor, text.mid(1));
        ASSERT_EQ(editor->text(), text);
        if (last)
            QTest::keyClick(editor, Qt::Key(last));
        ASSERT_EQ(entry->DBGrid1->currentIndex().row(), row);
    }

    // The figure stored in the organisation's report table, read with a
    // dataset of its own.
    QVariant stored(const QString &table, int row, const QString &field) {
        return testsupport::readCell(paths::GetOrgDataDir(QString::number(orgCode)), table, row,
                                     field);
    }

    testsupport::DemoProgram program;
    const QString &programDir = program.programDir;
    std::unique_ptr<MessageRecorder> &recorder = program.recorder;
    std::unique_ptr<TMainForm> &mainForm = program.mainForm;
    QPointer<TEditReportForm> entry;
    int blankQuestions = 0;
    int orgCode = 0;
};

TEST_F(DemoRoadTest, NewUserEntersAReportAndFindsEveryFigureKept) {
    // --- start-up: the windows as the main routine makes them, the date.
    startAndOpenReportEntry();
    ASSERT_FALSE(HasFailure());

    // --- the year: the window opens on the latest; the user looks at the
    // year before and comes back.
    EXPECT_EQ(entry->CB_Year->currentText(), QStringLiteral("2016 / 2017"));
    QTest::keyClick(entry->CB_Year, Qt::Key_Up);
    ASSERT_EQ(entry->CB_Year->currentText(), QStringLiteral("2015 / 2016"));
    EXPECT_EQ(entry->Year(), 2016);
    QTest::keyClick(entry->CB_Year, Qt::Key_Down);
    ASSERT_EQ(entry->CB_Year->currentText(), QStringLiteral("2016 / 2017"));
    ASSERT_EQ(entry->Year(), 2017);
    ASSERT_EQ(entry->Level(), 2);
    EXPECT_EQ(entry->PanelText(0), QStringLiteral(" 2016 / 2017"));

    QSet<QString> withData;
    for (int kod : demo::OrganisationsWithData(2017))
        withData.insert(QString::number(kod));
    const QStringList listed = entry->OrgsWithData();
    EXPECT_EQ(QSet<QString>(listed.begin(), listed.end()), withData);

    // --- the first organisation of the book without data of 2017.
    const demo::Organisation *org = nullptr;
    for (const demo::Organisation &o : demo::Organisations())
        if (!withData.contains(QString::number(o.kod))) {
            org = &o;
            break;
        }
    ASSERT_NE(org, nullptr);
    orgCode = org->kod;
    const QString kod = QString::number(orgCode);
    ASSERT_TRUE(walkTo(QStringLiteral("KOD"), kod));
    const int orgRow = entry->DBGrid1->currentIndex().row();
    EXPECT_FALSE(cell(orgRow, QStringLiteral("KOD"), Qt::BackgroundRole).isValid());
    QTest::keyClick(entry->DBGrid1, Qt::Key_Return);
    ASSERT_EQ(entry->Level(), 3);
    EXPECT_EQ(entry->OrgCode(), orgCode);
    EXPECT_EQ(entry->PanelText(1), QStringLiteral(" ") + org->name);
    EXPECT_TRUE(entry->ReportsWithData().isEmpty());

    // --- F1 first, so that the section report has a figure to copy.
    ASSERT_TRUE(walkTo(QStringLiteral("KOD"), QString::number(demo::ReportCode("F1"))));
    QTest::keyClick(entry->DBGrid1, Qt::Key_Return);
    ASSERT_EQ(blankQuestions, 1);
    ASSERT_EQ(entry->Level(), 4);
    ASSERT_EQ(entry->TableName(), QStringLiteral("F12017"));
    typeInto(0, QStringLiteral("N2"), QStringLiteral("30"), Qt::Key_Tab);
    typeInto(0, QStringLiteral("N3"), QStringLiteral("120"), Qt::Key_Return);
    EXPECT_EQ(cell(0, QStringLiteral("N1")).toString().trimmed(), QStringLiteral("150"));
    EXPECT_EQ(stored(QStringLiteral("F12017"), 1, QStringLiteral("N1")).toInt(), 150);
    QTest::keyClick(entry->DBGrid1, Qt::Key_Escape);
    ASSERT_EQ(entry->Level(), 3);

    // --- the group 4 report: made from its blank, N1 of row 1 copied from
    // F1 and painted as a derived cell.
    const QString f3a = QString::number(demo::ReportCode("F3A"));
    ASSERT_EQ(demo::FindReport("F3A")->group, 4);
    ASSERT_TRUE(walkTo(QStringLiteral("KOD"), f3a));
    const int reportRow = entry->DBGrid1->currentIndex().row();
    QTest::keyClick(entry->DBGrid1, Qt::Key_Return);
    ASSERT_EQ(blankQuestions, 2);
    ASSERT_EQ(entry->Level(), 4);
    ASSERT_EQ(entry->TableName(), QStringLiteral("F3A2017"));
    EXPECT_TRUE(QFile::exists(paths::GetOrgDataDir(kod) + QStringLiteral("F3A2017.DBF")));
    EXPECT_EQ(cell(0, QStringLiteral("N1")).toString().trimmed(), QStringLiteral("120"));
    EXPECT_EQ(cell(0, QStringLiteral("N1"), Qt::BackgroundRole).value<QColor>(), kDerivedColour);
    EXPECT_FALSE(cell(1, QStringLiteral("N1"), Qt::BackgroundRole).isValid());
    EXPECT_FALSE(cell(0, QStringLiteral("N2"), Qt::BackgroundRole).isValid());

    // Row 1: three languages, one typed with a decimal comma; Enter computes
    // the total and the rate per million pupils.
    typeInto(0, QStringLiteral("N2"), QStringLiteral("12"), Qt::Key_Tab);
    // The count columns hold whole numbers: 7,6 is refused with a message
    // that names the column, and stays in its editor to be put right.
    typeInto(0, QStringLiteral("N3"), QStringLiteral("7,6"), Qt::Key_Tab);
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_TRUE(recorder->messages[0].text.contains(QStringLiteral("только целые числа")));
    EXPECT_EQ(stored(QStringLiteral("F3A2017"), 1, QStringLiteral("N3")).toDouble(), 0);
    ASSERT_NE(openEditor(), nullptr);
    EXPECT_EQ(openEditor()->text(), QStringLiteral("7,6"));
    EXPECT_EQ(entry->DBGrid1->currentIndex().column(), model()->columnOfField("N3"));
    openEditor()->selectAll();
    QTest::keyClicks(openEditor(), QStringLiteral("8"));
    QTest::keyClick(openEditor(), Qt::Key_Tab);
    recorder->messages.clear();
    typeInto(0, QStringLiteral("N4"), QStringLiteral("5"), Qt::Key_Return);
    EXPECT_EQ(cell(0, QStringLiteral("N3")).toString().trimmed(), QStringLiteral("8"));
    EXPECT_EQ(cell(0, QStringLiteral("N13")).toString().trimmed(), QStringLiteral("25"));
    EXPECT_DOUBLE_EQ(cell(0, QStringLiteral("N14")).toDouble(), 208333.33);
    EXPECT_EQ(entry->DS_TAB.State(), store::DataSetState::Browse);
    EXPECT_FALSE(entry->ButtonSave->isChecked());

    // Row 2: its pupils typed by the user (not a derived cell there).
    typeInto(1, QStringLiteral("N1"), QStringLiteral("80"), Qt::Key_Tab);
    typeInto(1, QStringLiteral("N2"), QStringLiteral("6"), Qt::Key_Return);
    EXPECT_EQ(cell(1, QStringLiteral("N13")).toString().trimmed(), QStringLiteral("6"));
    EXPECT_DOUBLE_EQ(cell(1, QStringLiteral("N14")).toDouble(), 75000.0);
    EXPECT_TRUE(recorder->messages.isEmpty()) << recorder->texts().join('|').toStdString();

    // --- back to the organisation list: the organisation now has data.
    QTest::keyClick(entry->DBGrid1, Qt::Key_Escape);
    ASSERT_EQ(entry->Level(), 3);
    EXPECT_TRUE(entry->ReportsWithData().contains(f3a));
    EXPECT_TRUE(entry->ReportsWithData().contains(QString::number(demo::ReportCode("F1"))));
    QTest::keyClick(entry->DBGrid1, Qt::Key_Escape);
    ASSERT_EQ(entry->Level(), 2);
    EXPECT_TRUE(entry->OrgsWithData().contains(kod));
    EXPECT_EQ(entry->DBGrid1->currentIndex().row(), orgRow);
    EXPECT_EQ(cell(orgRow, QStringLiteral("KOD"), Qt::BackgroundRole).value<QColor>(), kDataColour);

    // --- the same report again, from the restored positions: every figure
    // is there and no blank is offered.
    QTest::keyClick(entry->DBGrid1, Qt::Key_Return);
    ASSERT_EQ(entry->Level(), 3);
    ASSERT_EQ(currentText(QStringLiteral("KOD")), QString::number(demo::ReportCode("F1")));
    ASSERT_TRUE(walkTo(QStringLiteral("KOD"), f3a));
    EXPECT_EQ(entry->DBGrid1->currentIndex().row(), reportRow);
    QTest::keyClick(entry->DBGrid1, Qt::Key_Return);
    ASSERT_EQ(entry->Level(), 4);
    EXPECT_EQ(blankQuestions, 2);
    const QList<QPair<QString, QString>> row1 = {
        {"N1", "120"}, {"N2", "12"}, {"N3", "8"}, {"N4", "5"}, {"N13", "25"}};
    for (const auto &[field, value] : row1)
        EXPECT_EQ(cell(0, field).toString().trimmed(), value) << field.toStdString();
    EXPECT_DOUBLE_EQ(cell(0, QStringLiteral("N14")).toDouble(), 208333.33);
    EXPECT_EQ(cell(1, QStringLiteral("N1")).toString().trimmed(), QStringLiteral("80"));
    EXPECT_EQ(cell(1, QStringLiteral("N2")).toString().trimmed(), QStringLiteral("6"));
    EXPECT_EQ(cell(1, QStringLiteral("N13")).toString().trimmed(), QStringLiteral("6"));
    EXPECT_DOUBLE_EQ(cell(1, QStringLiteral("N14")).toDouble(), 75000.0);

    // --- the file itself, read with a fresh dataset.
    const QString table = QStringLiteral("F3A2017");
    EXPECT_EQ(stored(table, 1, QStringLiteral("N1")).toInt(), 120);
    EXPECT_EQ(stored(table, 1, QStringLiteral("N2")).toInt(), 12);
    EXPECT_EQ(stored(table, 1, QStringLiteral("N3")).toDouble(), 8.0);
    EXPECT_EQ(stored(table, 1, QStringLiteral("N4")).toInt(), 5);
    EXPECT_EQ(stored(table, 1, QStringLiteral("N13")).toInt(), 25);
    EXPECT_DOUBLE_EQ(stored(table, 1, QStringLiteral("N14")).toDouble(), 208333.33);
    EXPECT_EQ(stored(table, 2, QStringLiteral("N1")).toInt(), 80);
    EXPECT_EQ(stored(table, 2, QStringLiteral("N13")).toInt(), 6);
    EXPECT_DOUBLE_EQ(stored(table, 2, QStringLiteral("N14")).toDouble(), 75000.0);

    // --- one more figure still in the cell editor when the user closes the
    // window with "Закрыть" and leaves the program with "Выход из программы".
    typeInto(2, QStringLiteral("N1"), QStringLiteral("40"), 0);
    QToolButton *close = entry->ButtonExit;
    ASSERT_EQ(close->text(), QStringLiteral("Закрыть"));
    QTest::mouseClick(close, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(entry.isNull()); // the work window closed and freed itself
    QPushButton *exitButton = mainButton(QStringLiteral("Выход из программы"));
    ASSERT_NE(exitButton, nullptr);
    QTest::mouseClick(exitButton, Qt::LeftButton);
    EXPECT_FALSE(mainForm->isVisible());
    EXPECT_TRUE(recorder->messages.isEmpty()) << recorder->texts().join('|').toStdString();

    EXPECT_EQ(stored(table, 3, QStringLiteral("N1")).toInt(), 40);
    EXPECT_EQ(stored(table, 1, QStringLiteral("N13")).toInt(), 25);
    EXPECT_EQ(stored(table, 2, QStringLiteral("N2")).toInt(), 6);
    EXPECT_EQ(stored(QStringLiteral("F12017"), 1, QStringLiteral("N3")).toInt(), 120);
    EXPECT_EQ(recorder->dialogs, QList<QString>({"TDateForm", "TMessageForm", "TMessageForm"}));
}

TEST_F(DemoRoadTest, LeavingByTheMenuWithAReportOpenKeepsTheFigureBeingTyped) {
    startAndOpenReportEntry();
    ASSERT_FALSE(HasFailure());
    // The first organisation with data of 2017, and its group 4 report.
    orgCode = demo::OrganisationsWithData(2017).first();
    ASSERT_TRUE(walkTo(QStringLiteral("KOD"), QString::number(orgCode)));
    QTest::keyClick(entry->DBGrid1, Qt::Key_Return);
    ASSERT_EQ(entry->Level(), 3);
    ASSERT_TRUE(walkTo(QStringLiteral("KOD"), QString::number(demo::ReportCode("F3A"))));
    QTest::keyClick(entry->DBGrid1, Qt::Key_Return);
    ASSERT_EQ(entry->Level(), 4);
    EXPECT_EQ(blankQuestions, 0); // the demo organisation has filled it in
    const QString table = QStringLiteral("F3A2017");
    const int before = stored(table, 3, QStringLiteral("N2")).toInt();
    const int typed = before + 17;

    // "Меню" / "Выход" closes the main window directly; the open work window
    // goes with the program when the main routine returns.
    typeInto(2, QStringLiteral("N2"), QString::number(typed), 0);
    QAction *exitItem = nullptr;
    for (QAction *a : mainForm->findChildren<QAction *>())
        if (a->text() == QStringLiteral("Выход"))
            exitItem = a;
    ASSERT_NE(exitItem, nullptr);
    exitItem->trigger();
    EXPECT_FALSE(mainForm->isVisible());
    program.end();
    EXPECT_TRUE(entry.isNull());

    EXPECT_EQ(stored(table, 3, QStringLiteral("N2")).toInt(), typed);
    EXPECT_TRUE(recorder->messages.isEmpty()) << recorder->texts().join('|').toStdString();
}

} // namespace
