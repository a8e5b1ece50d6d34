// Work windows of the main window: one at a time, the welcome panel, the
// transfer window's year test, the service, exit, help and about.

#include "mainwindow_fixture.h"
#include "support/TestDesktop.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>

using shelltest::MainWindowTest;

namespace {

// A stand-in for a work window: counts the requests to close it.
class DummyWork : public QWidget {
public:
    explicit DummyWork(QString name, int *closes) : m_closes(closes) {
        setObjectName(std::move(name));
    }
    int year = 0;

protected:
    void closeEvent(QCloseEvent *event) override {
        ++*m_closes;
        QWidget::closeEvent(event);
    }

private:
    int *m_closes;
};

} // namespace

class WorkWindowTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        startWith(QDate(2016, 9, 5));
        register_(TMainForm::WorkWindow::Reports, "reports");
        register_(TMainForm::WorkWindow::Books, "books");
        register_(TMainForm::WorkWindow::TotalReports, "svod");
    }

    void register_(TMainForm::WorkWindow kind, const char *name) {
        mainForm->setWorkWindowFactory(kind, [this, name] {
            ++created;
            return new DummyWork(QString::fromLatin1(name), &closes);
        });
    }

    void click(const char *button) {
        QTest::mouseClick(shelltest::child<QPushButton>(mainForm.get(), button), Qt::LeftButton);
    }

    // Lets closed windows free themselves, as the event loop does.
    static void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    QList<QMdiSubWindow *> openWindows() const {
        QList<QMdiSubWindow *> open;
        for (QMdiSubWindow *w : mainForm->mdiArea()->subWindowList())
            if (!w->isHidden())
                open.append(w);
        return open;
    }

    bool panelShown() const {
        return !shelltest::child<QWidget>(mainForm.get(), "PanelMain")->isHidden();
    }

    int created = 0;
    int closes = 0;
};

TEST_F(WorkWindowTest, OpeningAWorkWindowHidesTheWelcomePanel) {
    EXPECT_TRUE(panelShown());
    click("ButtonReports");
    ASSERT_EQ(created, 1);
    ASSERT_EQ(openWindows().size(), 1);
    EXPECT_EQ(openWindows()[0]->widget(), mainForm->workWindow(TMainForm::WorkWindow::Reports));
    EXPECT_EQ(mainForm->mdiArea()->activeSubWindow(), openWindows()[0]);
    EXPECT_FALSE(panelShown());
    EXPECT_FALSE(mainForm->mdiArea()->isHidden());
}

TEST_F(WorkWindowTest, OpeningTheBooksClosesTheReportEntryWindowFirst) {
    click("ButtonReports");
    QPointer<QWidget> reports = mainForm->workWindow(TMainForm::WorkWindow::Reports);
    click("ButtonBooks");
    EXPECT_EQ(closes, 1); // the entry window was asked to close
    settle();
    EXPECT_TRUE(reports.isNull()); // and freed itself
    ASSERT_EQ(mainForm->mdiArea()->subWindowList().size(), 1);
    EXPECT_EQ(mainForm->mdiArea()->subWindowList()[0]->widget()->objectName(),
              QStringLiteral("books"));
    EXPECT_FALSE(panelShown());
}

TEST_F(WorkWindowTest, OpeningTheSameWindowAgainReplacesIt) {
    click("ButtonReports");
    QWidget *first = mainForm->workWindow(TMainForm::WorkWindow::Reports);
    shelltest::child<QAction>(mainForm.get(), "N2")->trigger(); // the menu item
    settle();
    EXPECT_EQ(created, 2);
    EXPECT_EQ(closes, 1);
    ASSERT_EQ(mainForm->mdiArea()->subWindowList().size(), 1);
    EXPECT_NE(mainForm->workWindow(TMainForm::WorkWindow::Reports), first);
}

TEST_F(WorkWindowTest, AWorkWindowThatClosesBringsTheWelcomePanelBack) {
    click("ButtonBooks");
    openWindows()[0]->close();
    settle();
    EXPECT_TRUE(mainForm->mdiArea()->subWindowList().isEmpty());
    EXPECT_TRUE(panelShown());
    EXPECT_EQ(mainForm->workWindow(TMainForm::WorkWindow::Books), nullptr);
}

TEST_F(WorkWindowTest, CloseAllMdiChildrenAsksEveryWindowAndShowsThePanel) {
    click("ButtonReports");
    mainForm->CloseAllMdiChildren();
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(panelShown());
    settle();
    EXPECT_TRUE(mainForm->mdiArea()->subWindowList().isEmpty());
}

