// Start-up of the main window: the program kind from PUTI and the captions
// it sets, the welcome view, the working date and the work year.

#include "mainwindow_fixture.h"

#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPushButton>

#include <algorithm>

using shelltest::MainWindowTest;

namespace {

const QString kDesignCaption =
    QStringLiteral("Сведения о дневном общеобразовательном учреждении. ");
const QString kDesignLabel = QStringLiteral("КВ-ЛИМ");

QList<QPushButton *> workButtons(TMainForm *form) {
    QList<QPushButton *> list;
    for (const char *name :
         {"ButtonReports", "ButtonLoadReport", "ButtonTotalReports", "ButtonBooks", "ButtonSetup",
          "ButtonServis", "ButtonNewPeriod", "ButtonExit"})
        list.append(shelltest::child<QPushButton>(form, name));
    return list;
}

bool allShown(const QList<QPushButton *> &buttons) {
    for (QPushButton *b : buttons)
        if (b->isHidden())
            return false;
    return true;
}

bool allHidden(const QList<QPushButton *> &buttons) {
    for (QPushButton *b : buttons)
        if (!b->isHidden())
            return false;
    return true;
}

} // namespace

// --- program kind ---------------------------------------------------------

TEST_F(MainWindowTest, WithoutPutiTheKindStaysZeroAndTheDesignTextsStay) {
    startWith(QDate(2016, 9, 5));
    EXPECT_EQ(mainForm->ProgramKind(), 0);
    EXPECT_EQ(mainForm->windowTitle(), kDesignCaption);
    EXPECT_EQ(shelltest::child<QLabel>(mainForm.get(), "LabelNameProgram")->text(), kDesignLabel);
    EXPECT_TRUE(recorder->messages.isEmpty());
    // The program works on: the date was asked and the buttons are there.
    EXPECT_EQ(recorder->dialogs, QList<QString>{QStringLiteral("TDateForm")});
    EXPECT_TRUE(allShown(workButtons(mainForm.get())));
}

struct KindCase {
    int kind;
    const char *caption;
    const char *label;
};

