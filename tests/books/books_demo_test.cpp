// The reference books on the demo installation, opened from the main
// window's button "Справочники" as the program builds its windows, and used
// through their widgets: both books and their columns, adding, editing,
// deleting and finding organisations, the highlighted row, and what the
// window refuses or keeps.

#include "app/MainUnit.h"
#include "books/BooksUnit.h"
#include "books/FindUnit.h"
#include "books/UnitEditOrg.h"
#include "demo/DemoData.h"
#include "demo/DemoSvod.h"
#include "shell/DataSetModel.h"
#include "shell/MultilineGrid_Old.h"
#include "shell/YearUnit.h"
#include "support/DemoProgram.h"
#include "support/TableBuilder.h"
#include "support/TwoCopies.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

const QColor kCurrentRowColour(0x66, 0x88, 0xEE);

// Another copy of the program saving cells of a table of the folder given:
// "set TABLE R F V" writes V into field F of record R and posts it.
const bool kCellsRole = testsupport::registerCopyRole("cells", [](const QStringList &args,
                                                                  testsupport::CopyChannel &) {
    return [folder = args.value(0)](const QStringList &w) -> QString {
        testsupport::OpenTable(folder, w.value(1)).set(w.value(2).toInt(), w.value(3), w.value(4));
        return QStringLiteral("ok");
    };
});

class BooksDemoTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(program.dir.isValid());
        program.recorder->onDialog = [this](QDialog &d) {
            if (testsupport::DemoProgram::answerDate(d))
                return int(QDialog::Accepted);
            if (auto *year = qobject_cast<TYearForm *>(&d)) {
                year->show();
                year->findChild<QComboBox *>(QStringLiteral("CB_Year"))->setCurrentText(schoolYear);
                year->findChild<QPushButton *>(QStringLiteral("ButtonOK"))->click();
                return year->result();
            }
            d.show();
            if (answer)
                answer(d);
            d.hide();
            return d.result();
        };
    }

    // The program as the main routine builds it, the date answered and the
    // reference books opened from their button.
    void openBooks() {
        program.start();
        QPushButton *button = program.mainButton(QStringLiteral("Справочники"));
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
        books = qobject_cast<TBooksForm *>(mainForm->workWindow(TMainForm::WorkWindow::Books));
        ASSERT_NE(books, nullptr);
        ASSERT_TRUE(books->isVisible());
    }

    void openOrganisations() {
        QTest::mouseClick(books->ButtonOrgs, Qt::LeftButton);
        ASSERT_EQ(books->Mode(), 1);
    }

    DataSetModel *model() { return books->GridModel(); }
    QModelIndex index(int row, const char *field) {
        return model()->index(row, model()->columnOfField(QLatin1String(field)));
    }
    QStringList visibleTitles() {
        QStringList out;
        for (int c = 0; c < model()->columnCount(); ++c)
            if (!books->DBGrid1->isColumnHidden(c))
                out.append(model()->headerData(c, Qt::Horizontal).toString());
        return out;
    }
    int rowOfCode(int kod) {
        for (int r = 0; r < model()->rowCount(); ++r)
            if (index(r, "KOD").data().toString().trimmed() == QString::number(kod))
                return r;
        return -1;
    }
    int currentCode() { return books->DS1.FieldByName(QStringLiteral("KOD")).AsInteger(); }
    QLineEdit *openEditor() {
        for (QLineEdit *e : books->DBGrid1->viewport()->findChildren<QLineEdit *>())
            if (!e->isHidden())
                return e;
        return nullptr;
    }
    // Puts the cursor on the cell, opens its editor with F2 and types the
    // text over what it holds; `last` ends the entry, 0 leaves it open.
    void typeInto(int row, const char *field, const QString &text, int last = Qt::Key_Return) {
        books->DBGrid1->setCurrentIndex(index(row, field));
        QTest::keyClick(books->DBGrid1, Qt::Key_F2);
        QLineEdit *editor = openEditor();
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        // Typed as a keyboard layout or an input method delivers it (the
        // test's key events know Latin letters only).
        editor->insert(text);
        if (last) {
            QTest::keyClick(editor, Qt::Key(last));
            QCoreApplication::processEvents(); // the view commits Enter queued
        }
    }
    // SCHOOL as stored, read through a connection of its own.
    int storedCount() {
        testsupport::OpenTable t(programDir, QStringLiteral("SCHOOL"));
        return t.ds.RecordCount();
    }
    QString stored(int row, const char *field) {
        return testsupport::readCell(programDir, QStringLiteral("SCHOOL"), row + 1,
                                     QLatin1String(field))
            .toString()
            .trimmed();
    }

    testsupport::DemoProgram program;
    const QString &programDir = program.programDir;
    std::unique_ptr<MessageRecorder> &recorder = program.recorder;
    std::unique_ptr<TMainForm> &mainForm = program.mainForm;
    QString schoolYear = QStringLiteral("2015 / 2016");
    std::function<void(QDialog &)> answer;
    QPointer<TBooksForm> books;
};

