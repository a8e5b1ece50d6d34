// The report entry window driven offscreen on a small installation.

#include "entry/EditReportUnit.h"
#include "entry/MessageUnit.h"
#include "entry/RowTotals.h"
#include "entry_install.h"
#include "support/MessageRecorder.h"

#include "shell/DataSetModel.h"
#include "shell/FixedColumn.h"
#include "shell/MultilineGrid_Old.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <clocale>
#include <string>

using entrytest::Installation;

namespace {

// The open cell editor of the grid, if any.
QLineEdit *openEditor(TEditReportForm *form) {
    for (QLineEdit *e : form->DBGrid1->viewport()->findChildren<QLineEdit *>())
        if (e->isVisible())
            return e;
    return nullptr;
}

// Keys as an operator types them: each goes to the widget that has the focus.
void typeKeys(TEditReportForm *form, const QString &keys) {
    for (const QChar ch : keys) {
        QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : form->DBGrid1;
        QTest::keyClick(target, ch.toLatin1());
    }
}

class EntryWindowTest : public ::testing::Test {
protected:
    Installation inst;
    QPointer<TEditReportForm> form;

    void SetUp() override {
        form = new TEditReportForm;
        form->resize(1000, 700);
        form->show();
    }
    void TearDown() override {
        if (form) {
            form->close(); // frees itself
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    DataSetModel *model() { return form->GridModel(); }
    void selectRow(int row, const QString &field = QStringLiteral("NAME")) {
        const int c = model()->columnOfField(field);
        form->DBGrid1->setCurrentIndex(model()->index(row, c));
    }
    void enter() { QTest::keyClick(form->DBGrid1, Qt::Key_Return); }
    // From the organisation list into the reports of organisation `orgRow`
    // and open the report at `repRow` of the list.
    void openReport(int orgRow, int repRow) {
        ASSERT_EQ(form->Level(), 2);
        selectRow(orgRow);
        enter();
        ASSERT_EQ(form->Level(), 3);
        selectRow(repRow);
        enter();
    }
    // Types into a data cell through the cell editor and presses the key.
    void type(int row, const QString &field, const QString &text, int key = Qt::Key_Return) {
        const QModelIndex idx = model()->index(row, model()->columnOfField(field));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        form->DBGrid1->setCurrentIndex(idx); // closes an editor open elsewhere
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QLineEdit *editor = openEditor(form);
        if (!editor) {
            form->DBGrid1->edit(idx);
            editor = openEditor(form);
        }
        ASSERT_NE(editor, nullptr);
        editor->setText(text);
        if (key)
            QTest::keyClick(editor, Qt::Key(key));
    }
    static void answerBlank(MessageRecorder &rec, bool take) {
        rec.onDialog = [take](QDialog &d) {
            auto &m = dynamic_cast<TMessageForm &>(d);
            (take ? m.ButtonOk : m.ButtonCancel)->click();
            return d.result();
        };
    }
};

TEST_F(EntryWindowTest, OpensOnTheOrganisationsOfTheLatestPeriod) {
    EXPECT_EQ(form->Level(), 2);
    EXPECT_EQ(form->Year(), 2016);
    EXPECT_EQ(form->CB_Year->currentText(), QStringLiteral("2015 / 2016"));
    EXPECT_EQ(form->CB_Year->count(), 10);
    EXPECT_EQ(form->PanelText(0), QStringLiteral(" 2015 / 2016"));
    EXPECT_EQ(form->GroupBox2->title(), QStringLiteral(" 2015 / 2016"));
    EXPECT_EQ(form->OrgsWithData(), QStringList({"1"}));
    // Organisation 1 has data: its row is light blue, the others are not.
    const int kod = model()->columnOfField("KOD");
    EXPECT_EQ(model()->data(model()->index(0, kod), Qt::BackgroundRole).value<QColor>(),
              QColor(204, 223, 255));
    EXPECT_FALSE(model()->data(model()->index(1, kod), Qt::BackgroundRole).isValid());
    EXPECT_EQ(model()->headerData(kod, Qt::Horizontal).toString(), QStringLiteral("Код"));
    EXPECT_TRUE(form->DBGrid1->isColumnHidden(model()->columnOfField("KOD1")));
    EXPECT_FALSE(form->ButtonBack->isEnabled());
    EXPECT_FALSE(form->ButtonSave->isEnabled());
}

TEST_F(EntryWindowTest, WalkToATableAndBackRestoresListPositions) {
    MessageRecorder rec;
    answerBlank(rec, false);
    selectRow(1);
    enter();
    ASSERT_EQ(form->Level(), 3);
    EXPECT_EQ(form->OrgCode(), 2);
    EXPECT_EQ(form->PanelText(1), QStringLiteral(" Гимназия N 2"));
    EXPECT_EQ(form->GroupBox2->title(), QStringLiteral(" Гимназия N 2"));
    EXPECT_TRUE(form->ButtonBack->isEnabled());
    // The catalogue's report of code 1 is never listed.
    EXPECT_EQ(form->DS_REPS.RecordCount(), 7);
    EXPECT_EQ(form->DS_REPS.FieldByName("KOD").AsInteger(), 2);

    // Organisation 1 already has F4: open it.
    form->ButtonBackClick();
    ASSERT_EQ(form->Level(), 2);
    EXPECT_EQ(form->DS_SCHOOL.RecNo(), 2);
    selectRow(0);
    enter();
    selectRow(0);
    enter();
    ASSERT_EQ(form->Level(), 4);
    EXPECT_EQ(form->TableName(), QStringLiteral("F42016"));
    EXPECT_EQ(form->PanelText(2), QStringLiteral(" Классы"));
    EXPECT_EQ(form->GroupBox2->title(), " " + Installation::name25() + ":  " + " Классы");
    EXPECT_TRUE(form->ButtonSave->isEnabled());
    EXPECT_TRUE(form->ButtonDeleteRep->isEnabled());
    EXPECT_TRUE(form->ButtonPrint->isEnabled());
    EXPECT_EQ(form->DBGrid1->TitleHeight(), 34);
    EXPECT_TRUE(form->FrozenColumnView()->isVisible());

    QTest::keyClick(form->DBGrid1, Qt::Key_Escape);
    ASSERT_EQ(form->Level(), 3);
    EXPECT_EQ(form->DS_REPS.RecNo(), 1);
    EXPECT_EQ(form->PanelText(2), QString());
    EXPECT_FALSE(form->ButtonSave->isEnabled());
    EXPECT_FALSE(form->ButtonDeleteRep->isEnabled());
    selectRow(2);
    enter(); // the group 12 report of organisation 1 is missing: declined
    form->ButtonBackClick();
    ASSERT_EQ(form->Level(), 2);
    EXPECT_EQ(form->DS_SCHOOL.RecNo(), 1);
    // Entering again starts the report list at its top.
    enter();
    EXPECT_EQ(form->DS_REPS.RecNo(), 1);
}

TEST_F(EntryWindowTest, MissingReportDeclinedStillMakesTheFolder) {
    MessageRecorder rec;
    answerBlank(rec, false);
    openReport(1, 1); // organisation 2, report F47
    EXPECT_EQ(rec.dialogs, QList<QString>({"TMessageForm"}));
    EXPECT_EQ(form->Level(), 3);
    EXPECT_TRUE(QDir(inst.org(2)).exists());
    EXPECT_FALSE(QFile::exists(inst.org(2) + "F472016.DBF"));
    EXPECT_EQ(form->DS_REPS.RecNo(), 2);
}

TEST_F(EntryWindowTest, MissingReportTakenFromItsBlank) {
    MessageRecorder rec;
    answerBlank(rec, true);
    openReport(1, 1);
    ASSERT_EQ(form->Level(), 4);
    EXPECT_TRUE(QFile::exists(inst.org(2) + "F472016.DBF"));
    EXPECT_EQ(form->DS_TAB.RecordCount(), 3);
    EXPECT_TRUE(rec.messages.isEmpty());
    form->ButtonBackClick();
    // The new report now counts as one with data.
    EXPECT_TRUE(form->ReportsWithData().contains("3"));
}

TEST_F(EntryWindowTest, MissingBlankIsReported) {
    MessageRecorder rec;
    answerBlank(rec, true);
    openReport(0, 6); // "Без шаблона": FX.DBF is not in WED
    EXPECT_EQ(form->Level(), 3);
    ASSERT_EQ(rec.messages.size(), 1);
    EXPECT_EQ(rec.messages[0].title, QStringLiteral("Ошибка"));
    EXPECT_TRUE(rec.messages[0].text.startsWith(QStringLiteral("Отсутствует файл шаблона ")));
    EXPECT_TRUE(rec.messages[0].text.endsWith(QStringLiteral("FX.DBF")));
}

TEST_F(EntryWindowTest, ColumnLayoutOfFiveShownColumnsWithoutN2) {
    MessageRecorder rec;
    answerBlank(rec, true);
    openReport(0, 4); // KOLSTOLB 5, VKL2 = 0, eight data columns
    ASSERT_EQ(form->Level(), 4);
    DataSetModel *m = model();
    EXPECT_EQ(m->fieldOfColumn(0), QStringLiteral("KODSTR"));
    EXPECT_EQ(m->fieldOfColumn(1), QStringLiteral("NAME"));
    EXPECT_EQ(m->headerData(0, Qt::Horizontal).toString(), QStringLiteral("N N СТРОКИ"));
    EXPECT_EQ(m->headerData(1, Qt::Horizontal).toString(),
              QStringLiteral("НАИМЕНОВАНИЕ ПОКАЗАТЕЛЯ"));
    QStringList shown;
    for (int c = 2; c < m->columnCount(); ++c)
        if (!form->DBGrid1->isColumnHidden(c))
            shown << m->fieldOfColumn(c);
    EXPECT_EQ(shown, QStringList({"N1", "N3", "N4", "N5", "N6"}));
    EXPECT_EQ(m->headerData(m->columnOfField("N1"), Qt::Horizontal).toString(),
              QStringLiteral(" ПЕРВЫЙ"));
    EXPECT_TRUE(m->flags(m->index(0, m->columnOfField("N1"))) & Qt::ItemIsEditable);
    EXPECT_FALSE(m->flags(m->index(0, m->columnOfField("NAME"))) & Qt::ItemIsEditable);
    EXPECT_FALSE(m->flags(m->index(0, m->columnOfField("KODSTR"))) & Qt::ItemIsEditable);
}

TEST_F(EntryWindowTest, Group4TotalsOnEnterDuringAnEdit) {
    openReport(0, 0);
    ASSERT_EQ(form->Level(), 4);
    type(0, "N1", "3", Qt::Key_Tab); // leaving the column posts
    EXPECT_EQ(inst.cell(1, "F42016", 1, "N1").toDouble(), 3);
    EXPECT_FALSE(form->ButtonSave->isChecked());
    type(0, "N2", "2"); // Enter in the editor: the value first, then the totals
    EXPECT_EQ(inst.cell(1, "F42016", 1, "N2").toDouble(), 2);
    EXPECT_EQ(inst.cell(1, "F42016", 1, "N13").toDouble(), 2);
    EXPECT_DOUBLE_EQ(inst.cell(1, "F42016", 1, "N14").toDouble(), 666666.66);
    EXPECT_EQ(form->DS_TAB.State(), store::DataSetState::Browse);
    EXPECT_FALSE(form->ButtonSave->isChecked());
    EXPECT_EQ(form->DBGrid1->currentIndex().row(), 0);
}

TEST_F(EntryWindowTest, RatePerMillionUnderRussianLocale) {
    const QLocale oldLocale;
    const std::string oldC = std::setlocale(LC_ALL, nullptr);
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    std::setlocale(LC_ALL, "ru_RU.UTF-8");
    openReport(0, 0);
    type(1, "N1", "3", Qt::Key_Tab);
    type(1, "N3", "2");
    QLocale::setDefault(oldLocale);
    std::setlocale(LC_ALL, oldC.c_str());
    EXPECT_DOUBLE_EQ(inst.cell(1, "F42016", 2, "N14").toDouble(), 666666.66);
}

TEST_F(EntryWindowTest, TypedValuesAreCheckedBeforeTheyAreWritten) {
    openReport(0, 0);
    MessageRecorder rec;
    type(0, "N5", "1,5", Qt::Key_Tab);
    EXPECT_DOUBLE_EQ(inst.cell(1, "F42016", 1, "N5").toDouble(), 1.5);
    type(0, "N6", "двенадцать", Qt::Key_Tab);
    ASSERT_EQ(rec.messages.size(), 1);
    EXPECT_TRUE(rec.messages[0].text.contains(QStringLiteral("не является числом")));
    EXPECT_FALSE(inst.cell(1, "F42016", 1, "N6").isValid() &&
                 inst.cell(1, "F42016", 1, "N6").toDouble() != 0);
    // The refused text stays in its cell until it is dropped.
    QTest::keyClick(openEditor(form), Qt::Key_Escape);
    type(0, "N7", "12345678901234", Qt::Key_Tab);
    ASSERT_EQ(rec.messages.size(), 2);
    EXPECT_TRUE(rec.messages[1].text.contains(QStringLiteral("не помещается в поле N7")))
        << rec.messages[1].text.toStdString();
    QTest::keyClick(openEditor(form), Qt::Key_Escape);
}

TEST_F(EntryWindowTest, Group47TotalsEveryRowAndReturnsTheCursor) {
    MessageRecorder rec;
    answerBlank(rec, true);
    openReport(0, 1);
    ASSERT_EQ(form->Level(), 4);
    type(0, "N2", "1", Qt::Key_Tab);
    type(2, "N3", "4", Qt::Key_Tab);
    type(1, "N14", "7"); // Enter on row 2
    EXPECT_EQ(inst.cell(1, "F472016", 1, "N1").toDouble(), 1);
    EXPECT_EQ(inst.cell(1, "F472016", 2, "N1").toDouble(), 7);
    EXPECT_EQ(inst.cell(1, "F472016", 3, "N1").toDouble(), 4);
    EXPECT_EQ(form->DS_TAB.RecNo(), 2);
    EXPECT_EQ(form->DBGrid1->currentIndex().row(), 1);
    EXPECT_EQ(model()->data(model()->index(2, model()->columnOfField("N1"))).toDouble(), 4);
}

TEST_F(EntryWindowTest, Group51MissingFieldIsReported) {
    // The blank of group 51 has N1..N28; a table made short by hand lacks N28.
    QDir().mkpath(inst.org(1));
    entrytest::makeTable(inst.org(1) + "F512016.DBF", entrytest::reportFields(27), 2);
    MessageRecorder rec;
    openReport(0, 5);
    ASSERT_EQ(form->Level(), 4);
    ASSERT_EQ(rec.messages.size(), 1); // from the totals on opening
    EXPECT_TRUE(rec.messages[0].text.contains("N28"));
    enter();
    EXPECT_EQ(rec.messages.size(), 2);
}

TEST_F(EntryWindowTest, AgeRowsOfANewGroup12Table) {
    MessageRecorder rec;
    answerBlank(rec, true);
    openReport(0, 2);
    ASSERT_EQ(form->Level(), 4);
    EXPECT_EQ(inst.cell(1, "F122016", 1, "NAME").toString(),
              QStringLiteral("2010 г.| г |  5 лет  |  Число"));
    EXPECT_EQ(inst.cell(1, "F122016", 13, "NAME").toString(),
              QStringLiteral("1998 г.|   | 17 лет  |  2016 г."));
    EXPECT_EQ(inst.cell(1, "F122016", 15, "NAME").toString(), QString());
    // Opening the existing table again does not rewrite the captions.
    form->ButtonBackClick();
    {
        entrytest::OpenTable t(inst.org(1), "F122016");
        t.set(1, "NAME", QStringLiteral("своя"));
    }
    enter();
    ASSERT_EQ(form->Level(), 4);
    EXPECT_EQ(inst.cell(1, "F122016", 1, "NAME").toString(), QStringLiteral("своя"));
}

TEST_F(EntryWindowTest, NameCellsOfGroup46) {
    MessageRecorder rec;
    answerBlank(rec, true);
    openReport(0, 3); // organisation of 25 letters
    ASSERT_EQ(form->Level(), 4);
    const QString own = QStringLiteral("Управление образован");
    EXPECT_EQ(inst.cell(1, "F462016", 1, "NAME").toString(),
              own.left(14) + ":" + Installation::name25());
    EXPECT_EQ(inst.cell(1, "F462016", 3, "NAME").toString().size(), 40);
    form->ButtonBackClick();
    form->ButtonBackClick();
    openReport(2, 3); // organisation of 32 letters
    ASSERT_EQ(form->Level(), 4);
    EXPECT_EQ(inst.cell(3, "F462016", 2, "NAME").toString(),
              own.left(9) + ":" + Installation::name32().left(30));
}

TEST_F(EntryWindowTest, BackWithAPendingEditKeepsIt) {
    openReport(0, 0);
    ASSERT_EQ(form->Level(), 4);
    // A value committed to the record but not posted yet.
    const QModelIndex idx = model()->index(2, model()->columnOfField("N4"));
    form->DBGrid1->setCurrentIndex(idx);
    ASSERT_TRUE(model()->setData(idx, "41"));
    EXPECT_EQ(form->DS_TAB.State(), store::DataSetState::Edit);
    EXPECT_TRUE(form->ButtonSave->isChecked());
    form->ButtonBackClick();
    EXPECT_EQ(inst.cell(1, "F42016", 3, "N4").toDouble(), 41);
    // A value still in the cell editor.
    enter();
    ASSERT_EQ(form->Level(), 4);
    type(2, "N5", "42", 0);
    form->ButtonBackClick();
    EXPECT_EQ(form->Level(), 3);
    EXPECT_EQ(inst.cell(1, "F42016", 3, "N5").toDouble(), 42);
}

TEST_F(EntryWindowTest, SaveButtonPostsAndIsReleased) {
    openReport(0, 0);
    const QModelIndex idx = model()->index(0, model()->columnOfField("N3"));
    form->DBGrid1->setCurrentIndex(idx);
    ASSERT_TRUE(model()->setData(idx, "9"));
    EXPECT_TRUE(form->ButtonSave->isChecked());
    form->ButtonSave->click();
    EXPECT_FALSE(form->ButtonSave->isChecked());
    EXPECT_EQ(inst.cell(1, "F42016", 1, "N3").toDouble(), 9);
}

TEST_F(EntryWindowTest, ACellAnotherUserSavedMeanwhileIsKeptAndShown) {
    openReport(0, 0);
    MessageRecorder rec;
    const QModelIndex idx = model()->index(2, model()->columnOfField("N3"));
    form->DBGrid1->setCurrentIndex(idx);
    ASSERT_TRUE(model()->setData(idx, "5"));
    entrytest::OpenTable(inst.org(1), "F42016").set(3, "N3", 7);
    form->ButtonSave->click();
    ASSERT_EQ(rec.messages.size(), 1);
    EXPECT_EQ(rec.messages[0].title, QStringLiteral("Ошибка"));
    EXPECT_TRUE(rec.messages[0].text.contains(
        QStringLiteral("Запись изменена другим пользователем: поле N3.")));
    EXPECT_EQ(inst.cell(1, "F42016", 3, "N3").toDouble(), 7);
    EXPECT_EQ(model()->data(idx).toString(), "7");
    EXPECT_EQ(form->DS_TAB.State(), store::DataSetState::Browse);
    EXPECT_FALSE(form->ButtonSave->isChecked());
    type(2, "N3", "5", Qt::Key_Tab); // entered again, it is saved
    EXPECT_EQ(inst.cell(1, "F42016", 3, "N3").toDouble(), 5);
}

TEST_F(EntryWindowTest, YearChangeFromTheTableClosesItAndPostsTheEdit) {
    openReport(0, 0);
    const QModelIndex idx = model()->index(0, model()->columnOfField("N3"));
    form->DBGrid1->setCurrentIndex(idx);
    ASSERT_TRUE(model()->setData(idx, "5"));
    MessageRecorder rec;
    form->CB_Year->setCurrentIndex(form->CB_Year->count() - 2); // 2014 / 2015: not opened
    EXPECT_FALSE(form->DS_TAB.Active());
    EXPECT_FALSE(form->ButtonSave->isChecked());
    EXPECT_FALSE(form->ButtonSave->isEnabled());
    EXPECT_EQ(inst.cell(1, "F42016", 1, "N3").toDouble(), 5);
    ASSERT_EQ(rec.messages.size(), 1);
    EXPECT_EQ(rec.messages[0].title, QStringLiteral("Сообщение"));
    EXPECT_EQ(rec.messages[0].text,
              QStringLiteral("Нет БД FORM2015.DBF. \r\rНе открыт период. \r\rСделайте \"Начало "
                             "нового периода\"."));
    // Back on level 1 showing the year chosen, without a second message.
    EXPECT_EQ(form->Level(), 1);
    EXPECT_EQ(form->CB_Year->currentText(), QStringLiteral("2014 / 2015"));
    EXPECT_FALSE(form->DBGrid1->isVisible());
}

TEST_F(EntryWindowTest, AfterAPeriodNotOpenedEveryYearCanBeChosen) {
    MessageRecorder rec;
    QTest::keyClick(form->CB_Year, Qt::Key_Up); // 2014 / 2015: not opened
    ASSERT_EQ(rec.messages.size(), 1);
    EXPECT_EQ(form->CB_Year->currentText(), QStringLiteral("2014 / 2015"));
    EXPECT_EQ(form->PanelText(0), QStringLiteral(" 2014 / 2015"));
    // The same year chosen again from the list is tried again.
    form->CB_Year->showPopup();
    QTest::keyClick(form->CB_Year->view(), Qt::Key_Return);
    EXPECT_EQ(rec.messages.size(), 2);
    EXPECT_EQ(form->Level(), 1);
    // The latest year, the one shown before, lists its organisations.
    QTest::keyClick(form->CB_Year, Qt::Key_Down);
    EXPECT_EQ(form->Level(), 2);
    EXPECT_EQ(form->Year(), 2016);
    EXPECT_EQ(rec.messages.size(), 2);
}

TEST_F(EntryWindowTest, ClosingTheWindowPostsThePendingEdit) {
    openReport(0, 0);
    const QModelIndex idx = model()->index(1, model()->columnOfField("N8"));
    form->DBGrid1->setCurrentIndex(idx);
    ASSERT_TRUE(model()->setData(idx, "8"));
    bool closed = false;
    QObject::connect(form, &TEditReportForm::closed, [&] { closed = true; });
    form->ButtonExit->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(form.isNull());
    EXPECT_EQ(inst.cell(1, "F42016", 2, "N8").toDouble(), 8);
}

TEST_F(EntryWindowTest, DeletingAReportAndTheListPositionAfterIt) {
    openReport(0, 0);
    ASSERT_EQ(form->Level(), 4);
    MessageRecorder rec;
    rec.answers = {msg::Answer::No};
    form->ButtonDeleteRep->click();
    EXPECT_EQ(form->Level(), 4);
    EXPECT_TRUE(QFile::exists(inst.org(1) + "F42016.DBF"));
    rec.answers = {msg::Answer::Yes};
    form->ButtonDeleteRep->click();
    ASSERT_EQ(rec.messages.size(), 2);
    EXPECT_EQ(rec.messages[1].title, QStringLiteral("Подтверждение удаления"));
    EXPECT_EQ(rec.messages[1].text,
              QStringLiteral("Вы действительно хотите удалить данный отчет?"));
    EXPECT_FALSE(QFile::exists(inst.org(1) + "F42016.DBF"));
    EXPECT_EQ(form->Level(), 3);
    EXPECT_EQ(form->DS_REPS.RecNo(), 1);
    EXPECT_FALSE(form->ReportsWithData().contains("2"));
    EXPECT_FALSE(form->ButtonDeleteRep->isEnabled());
}

TEST_F(EntryWindowTest, DeletingAReportWhoseFileSurvivesSaysSo) {
    openReport(0, 0);
    ASSERT_EQ(form->Level(), 4);
    // The table's name now belongs to a folder that cannot be removed as a file.
    QFile::remove(inst.org(1) + "F42016.DBF");
    QDir().mkpath(inst.org(1) + "F42016.DBF/x");
    MessageRecorder rec;
    rec.answers = {msg::Answer::Yes};
    form->ButtonDeleteRep->click();
    ASSERT_EQ(rec.messages.size(), 2);
    EXPECT_EQ(rec.messages[1].title, QStringLiteral("Ошибка"));
    EXPECT_EQ(rec.messages[1].text, QStringLiteral("Не удалось удалить данный отчет!"));
    EXPECT_EQ(form->Level(), 3);
}

TEST_F(EntryWindowTest, EmptyListsAndShrunkListsAreSafe) {
    // The third organisation is entered, then removed from the book.
    selectRow(2);
    enter();
    ASSERT_EQ(form->Level(), 3);
    {
        entrytest::OpenTable t(inst.dir.path(), "SCHOOL");
        t.ds.setRecNo(3);
        t.ds.Delete();
    }
    form->ButtonBackClick();
    ASSERT_EQ(form->Level(), 2);
    EXPECT_EQ(form->DS_SCHOOL.RecordCount(), 2);
    EXPECT_EQ(form->DS_SCHOOL.RecNo(), 2);
    // An empty organisation book: Enter and double-click do nothing.
    {
        entrytest::OpenTable t(inst.dir.path(), "SCHOOL");
        while (!t.ds.IsEmpty()) {
            t.ds.First();
            t.ds.Delete();
        }
    }
    ASSERT_EQ(form->DS_SCHOOL.RecordCount(), 0);
    enter();
    form->DBGrid1DblClick();
    EXPECT_EQ(form->Level(), 2);
    EXPECT_EQ(form->OrgCode(), 0);
}

TEST_F(EntryWindowTest, DerivedCellsAreMarked) {
    // F4A is a section table: its N1 of row 1 is filled from F1 and marked.
    entrytest::makeTable(inst.wed() + "F4A.DBF", entrytest::reportFields(3), 2);
    inst.addCatalogue({9, "Раздел", "F4A.DBF", 0, 3, {}, {}});
    MessageRecorder rec;
    answerBlank(rec, true);
    openReport(0, 7);
    ASSERT_EQ(form->Level(), 4);
    EXPECT_TRUE(form->ToolButtonAutoValue->isVisibleTo(form));
    const int n1 = model()->columnOfField("N1");
    EXPECT_EQ(model()->data(model()->index(0, n1), Qt::BackgroundRole).value<QColor>(),
              QColor(255, 255, 119));
    EXPECT_FALSE(model()->data(model()->index(1, n1), Qt::BackgroundRole).isValid());
    EXPECT_FALSE(model()
                     ->data(model()->index(0, model()->columnOfField("N2")), Qt::BackgroundRole)
                     .isValid());
}

TEST_F(EntryWindowTest, LeftArrowStopsAtTheNameColumn) {
    openReport(0, 0);
    const int name = model()->columnOfField("NAME");
    form->DBGrid1->setCurrentIndex(model()->index(0, name));
    QTest::keyClick(form->DBGrid1, Qt::Key_Left);
    EXPECT_EQ(form->DBGrid1->currentIndex().column(), name);
}

TEST_F(EntryWindowTest, DataColumnTitlesFitTheirColumns) {
    openReport(0, 0); // F4: "Число;учащихся" over N1
    ASSERT_EQ(form->Level(), 4);
    // The widths are measured in the grid's font: titles and the fixed
    // row-code column are drawn in it too.
    TMultiLineHeader *header = form->DBGrid1->titleHeader();
    auto family = [](const QWidget *w) { return QFontInfo(w->font()).family().toStdString(); };
    EXPECT_EQ(family(header), family(form->DBGrid1));
    EXPECT_EQ(family(form->FrozenColumnView()), family(form->DBGrid1));
    EXPECT_EQ(family(form->FrozenColumnView()->horizontalHeader()), family(form->DBGrid1));
    const int n1 = model()->columnOfField("N1");
    const int width = form->DBGrid1->columnWidth(n1);
    const QStringList lines =
        header->wrappedCaption(model()->headerData(n1, Qt::Horizontal).toString(), width);
    EXPECT_EQ(lines, QStringList({QStringLiteral("ЧИСЛО"), QStringLiteral("УЧАЩИХСЯ")}));
    const QFontMetrics fm(header->font());
    for (const QString &line : lines)
        EXPECT_LE(fm.horizontalAdvance(line), width - 4) << line.toStdString();
}

TEST_F(EntryWindowTest, StatusPanelsAreWideEnoughForTheirTexts) {
    auto panel = [&](int i) {
        return form->StatusBar1->findChild<QLabel *>(QStringLiteral("StatusPanel%1").arg(i));
    };
    // The text from the panel's left edge (QLabel's indent beside a frame)
    // must end inside the panel, measured in the font it is drawn in.
    auto fits = [&](int i) {
        QLabel *l = panel(i);
        const QFontMetrics fm(l->font());
        return l->contentsRect().width() >=
               fm.horizontalAdvance(l->text()) + fm.horizontalAdvance(QLatin1Char('x')) / 2;
    };
    ASSERT_TRUE(panel(0) && panel(1) && panel(2));
    EXPECT_TRUE(panel(0)->font().bold());
    EXPECT_EQ(panel(0)->text(), QStringLiteral(" 2015 / 2016"));
    EXPECT_TRUE(fits(0));
    EXPECT_GE(panel(0)->width(), 80);
    EXPECT_EQ(panel(1)->width(), 250); // empty: the panel keeps its own width

    // An organisation of a 60-letter name widens the second panel.
    selectRow(0);
    enter();
    ASSERT_EQ(form->Level(), 3);
    EXPECT_EQ(panel(1)->width(), 250);
    inst.addRecords("SCHOOL", {{{"KOD", 4}, {"NAME", QString(60, QChar(u'Ш'))}}});
    form->ButtonBackClick(); // the organisation list is read again
    ASSERT_EQ(form->Level(), 2);
    selectRow(3);
    enter();
    ASSERT_EQ(form->Level(), 3);
    EXPECT_EQ(panel(1)->text(), " " + QString(60, QChar(u'Ш')));
    EXPECT_GT(panel(1)->width(), 250);
    EXPECT_TRUE(fits(1));
    EXPECT_TRUE(fits(0));
}

TEST_F(EntryWindowTest, EndingTheProgramKeepsTheValueInTheCellEditor) {
    // The program's end destroys the window without closing it.
    openReport(0, 0);
    ASSERT_EQ(form->Level(), 4);
    type(2, "N5", "42", 0);
    MessageRecorder rec;
    delete form.data();
    EXPECT_EQ(inst.cell(1, "F42016", 3, "N5").toDouble(), 42);
    // A value that cannot be written is dropped without a message box.
    form = new TEditReportForm;
    form->resize(1000, 700);
    form->show();
    openReport(0, 0);
    ASSERT_EQ(form->Level(), 4);
    type(2, "N6", QStringLiteral("много"), 0);
    delete form.data();
    EXPECT_TRUE(rec.messages.isEmpty());
    EXPECT_EQ(inst.cell(1, "F42016", 3, "N5").toDouble(), 42);
    EXPECT_EQ(inst.cell(1, "F42016", 3, "N6").toDouble(), 0);
}

TEST_F(EntryWindowTest, ReportKodByNameTakesTheLastOfEqualNames) {
    inst.addCatalogue({10, "Классы", "F4.DBF", 4, 14, {}, {}});
    EXPECT_EQ(form->ReportKodByName(QStringLiteral("Классы")), 10);
    EXPECT_EQ(form->ReportKodByName(QStringLiteral("Выпуск")), 3);
    EXPECT_EQ(form->ReportKodByName(QStringLiteral("Нет такого")), 1);
}

TEST_F(EntryWindowTest, KeysTypedRightAfterClickingTheSelectedCellAllReachIt) {
    openReport(0, 0);
    ASSERT_EQ(form->Level(), 4);
    QApplication::setActiveWindow(form);
    const QModelIndex n3 = model()->index(0, model()->columnOfField("N3"));
    const QPoint at = form->DBGrid1->visualRect(n3).center();
    QTest::mouseClick(form->DBGrid1->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseClick(form->DBGrid1->viewport(), Qt::LeftButton, {}, at); // already selected
    typeKeys(form, "37");
    ASSERT_NE(openEditor(form), nullptr);
    EXPECT_EQ(openEditor(form)->text(), QStringLiteral("37"));
    QTest::keyClick(openEditor(form), Qt::Key_Return);
    EXPECT_EQ(inst.cell(1, "F42016", 1, "N3").toDouble(), 37);
    // The cell below, clicked twice and typed into at once.
    const QModelIndex below = model()->index(1, model()->columnOfField("N3"));
    const QPoint belowAt = form->DBGrid1->visualRect(below).center();
    QTest::mouseClick(form->DBGrid1->viewport(), Qt::LeftButton, {}, belowAt);
    QTest::mouseClick(form->DBGrid1->viewport(), Qt::LeftButton, {}, belowAt);
    typeKeys(form, "7.5");
    ASSERT_NE(openEditor(form), nullptr);
    QTest::keyClick(openEditor(form), Qt::Key_Return);
    EXPECT_DOUBLE_EQ(inst.cell(1, "F42016", 2, "N3").toDouble(), 7.5);
}

TEST_F(EntryWindowTest, SaveAndPrintWriteTheValueStillBeingTyped) {
    openReport(0, 0);
    ASSERT_EQ(form->Level(), 4);
    QApplication::setActiveWindow(form);
    form->DBGrid1->setCurrentIndex(model()->index(0, model()->columnOfField("N3")));
    form->DBGrid1->setFocus();
    typeKeys(form, "9");
    // The first change puts the record into edit state and presses "Сохранить".
    EXPECT_EQ(form->DS_TAB.State(), store::DataSetState::Edit);
    EXPECT_TRUE(form->ButtonSave->isChecked());
    ASSERT_NE(openEditor(form), nullptr);
    QTest::mouseClick(form->ButtonSave, Qt::LeftButton);
    EXPECT_EQ(openEditor(form), nullptr);
    EXPECT_EQ(inst.cell(1, "F42016", 1, "N3").toDouble(), 9);
    EXPECT_FALSE(form->ButtonSave->isChecked());
    EXPECT_EQ(form->DS_TAB.State(), store::DataSetState::Browse);

    // Escape in the editor leaves nothing pending.
    typeKeys(form, "5");
    ASSERT_NE(openEditor(form), nullptr);
    QTest::keyClick(openEditor(form), Qt::Key_Escape);
    EXPECT_FALSE(form->ButtonSave->isChecked());
    EXPECT_EQ(form->Level(), 4);

    form->DBGrid1->setCurrentIndex(model()->index(1, model()->columnOfField("N4")));
    form->DBGrid1->setFocus();
    typeKeys(form, "6");
    MessageRecorder rec; // the printing's own questions are declined
    QTest::mouseClick(form->ButtonPrint, Qt::LeftButton);
    EXPECT_EQ(inst.cell(1, "F42016", 2, "N4").toDouble(), 6);
}

TEST_F(EntryWindowTest, FractionsInWholeNumberColumnsAreRefusedAndKeptInTheEditor) {
    // Organisation 1's report of five columns holds whole numbers only.
    entrytest::makeTable(inst.org(1) + "F52016.DBF", entrytest::reportFields(8, 60, 12, 0), 2);
    openReport(0, 4);
    ASSERT_EQ(form->Level(), 4);
    QApplication::setActiveWindow(form);
    const int n1 = model()->columnOfField("N1");
    MessageRecorder rec;
    for (const QString &typed : {QStringLiteral("3,5"), QStringLiteral("2.5")}) {
        form->DBGrid1->setCurrentIndex(model()->index(0, n1));
        form->DBGrid1->setFocus();
        typeKeys(form, typed);
        ASSERT_NE(openEditor(form), nullptr);
        QTest::keyClick(openEditor(form), Qt::Key_Tab);
        ASSERT_FALSE(rec.messages.isEmpty());
        EXPECT_TRUE(rec.messages.last().text.contains(QStringLiteral("«ПЕРВЫЙ»")))
            << rec.messages.last().text.toStdString();
        EXPECT_FALSE(rec.messages.last().text.contains(QStringLiteral("3,5")) &&
                     typed != QStringLiteral("3,5"));
        ASSERT_NE(openEditor(form), nullptr);
        EXPECT_EQ(openEditor(form)->text(), typed);
        EXPECT_EQ(form->DBGrid1->currentIndex().column(), n1);
        // Moving to another row keeps the cursor on the refused value too.
        QTest::keyClick(openEditor(form), Qt::Key_Down);
        EXPECT_EQ(form->DBGrid1->currentIndex().row(), 0);
        ASSERT_NE(openEditor(form), nullptr);
        EXPECT_EQ(openEditor(form)->text(), typed);
        EXPECT_FALSE(inst.cell(1, "F52016", 1, "N1").isValid());
        QTest::keyClick(openEditor(form), Qt::Key_Escape);
    }
    EXPECT_EQ(rec.messages.size(), 4); // one message for each attempt, Tab and Down
    type(0, "N1", "4", Qt::Key_Tab);
    EXPECT_EQ(inst.cell(1, "F52016", 1, "N1").toDouble(), 4);
}

// A figure refused is refused at every attempt to write it or leave it, with
// a message that names the column as the user sees it; nothing of it reaches
// the file, not even when the figure fits its cell but the row's total would
// not fit the total's column.
TEST_F(EntryWindowTest, RefusedFiguresAreRefusedAtEveryAttemptNamingTheColumn) {
    // A report of group 2 (N1 is the total of N2 to N16) of ten-digit cells.
    inst.addCatalogue(
        {9, "Учащиеся", "F2.DBF", 2, 16, {"Всего", "1-4;классы", "", "", "10-11;классы"}, {}});
    entrytest::makeTable(inst.org(1) + "F22016.DBF", entrytest::reportFields(16, 60, 10, 0), 2);
    openReport(0, 7);
    ASSERT_EQ(form->Level(), 4);
    QApplication::setActiveWindow(form);
    type(0, "N2", "5", Qt::Key_Tab);
    ASSERT_EQ(inst.cell(1, "F22016", 1, "N2").toDouble(), 5);
    const struct {
        const char *typed;
        QStringList said;
    } cases[] = {
        {"abc", {"\"abc\" не является числом", "«10-11 КЛАССЫ»"}},
        {"9999999999",
         {"Число 9999999999 нельзя записать в столбец «10-11 КЛАССЫ»",
          "итог 10000000004 не поместится в столбец «ВСЕГО»"}},
    };
    const QModelIndex refused = model()->index(0, model()->columnOfField("N5"));
    for (const auto &c : cases) {
        MessageRecorder rec;
        form->DBGrid1->setCurrentIndex(refused);
        form->DBGrid1->setFocus();
        typeKeys(form, QString::fromLatin1(c.typed));
        for (const int key : {Qt::Key_Return, Qt::Key_Return, Qt::Key_Tab, Qt::Key_Tab}) {
            ASSERT_NE(openEditor(form), nullptr) << c.typed;
            QTest::keyClick(openEditor(form), Qt::Key(key));
        }
        // A click on another row is refused as the keys are: the cursor and
        // its highlight stay on the refused cell, which the next keys reach.
        const QModelIndex below = model()->index(1, model()->columnOfField("N2"));
        QTest::mouseClick(form->DBGrid1->viewport(), Qt::LeftButton, {},
                          form->DBGrid1->visualRect(below).center());
        EXPECT_EQ(form->DBGrid1->currentIndex(), refused) << c.typed;
        EXPECT_EQ(form->DBGrid1->selectionModel()->selectedIndexes(), QModelIndexList{refused})
            << c.typed;
        EXPECT_EQ(QApplication::focusWidget(), openEditor(form)) << c.typed;
        // "Сохранить" and "Назад" say so too, and leave the figure in its cell.
        QTest::mouseClick(form->ButtonSave, Qt::LeftButton);
        QTest::mouseClick(form->ButtonBack, Qt::LeftButton);
        EXPECT_EQ(form->Level(), 4);
        EXPECT_EQ(rec.messages.size(), 7) << c.typed;
        for (const msg::Request &m : rec.messages) {
            EXPECT_EQ(m.title, QStringLiteral("Ошибка"));
            for (const QString &part : c.said)
                EXPECT_TRUE(m.text.contains(part)) << m.text.toStdString();
        }
        ASSERT_NE(openEditor(form), nullptr);
        EXPECT_EQ(openEditor(form)->text(), QString::fromLatin1(c.typed));
        QTest::keyClick(openEditor(form), Qt::Key_Escape);
        form->ButtonSaveClick();
        EXPECT_FALSE(inst.cell(1, "F22016", 1, "N5").isValid()) << c.typed;
        EXPECT_EQ(inst.cell(1, "F22016", 1, "N1").toDouble(), 0) << c.typed;
    }
    // A figure whose total fits is written, and so is its total on Enter.
    MessageRecorder rec;
    type(0, "N5", "999999995");
    EXPECT_TRUE(rec.messages.isEmpty());
    EXPECT_EQ(inst.cell(1, "F22016", 1, "N5").toDouble(), 999999995.0);
    EXPECT_EQ(inst.cell(1, "F22016", 1, "N1").toDouble(), 1000000000.0);
}

TEST_F(EntryWindowTest, AgeBlankTooNarrowForItsCaptionsMakesNoTable) {
    entrytest::makeTable(inst.wed() + "F12.DBF", entrytest::reportFields(3, 25), 15);
    MessageRecorder rec;
    answerBlank(rec, true);
    openReport(0, 2);
    EXPECT_EQ(form->Level(), 3);
    ASSERT_EQ(rec.messages.size(), 1);
    EXPECT_TRUE(rec.messages[0].text.contains(QStringLiteral("Отчет не создан")));
    EXPECT_FALSE(QFile::exists(inst.org(1) + "F122016.DBF"));
}

TEST_F(EntryWindowTest, StatusBarKeepsItsHeightWithoutAList) {
    MessageRecorder rec;
    form->CB_Year->setCurrentIndex(0); // a period that is not opened
    ASSERT_EQ(form->Level(), 1);
    QApplication::processEvents();
    EXPECT_LE(form->StatusBar1->height(), form->StatusBar1->sizeHint().height());
    const QRect box = form->GroupBox2->contentsRect();
    EXPECT_GT(form->StatusBar1->geometry().top(), box.top() + box.height() * 3 / 4);
}

TEST_F(EntryWindowTest, TenDigitFiguresShowWhole) {
    // N1 of F4 is as narrow as its title "Число;учащихся".
    entrytest::makeTable(inst.org(1) + "F42016.DBF", entrytest::reportFields(14, 60, 14, 0), 3);
    {
        entrytest::OpenTable t(inst.org(1), "F42016");
        t.set(1, "N1", 1234567890);
    }
    openReport(0, 0);
    ASSERT_EQ(form->Level(), 4);
    const int n1 = model()->columnOfField("N1");
    const QFontMetrics fm(form->DBGrid1->font());
    const int margin = 2 * (form->DBGrid1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    EXPECT_GE(form->DBGrid1->columnWidth(n1), fm.horizontalAdvance("1234567890") + margin);
    const int n2 = model()->columnOfField("N2");
    type(1, "N2", "98765432101", Qt::Key_Tab);
    EXPECT_GE(form->DBGrid1->columnWidth(n2), fm.horizontalAdvance("98765432101") + margin);
    EXPECT_EQ(form->DBGrid1->textElideMode(), Qt::ElideNone);
}

TEST_F(EntryWindowTest, TheRowCodeStaysFixedAndOutOfTheCursorsReach) {
    openReport(0, 0);
    ASSERT_EQ(form->Level(), 4);
    const int kodstr = model()->columnOfField("KODSTR");
    const int name = model()->columnOfField("NAME");
    EXPECT_EQ(form->DBGrid1->currentIndex().column(), name); // on opening
    form->DBGrid1->setCurrentIndex(model()->index(1, model()->columnOfField("N2")));
    QTest::keyClick(form->DBGrid1, Qt::Key_Home);
    EXPECT_EQ(form->DBGrid1->currentIndex().column(), name);
    QTest::keyClick(form->DBGrid1, Qt::Key_Backtab);
    EXPECT_NE(form->DBGrid1->currentIndex().column(), kodstr);
    // Scrolled right, no title or cell passes beneath the fixed column.
    form->DBGrid1->horizontalScrollBar()->setValue(3);
    QApplication::processEvents();
    QTableView *fixed = form->FrozenColumnView();
    ASSERT_TRUE(fixed->isVisible());
    EXPECT_FALSE(fixed->geometry().intersects(form->DBGrid1->horizontalHeader()->geometry()));
    EXPECT_FALSE(fixed->geometry().intersects(form->DBGrid1->viewport()->geometry()));
    EXPECT_EQ(fixed->geometry().right() + 1, form->DBGrid1->viewport()->geometry().left());
    EXPECT_FALSE(fixed->isColumnHidden(kodstr));
    EXPECT_EQ(fixed->model()->headerData(kodstr, Qt::Horizontal).toString(),
              QStringLiteral("N N СТРОКИ"));
}

TEST_F(EntryWindowTest, LeftArrowStopsAtTheSecondColumnOfTheLists) {
    const int name = model()->columnOfField("NAME");
    form->DBGrid1->setCurrentIndex(model()->index(0, name));
    QTest::keyClick(form->DBGrid1, Qt::Key_Left);
    EXPECT_EQ(form->DBGrid1->currentIndex().column(), name);
    enter();
    ASSERT_EQ(form->Level(), 3);
    const int repName = model()->columnOfField("NAME");
    form->DBGrid1->setCurrentIndex(model()->index(0, repName));
    QTest::keyClick(form->DBGrid1, Qt::Key_Left);
    EXPECT_EQ(form->DBGrid1->currentIndex().column(), repName);
}

TEST_F(EntryWindowTest, HiddenFilesAreNoReportData) {
    // Organisation 2 has only an office's lock file of a report.
    QDir().mkpath(inst.org(2));
    QFile lock(inst.org(2) + ".~lock.F42016.DBF#");
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.close();
    MessageRecorder rec;
    form->CB_Year->setCurrentIndex(form->CB_Year->count() - 2);
    QTest::keyClick(form->CB_Year, Qt::Key_Down); // the organisations listed again
    ASSERT_EQ(form->Level(), 2);
    EXPECT_EQ(form->OrgsWithData(), QStringList({"1"}));
    selectRow(1);
    enter();
    ASSERT_EQ(form->Level(), 3);
    EXPECT_TRUE(form->ReportsWithData().isEmpty());
}

TEST_F(EntryWindowTest, ADataFolderThatCannotBeMadeGoesToTheDefaultHandler) {
    // A file stands where organisation 2's folder would be made.
    QFile blocker(inst.root() + "DBF/D2");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    MessageRecorder rec;
    selectRow(1);
    enter();
    ASSERT_EQ(form->Level(), 3);
    selectRow(0);
    enter();
    EXPECT_EQ(form->Level(), 3);
    ASSERT_EQ(rec.messages.size(), 1);
    EXPECT_EQ(rec.messages[0].title, QStringLiteral("KVR"));
    EXPECT_TRUE(rec.messages[0].text.contains(QStringLiteral("не удалось создать папку")));
    EXPECT_TRUE(rec.dialogs.isEmpty());
}

// A report table's fields: whole numbers N1..Nn `width` wide, then the
// fields given.
QVector<store::FieldDef> wholeFields(int n, int width = 10,
                                     const QVector<store::FieldDef> &more = {}) {
    return entrytest::reportFields(n, 60, width, 0) + more;
}

// A figure typed into one report of the organisation changes the derived
// cells of its other reports (copies of F1's figures, their differences, the
// sums of the sections' totals) and the totals worked out from those: when one
// of them would not fit its column, the figure is refused before anything is
// written, naming the columns as the user sees them, and every file keeps
// what it held.
TEST_F(EntryWindowTest, FiguresWhoseDerivedCellsInOtherReportsWouldNotFitAreRefused) {
    QStringList section = {"Всего;учащихся"};
    for (int n = 2; n <= 12; ++n)
        section << QStringLiteral("Язык;%1").arg(n);
    section << "Итого"
            << "На 1 млн;учащихся";
    const QList<entrytest::CatalogueEntry> catalogue = {
        {9,
         "Общие сведения",
         "F1.DBF",
         2,
         16,
         {"Всего", "1;классы", "2-4;классы", "5-9;классы", "10-11;классы"},
         {}},
        {10, "10-11 классы: изучение", "F3V.DBF", 4, 14, section, {}},
        {11, "Число учреждений", "F0.DBF", 1, 1, {"Кол-во"}, {}},
        {12, "2-11 классы", "F4R2.DBF", 5, 14, section, {}},
        {13, "Факультатив", "F7.DBF", 7, 17, {"Всего;учащихся", "База"}, {}},
        {14,
         "Сводные сведения",
         "F7A.DBF",
         10,
         7,
         {"Всего", "Без 1;классов", "2-4 кл.;изучают"},
         {}},
        {15, "2-4 классы: изучение", "F3A.DBF", 4, 14, section, {}},
        {16, "2-4 классы: обучение", "F4A.DBF", 5, 14, section, {}},
    };
    for (const entrytest::CatalogueEntry &e : catalogue)
        inst.addCatalogue(e);
    const QVector<store::FieldDef> sectionFields = wholeFields(13, 10, {{"N14", 'N', 12, 2}});
    QVector<store::FieldDef> narrowN1 = wholeFields(17), narrowN2 = wholeFields(7);
    narrowN1[4].length = 5;
    narrowN2[5].length = 5;
    struct Table {
        const char *name;
        QVector<store::FieldDef> fields;
        int rows;
        testsupport::Record row1;
    };
    const struct {
        const char *what;
        int report; // its row in the report list
        const char *field;
        const char *typed;
        QList<Table> tables;
        QStringList said; // parts of the refusal; empty: the figure is written
    } cases[] = {
        {"F1 to the pupils of F3V, whose rate per million would not fit",
         7,
         "N5",
         "34",
         {{"F1", wholeFields(16), 4, {{"N1", 1234567890}, {"N5", 1234567890}}},
          {"F3V",
           sectionFields,
           3,
           {{"N1", 1234567890}, {"N2", 1234567904}, {"N13", 1234567904}, {"N14", 1000000.01}}}},
         {"Число 34 нельзя записать в столбец «10-11 КЛАССЫ»: в отчете «10-11 классы: изучение»",
          "не поместится в столбец «НА 1 МЛН УЧАЩИХСЯ» строки 1 (не более 12 знаков"}},
        {"F1 to F3V when the rate fits",
         7,
         "N5",
         "1234567890",
         {{"F1", wholeFields(16), 4, {{"N1", 34}, {"N5", 34}}},
          {"F3V", sectionFields, 3, {{"N1", 34}, {"N2", 14}, {"N13", 14}, {"N14", 411764.7}}}},
         {}},
        {"F1 to the column of F0 that is too narrow for the copy",
         7,
         "N2",
         "123456",
         {{"F1", wholeFields(16), 4, {}}, {"F0", wholeFields(1, 5), 24, {}}},
         {"Число 123456 нельзя записать в столбец «1 КЛАССЫ»: в отчете «Число учреждений» "
          "значение 123456 не поместится в столбец «КОЛ-ВО» строки 9 (не более 5 знаков"}},
        {"F1's total less its first classes to the pupils of F4R2, whose rate would not fit",
         7,
         "N3",
         "1",
         {{"F1", wholeFields(16), 4, {{"N1", 9999999999LL}, {"N3", 9999999999LL}}},
          {"F4R2",
           sectionFields,
           3,
           {{"N1", 9999999999LL}, {"N2", 9999999999LL}, {"N13", 9999999999LL}, {"N14", 1000000}}}},
         {"Число 1 нельзя записать в столбец «2-4 КЛАССЫ»: в отчете «2-11 классы» итог",
          "не поместится в столбец «НА 1 МЛН УЧАЩИХСЯ» строки 1"}},
        {"F1's total less its 2-4 classes to the narrow pupils of F7",
         7,
         "N4",
         "123456",
         {{"F1", wholeFields(16), 4, {}}, {"F7", narrowN1, 3, {}}},
         {"Число 123456 нельзя записать в столбец «5-9 КЛАССЫ»: в отчете «Факультатив» значение "
          "123456 не поместится в столбец «ВСЕГО УЧАЩИХСЯ» строки 1"}},
        {"F1's total less its first classes to the narrow column of F7A",
         7,
         "N4",
         "123456",
         {{"F1", wholeFields(16), 4, {}}, {"F7A", narrowN2, 1, {}}},
         {"Число 123456 нельзя записать в столбец «5-9 КЛАССЫ»: в отчете «Сводные сведения» "
          "значение 123456 не поместится в столбец «БЕЗ 1 КЛАССОВ» строки 1"}},
        {"the total of F3A to the sum of F7A, which would not fit",
         13,
         "N2",
         "1000000000",
         {{"F3A", sectionFields, 3, {{"N1", 9999999999LL}}},
          {"F4A", sectionFields, 3, {{"N13", 9000000000LL}}},
          {"F7A", wholeFields(7), 1, {}}},
         {"Число 1000000000 нельзя записать в столбец «ЯЗЫК 2»: в отчете «Сводные сведения» "
          "значение 10000000000 не поместится в столбец «2-4 КЛ. ИЗУЧАЮТ» строки 1"}},
    };
    auto files = [&] {
        QMap<QString, QByteArray> bytes;
        const QDir org(inst.org(1));
        for (const QString &name : org.entryList(QDir::Files)) {
            QFile f(org.filePath(name));
            if (f.open(QIODevice::ReadOnly))
                bytes.insert(name, f.readAll());
        }
        return bytes;
    };
    for (const auto &c : cases) {
        QDir org(inst.org(1));
        for (const QString &name : org.entryList(QDir::Files))
            org.remove(name);
        const QString typedTable = QString::fromLatin1(c.tables.front().name) + "2016";
        for (const Table &t : c.tables) {
            QList<testsupport::Record> records;
            for (int r = 1; r <= t.rows; ++r)
                records.append(testsupport::Record{{"KODSTR", QString::number(r)}, {"KODN", r}} +
                               (r == 1 ? t.row1 : testsupport::Record{}));
            testsupport::writeTable(inst.org(1), QString::fromLatin1(t.name) + "2016", t.fields,
                                    records);
        }
        openReport(0, c.report);
        ASSERT_EQ(form->Level(), 4) << c.what;
        const QMap<QString, QByteArray> before = files();
        const QVariant old = inst.cell(1, typedTable, 1, c.field);
        MessageRecorder rec;
        type(0, c.field, QString::fromLatin1(c.typed));
        if (c.said.isEmpty()) {
            EXPECT_TRUE(rec.messages.isEmpty())
                << c.what << ": " << rec.texts().join('|').toStdString();
            EXPECT_EQ(inst.cell(1, typedTable, 1, c.field).toString(), QString::fromLatin1(c.typed))
                << c.what;
        } else {
            EXPECT_EQ(rec.messages.size(), 1)
                << c.what << ": " << rec.texts().join('|').toStdString();
            const QString said = rec.messages.value(0).text;
            EXPECT_EQ(rec.messages.value(0).title, QStringLiteral("Ошибка")) << c.what;
            for (const QString &part : c.said)
                EXPECT_TRUE(said.contains(part)) << c.what << ": " << said.toStdString();
            QLineEdit *editor = openEditor(form);
            EXPECT_TRUE(editor && editor->text() == QString::fromLatin1(c.typed)) << c.what;
            if (editor)
                QTest::keyClick(editor, Qt::Key_Escape);
            EXPECT_EQ(inst.cell(1, typedTable, 1, c.field).toString(), old.toString()) << c.what;
            EXPECT_TRUE(files() == before) << c.what;
        }
        form->ButtonBackClick();
        form->ButtonBackClick();
        ASSERT_EQ(form->Level(), 2) << c.what;
    }
}

// A table whose figures were saved before (or elsewhere) so that the rate
// of its first row cannot be stored: opening it says so naming the column,
// and the row keeps what it holds.
TEST_F(EntryWindowTest, ARateThatCannotBeStoredIsNamedByItsColumnAtTheOpening) {
    QStringList captions = {"Всего;учащихся"};
    for (int n = 2; n <= 13; ++n)
        captions << QStringLiteral("Графа %1").arg(n);
    captions << "На 1 млн;учащихся";
    inst.addCatalogue({9, "Языки", "F9.DBF", 4, 14, captions, {}});
    testsupport::writeTable(
        inst.org(1), "F92016", wholeFields(13, 10, {{"N14", 'N', 12, 2}}),
        {{{"KODSTR", "1"}, {"N1", 1}, {"N2", 999999999}, {"N13", 999999999}, {"N14", 0}}});
    MessageRecorder rec;
    openReport(0, 7);
    ASSERT_EQ(form->Level(), 4);
    ASSERT_EQ(rec.messages.size(), 1) << rec.texts().join('|').toStdString();
    EXPECT_EQ(rec.messages[0].text,
              QStringLiteral("Итоги строки 1 не записаны: итог 999999999000000.00 не поместится в "
                             "столбец «НА 1 МЛН УЧАЩИХСЯ» (не более 12 знаков вместе с запятой и "
                             "знаком)."));
    EXPECT_EQ(inst.cell(1, "F92016", 1, "N14").toDouble(), 0);
}

// Section tables received from elsewhere whose totals add up to more than
// the sum's column of F7A holds: opening F7A says so, naming the report, row
// and column, and the cell keeps its figure.
TEST_F(EntryWindowTest, ADerivedSumThatCannotBeStoredIsNamedAtTheOpening) {
    inst.addCatalogue({9,
                       "Сводные сведения",
                       "F7A.DBF",
                       10,
                       7,
                       {"Всего", "Без 1;классов", "2-4 кл.;изучают"},
                       {}});
    for (const char *section : {"F3A2016", "F4A2016", "F4A22016"})
        testsupport::writeTable(inst.org(1), section, wholeFields(13),
                                {{{"KODSTR", "1"}, {"N13", 9999999999LL}}});
    testsupport::writeTable(inst.org(1), "F7A2016", wholeFields(7),
                            {{{"KODSTR", "1"}, {"N3", 111}}});
    MessageRecorder rec;
    openReport(0, 7);
    ASSERT_EQ(form->Level(), 4);
    ASSERT_EQ(rec.messages.size(), 1) << rec.texts().join('|').toStdString();
    EXPECT_EQ(rec.messages[0].title, QStringLiteral("Ошибка"));
    EXPECT_EQ(rec.messages[0].text,
              QStringLiteral("Отчет \"Сводные сведения\": строка 1, столбец «2-4 КЛ. ИЗУЧАЮТ»: "
                             "значение 29999999997 не помещается (не более 10 знаков вместе с "
                             "запятой и знаком). В ячейке осталось прежнее значение."));
    EXPECT_EQ(inst.cell(1, "F7A2016", 1, "N3").toLongLong(), 111);
    EXPECT_EQ(model()->data(model()->index(0, model()->columnOfField("N3"))).toString(), "111");
}

TEST(MessageFormTest, AnswerIsTakenOnlyFromYes) {
    TMessageForm form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Сообщение..."));
    EXPECT_EQ(form.ButtonOk->text(), QStringLiteral("Да"));
    EXPECT_EQ(form.ButtonCancel->text(), QStringLiteral("Посмотреть другой отчет"));
    MessageRecorder rec;
    rec.onDialog = [](QDialog &d) {
        static_cast<TMessageForm &>(d).ButtonOk->click();
        return d.result();
    };
    EXPECT_TRUE(form.Ask());
    rec.onDialog = [](QDialog &) { return int(QDialog::Rejected); }; // closed otherwise
    EXPECT_FALSE(form.Ask());
    rec.onDialog = [](QDialog &d) {
        static_cast<TMessageForm &>(d).ButtonCancel->click();
        return d.result();
    };
    EXPECT_FALSE(form.Ask());
}

} // namespace
