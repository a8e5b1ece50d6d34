// The settings window and the service on the demo installation, reached from
// the main window's buttons as a user reaches them: the requisites edited,
// refused and saved, the period's tables looked at, and then the archive and
// the rebuild of a report's tables on a changed blank.

#include "books/RebuildFiles.h"
#include "books/ServiceUnit.h"
#include "books/SetupUnit.h"
#include "demo/DemoData.h"
#include "shell/DataSetModel.h"
#include "shell/MultilineGrid_Old.h"
#include "shell/Paths.h"
#include "shell/YearUnit.h"
#include "app/MainUnit.h"
#include "app/ProgramWindows.h"
#include "support/DemoProgram.h"
#include "support/MessageRecorder.h"
#include "support/TableBuilder.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

namespace {

using testsupport::readCell;

class SettingsServiceRoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(program.dir.isValid());
        recorder->onDialog = [this](QDialog &d) {
            if (testsupport::DemoProgram::answerDate(d))
                return int(QDialog::Accepted);
            if (auto *year = qobject_cast<TYearForm *>(&d)) {
                year->Year = 2015;
                return int(QDialog::Accepted);
            }
            if (auto *service = qobject_cast<TServiceForm *>(&d)) {
                service->show();
                if (inService)
                    inService(*service);
                service->hide();
                return int(QDialog::Rejected);
            }
            return int(QDialog::Rejected);
        };
        program.start(QSize(1200, 800));
        ASSERT_EQ(mainForm->WorkYear(), 2017);
    }

    // The windows go before the fixture's own members.
    void TearDown() override { program.end(); }

    void click(const QString &mainButtonText) {
        if (QPushButton *button = program.mainButton(mainButtonText))
            return QTest::mouseClick(button, Qt::LeftButton);
        ADD_FAILURE() << "no visible button " << mainButtonText.toStdString();
    }

    QStringList visibleTitles(TSetupForm &f) {
        QStringList titles;
        for (const auto &c : f.GridModel()->columns())
            if (c.visible)
                titles.append(c.title);
        titles.sort();
        return titles;
    }

    QString regim(const char *field) {
        return readCell(programDir, "REGIM", 1, field).toString().trimmed();
    }

    testsupport::DemoProgram program;
    const QString &programDir = program.programDir;
    std::unique_ptr<MessageRecorder> &recorder = program.recorder;
    std::unique_ptr<TMainForm> &mainForm = program.mainForm;
    std::function<void(TServiceForm &)> inService;
};

