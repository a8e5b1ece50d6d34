// Two copies of the program at work on one installation, each in a process
// of its own and driven through its windows: what one copy saved stands
// after the other's save, Enter (the row totals) and creating a report.

#include "books/SetupUnit.h"
#include "entry/EditReportUnit.h"
#include "entry/MessageUnit.h"
#include "entry/entry_install.h"
#include "shell/AppState.h"
#include "shell/DataSetModel.h"
#include "shell/MultilineGrid_Old.h"
#include "shell/Paths.h"
#include "support/DataModuleConnections.h"
#include "support/TwoCopies.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using entrytest::Installation;
using testsupport::CopyStep;

namespace {

// The windows of one copy.
struct Program {
    QPointer<TSetupForm> setup;
    QPointer<TEditReportForm> entry;

    ~Program() {
        for (QWidget *w : {static_cast<QWidget *>(setup), static_cast<QWidget *>(entry)})
            if (w)
                w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QLineEdit *requisite(const QString &field) {
        const QList<QPair<QString, QLineEdit *>> edits = {{"BANK", setup->DBEditName},
                                                          {"TEL", setup->DBEditPhone}};
        for (const auto &e : edits)
            if (e.first == field)
                return e.second;
        throw std::runtime_error("no such requisite");
    }
    DataSetModel *grid() { return entry->GridModel(); }
    QModelIndex cell(int row, const QString &field) {
        return grid()->index(row, grid()->columnOfField(field));
    }
    void go(int row, const QString &field = QStringLiteral("NAME")) {
        entry->DBGrid1->setCurrentIndex(cell(row, field));
    }
    // The grid's open cell editor, if any.
    QLineEdit *editor() {
        for (QLineEdit *e : entry->DBGrid1->viewport()->findChildren<QLineEdit *>())
            if (e->isVisible())
                return e;
        return nullptr;
    }
};

// The program on the installation of its first argument. Commands:
// "setup" (the settings window on its requisites), "requisite F text",
// "shown F", "save"; "entry" (the report entry window), "open O R"
// (organisation row O, report row R; at the question whether to take the
// blank the copy answers "asked" and stops until the test says "yes" or
// "no"), "type R F V" (the value handed to the grid), "keys R F V" (typed in
// the cell's editor over its text, as a user types; the editor stays open),
// "go R", "enter" (in the open editor, if any), "store" ("Сохранить"),
// "cell R F" (as the grid shows it).
const bool kProgramRole = testsupport::registerCopyRole(
    "program", [](const QStringList &args, testsupport::CopyChannel &channel) {
        paths::setProgramDirForTests(args.value(0));
        appState().WorkYear = 2016;
        testsupport::closeDataModuleConnections();
        channel.recorder->onDialog = [&channel](QDialog &d) {
            auto &question = dynamic_cast<TMessageForm &>(d);
            const bool take = channel.waitForTest(QStringLiteral("asked")) == u"yes";
            (take ? question.ButtonOk : question.ButtonCancel)->click();
            return d.result();
        };
        auto p = std::make_shared<Program>();
        return [p](const QStringList &w) -> QString {
            const QString command = w.value(0);
            const QString rest = w.mid(2).join(u' ');
            if (command == u"setup") {
                p->setup = new TSetupForm;
                p->setup->show();
                p->setup->ButtonRegimClick();
            } else if (command == u"requisite") {
                QLineEdit *edit = p->requisite(w[1]);
                edit->setText(rest);
                emit edit->textEdited(rest);
            } else if (command == u"shown") {
                return p->requisite(w[1])->text();
            } else if (command == u"save") {
                p->setup->ButtonApplyClick();
            } else if (command == u"entry") {
                p->entry = new TEditReportForm;
                p->entry->resize(1000, 700);
                p->entry->show();
            } else if (command == u"open") {
                p->go(w[1].toInt());
                p->entry->GridEnter();
                p->go(w[2].toInt());
                p->entry->GridEnter();
                return p->entry->Level() == 4 ? QStringLiteral("ok") : QStringLiteral("not open");
            } else if (command == u"type") {
                p->go(w[1].toInt(), w[2]);
                if (!p->grid()->setData(p->cell(w[1].toInt(), w[2]), w[3]))
                    return QStringLiteral("not typed");
            } else if (command == u"keys") {
                p->go(w[1].toInt(), w[2]);
                p->entry->DBGrid1->edit(p->cell(w[1].toInt(), w[2]));
                QLineEdit *editor = p->editor();
                if (!editor)
                    return QStringLiteral("no editor");
                editor->selectAll();
                QTest::keyClicks(editor, w[3]);
            } else if (command == u"go") {
                p->go(w[1].toInt());
            } else if (command == u"enter") {
                if (QLineEdit *editor = p->editor())
                    QTest::keyClick(editor, Qt::Key_Return);
                else
                    p->entry->GridEnter();
            } else if (command == u"store") {
                p->entry->ButtonSaveClick();
            } else if (command == u"cell") {
                return p->cell(w[1].toInt(), w[2]).data().toString();
            } else {
                return QStringLiteral("unknown command");
            }
            return QStringLiteral("ok");
        };
    });

struct FileCell {
    QString folder; // empty: the installation's
    QString table;
    int row;
    QString field;
    QString value;
};

// The entry tests' installation, with requisites that have a telephone, a
// report of group 2 of ten-digit whole numbers, and organisation 1 holding
// the reports of groups 2, 47 and 51 and one without totals.
void prepare(Installation &inst) {
    testsupport::writeTable(inst.dir.path(), "REGIM", {{"BANK", 'C', 60, 0}, {"TEL", 'C', 20, 0}},
                            {{{"BANK", QStringLiteral("Управление образования")}}});
    inst.addCatalogue({9, "Группа два", "F2.DBF", 2, 16, {}, {}});
    entrytest::makeTable(inst.wed() + "F2.DBF", entrytest::reportFields(16, 60, 10, 0), 2);
    for (const char *report : {"F2", "F47", "F51", "F5"})
        QFile::copy(inst.wed() + report + ".DBF", inst.org(1) + report + "2016.DBF");
}

// Two copies on the installation take the steps in turn; then the files hold
// the cells.
void run(Installation &inst, const char *what, const QList<CopyStep> &steps,
         const QList<FileCell> &cells) {
    testsupport::runCopySteps("program", {inst.dir.path()}, steps, what);
    for (const FileCell &c : cells) {
        const QString folder = c.folder.isEmpty() ? inst.dir.path() : inst.dir.path() + c.folder;
        EXPECT_EQ(testsupport::readCell(folder, c.table, c.row, c.field).toString(), c.value)
            << what << ": " << c.table.toStdString() << " " << c.row << " "
            << c.field.toStdString();
    }
}

const QString kRefused = QStringLiteral("Запись изменена другим пользователем: поле ");

} // namespace

TEST(TwoCopies, WhatOneCopySavedStandsAfterTheOthersSaveAndEnter) {
    const QString org1 = "/DBF/D1";
    const struct {
        const char *what;
        QList<CopyStep> steps;
        QList<FileCell> cells;
    } cases[] = {
        {"requisites: B saves the name, then A, which showed the old one, saves the telephone",
         {{0, "setup", "ok"},
          {1, "setup", "ok"},
          {1, "requisite BANK Новое управление", "ok"},
          {1, "save", "ok"},
          {0, "requisite TEL 123", "ok"},
          {0, "save", "ok"},
          {0, "messages", ""},
          {0, "shown BANK", "Новое управление"}},
         {{"", "REGIM", 1, "BANK", "Новое управление"}, {"", "REGIM", 1, "TEL", "123"}}},
        {"requisites: both change the name: the later save is refused and shows the saved one",
         {{0, "setup", "ok"},
          {1, "setup", "ok"},
          {1, "requisite BANK Первое", "ok"},
          {1, "save", "ok"},
          {0, "requisite BANK Второе", "ok"},
          {0, "save", "ok"},
          {0, "messages", kRefused + "BANK.*"},
          {0, "shown BANK", "Первое"}},
         {{"", "REGIM", 1, "BANK", "Первое"}}},
        {"group 2: B types N3 and its total; A's Enter keeps both",
         {{0, "entry", "ok"},
          {0, "open 0 7", "ok"},
          {1, "entry", "ok"},
          {1, "open 0 7", "ok"},
          {1, "type 0 N3 5", "ok"},
          {1, "enter", "ok"},
          {0, "go 0", "ok"},
          {0, "enter", "ok"},
          {0, "messages", ""},
          {0, "cell 0 N1", "5"},
          {0, "cell 0 N3", "5"}},
         {{org1, "F22016", 1, "N3", "5"}, {org1, "F22016", 1, "N1", "5"}}},
        {"group 2: A's figure typed in the row and B's saved meanwhile both count in the total",
         {{0, "entry", "ok"},
          {0, "open 0 7", "ok"},
          {1, "entry", "ok"},
          {1, "open 0 7", "ok"},
          {0, "type 0 N2 1", "ok"},
          {1, "type 0 N3 5", "ok"},
          {1, "enter", "ok"},
          {0, "enter", "ok"},
          {0, "messages", ""},
          {0, "cell 0 N1", "6"}},
         {{org1, "F22016", 1, "N2", "1"},
          {org1, "F22016", 1, "N3", "5"},
          {org1, "F22016", 1, "N1", "6"}}},
        {"group 47: B types N3 of row 1 and Enter totals every row; A's Enter on row 2 keeps "
         "them",
         {{0, "entry", "ok"},
          {0, "open 0 1", "ok"},
          {1, "entry", "ok"},
          {1, "open 0 1", "ok"},
          {1, "type 0 N3 5", "ok"},
          {1, "enter", "ok"},
          {0, "go 1", "ok"},
          {0, "enter", "ok"},
          {0, "messages", ""},
          {0, "cell 0 N1", "5"}},
         {{org1, "F472016", 1, "N3", "5"}, {org1, "F472016", 1, "N1", "5"}}},
        {"group 51: B types N3 of row 1 and Enter sums it into the last row; A's Enter keeps "
         "the sum",
         {{0, "entry", "ok"},
          {0, "open 0 5", "ok"},
          {1, "entry", "ok"},
          {1, "open 0 5", "ok"},
          {1, "type 0 N3 5", "ok"},
          {1, "enter", "ok"},
          {0, "go 1", "ok"},
          {0, "enter", "ok"},
          {0, "messages", ""},
          {0, "cell 2 N3", "5"}},
         {{org1, "F512016", 1, "N3", "5"}, {org1, "F512016", 3, "N3", "5"}}},
        {"group 2: B saves N3 and its total while A shows 0; A's N4 would make a total too "
         "wide: refused on the row as saved, and nothing of it written",
         {{0, "entry", "ok"},
          {0, "open 0 7", "ok"},
          {1, "entry", "ok"},
          {1, "open 0 7", "ok"},
          {1, "type 0 N3 9000000000", "ok"},
          {1, "enter", "ok"},
          {0, "keys 0 N4 5000000000", "ok"},
          {0, "enter", "ok"},
          {0, "messages",
           "Число 5000000000 нельзя записать в поле N4: итог 14000000000 не поместится в поле "
           "N1*"},
          {0, "cell 0 N3", "9000000000"},
          {0, "cell 0 N4", ""}},
         {{org1, "F22016", 1, "N3", "9000000000"},
          {org1, "F22016", 1, "N4", ""},
          {org1, "F22016", 1, "N1", "9000000000"}}},
        {"a figure typed equal to the one shown is posted: B saved 5 where A shows 0, and A's "
         "0, saved, is refused, showing B's 5",
         {{0, "entry", "ok"},
          {0, "open 0 4", "ok"},
          {0, "type 0 N1 0", "ok"},
          {0, "store", "ok"},
          {1, "entry", "ok"},
          {1, "open 0 4", "ok"},
          {1, "type 0 N1 5", "ok"},
          {1, "store", "ok"},
          {0, "keys 0 N1 0", "ok"},
          {0, "enter", "ok"},
          {0, "store", "ok"},
          {0, "messages", kRefused + "N1.*"},
          {0, "cell 0 N1", "5"}},
         {{org1, "F52016", 1, "N1", "5"}}},
    };
    for (const auto &c : cases) {
        Installation inst;
        prepare(inst);
        run(inst, c.what, c.steps, c.cells);
    }
}

TEST(TwoCopies, CreatingAReportNeverReplacesOneAnotherCopyMade) {
    const QString org2 = "/DBF/D2";
    const struct {
        const char *what;
        QList<CopyStep> steps;
        QList<FileCell> cells;
    } cases[] = {
        {"both asked, A takes the blank and saves a figure, then B takes it: B opens A's report",
         {{0, "entry", "ok"},
          {1, "entry", "ok"},
          {1, "open 1 0", "asked"},
          {0, "open 1 0", "asked"},
          {0, "yes", "ok"},
          {0, "type 0 N1 123", "ok"},
          {0, "store", "ok"},
          {1, "yes", "ok"},
          {1, "messages", ""},
          {1, "cell 0 N1", "123"}},
         {{org2, "F42016", 1, "N1", "123"}}},
        {"a report with age rows: B taking the blank after A keeps A's figures",
         {{0, "entry", "ok"},
          {1, "entry", "ok"},
          {1, "open 1 2", "asked"},
          {0, "open 1 2", "asked"},
          {0, "yes", "ok"},
          {0, "type 0 N1 7", "ok"},
          {0, "store", "ok"},
          {1, "yes", "ok"},
          {1, "cell 0 N1", "7"}},
         {{org2, "F122016", 1, "N1", "7"}}},
    };
    for (const auto &c : cases) {
        Installation inst;
        prepare(inst);
        run(inst, c.what, c.steps, c.cells);
    }
}
