// School years, the year dialog and the opening of a new period.

#include "mainwindow_fixture.h"

#include "shell/Periods.h"

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTest>

using shelltest::MainWindowTest;

// --- the list of school years -------------------------------------------------

TEST(PeriodList, RunsFrom2006UpToTheSchoolYearEndingInTheWorkYear) {
    const QStringList list = periods::GetPeriodList(2027);
    ASSERT_EQ(list.size(), 21);
    EXPECT_EQ(list.first(), QStringLiteral("2006 / 2007"));
    EXPECT_EQ(list[9], QStringLiteral("2015 / 2016"));
    EXPECT_EQ(list.last(), QStringLiteral("2026 / 2027"));
}

TEST(PeriodList, EdgesOfTheFirstYear) {
    EXPECT_EQ(periods::GetPeriodList(2007), QStringList{QStringLiteral("2006 / 2007")});
    EXPECT_TRUE(periods::GetPeriodList(2006).isEmpty());
    EXPECT_TRUE(periods::GetPeriodList(0).isEmpty()); // no date set yet
}

TEST(PeriodList, FirstYearOfReadsTheFirstFourCharacters) {
    bool ok = false;
    EXPECT_EQ(periods::FirstYearOf(QStringLiteral("2015 / 2016"), &ok), 2015);
    EXPECT_TRUE(ok);
    EXPECT_EQ(periods::FirstYearOf(QStringLiteral("20151"), &ok), 2015);
    EXPECT_TRUE(ok);
    periods::FirstYearOf(QStringLiteral("abcd / 2016"), &ok);
    EXPECT_FALSE(ok);
    periods::FirstYearOf(QStringLiteral("20x5"), &ok);
    EXPECT_FALSE(ok);
    periods::FirstYearOf(QString(), &ok);
    EXPECT_FALSE(ok);
}

// --- the year dialog ------------------------------------------------------------

class YearDialogTest : public MainWindowTest {
protected:
    // Shows the year dialog as a modal run would, lets `act` work on it, and
    // returns whether it was still open afterwards.
    bool runDialog(const std::function<void(TYearForm &)> &act) {
        bool stillOpen = false;
        recorder->onDialog = [&](QDialog &d) {
            auto &form = static_cast<TYearForm &>(d);
            form.show();
            act(form);
            stillOpen = form.isVisible();
            if (stillOpen)
                form.reject();
            return form.result();
        };
        msg::exec(*YearForm);
        recorder->onDialog = nullptr;
        return stillOpen;
    }
    QComboBox *combo() { return shelltest::child<QComboBox>(YearForm, "CB_Year"); }
    QPushButton *ok() { return shelltest::child<QPushButton>(YearForm, "ButtonOK"); }
};

TEST_F(YearDialogTest, ShowingOffersEverySchoolYearWithTheLastSelected) {
    createWindows();
    appState().WorkYear = 2027;
    int count = 0;
    QString selected;
    int yearOnShow = 0;
    runDialog([&](TYearForm &form) {
        count = combo()->count();
        selected = combo()->currentText();
        yearOnShow = form.Year;
    });
    EXPECT_EQ(count, 21);
    EXPECT_EQ(selected, QStringLiteral("2026 / 2027"));
    EXPECT_EQ(yearOnShow, 2026);
    EXPECT_EQ(YearForm->windowTitle(), QStringLiteral("Укажите год"));
}

TEST_F(YearDialogTest, ChoosingASchoolYearAndOkGivesItsFirstYear) {
    createWindows();
    appState().WorkYear = 2027;
    const bool open = runDialog([&](TYearForm &) {
        combo()->setCurrentIndex(combo()->findText(QStringLiteral("2015 / 2016")));
        QTest::mouseClick(ok(), Qt::LeftButton);
    });
    EXPECT_FALSE(open);
    EXPECT_EQ(YearForm->result(), int(QDialog::Accepted));
    EXPECT_EQ(YearForm->Year, 2015);
}

TEST_F(YearDialogTest, ClosingWithoutOkLeavesTheLatestYearWhateverIsSelected) {
    createWindows();
    appState().WorkYear = 2020;
    YearForm->Year = 1999;
    runDialog([&](TYearForm &) { combo()->setCurrentIndex(0); });
    EXPECT_EQ(YearForm->Year, 2019);
}