TEST_F(SettingsServiceRoadTest, RequisitesAreSavedOrRefusedAndThePeriodTablesShown) {
    click(QStringLiteral("Настройка"));
    auto *setup = qobject_cast<TSetupForm *>(mainForm->workWindow(TMainForm::WorkWindow::Setup));
    ASSERT_NE(setup, nullptr);
    EXPECT_EQ(setup->PanelText(), QStringLiteral("Период: 2015/2016"));
    EXPECT_FALSE(setup->GroupBox2->isVisible());

    // The requisites; typing presses "Сохранить", leaving unsaved asks, and
    // "No" brings the old INN back.
    const QString oldInn = regim("INNO");
    QTest::mouseClick(setup->ButtonRegim, Qt::LeftButton);
    EXPECT_EQ(setup->GroupBox2->title(), QStringLiteral("Реквизиты"));
    EXPECT_EQ(setup->DBEditINN->text(), oldInn);
    EXPECT_EQ(setup->DBEditName->text(), regim("BANK"));
    QTest::keyClicks(setup->DBEditINN, QStringLiteral("9"));
    EXPECT_TRUE(setup->ButtonApply->isChecked());
    recorder->answers = {msg::Answer::No};
    QTest::mouseClick(setup->ButtonSvod, Qt::LeftButton);
    ASSERT_EQ(recorder->texts(), QStringList{QStringLiteral("Сохранить изменения реквизитов?")});
    EXPECT_EQ(setup->GroupBox2->title(), QStringLiteral("Сводные отчеты"));
    QStringList svodTitles = {"Код свода", "Название свода", "Примечание"};
    svodTitles.sort();
    EXPECT_EQ(visibleTitles(*setup), svodTitles);
    DataSetModel *grid = setup->GridModel();
    ASSERT_GT(grid->rowCount(), 0);
    EXPECT_FALSE(grid->flags(grid->index(0, 0)).testFlag(Qt::ItemIsEditable));
    QTest::mouseClick(setup->ButtonRegim, Qt::LeftButton);
    EXPECT_EQ(setup->DBEditINN->text(), oldInn);
    EXPECT_EQ(regim("INNO"), oldInn);

    // A name the table cannot hold is refused by name and stays in edit;
    // corrected, it is saved.
    recorder->messages.clear();
    setup->DBEditINN->selectAll();
    QTest::keyClicks(setup->DBEditINN, QStringLiteral("0274000001"));
    QTest::keyClick(setup->DBEditName, Qt::Key_Space);
    // A character the Windows Cyrillic code page has no place for.
    QTest::sendKeyEvent(QTest::Click, setup->DBEditName, Qt::Key_unknown, QStringLiteral("\u4e2d"),
                        Qt::NoModifier);
    QTest::mouseClick(setup->ButtonApply, Qt::LeftButton);
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_EQ(recorder->messages[0].title, QStringLiteral("Ошибка"));
    EXPECT_TRUE(recorder->messages[0].text.startsWith(
        QStringLiteral("Реквизит \"Организация\" не может быть сохранен")));
    EXPECT_TRUE(setup->ButtonApply->isChecked());
    EXPECT_EQ(regim("INNO"), oldInn);
    QTest::keyClick(setup->DBEditName, Qt::Key_Backspace);
    QTest::keyClick(setup->DBEditName, Qt::Key_Backspace);
    QTest::mouseClick(setup->ButtonApply, Qt::LeftButton);
    EXPECT_FALSE(setup->ButtonApply->isChecked());
    EXPECT_EQ(regim("INNO"), QStringLiteral("0274000001"));

    // The formula tables; "Бланки отчетов" only says it is not available; a
    // missing table tells the user to open the period.
    recorder->messages.clear();
    QTest::mouseClick(setup->ButtonFormlBlank, Qt::LeftButton);
    QStringList formTitles = {"Переменная",
                              "Название отчета",
                              "Код отчета",
                              "Колонка: 0-все",
                              "Формула для расчета переменной",
                              "N N строки",
                              "Комментарии к формуле",
                              "N формулы"};
    formTitles.sort();
    EXPECT_EQ(visibleTitles(*setup), formTitles);
    QTest::mouseClick(setup->ButtonBlank, Qt::LeftButton);
    EXPECT_FALSE(setup->GroupBox2->isVisible());
    ASSERT_TRUE(QFile::remove(programDir + QStringLiteral("WED/PROV2016.DBF")));
    QTest::mouseClick(setup->ButtonFormlConnect, Qt::LeftButton);
    EXPECT_EQ(
        recorder->texts(),
        QStringList({QStringLiteral("Настройка бланков произведена в ROZ. Функция не доступна "
                                    "пользователю."),
                     QStringLiteral("Нет БД PROV2016.DBF. Не открыт период. Сделайте "
                                    "'Начало нового периода'.")}));
    EXPECT_EQ(grid->rowCount(), 0);

    // Closing with the requisites changed asks, and "Yes" saves them.
    QTest::mouseClick(setup->ButtonRegim, Qt::LeftButton);
    setup->DBEditPhone->selectAll();
    QTest::keyClicks(setup->DBEditPhone, QStringLiteral("8-347-000"));
    recorder->messages.clear();
    recorder->answers = {msg::Answer::Yes};
    QTest::mouseClick(setup->ButtonExit, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(recorder->texts(), QStringList{QStringLiteral("Сохранить изменения реквизитов?")});
    EXPECT_EQ(regim("TEL"), QStringLiteral("8-347-000"));
    EXPECT_EQ(mainForm->workWindow(TMainForm::WorkWindow::Setup), nullptr);
}

TEST_F(SettingsServiceRoadTest, ServiceArchivesTheYearAndRebuildsAReportOnItsNewBlank) {
    const QString wed = programDir + QStringLiteral("WED/");
    // The report of the first organisation with data in 2016, and the shape
    // of its new blank: a field added, an empty field removed, two rows added.
    const int firstOrg = demo::OrganisationsWithData(2016).first();
    const QString base = demo::FilledReports(*demo::FindOrganisation(firstOrg), 2016).first().base;
    const QVector<store::FieldDef> oldFields = store::DbfFile::fieldsOf(wed + base + ".DBF");
    QStringList orgTables;
    {
        testsupport::OpenTable school(programDir, QStringLiteral("SCHOOL"));
        for (school.ds.First(); !school.ds.Eof(); school.ds.Next()) {
            const QString org = paths::GetOrgDataDir(school.ds.FieldByName("KOD").AsString());
            if (QFile::exists(org + base + "2016.DBF"))
                orgTables.append(org);
        }
    }
    ASSERT_FALSE(orgTables.isEmpty());
    QString removed;
    for (int i = oldFields.size() - 1; i >= 0 && removed.isEmpty(); --i) {
        const QString f = oldFields[i].name;
        if (!f.startsWith('N') || f == QStringLiteral("NAME"))
            continue;
        bool empty = true;
        for (const QString &org : orgTables) {
            testsupport::OpenTable t(org, base + "2016");
            for (t.ds.First(); !t.ds.Eof() && empty; t.ds.Next())
                empty = t.ds.FieldByName(f).IsNull() || t.ds.FieldByName(f).AsFloat() == 0;
        }
        if (empty)
            removed = f;
    }
    ASSERT_FALSE(removed.isEmpty()) << "no empty data column in " << base.toStdString();
    QVector<store::FieldDef> newFields;
    for (const auto &f : oldFields)
        if (f.name != removed)
            newFields.append(f);
    newFields.append({QStringLiteral("N99"), 'N', 6, 0});
    QList<testsupport::Record> blankRows;
    {
        testsupport::OpenTable blank(wed, base);
        for (blank.ds.First(); !blank.ds.Eof(); blank.ds.Next())
            blankRows.append({{"KODSTR", blank.ds.FieldByName("KODSTR").AsString()},
                              {"NAME", blank.ds.FieldByName("NAME").AsString()}});
    }
    const int oldRows = blankRows.size();
    blankRows.append(testsupport::Record{{"KODSTR", "98"}, {"N99", 7}});
    blankRows.append(testsupport::Record{{"KODSTR", "99"}, {"N99", 7}});
    testsupport::writeTable(wed, "O" + base, newFields, blankRows);

    // What each organisation's table holds before.
    QList<QList<QStringList>> before;
    for (const QString &org : orgTables) {
        testsupport::OpenTable t(org, base + "2016");
        QList<QStringList> rows;
        for (t.ds.First(); !t.ds.Eof(); t.ds.Next()) {
            QStringList row;
            for (const auto &f : newFields)
                if (f.name != "N99")
                    row.append(t.ds.FieldByName(f.name).AsString());
            rows.append(row);
        }
        before.append(rows);
    }

    // The cursor at every file step of the archive and of the rebuild.
    QSet<int> archiveCursors, rebuildCursors;
    QSet<int> *cursors = nullptr;
    service::setFileStepProbe([&](service::FileStep, const QString &) {
        const QCursor *c = QApplication::overrideCursor();
        cursors->insert(c ? int(c->shape()) : -1);
    });
    inService = [&](TServiceForm &service) {
        EXPECT_EQ(service.Year, 2017);
        cursors = &archiveCursors;
        QTest::mouseClick(service.ButtonSaveDataToArh, Qt::LeftButton);
        service.today = [] { return QDate(2016, 10, 3); };
        cursors = &rebuildCursors;
        QTest::mouseClick(service.ButtonService, Qt::LeftButton);
    };
    click(QStringLiteral("Сервис"));
    service::setFileStepProbe(nullptr);
    EXPECT_EQ(archiveCursors, QSet<int>{Qt::WaitCursor});
    EXPECT_EQ(rebuildCursors, QSet<int>{Qt::WaitCursor});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    ASSERT_EQ(recorder->messages.size(), 2) << recorder->texts().join('|').toStdString();
    EXPECT_EQ(recorder->messages[0].text, QStringLiteral("Сохранение баз в архив выполнено."));
    EXPECT_EQ(recorder->messages[1].text.toStdString(),
              QStringLiteral("Обслуживание БД выполнено за 2016 год.\rПерестроено таблиц: %1 "
                             "(организаций: %1).\rЗаменены бланки: %2.DBF.")
                  .arg(orgTables.size())
                  .arg(base)
                  .toStdString());

    // The archive holds every 2017 table of every organisation, by its code.
    int archived = 0;
    for (int code : demo::OrganisationsWithData(2017)) {
        const QDir data(paths::GetOrgDataDir(QString::number(code)));
        for (const QString &file : data.entryList({"*2017.DBF"}, QDir::Files)) {
            EXPECT_TRUE(QFile::exists(programDir + "ARX/D" + QString::number(code) + "/" + file))
                << code << " " << file.toStdString();
            ++archived;
        }
    }
    EXPECT_GT(archived, 0);

    // Every table of the report: the new structure, every shared value kept
    // row by row, the two new rows after them.
    for (int i = 0; i < orgTables.size(); ++i) {
        testsupport::OpenTable t(orgTables[i], base + "2016");
        ASSERT_EQ(t.ds.FieldCount(), newFields.size());
        ASSERT_EQ(t.ds.RecordCount(), qMax(oldRows + 2, before[i].size()));
        int r = 0;
        for (t.ds.First(); !t.ds.Eof() && r < before[i].size(); t.ds.Next(), ++r) {
            QStringList row;
            for (const auto &f : newFields)
                if (f.name != "N99")
                    row.append(t.ds.FieldByName(f.name).AsString());
            EXPECT_EQ(row, before[i][r]) << orgTables[i].toStdString() << " row " << r + 1;
        }
        EXPECT_EQ(t.integer(oldRows + 2, "N99"), 7);
        EXPECT_FALSE(QFile::exists(orgTables[i] + "O" + base + "2016.DBF"));
    }
    EXPECT_FALSE(QFile::exists(wed + "O" + base + ".DBF"));
    EXPECT_EQ(store::DbfFile::fieldsOf(wed + base + ".DBF").size(), newFields.size());

    // "Установка даты" closes the service and asks for the working date again.
    recorder->dialogs.clear();
    inService = [](TServiceForm &service) {
        QTest::mouseClick(service.ButtonSetData, Qt::LeftButton);
    };
    click(QStringLiteral("Сервис"));
    EXPECT_EQ(recorder->dialogs, QList<QString>({"TServiceForm", "TDateForm"}));
}

TEST_F(SettingsServiceRoadTest, TheButtonPanelKeepsItsWidthWhileNoViewIsShown) {
    click(QStringLiteral("Настройка"));
    auto *setup = qobject_cast<TSetupForm *>(mainForm->workWindow(TMainForm::WorkWindow::Setup));
    ASSERT_NE(setup, nullptr);
    auto *buttons = setup->findChild<QGroupBox *>(QStringLiteral("GroupBox1"));
    ASSERT_NE(buttons, nullptr);
    QCoreApplication::processEvents();

    // With no view shown the buttons stay a narrow column on the left, as
    // wide as while a view is shown, and do not stretch over the window.
    ASSERT_FALSE(setup->GroupBox2->isVisible());
    const int emptyWidth = buttons->width();
    EXPECT_LT(emptyWidth, setup->width() / 3);
    QTest::mouseClick(setup->ButtonRegim, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(buttons->width(), emptyWidth);
    QTest::mouseClick(setup->ButtonBlank, Qt::LeftButton);
    QCoreApplication::processEvents();
    ASSERT_FALSE(setup->GroupBox2->isVisible());
    EXPECT_EQ(buttons->width(), emptyWidth);
}

TEST_F(SettingsServiceRoadTest, TypingIntoAnEmptyRequisitesTableMakesItsRecord) {
    const QString regimPath = programDir + QStringLiteral("REGIM.DBF");
    store::DbfFile::create(regimPath, store::DbfFile::fieldsOf(regimPath));
    click(QStringLiteral("Настройка"));
    auto *setup = qobject_cast<TSetupForm *>(mainForm->workWindow(TMainForm::WorkWindow::Setup));
    ASSERT_NE(setup, nullptr);
    QTest::mouseClick(setup->ButtonRegim, Qt::LeftButton);
    EXPECT_TRUE(setup->DBEditName->text().isEmpty());
    QTest::keyClicks(setup->DBEditINN, QStringLiteral("0274000002"));
    EXPECT_TRUE(setup->ButtonApply->isChecked());
    QTest::mouseClick(setup->ButtonApply, Qt::LeftButton);
    EXPECT_FALSE(setup->ButtonApply->isChecked());
    testsupport::OpenTable regimTable(programDir, QStringLiteral("REGIM"));
    ASSERT_EQ(regimTable.ds.RecordCount(), 1);
    EXPECT_EQ(regimTable.text(1, QStringLiteral("INNO")), QStringLiteral("0274000002"));
    EXPECT_TRUE(recorder->messages.isEmpty()) << recorder->texts().join('|').toStdString();
}

TEST_F(SettingsServiceRoadTest, LeavingTheProgramWithChangedRequisitesAsksToSaveThem) {
    click(QStringLiteral("Настройка"));
    auto *setup = qobject_cast<TSetupForm *>(mainForm->workWindow(TMainForm::WorkWindow::Setup));
    ASSERT_NE(setup, nullptr);
    QTest::mouseClick(setup->ButtonRegim, Qt::LeftButton);
    setup->DBEditPhone->selectAll();
    QTest::keyClicks(setup->DBEditPhone, QStringLiteral("8-347-111"));
    // "Выход" of the menu closes the main window directly; the program then
    // ends and frees its windows.
    recorder->answers = {msg::Answer::Yes};
    QAction *exit = nullptr;
    for (QAction *a : mainForm->findChildren<QAction *>())
        if (a->text() == QStringLiteral("Выход"))
            exit = a;
    ASSERT_NE(exit, nullptr);
    exit->trigger();
    program.end();
    EXPECT_EQ(recorder->texts(), QStringList{QStringLiteral("Сохранить изменения реквизитов?")});
    EXPECT_EQ(regim("TEL"), QStringLiteral("8-347-111"));
}

} // namespace