class ProgramKindTest : public MainWindowTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(ProgramKindTest, TheKindSetsTheCaptionAndTheLabel) {
    shelltest::writePuti(programDir, GetParam().kind);
    startWith(QDate(2016, 9, 5));
    EXPECT_EQ(mainForm->ProgramKind(), GetParam().kind);
    EXPECT_EQ(appState().ProgramKind, GetParam().kind);
    EXPECT_EQ(mainForm->windowTitle(), QString::fromUtf8(GetParam().caption));
    EXPECT_EQ(shelltest::child<QLabel>(mainForm.get(), "LabelNameProgram")->text(),
              QString::fromUtf8(GetParam().label));
    EXPECT_TRUE(recorder->messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ProgramKindTest,
    ::testing::Values(
        KindCase{1, "Сведения о дневном общеобразовательном учреждении", "КВ-1 "},
        KindCase{76, "Сведения о дневных общеобразовательных учреждениях", "РИК-76 "},
        KindCase{83, "Сведения о численности и составе педагогических работников", "РИК-83 "},
        KindCase{105,
                 "Отчет о состоянии национального образования в общеобразовательных "
                 "учреждениях РБ. Версия 5.0 2016",
                 "Национальные языки "},
        // Any other value leaves the design texts.
        KindCase{2, "Сведения о дневном общеобразовательном учреждении. ", "КВ-ЛИМ"}));

TEST_F(MainWindowTest, PutiWithOneRecordLeavesKindZeroTellsTheUserAndStartsOn) {
    shelltest::writePuti(programDir, 76, 1);
    startWith(QDate(2016, 9, 5));
    EXPECT_EQ(mainForm->ProgramKind(), 0);
    EXPECT_EQ(mainForm->windowTitle(), kDesignCaption);
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_EQ(recorder->messages[0].title, QStringLiteral("Ошибка"));
    EXPECT_EQ(recorder->messages[0].icon, msg::Icon::Warning);
    EXPECT_TRUE(recorder->messages[0].text.contains(QStringLiteral("PUTI.DBF")));
    EXPECT_EQ(recorder->dialogs, QList<QString>{QStringLiteral("TDateForm")});
    EXPECT_TRUE(allShown(workButtons(mainForm.get())));
}

TEST_F(MainWindowTest, UnreadablePutiLeavesKindZeroTellsTheUserAndStartsOn) {
    QFile f(programDir + QStringLiteral("PUTI.DBF"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("this is no table");
    f.close();
    startWith(QDate(2016, 9, 5));
    EXPECT_EQ(mainForm->ProgramKind(), 0);
    EXPECT_EQ(mainForm->windowTitle(), kDesignCaption);
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_EQ(recorder->messages[0].title, QStringLiteral("Ошибка"));
    EXPECT_EQ(recorder->dialogs, QList<QString>{QStringLiteral("TDateForm")});
    EXPECT_TRUE(allShown(workButtons(mainForm.get())));
}

TEST_F(MainWindowTest, PutiWithoutTheKindFieldLeavesKindZeroAndStartsOn) {
    testsupport::writeTable(programDir, QStringLiteral("PUTI"),
                            {{QStringLiteral("NAIM"), 'C', 20, 0}},
                            {{{QStringLiteral("NAIM"), QStringLiteral("a")}},
                             {{QStringLiteral("NAIM"), QStringLiteral("b")}}});
    startWith(QDate(2016, 9, 5));
    EXPECT_EQ(mainForm->ProgramKind(), 0);
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_EQ(recorder->messages[0].title, QStringLiteral("Ошибка"));
    EXPECT_TRUE(allShown(workButtons(mainForm.get())));
}

TEST_F(MainWindowTest, ReadingTheKindResetsSvodForExportAndMaximises) {
    appState().SvodForExport = 1;
    shelltest::writePuti(programDir, 1);
    startWith(QDate(2016, 9, 5));
    EXPECT_EQ(mainForm->SvodForExport(), 0);
    EXPECT_TRUE(mainForm->windowState().testFlag(Qt::WindowMaximized));
}

// --- welcome view and the date ----------------------------------------------

TEST_F(MainWindowTest, TheDateIsAskedOnTheWelcomeViewAndThenTheButtonsAppear) {
    createWindows();
    bool buttonsHiddenWhileAsked = false;
    bool helpHiddenWhileAsked = false;
    bool labelShownWhileAsked = false;
    recorder->onDialog = [&](QDialog &d) {
        EXPECT_NE(qobject_cast<TDateForm *>(&d), nullptr);
        buttonsHiddenWhileAsked = allHidden(workButtons(mainForm.get()));
        helpHiddenWhileAsked =
            !shelltest::child<QMenu>(mainForm.get(), "N11")->menuAction()->isVisible();
        labelShownWhileAsked =
            !shelltest::child<QLabel>(mainForm.get(), "LabelNameProgram")->isHidden();
        return int(QDialog::Accepted);
    };
    mainForm->show();
    EXPECT_TRUE(recorder->dialogs.isEmpty()); // asked once the window is up
    QCoreApplication::processEvents();
    ASSERT_EQ(recorder->dialogs.size(), 1);
    EXPECT_TRUE(buttonsHiddenWhileAsked);
    EXPECT_TRUE(helpHiddenWhileAsked);
    EXPECT_TRUE(labelShownWhileAsked);
    EXPECT_TRUE(allShown(workButtons(mainForm.get())));
    EXPECT_TRUE(shelltest::child<QMenu>(mainForm.get(), "N11")->menuAction()->isVisible());
    EXPECT_TRUE(shelltest::child<QPushButton>(mainForm.get(), "ButtonStart")->isHidden());
    EXPECT_TRUE(shelltest::child<QMenu>(mainForm.get(), "N1")->menuAction()->isVisible());
}

TEST_F(MainWindowTest, ADateIn2016GivesWorkYear2017AndTheStatusBarShowsIt) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    startWith(QDate(2016, 9, 5));
    QLocale::setDefault(saved);
    EXPECT_EQ(mainForm->WorkYear(), 2017);
    EXPECT_EQ(appState().WorkYear, 2017);
    EXPECT_EQ(appState().WorkDate, QDate(2016, 9, 5));
    auto *panel = mainForm->findChild<QLabel *>(QStringLiteral("StatusPanel0"));
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->text(), QStringLiteral("Текущая дата: 05.09.2016"));
    EXPECT_EQ(panel->width(),
              shelltest::child<QGroupBox>(mainForm.get(), "GroupBoxMenu")->width() - 1);
}

TEST_F(MainWindowTest, ClosingTheDateDialogWithTheCloseBoxStillSetsTheYear) {
    createWindows();
    recorder->onDialog = [](QDialog &d) {
        static_cast<TDateForm &>(d).setDate(QDate(2020, 1, 15));
        return int(QDialog::Rejected);
    };
    mainForm->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(mainForm->WorkYear(), 2021);
    EXPECT_TRUE(allShown(workButtons(mainForm.get())));
}

TEST_F(MainWindowTest, AskingTheDateAgainKeepsThePickersLastDate) {
    startWith(QDate(2016, 9, 5));
    recorder->onDialog = [](QDialog &) { return int(QDialog::Accepted); };
    mainForm->ButtonStartClick(); // as the service window asks again
    EXPECT_EQ(mainForm->WorkYear(), 2017);
    recorder->onDialog = [](QDialog &d) {
        static_cast<TDateForm &>(d).setDate(QDate(2018, 12, 31));
        return int(QDialog::Accepted);
    };
    mainForm->ButtonStartClick();
    EXPECT_EQ(mainForm->WorkYear(), 2019);
    EXPECT_EQ(mainForm->GetPeriodList().last(), QStringLiteral("2018 / 2019"));
}

TEST_F(MainWindowTest, TheMenusHoldTheirItemsInOrder) {
    createWindows();
    QStringList menu;
    for (QAction *a : shelltest::child<QMenu>(mainForm.get(), "N1")->actions())
        menu.append(a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(menu, QStringList({QStringLiteral("Отчеты (ввод и корректировка)"),
                                 QStringLiteral("Передача и прием отчетов"),
                                 QStringLiteral("Сводные отчеты"), QStringLiteral("Справочники"),
                                 QStringLiteral("Настройка"), QStringLiteral("Сервис"),
                                 QStringLiteral("Начало нового периода"), QStringLiteral("-"),
                                 QStringLiteral("Выход")}));
    QStringList help;
    for (QAction *a : shelltest::child<QMenu>(mainForm.get(), "N11")->actions())
        help.append(a->text());
    EXPECT_EQ(help, QStringList({QStringLiteral("Помощь"), QStringLiteral("О программе...")}));
    EXPECT_EQ(shelltest::child<QMenu>(mainForm.get(), "N1")->title(), QStringLiteral("Меню"));
    EXPECT_EQ(shelltest::child<QMenu>(mainForm.get(), "N11")->title(), QStringLiteral("Справка"));
}

TEST_F(MainWindowTest, TheWorkButtonsStandInOrderWithTheirCaptions) {
    startWith(QDate(2016, 9, 5));
    QCoreApplication::processEvents(); // lay the shown buttons out
    // Top to bottom in the button group, as the user sees them.
    QList<QPushButton *> shown;
    for (QPushButton *b :
         shelltest::child<QGroupBox>(mainForm.get(), "GroupBoxMenu")->findChildren<QPushButton *>())
        if (!b->isHidden())
            shown.append(b);
    std::sort(shown.begin(), shown.end(),
              [](QPushButton *a, QPushButton *b) { return a->y() < b->y(); });
    QStringList texts;
    for (QPushButton *b : shown)
        texts.append(b->text());
    ASSERT_EQ(shown.size(), 8);
    for (int i = 1; i < shown.size(); ++i)
        EXPECT_GT(shown[i]->y(), shown[i - 1]->y()); // laid out one below the other
    EXPECT_EQ(texts, QStringList({QStringLiteral("Отчеты (ввод и корректировка)"),
                                  QStringLiteral("Передача и прием отчетов"),
                                  QStringLiteral("Сводные отчеты"), QStringLiteral("Справочники"),
                                  QStringLiteral("Настройка"), QStringLiteral("Сервис"),
                                  QStringLiteral("Начало нового периода"),
                                  QStringLiteral("Выход из программы")}));
    EXPECT_EQ(shown, workButtons(mainForm.get()));
}

TEST_F(MainWindowTest, PathFunctionsFollowTheProgramFolder) {
    createWindows();
    EXPECT_EQ(TMainForm::GetProgramDir(), programDir);
    EXPECT_EQ(TMainForm::GetWedDir(), programDir + QStringLiteral("WED/"));
    EXPECT_EQ(TMainForm::GetDbfDir(), programDir + QStringLiteral("DBF/"));
    EXPECT_EQ(TMainForm::GetOrgDataDir(QStringLiteral("7")),
              programDir + QStringLiteral("DBF/D7/"));
}