TEST_F(BooksDemoTest, BothBooksWithTheirColumns) {
    openBooks();
    ASSERT_FALSE(HasFailure());
    EXPECT_FALSE(books->DBGrid1->isVisible());
    EXPECT_FALSE(books->ButtonNew->isVisible());
    EXPECT_TRUE(books->ButtonExit->isVisible());
    EXPECT_TRUE(books->GroupBox2->title().isEmpty());

    openOrganisations();
    EXPECT_EQ(books->GroupBox2->title(), QStringLiteral("Организации"));
    for (QWidget *w :
         {static_cast<QWidget *>(books->ButtonFind), static_cast<QWidget *>(books->ButtonNew),
          static_cast<QWidget *>(books->ButtonEdit), static_cast<QWidget *>(books->ButtonDelete),
          static_cast<QWidget *>(books->ButtonPrint), static_cast<QWidget *>(books->ToolButton2)})
        EXPECT_TRUE(w->isVisible());
    // The demo's organisations and the record without a name it adds.
    EXPECT_EQ(model()->rowCount(), demo::Organisations().size() + 1);
    EXPECT_EQ(books->DBGrid1->TitleHeight(), 68);
    EXPECT_EQ(visibleTitles(),
              QStringList({"Код", "Наименование", "ИНН", "1-начальн  2-средние  3-общеобр",
                           "Признак 1", "Признак 2", "1-НОШ, 2-ООШ, 3-СОШ", "1-самост., 2-филиалы",
                           "Руководитель", "Гл. Бухгалтер", "Лицо, ответств. за составл. отчета",
                           "Телефон", "Код ОКОНХ", "Код ОКПО", "Адрес"}));
    const int kodCity = model()->columnOfField(QStringLiteral("KODCITY"));
    QFont bold = books->DBGrid1->font();
    bold.setBold(true);
    EXPECT_EQ(books->DBGrid1->columnWidth(kodCity),
              QFontMetrics(bold).horizontalAdvance(QStringLiteral("1-районы    ")));
    EXPECT_EQ(
        model()->headerData(kodCity, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>(),
        Qt::AlignLeft);
    EXPECT_TRUE(model()->flags(index(0, "NAME")) & Qt::ItemIsEditable);

    // The catalogue of 2015 / 2016: read-only, no edit buttons.
    QTest::mouseClick(books->ButtonReports, Qt::LeftButton);
    ASSERT_EQ(books->Mode(), 2);
    EXPECT_EQ(recorder->dialogs.last(), QStringLiteral("TYearForm"));
    EXPECT_EQ(books->ReportYear, 2016);
    EXPECT_EQ(books->GroupBox2->title(), QStringLiteral("2015 / 2016: Отчеты"));
    EXPECT_FALSE(books->ButtonNew->isVisible());
    EXPECT_FALSE(books->ButtonFind->isVisible());
    EXPECT_EQ(books->DBGrid1->TitleHeight(), 51);
    EXPECT_FALSE(model()->flags(index(0, "NAME")) & Qt::ItemIsEditable);
    const QStringList titles = visibleTitles();
    ASSERT_EQ(titles.size(), 8 + 56);
    EXPECT_EQ(
        titles.mid(0, 10),
        QStringList({"Код", "Наименоваие", "Форма", "Файл базы данных", "Количество столбцов цифр",
                     "N 1-го цифров столбца", "Формат печати: 1-А4         2-А3", "Файл отчета",
                     "Наименование столбца 1", "Разрешить ввод:          1-Да"}));
    EXPECT_TRUE(books->DBGrid1->isColumnHidden(model()->columnOfField(QStringLiteral("GRUPPA"))));
    for (int r = 0; r < model()->rowCount(); ++r)
        EXPECT_EQ(index(r, "KOD").data().toInt(), r + 1);

    // A year without a catalogue says which file is missing.
    schoolYear = QStringLiteral("2006 / 2007");
    QTest::mouseClick(books->ButtonReports, Qt::LeftButton);
    EXPECT_EQ(books->Mode(), 0);
    EXPECT_FALSE(books->DBGrid1->isVisible());
    EXPECT_EQ(recorder->texts().last(),
              QStringLiteral("В базе нет данных по этому году! (файл OTHE2007.DBF не найден)"));

    // Back to the organisations: the edit buttons again.
    openOrganisations();
    EXPECT_TRUE(books->ButtonNew->isVisible());

    QTest::mouseClick(books->ButtonExit, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(books.isNull());
}

TEST_F(BooksDemoTest, DistrictColumnTitleFollowsTheProgramKind) {
    demo::WritePuti(programDir, 105);
    openBooks();
    ASSERT_FALSE(HasFailure());
    openOrganisations();
    EXPECT_EQ(
        model()->headerData(model()->columnOfField(QStringLiteral("KODCITY")), Qt::Horizontal),
        QStringLiteral("1-районы   2-города   3-респ.учр 4-р-ны Тры"));

    // Without the organisation book: the message, nothing shown.
    QFile::remove(programDir + QStringLiteral("SCHOOL.DBF"));
    QTest::mouseClick(books->ButtonOrgs, Qt::LeftButton);
    EXPECT_EQ(books->Mode(), 0);
    EXPECT_FALSE(books->DBGrid1->isVisible());
    EXPECT_FALSE(books->ButtonNew->isVisible());
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_EQ(recorder->messages[0].title, QStringLiteral("Сообщение"));
    EXPECT_EQ(recorder->messages[0].text, QStringLiteral("Файл 'SCHOOL.DBF' не найден!"));
}

TEST_F(BooksDemoTest, PrintAsksFirstAndPostsAPendingEdit) {
    openBooks();
    ASSERT_FALSE(HasFailure());
    openOrganisations();
    int questions = 0;
    TBooksForm::AskPrint = [&] {
        ++questions;
        return false;
    };
    typeInto(0, "TELEF", QStringLiteral("444"), 0);
    QTest::mouseClick(books->ButtonPrint, Qt::LeftButton);
    TBooksForm::AskPrint = nullptr;
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(stored(0, "TELEF"), QStringLiteral("444"));
}

TEST_F(BooksDemoTest, AddEditAndDeleteOrganisations) {
    // Organisation 70 was deleted, its reports are still there.
    QDir(programDir).mkpath(QStringLiteral("DBF/D70"));
    openBooks();
    ASSERT_FALSE(HasFailure());
    openOrganisations();
    const int count = storedCount();
    EXPECT_EQ(books->GetMaxKod(), demo::UnnamedOrganisationCode());

    // Add, then cancel: no record.
    QString caption, shownCode;
    bool codeReadOnly = false;
    answer = [&](QDialog &d) {
        auto &edit = static_cast<TFormEditOrg &>(d);
        caption = edit.windowTitle();
        shownCode = edit.DBEditKOD->text();
        codeReadOnly = edit.DBEditKOD->isReadOnly();
        edit.ButtonCancel->click();
    };
    QTest::mouseClick(books->ButtonNew, Qt::LeftButton);
    EXPECT_EQ(caption, QStringLiteral("Организации: Новый"));
    EXPECT_EQ(shownCode, QStringLiteral("71"));
    EXPECT_TRUE(codeReadOnly);
    EXPECT_EQ(storedCount(), count);
    EXPECT_EQ(model()->rowCount(), count);

    // Add with a name the code page cannot hold: refused naming the field,
    // the dialog stays with the text; corrected, it is posted.
    bool stayedOpen = false;
    answer = [&](QDialog &d) {
        auto &edit = static_cast<TFormEditOrg &>(d);
        edit.DBEditNAME->setText(QStringLiteral("Мәктәп № 1"));
        edit.ButtonOK->click();
        stayedOpen = edit.isVisible() && edit.DBEditNAME->text() == QStringLiteral("Мәктәп № 1");
        edit.DBEditNAME->setText(QStringLiteral("Новая школа № 1"));
        edit.DBEditKOD1->setText(QStringLiteral("1"));
        edit.ButtonOK->click();
    };
    QTest::mouseClick(books->ButtonNew, Qt::LeftButton);
    EXPECT_TRUE(stayedOpen);
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_TRUE(recorder->messages[0].text.startsWith(QStringLiteral("Поле \"Наименование\"")));
    ASSERT_EQ(storedCount(), count + 1);
    EXPECT_EQ(stored(count, "KOD"), QStringLiteral("71"));
    EXPECT_EQ(stored(count, "NAME"), QStringLiteral("Новая школа № 1"));
    EXPECT_EQ(stored(count, "KOD1"), QStringLiteral("1"));
    EXPECT_EQ(model()->rowCount(), count + 1);
    EXPECT_EQ(currentCode(), 71);

    // The code of an organisation with reports cannot be changed in the
    // dialog either (the edit is read-only; were it changed all the same).
    books->DBGrid1->setCurrentIndex(index(rowOfCode(1), "NAME"));
    recorder->messages.clear();
    answer = [&](QDialog &d) {
        auto &edit = static_cast<TFormEditOrg &>(d);
        edit.DBEditKOD->setText(QStringLiteral("99"));
        edit.ButtonOK->click();
        stayedOpen = edit.isVisible();
        edit.ButtonCancel->click();
    };
    QTest::mouseClick(books->ButtonEdit, Qt::LeftButton);
    EXPECT_TRUE(stayedOpen);
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_TRUE(
        recorder->messages[0].text.startsWith(QStringLiteral("Код организации 1 изменить нельзя")));
    EXPECT_EQ(stored(rowOfCode(1), "KOD"), QStringLiteral("1"));
    EXPECT_EQ(books->DS1.State(), store::DataSetState::Browse);

    // Edit the third organisation's telephone.
    books->DBGrid1->setCurrentIndex(index(2, "NAME"));
    answer = [&](QDialog &d) {
        auto &edit = static_cast<TFormEditOrg &>(d);
        caption = edit.windowTitle();
        shownCode = edit.DBEditKOD->text();
        edit.DBEditTELEF->setText(QStringLiteral("8-800-1"));
        edit.ButtonOK->click();
    };
    QTest::mouseClick(books->ButtonEdit, Qt::LeftButton);
    EXPECT_EQ(caption, QStringLiteral("Организации: Редактирование"));
    EXPECT_EQ(shownCode, QString::number(demo::Organisations()[2].kod));
    EXPECT_EQ(stored(2, "TELEF"), QStringLiteral("8-800-1"));
    EXPECT_EQ(index(2, "TELEF").data().toString().trimmed(), QStringLiteral("8-800-1"));

    // Delete it: "No" keeps it, "Yes" deletes it.
    recorder->messages.clear();
    recorder->answers = {msg::Answer::No, msg::Answer::Yes};
    const QString name = demo::Organisations()[2].name;
    QTest::mouseClick(books->ButtonDelete, Qt::LeftButton);
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_EQ(recorder->messages[0].title, QStringLiteral("Подтверждение"));
    EXPECT_EQ(recorder->messages[0].text,
              QStringLiteral("Вы действительно хотите удалить организацию\r") + name +
                  QStringLiteral(" ?"));
    EXPECT_EQ(recorder->messages[0].buttons, msg::Buttons::YesNo);
    EXPECT_EQ(storedCount(), count + 1);
    QTest::mouseClick(books->ButtonDelete, Qt::LeftButton);
    EXPECT_EQ(storedCount(), count);
    EXPECT_EQ(rowOfCode(demo::Organisations()[2].kod), -1);
    EXPECT_EQ(model()->rowCount(), count);
}

// Another copy saves the telephone of the organisation being edited: the
// edit is refused, the dialog shows the other copy's telephone and takes the
// user's entry again.
TEST_F(BooksDemoTest, AFieldAnotherCopySavedDuringTheEditIsShownAndEnteredAgain) {
    openBooks();
    ASSERT_FALSE(HasFailure());
    openOrganisations();
    books->DBGrid1->setCurrentIndex(index(2, "NAME"));
    testsupport::CopyProcess other("cells", {programDir});
    QStringList shown;
    answer = [&](QDialog &d) {
        auto &edit = static_cast<TFormEditOrg &>(d);
        shown << edit.DBEditTELEF->text();
        if (shown.size() == 1) {
            edit.DBEditTELEF->setText(QStringLiteral("111"));
            EXPECT_EQ(other.ask(QStringLiteral("set SCHOOL 3 TELEF 222")), QStringLiteral("ok"));
        } else {
            edit.DBEditTELEF->setText(QStringLiteral("333"));
        }
        edit.ButtonOK->click();
        if (edit.isVisible()) // refused: given up
            edit.ButtonCancel->click();
    };
    QTest::mouseClick(books->ButtonEdit, Qt::LeftButton);
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[1], QStringLiteral("222"));
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_TRUE(recorder->messages[0].text.startsWith(
        QStringLiteral("Запись изменена другим пользователем: поле TELEF.")))
        << recorder->messages[0].text.toStdString();
    EXPECT_EQ(stored(2, "TELEF"), QStringLiteral("333"));
    EXPECT_EQ(books->DS1.State(), store::DataSetState::Browse);
}

TEST_F(BooksDemoTest, FindByCodeAndByName) {
    openBooks();
    ASSERT_FALSE(HasFailure());
    openOrganisations();
    auto find = [&](bool byName, const QString &text) {
        answer = [byName, text](QDialog &d) {
            auto &f = static_cast<TFindForm &>(d);
            if (byName) {
                QTest::mouseClick(f.RB2, Qt::LeftButton);
                f.EditName->setText(text);
            } else {
                f.EditKod->setText(text);
            }
            f.ButtonFind->click();
        };
        QTest::mouseClick(books->ButtonFind, Qt::LeftButton);
    };

    find(false, QStringLiteral("12"));
    EXPECT_EQ(currentCode(), 12);
    EXPECT_EQ(books->CurRecNo, rowOfCode(12) + 1);
    EXPECT_EQ(books->DBGrid1->currentIndex().row(), rowOfCode(12));
    find(true, QStringLiteral("гбоу республиканский"));
    EXPECT_EQ(currentCode(), 37); // the first in stored order, any letter case
    EXPECT_TRUE(recorder->messages.isEmpty());

    // Nothing found: the record stays, and the user is told.
    find(true, QStringLiteral("Березовка")); // only further on in a name
    EXPECT_EQ(currentCode(), 37);
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_EQ(recorder->messages[0].text,
              QStringLiteral("Организация, наименование которой начинается с \"Березовка\", не "
                             "найдена."));
    find(false, QStringLiteral("0"));
    EXPECT_EQ(currentCode(), 37);
    EXPECT_EQ(recorder->texts().last(), QStringLiteral("Организация с кодом 0 не найдена."));

    // An empty name searches nothing.
    recorder->messages.clear();
    find(true, QString());
    EXPECT_EQ(currentCode(), 37);
    EXPECT_TRUE(recorder->messages.isEmpty());

    // 12a by code: the message, "0" again, the dialog stays; "Отмена" after.
    bool stayed = false;
    QString codeAfter;
    answer = [&](QDialog &d) {
        auto &f = static_cast<TFindForm &>(d);
        f.EditKod->setText(QStringLiteral("12a"));
        f.ButtonFind->click();
        stayed = f.isVisible();
        codeAfter = f.EditKod->text();
        f.ButtonCancel->click();
    };
    QTest::mouseClick(books->ButtonFind, Qt::LeftButton);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(codeAfter, QStringLiteral("0"));
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_EQ(recorder->messages[0].text, QStringLiteral("Невырный формат ввода!"));
    EXPECT_TRUE(FindForm->Cancelled);
    EXPECT_EQ(FindForm->FindText, QStringLiteral("0"));
    EXPECT_EQ(currentCode(), 37);

    // By name, then "Отмена": cancelled with an empty text; the next showing
    // starts by code with "0".
    answer = [&](QDialog &d) {
        auto &f = static_cast<TFindForm &>(d);
        QTest::mouseClick(f.RB2, Qt::LeftButton);
        f.EditName->setText(QStringLiteral("мобу"));
        f.ButtonCancel->click();
    };
    QTest::mouseClick(books->ButtonFind, Qt::LeftButton);
    EXPECT_TRUE(FindForm->Cancelled);
    EXPECT_EQ(FindForm->FindText, QString());
    EXPECT_EQ(currentCode(), 37);
    answer = [&](QDialog &d) {
        auto &f = static_cast<TFindForm &>(d);
        stayed = f.RB1->isChecked() && f.EditKod->isEnabled() && !f.EditName->isEnabled() &&
                 f.EditKod->text() == QStringLiteral("0") && f.EditName->text().isEmpty();
        f.ButtonCancel->click();
    };
    QTest::mouseClick(books->ButtonFind, Qt::LeftButton);
    EXPECT_TRUE(stayed);
}

TEST_F(BooksDemoTest, TheCurrentRecordsRowIsHighlighted) {
    openBooks();
    ASSERT_FALSE(HasFailure());
    openOrganisations();
    books->DBGrid1->setCurrentIndex(index(3, "NAME"));
    books->DBGrid1->scrollTo(index(3, "KOD"));
    ASSERT_EQ(books->CurRecNo, 4);
    const QStyleOptionViewItem current = books->CellOption(index(3, "KOD"));
    const QStyleOptionViewItem other = books->CellOption(index(4, "KOD"));
    EXPECT_EQ(current.backgroundBrush.color(), kCurrentRowColour);
    EXPECT_TRUE(current.font.bold());
    EXPECT_GT(QFontInfo(current.font).pixelSize(), QFontInfo(other.font).pixelSize());
    EXPECT_EQ(current.palette.color(QPalette::Text),
              books->DBGrid1->palette().color(QPalette::HighlightedText));
    EXPECT_FALSE(other.font.bold());
    EXPECT_NE(other.backgroundBrush.color(), kCurrentRowColour);

    // As painted: the row's colour beside the code, not in the next row.
    const QImage image = books->DBGrid1->viewport()->grab().toImage();
    const QRect cell = books->DBGrid1->visualRect(index(3, "KOD"));
    const QRect below = books->DBGrid1->visualRect(index(4, "KOD"));
    EXPECT_EQ(image.pixelColor(cell.left() + 2, cell.top() + 2), kCurrentRowColour);
    EXPECT_NE(image.pixelColor(below.left() + 2, below.top() + 2), kCurrentRowColour);
}

TEST_F(BooksDemoTest, AnEditInTheGridIsNeverDropped) {
    openBooks();
    ASSERT_FALSE(HasFailure());
    openOrganisations();

    // Typed and still in the cell editor when the window closes.
    typeInto(0, "TELEF", QStringLiteral("111"), 0);
    QTest::mouseClick(books->ButtonExit, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(books.isNull());
    EXPECT_EQ(stored(0, "TELEF"), QStringLiteral("111"));

    // Entered but not posted (the row did not change) when the book switches.
    QTest::mouseClick(mainForm->findChild<QPushButton *>(QStringLiteral("ButtonBooks")),
                      Qt::LeftButton);
    books = qobject_cast<TBooksForm *>(mainForm->workWindow(TMainForm::WorkWindow::Books));
    ASSERT_NE(books, nullptr);
    openOrganisations();
    typeInto(1, "TELEF", QStringLiteral("222"));
    EXPECT_EQ(books->DS1.State(), store::DataSetState::Edit);
    QTest::mouseClick(books->ButtonReports, Qt::LeftButton);
    EXPECT_EQ(stored(1, "TELEF"), QStringLiteral("222"));

    // Entered but not posted when the program ends.
    openOrganisations();
    typeInto(2, "TELEF", QStringLiteral("333"));
    EXPECT_EQ(books->DS1.State(), store::DataSetState::Edit);
    program.end();
    EXPECT_EQ(stored(2, "TELEF"), QStringLiteral("333"));
    EXPECT_TRUE(recorder->messages.isEmpty()) << recorder->texts().join('|').toStdString();
}

TEST_F(BooksDemoTest, ValuesTheTableCannotHoldAndCodeChangesAreRefusedInTheGrid) {
    openBooks();
    ASSERT_FALSE(HasFailure());
    openOrganisations();
    // Organisation 1 has reports under DBF/D1: its code stays.
    const int first = rowOfCode(1);
    ASSERT_TRUE(QDir(programDir + QStringLiteral("DBF/D1")).exists());
    typeInto(first, "KOD", QStringLiteral("99"));
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_EQ(recorder->messages[0].text,
              QStringLiteral("Код организации 1 изменить нельзя: в папке DBF\\D1 лежат ее "
                             "отчеты, которые остались бы под старым кодом."));
    ASSERT_NE(openEditor(), nullptr); // still open with what was typed
    EXPECT_EQ(openEditor()->text(), QStringLiteral("99"));
    QTest::keyClick(openEditor(), Qt::Key_Escape);
    EXPECT_EQ(stored(first, "KOD"), QStringLiteral("1"));

    // A name the code page cannot hold, a name too long, a sign that is no
    // number: each refused naming its field; the record keeps what it had.
    struct Case {
        const char *field;
        QString text;
        QString start;
    };
    const QList<Case> cases = {
        {"NAME", QStringLiteral("Мәктәп"), QStringLiteral("Поле \"Наименование\": знак \"ә\"")},
        {"NAME", QString(101, QLatin1Char('x')),
         QStringLiteral("Поле \"Наименование\": текст длиннее 100 знаков")},
        {"KOD1", QStringLiteral("x"), QStringLiteral("Поле \"Признак 1\": нужно целое число")},
    };
    for (const Case &c : cases) {
        recorder->messages.clear();
        const QString before = stored(first, c.field);
        typeInto(first, c.field, c.text);
        ASSERT_EQ(recorder->messages.size(), 1) << c.field;
        EXPECT_TRUE(recorder->messages[0].text.startsWith(c.start))
            << recorder->messages[0].text.toStdString();
        ASSERT_NE(openEditor(), nullptr);
        EXPECT_EQ(openEditor()->text(), c.text);
        QTest::keyClick(openEditor(), Qt::Key_Escape);
        EXPECT_EQ(stored(first, c.field), before);
    }

    // An organisation without reports may take a free code.
    recorder->messages.clear();
    const int row = rowOfCode(4);
    ASSERT_FALSE(QDir(programDir + QStringLiteral("DBF/D4")).exists());
    typeInto(row, "KOD", QStringLiteral("60"));
    books->DBGrid1->setCurrentIndex(index(row + 1, "NAME")); // the row changes: posted
    EXPECT_TRUE(recorder->messages.isEmpty()) << recorder->texts().join('|').toStdString();
    EXPECT_EQ(stored(row, "KOD"), QStringLiteral("60"));
}

} // namespace