TEST_F(WorkWindowTest, AButtonWithoutAWindowDoesNothing) {
    click("ButtonReports");
    click("ButtonSetup"); // no settings window in the program yet
    click("ButtonServis");
    EXPECT_EQ(closes, 0);
    EXPECT_EQ(openWindows().size(), 1);
    EXPECT_FALSE(panelShown());
    EXPECT_TRUE(recorder->messages.isEmpty());
}

TEST_F(WorkWindowTest, TheConsolidationWindowOpensWithSvodForExportZero) {
    mainForm->setSvodForExport(1);
    int seen = -1;
    mainForm->setWorkWindowFactory(TMainForm::WorkWindow::TotalReports, [&] {
        seen = appState().SvodForExport;
        return new DummyWork(QStringLiteral("svod"), &closes);
    });
    click("ButtonTotalReports");
    EXPECT_EQ(seen, 0);
    EXPECT_EQ(mainForm->SvodForExport(), 0);
}

TEST_F(WorkWindowTest, ATransferWindowForAYearWithoutCatalogueClosesAtOnce) {
    mainForm->setWorkWindowFactory(TMainForm::WorkWindow::LoadReport, [&] {
        auto *w = new DummyWork(QStringLiteral("load"), &closes);
        w->year = 2017;
        return w;
    });
    mainForm->setLoadReportYearReader([](QWidget *w) { return static_cast<DummyWork *>(w)->year; });
    click("ButtonLoadReport");
    EXPECT_EQ(closes, 1);
    settle();
    EXPECT_TRUE(mainForm->mdiArea()->subWindowList().isEmpty());
    EXPECT_TRUE(panelShown());
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_EQ(recorder->messages[0].title, QStringLiteral("Сообщение"));
    EXPECT_EQ(recorder->messages[0].text,
              QStringLiteral("В базе нет данных по этому году! \r(файл OTHE2017.DBF не найден)"));
    EXPECT_EQ(recorder->messages[0].buttons, msg::Buttons::Ok);
}

TEST_F(WorkWindowTest, ATransferWindowForAYearWithCatalogueStaysOpen) {
    shelltest::writePeriodTable(wedDir, QStringLiteral("OTHE"), 2017);
    mainForm->setWorkWindowFactory(TMainForm::WorkWindow::LoadReport, [&] {
        auto *w = new DummyWork(QStringLiteral("load"), &closes);
        w->year = 2017;
        return w;
    });
    mainForm->setLoadReportYearReader([](QWidget *w) { return static_cast<DummyWork *>(w)->year; });
    click("ButtonLoadReport");
    EXPECT_EQ(closes, 0);
    EXPECT_EQ(openWindows().size(), 1);
    EXPECT_TRUE(recorder->messages.isEmpty());
}

TEST_F(WorkWindowTest, ATransferWindowThatIsNotMadeLeavesThePreviousOneUntested) {
    // The first transfer window opens on a period with a catalogue; the
    // second time nothing is made. The closing previous window (not yet
    // freed) must not be taken for a new one and tested against a period
    // whose catalogue has gone meanwhile.
    shelltest::writePeriodTable(wedDir, QStringLiteral("OTHE"), 2017);
    int yearsRead = 0;
    bool makeOne = true;
    mainForm->setWorkWindowFactory(TMainForm::WorkWindow::LoadReport, [&]() -> QWidget * {
        if (!makeOne)
            return nullptr;
        auto *w = new DummyWork(QStringLiteral("load"), &closes);
        w->year = 2017;
        return w;
    });
    mainForm->setLoadReportYearReader([&](QWidget *w) {
        ++yearsRead;
        return static_cast<DummyWork *>(w)->year;
    });
    click("ButtonLoadReport");
    ASSERT_EQ(openWindows().size(), 1);
    ASSERT_TRUE(QFile::remove(wedDir + QStringLiteral("OTHE2017.DBF")));
    makeOne = false;
    click("ButtonLoadReport");
    EXPECT_EQ(yearsRead, 1);
    EXPECT_EQ(closes, 1); // asked once, by the closing of all work windows
    EXPECT_TRUE(recorder->messages.isEmpty());
    settle();
    EXPECT_TRUE(mainForm->mdiArea()->subWindowList().isEmpty());
    EXPECT_TRUE(panelShown());
}

TEST_F(WorkWindowTest, TheServiceRunsAfterTheWorkWindowsClosed) {
    click("ButtonReports");
    int closesWhenServiceRan = -1;
    mainForm->setServiceAction([&] { closesWhenServiceRan = closes; });
    click("ButtonServis");
    EXPECT_EQ(closesWhenServiceRan, 1);
}

TEST_F(WorkWindowTest, ExitClosesTheWorkWindowsAndThenTheMainWindow) {
    click("ButtonReports");
    click("ButtonExit");
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(mainForm->isVisible());
}

