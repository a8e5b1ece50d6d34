// Two copies of the program keeping one organisation book at once, each in a
// process of its own and driven through the reference books window: a code
// is never given to two organisations.

#include "books/BooksUnit.h"
#include "books/SchoolTables.h"
#include "books/UnitEditOrg.h"
#include "shell/DataSetModel.h"
#include "shell/MultilineGrid_Old.h"
#include "shell/Paths.h"
#include "support/DataModuleConnections.h"
#include "support/TableBuilder.h"
#include "support/TwoCopies.h"

#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using testsupport::CopyStep;

namespace {

// The reference books of one copy, on the organisation book.
struct Books {
    QPointer<TBooksForm> form;
    QString name; // the name the next new organisation is given

    ~Books() {
        if (form)
            form->close(); // refused while an edit it cannot write is pending
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete form;
    }

    QModelIndex cell(int row, const QString &field) {
        DataSetModel *m = form->GridModel();
        return m->index(row, m->columnOfField(field));
    }
};

// The program on the installation of its first argument, its reference books
// open on the organisations. Commands: "new NAME..." ("Добавить"; at the
// dialog the copy answers "asked" and the code it shows, and stops until the
// test says "ok": the name is typed and "OK" pressed); "code ROW KOD" (types
// the code into the grid's cell of row ROW, counted from 0, and leaves it
// pending); "orgs" ("Организации", which writes what is pending first);
// "reports KOD" (a report table in the data folder DBF\D<KOD>, as filling a
// report leaves it); "delete ROW" ("Удалить" on row ROW, answered Yes).
const bool kBooksRole = testsupport::registerCopyRole(
    "books", [](const QStringList &args, testsupport::CopyChannel &channel) {
        paths::setProgramDirForTests(args.value(0));
        testsupport::closeDataModuleConnections();
        auto b = std::make_shared<Books>();
        channel.recorder->onDialog = [&channel, books = std::weak_ptr<Books>(b)](QDialog &d) {
            auto &edit = dynamic_cast<TFormEditOrg &>(d);
            d.show();
            channel.waitForTest(QStringLiteral("asked ") + edit.DBEditKOD->text());
            if (const auto b = books.lock())
                edit.DBEditNAME->setText(b->name);
            edit.ButtonOK->click();
            if (edit.isVisible())
                edit.ButtonCancel->click();
            d.hide();
            return d.result();
        };
        b->form = new TBooksForm;
        b->form->resize(1000, 700);
        b->form->show();
        b->form->ButtonOrgsClick();
        return [b, &channel](const QStringList &w) -> QString {
            const QString command = w.value(0);
            if (command == u"new") {
                b->name = w.mid(1).join(u' ');
                b->form->ButtonNewClick();
            } else if (command == u"code") {
                TMultiLineGrid *grid = b->form->DBGrid1;
                grid->setCurrentIndex(b->cell(w[1].toInt(), QStringLiteral("KOD")));
                QTest::keyClick(grid, Qt::Key_F2);
                QLineEdit *editor = nullptr;
                for (QLineEdit *e : grid->viewport()->findChildren<QLineEdit *>())
                    if (!e->isHidden())
                        editor = e;
                if (!editor)
                    return QStringLiteral("no editor");
                editor->selectAll();
                editor->insert(w[2]);
                QTest::keyClick(editor, Qt::Key_Return);
                QCoreApplication::processEvents();
            } else if (command == u"orgs") {
                b->form->ButtonOrgsClick();
            } else if (command == u"reports") {
                const QString folder = paths::GetOrgDataDir(w.value(1));
                QDir().mkpath(folder);
                testsupport::writeTable(folder, "F12016", {{"N1", 'N', 12, 2}}, {{{"N1", 7}}});
            } else if (command == u"delete") {
                b->form->DS1.setRecNo(w.value(1).toInt() + 1);
                channel.recorder->answers.push_back(msg::Answer::Yes);
                b->form->ButtonDeleteClick();
            } else {
                return QStringLiteral("unknown command");
            }
            return QStringLiteral("ok");
        };
    });

} // namespace

TEST(BooksTwoCopies, ACodeIsNeverGivenTwice) {
    const struct {
        const char *what;
        QList<CopyStep> steps;
        QList<QPair<int, QString>> book; // KOD and NAME of each record, in stored order
    } cases[] = {
        {"both add at once: the one that saves second gets the next code and is told",
         {{0, "new Школа А", "asked 4"},
          {1, "new Школа Б", "asked 4"},
          {0, "ok", "ok"},
          {1, "ok", "ok"},
          {0, "messages", ""},
          {1, "messages",
           "Пока вводилась новая организация, код 4 получила организация «Школа А», записанная "
           "в другой копии программы. Новая организация «Школа Б» записана с кодом 5."}},
         {{1, "Школа 1"}, {2, "Школа 2"}, {3, "Школа 3"}, {4, "Школа А"}, {5, "Школа Б"}}},
        {"one changes a code in the grid while the other adds with that code: the change is "
         "refused",
         {{0, "code 1 4", "ok"},
          {1, "new Школа Б", "asked 4"},
          {1, "ok", "ok"},
          {0, "orgs", "ok"},
          {0, "messages", "Значение 4 поля KOD уже есть у другой записи*"},
          {1, "messages", ""}},
         {{1, "Школа 1"}, {2, "Школа 2"}, {3, "Школа 3"}, {4, "Школа Б"}}},
        {"the other adds with the code shown, fills a report and deletes the organisation: the "
         "new one does not take over its reports, and is told",
         {{0, "new Школа А", "asked 4"},
          {1, "new Школа Б", "asked 4"},
          {1, "ok", "ok"},
          {1, "reports 4", "ok"},
          {1, "delete 3", "ok"},
          {0, "ok", "ok"},
          {0, "messages",
           "Пока вводилась новая организация, код 4 занят папкой DBF\\D4 с отчетами организации, "
           "удаленной в другой копии программы. Новая организация «Школа А» записана с кодом 5."},
          {1, "messages", "Вы действительно хотите удалить организацию Школа Б ?"}},
         {{1, "Школа 1"}, {2, "Школа 2"}, {3, "Школа 3"}, {5, "Школа А"}}},
    };
    for (const auto &c : cases) {
        QTemporaryDir dir;
        testsupport::writeTable(dir.path(), "SCHOOL", SchoolFieldDefs(),
                                {{{"KOD", 1}, {"NAME", "Школа 1"}},
                                 {{"KOD", 2}, {"NAME", "Школа 2"}},
                                 {{"KOD", 3}, {"NAME", "Школа 3"}}});
        QDir(dir.path()).mkpath("DBF/D1"); // organisation 1 has reports
        testsupport::runCopySteps("books", {dir.path()}, c.steps, c.what);
        testsupport::OpenTable school(dir.path(), "SCHOOL");
        QList<QPair<int, QString>> book;
        for (int row = 1; row <= school.ds.RecordCount(); ++row)
            book.append({school.integer(row, "KOD"), school.text(row, "NAME")});
        EXPECT_EQ(book, c.book) << c.what;
    }
}