TEST_F(YearDialogTest, EachShowingRefreshesTheListFromTheWorkYear) {
    createWindows();
    appState().WorkYear = 2017;
    runDialog([](TYearForm &) {});
    appState().WorkYear = 2019;
    int count = 0;
    runDialog([&](TYearForm &) { count = combo()->count(); });
    EXPECT_EQ(count, 13);
    EXPECT_EQ(YearForm->Year, 2018);
}

TEST_F(YearDialogTest, ATypedYearThatIsNoNumberIsReportedAndTheDialogStaysOpen) {
    createWindows();
    appState().WorkYear = 2017;
    const bool open = runDialog([&](TYearForm &) {
        combo()->setEditText(QStringLiteral("abcd / 2016"));
        QTest::mouseClick(ok(), Qt::LeftButton);
    });
    EXPECT_TRUE(open);
    EXPECT_EQ(YearForm->Year, 2016); // as the showing set it
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_EQ(recorder->messages[0].title, QStringLiteral("KVR"));
    EXPECT_EQ(recorder->messages[0].icon, msg::Icon::Critical);
    EXPECT_TRUE(recorder->messages[0].text.contains(QStringLiteral("\"abcd\"")));
}

TEST_F(YearDialogTest, ATypedYearIsTakenByItsFirstFourDigits) {
    createWindows();
    appState().WorkYear = 2017;
    runDialog([&](TYearForm &) {
        combo()->setEditText(QStringLiteral("2011/12"));
        QTest::mouseClick(ok(), Qt::LeftButton);
    });
    EXPECT_EQ(YearForm->Year, 2011);
    EXPECT_TRUE(recorder->messages.isEmpty());
}

TEST_F(YearDialogTest, WithNoSchoolYearTheDialogOffersNothingAndReturnsNoYear) {
    createWindows();
    appState().WorkYear = 2005; // a working date in 2004
    YearForm->Year = 2015;
    int count = -1;
    const bool open = runDialog([&](TYearForm &) {
        count = combo()->count();
        QTest::mouseClick(ok(), Qt::LeftButton);
    });
    EXPECT_EQ(count, 0);
    EXPECT_EQ(YearForm->Year, 0);
    EXPECT_TRUE(open); // OK with nothing chosen says so and waits
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_EQ(recorder->messages[0].icon, msg::Icon::Critical);
}

// --- the new period ---------------------------------------------------------------

class NewPeriodTest : public MainWindowTest {
protected:
    void writeYear(int year, const QStringList &bases, int marker) {
        for (const QString &b : bases)
            shelltest::writePeriodTable(wedDir, b, year, marker);
    }
    bool exists(const QString &table) const {
        return QFile::exists(wedDir + table + QStringLiteral(".DBF"));
    }
    void expectAllPlainMessages() const {
        for (const msg::Request &r : recorder->messages) {
            EXPECT_EQ(r.title, QStringLiteral("Сообщение"));
            EXPECT_EQ(r.icon, msg::Icon::None);
            EXPECT_EQ(r.buttons, msg::Buttons::Ok);
        }
    }
    const QStringList all = periods::PeriodTableNames();
    const QString done = QStringLiteral("Открытие нового периода завершено.");
    QString found(const QString &table) const {
        return QStringLiteral("Найдена БД ") + wedDir + table +
               QStringLiteral(".DBF\rОставляю без изменения.");
    }
};

TEST_F(NewPeriodTest, CopiesTheFourTablesOfThePreviousYear) {
    writeYear(2016, all, 16);
    periods::NewPeriod(2017, wedDir);
    EXPECT_EQ(recorder->texts(), QStringList{done});
    expectAllPlainMessages();
    for (const QString &b : all)
        EXPECT_EQ(shelltest::periodTableMarker(wedDir, b + QStringLiteral("2017")), 16)
            << b.toStdString();
}

TEST_F(NewPeriodTest, TablesThatExistAlreadyAreLeftAndNamed) {
    writeYear(2016, all, 16);
    writeYear(2017, all, 17);
    periods::NewPeriod(2017, wedDir);
    EXPECT_EQ(
        recorder->texts(),
        QStringList({found(QStringLiteral("FORM2017")), found(QStringLiteral("OTHE2017")),
                     found(QStringLiteral("PROV2017")), found(QStringLiteral("SVOD2017")), done}));
    expectAllPlainMessages();
    for (const QString &b : all)
        EXPECT_EQ(shelltest::periodTableMarker(wedDir, b + QStringLiteral("2017")), 17)
            << b.toStdString();
}