TEST_F(WorkWindowTest, TheExitMenuItemClosesTheMainWindowDirectly) {
    click("ButtonReports");
    shelltest::child<QAction>(mainForm.get(), "N10")->trigger();
    EXPECT_EQ(closes, 0); // the work window is not asked
    EXPECT_FALSE(mainForm->isVisible());
}

TEST_F(WorkWindowTest, AWindowFactoryThatFailsIsReportedAndThePanelStays) {
    mainForm->setWorkWindowFactory(TMainForm::WorkWindow::Books, []() -> QWidget * {
        throw store::StoreError(QStringLiteral("Таблица \"SCHOOL\" не найдена"));
    });
    click("ButtonBooks");
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_EQ(recorder->messages[0].title, QStringLiteral("KVR"));
    EXPECT_EQ(recorder->messages[0].icon, msg::Icon::Critical);
    EXPECT_EQ(recorder->messages[0].text, QStringLiteral("Таблица \"SCHOOL\" не найдена"));
    EXPECT_TRUE(panelShown());
}

TEST_F(WorkWindowTest, TheAboutBoxShowsTheProgramsTexts) {
    QStringList texts;
    QString title;
    recorder->onDialog = [&](QDialog &d) {
        title = d.windowTitle();
        for (QLabel *l : d.findChildren<QLabel *>())
            texts.append(l->text());
        return int(QDialog::Accepted);
    };
    shelltest::child<QAction>(mainForm.get(), "N13")->trigger();
    EXPECT_EQ(recorder->dialogs.last(), QStringLiteral("TAboutBox"));
    EXPECT_EQ(title, QStringLiteral("О программе..."));
    EXPECT_TRUE(texts.contains(QStringLiteral("Версия 5.0 2016")));
    EXPECT_TRUE(texts.contains(QStringLiteral(
        "Отчет о состоянии национального образования в общеобразовательных учреждениях РБ")));
}

TEST_F(WorkWindowTest, TheAboutBoxClosesByItsDefaultOkButton) {
    bool okIsDefault = false;
    bool closedByOk = false;
    bool closedByEnter = false;
    recorder->onDialog = [&](QDialog &d) {
        auto *ok = d.findChild<QPushButton *>(QStringLiteral("OKButton"));
        okIsDefault = ok->isDefault() && ok->text() == QStringLiteral("OK");
        d.show();
        QTest::mouseClick(ok, Qt::LeftButton);
        closedByOk = !d.isVisible() && d.result() == QDialog::Accepted;
        d.show();
        QTest::keyClick(&d, Qt::Key_Return);
        closedByEnter = !d.isVisible();
        return d.result();
    };
    shelltest::child<QAction>(mainForm.get(), "N13")->trigger();
    EXPECT_TRUE(okIsDefault);
    EXPECT_TRUE(closedByOk);
    EXPECT_TRUE(closedByEnter);
}

TEST_F(WorkWindowTest, HelpShowsTheHelpFileInTheDesktopsViewerOrSaysWhyNot) {
    // The viewer of the test's desktop takes WinHelp files, which a system
    // without the shared types' own tool names by their content only.
    const QStringList helpTypes{QStringLiteral("application/winhlp"),
                                QStringLiteral("application/octet-stream")};
    struct Case {
        const char *file; // the help file in the program folder, if any
        bool viewer;      // the desktop has a viewer for it
        const char *said; // what the user is told, the file's path after %1
    } const cases[] = {
        {nullptr, true, "Файл справки %1 не найден!"},
        {"HELP.HLP", false, "Нет программы для просмотра файла справки %1."},
        {"help.hlp", true, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file ? c.file : "no file");
        recorder->messages.clear();
        const testsupport::TestDesktop desktop(c.viewer ? helpTypes : QStringList());
        const QString path = programDir + QString::fromLatin1(c.file ? c.file : "HELP.HLP");
        QFile help(path);
        if (c.file) {
            ASSERT_TRUE(help.open(QIODevice::WriteOnly));
            help.write(QByteArray("?_\x03\x00\x10\x00\x00\x00", 8)); // a WinHelp header
            help.close();
        }
        shelltest::child<QAction>(mainForm.get(), "N12")->trigger();
        if (c.said) {
            ASSERT_EQ(recorder->messages.size(), 1);
            EXPECT_EQ(recorder->messages[0].title, QStringLiteral("Сообщение"));
            EXPECT_EQ(recorder->messages[0].text,
                      QString::fromUtf8(c.said).arg(QDir::toNativeSeparators(path)));
            EXPECT_FALSE(desktop.programStarted());
        } else {
            EXPECT_TRUE(recorder->messages.isEmpty()) << recorder->texts().join(u'|').toStdString();
            EXPECT_EQ(desktop.handedFile(), QFileInfo(path).canonicalFilePath());
        }
        help.remove();
    }
}