TEST_F(NewPeriodTest, OneExistingTableIsLeftAndTheOthersAreCopied) {
    writeYear(2016, all, 16);
    writeYear(2017, {QStringLiteral("OTHE")}, 17);
    periods::NewPeriod(2017, wedDir);
    EXPECT_EQ(recorder->texts(), QStringList({found(QStringLiteral("OTHE2017")), done}));
    EXPECT_EQ(shelltest::periodTableMarker(wedDir, QStringLiteral("OTHE2017")), 17);
    EXPECT_EQ(shelltest::periodTableMarker(wedDir, QStringLiteral("FORM2017")), 16);
    EXPECT_EQ(shelltest::periodTableMarker(wedDir, QStringLiteral("SVOD2017")), 16);
}

TEST_F(NewPeriodTest, AMissingTableOfThePreviousYearStopsBeforeAnyCopy) {
    writeYear(2016, {QStringLiteral("FORM"), QStringLiteral("OTHE"), QStringLiteral("SVOD")}, 16);
    periods::NewPeriod(2017, wedDir);
    EXPECT_EQ(recorder->texts(),
              QStringList{QStringLiteral(
                  "Невозможно начать новый период. \rНет данных за прошлый период!")});
    expectAllPlainMessages();
    for (const QString &b : all)
        EXPECT_FALSE(exists(b + QStringLiteral("2017"))) << b.toStdString();
}

TEST_F(NewPeriodTest, PreviousYearTablesAreFoundWhateverTheirLetterCase) {
    writeYear(2016, all, 16);
    ASSERT_TRUE(QFile::rename(wedDir + QStringLiteral("PROV2016.DBF"),
                              wedDir + QStringLiteral("prov2016.dbf")));
    periods::NewPeriod(2017, wedDir);
    EXPECT_EQ(recorder->texts(), QStringList{done});
    EXPECT_EQ(shelltest::periodTableMarker(wedDir, QStringLiteral("PROV2017")), 16);
}

TEST_F(NewPeriodTest, AFailedCopyReachesTheDefaultHandlerAndKeepsEarlierCopies) {
    writeYear(2016, all, 16);
    // A folder where SVOD2017.DBF should go makes its copy fail.
    ASSERT_TRUE(QDir().mkpath(wedDir + QStringLiteral("SVOD2017.DBF")));
    startWith(QDate(2017, 3, 1)); // work year 2018
    recorder->messages.clear();
    recorder->onDialog = [](QDialog &d) {
        auto &form = static_cast<TYearForm &>(d);
        form.show();
        auto *combo = form.findChild<QComboBox *>(QStringLiteral("CB_Year"));
        combo->setCurrentIndex(combo->findText(QStringLiteral("2016 / 2017")));
        QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("ButtonOK")),
                          Qt::LeftButton);
        return form.result();
    };
    QTest::mouseClick(shelltest::child<QPushButton>(mainForm.get(), "ButtonNewPeriod"),
                      Qt::LeftButton);
    EXPECT_EQ(recorder->dialogs.last(), QStringLiteral("TYearForm"));
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_EQ(recorder->messages[0].title, QStringLiteral("KVR"));
    EXPECT_EQ(recorder->messages[0].icon, msg::Icon::Critical);
    EXPECT_EQ(shelltest::periodTableMarker(wedDir, QStringLiteral("FORM2017")), 16);
    EXPECT_EQ(shelltest::periodTableMarker(wedDir, QStringLiteral("OTHE2017")), 16);
    EXPECT_EQ(shelltest::periodTableMarker(wedDir, QStringLiteral("PROV2017")), 16);
    EXPECT_TRUE(mainForm->isVisible()); // the program carries on
}

TEST_F(NewPeriodTest, TheButtonOpensThePeriodAfterTheChosenSchoolYear) {
    writeYear(2015, all, 15);
    startWith(QDate(2026, 9, 1)); // work year 2027
    recorder->onDialog = [](QDialog &d) {
        auto &form = static_cast<TYearForm &>(d);
        form.show();
        auto *combo = form.findChild<QComboBox *>(QStringLiteral("CB_Year"));
        combo->setCurrentIndex(combo->findText(QStringLiteral("2015 / 2016")));
        QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("ButtonOK")),
                          Qt::LeftButton);
        return form.result();
    };
    shelltest::child<QAction>(mainForm.get(), "N8")->trigger(); // the menu item does the same
    EXPECT_EQ(YearForm->Year, 2015);
    EXPECT_EQ(recorder->texts(), QStringList{done});
    for (const QString &b : all)
        EXPECT_EQ(shelltest::periodTableMarker(wedDir, b + QStringLiteral("2016")), 15)
            << b.toStdString();
}
