// The program's windows as a user meets them on the demo installation: the
// school-year dialog asked over a work window already maximised, standing
// over the main window every time it is shown, wide enough for its title and
// closed by the first Return each time; the settings' wide last columns with
// their titles in view; every dialog with a fixed border and a close box
// only, back at once with the main window when a window manager minimises
// it, and over the main window at every showing; message boxes wide enough
// for their titles; the exchange window's title in the main window's, also
// after a dialog was minimised.

#include "app/MainUnit.h"
#include "books/SetupUnit.h"
#include "checks/MesssageMCheckUnit.h"
#include "consolidation/ProgressSvodUnit.h"
#include "consolidation/UnitProgressShow.h"
#include "entry/MessageUnit.h"
#include "printing/PrintAskUnit.h"
#include "shell/FixedDialog.h"
#include "shell/Messages.h"
#include "shell/MultilineGrid_Old.h"
#include "shell/YearUnit.h"
#include "support/DemoProgram.h"

#include <QComboBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// What the school-year dialog looked like at one showing.
struct YearShowing {
    bool frameMaximised = false; // the work window's frame behind the dialog
    bool barAtItsHeight = false; // and its status bar at the height it asks
    QPoint centreOffset;         // dialog centre less main window centre
    bool wideEnough = false;     // the whole title fits the title bar
    bool closedByReturn = false; // the first Return accepted the dialog
};

class WindowsRoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        program.recorder->onDialog = [this](QDialog &d) {
            if (testsupport::DemoProgram::answerDate(d))
                return int(QDialog::Accepted);
            auto *year = qobject_cast<TYearForm *>(&d);
            if (!year)
                return otherDialog ? otherDialog(d) : int(QDialog::Rejected);
            YearShowing seen;
            QWidget *work = program.mainForm->mdiArea()->activeSubWindow();
            seen.frameMaximised = work && work->isMaximized();
            const auto *bar = work ? work->findChild<QStatusBar *>() : nullptr;
            seen.barAtItsHeight = bar && bar->height() == bar->sizeHint().height();
            year->show();
            // The list box takes the focus, as it does when the dialog is activated.
            year->findChild<QComboBox *>(QStringLiteral("CB_Year"))->setFocus();
            seen.centreOffset =
                year->frameGeometry().center() - program.mainForm->frameGeometry().center();
            seen.wideEnough = year->width() >= TitleBarWidth(*year);
            QTest::keyClick(year->findChild<QComboBox *>(QStringLiteral("CB_Year")),
                            Qt::Key_Return);
            seen.closedByReturn = !year->isVisible();
            year->hide();
            showings.append(seen);
            return int(QDialog::Accepted);
        };
        program.start(QSize(1200, 800));
    }
    void TearDown() override { program.end(); }

    // Opens the work window of this main button and closes it again.
    void openAndClose(const QString &button) {
        QPushButton *open = program.mainButton(button);
        ASSERT_NE(open, nullptr) << button.toStdString();
        QTest::mouseClick(open, Qt::LeftButton);
        ASSERT_NE(program.mainForm->mdiArea()->activeSubWindow(), nullptr);
        program.mainForm->mdiArea()->activeSubWindow()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The dialogs that the program makes at its start and at their first
    // use, the progress windows apart.
    QList<QDialog *> questionDialogs() {
        QList<QDialog *> dialogs;
        for (QDialog *d : program.mainForm->findChildren<QDialog *>())
            if (!qobject_cast<TProgressSvodForm *>(d))
                dialogs.append(d);
        for (QDialog *d :
             {static_cast<QDialog *>(&PrintAskForm()), static_cast<QDialog *>(&MessageForm()),
              static_cast<QDialog *>(&MessageMCheckForm())})
            if (!dialogs.contains(d))
                dialogs.append(d);
        return dialogs;
    }
    QList<QWidget *> progressWindows() { return {ProgressSvodForm, ProgressForm}; }

    testsupport::DemoProgram program;
    QList<YearShowing> showings;
    // Answers the dialogs other than the school year's and the date's.
    std::function<int(QDialog &)> otherDialog;
};

// The message box that says how a check ended.
msg::Request checkResult() {
    return {QStringLiteral("Результаты проверки"),
            QStringLiteral("Проверка завершена.\r\rОбнаружено ошибок: 0")};
}

// A title bar with the close box only: no minimise, maximise or help box.
void expectCloseBoxOnly(const QWidget &w) {
    const Qt::WindowFlags flags = w.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowContextHelpButtonHint));
}

TEST_F(WindowsRoadTest, EveryDialogHasAFixedBorderWithACloseBoxOnlyAndItsWholeTitle) {
    std::unique_ptr<QMessageBox> box = msg::messageBox(checkResult(), program.mainForm.get());
    QList<QDialog *> dialogs = questionDialogs();
    ASSERT_GE(dialogs.size(), 15);
    dialogs.append(box.get());
    for (QDialog *d : dialogs) {
        SCOPED_TRACE(d->windowTitle().toStdString());
        expectCloseBoxOnly(*d);
        d->show();
        // A size the user cannot change (no resize handle along the bottom).
        EXPECT_EQ(d->minimumSize(), d->maximumSize());
        EXPECT_EQ(d->size(), d->minimumSize());
        EXPECT_GE(d->width(), TitleBarWidth(*d));
        d->hide();
    }
    // The progress windows: a title bar without any box.
    for (QWidget *w : progressWindows()) {
        SCOPED_TRACE(w->windowTitle().toStdString());
        const Qt::WindowFlags flags = w->windowFlags();
        EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
        EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
        EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                              Qt::WindowCloseButtonHint));
    }
}

TEST_F(WindowsRoadTest, ADialogThatIsMinimisedComesBackWithTheMainWindow) {
    std::unique_ptr<QMessageBox> box = msg::messageBox(checkResult(), program.mainForm.get());
    QList<QWidget *> windows;
    for (QDialog *d : questionDialogs())
        windows.append(d);
    windows << progressWindows() << box.get();
    const Qt::WindowStates mainState = program.mainForm->windowState();
    ASSERT_TRUE(mainState.testFlag(Qt::WindowMaximized));
    for (QWidget *w : windows) {
        SCOPED_TRACE(w->windowTitle().toStdString());
        w->show();
        // As Openbox minimises a dialog: with the main window it stands over.
        program.mainForm->setWindowState(mainState | Qt::WindowMinimized);
        w->setWindowState(w->windowState() | Qt::WindowMinimized);
        QCoreApplication::processEvents();
        EXPECT_FALSE(w->isMinimized());
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(program.mainForm->windowState(), mainState);
        w->hide();
        program.mainForm->setWindowState(mainState);
    }
    // The main window on its own is the user's to minimise.
    program.mainForm->setWindowState(mainState | Qt::WindowMinimized);
    QCoreApplication::processEvents();
    EXPECT_TRUE(program.mainForm->isMinimized());
    program.mainForm->setWindowState(mainState);
}

TEST_F(WindowsRoadTest, EveryDialogStandsOverTheMainWindowAtEveryShowing) {
    QList<QPoint> offsets;
    otherDialog = [&](QDialog &d) {
        d.show();
        offsets.append(d.frameGeometry().center() - program.mainForm->frameGeometry().center());
        d.hide();
        return int(QDialog::Rejected);
    };
    for (QDialog *d : questionDialogs()) {
        if (qobject_cast<TYearForm *>(d) || qobject_cast<TDateForm *>(d))
            continue; // answered above and in the year dialog's test
        SCOPED_TRACE(d->windowTitle().toStdString());
        offsets.clear();
        for (int showing = 0; showing < 3; ++showing) {
            // Each through its own question where it has one.
            if (auto *print = qobject_cast<TPrintAskForm *>(d))
                print->Ask();
            else if (auto *check = qobject_cast<TMessageMCheckForm *>(d))
                check->Ask(QStringLiteral("Не соответствие в отчете: F1"));
            else
                msg::exec(*d);
        }
        ASSERT_EQ(offsets.size(), 3);
        for (const QPoint &offset : offsets) {
            EXPECT_EQ(offset, offsets[0]);
            EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();
        }
    }
}

TEST_F(WindowsRoadTest, TheExchangeWindowNamesItselfInTheMainWindowsTitle) {
    const QString caption = program.mainForm->windowTitle();
    QPushButton *exchange = program.mainButton(QStringLiteral("Передача и прием отчетов"));
    ASSERT_NE(exchange, nullptr);
    QTest::mouseClick(exchange, Qt::LeftButton);
    QWidget *window = program.mainForm->workWindow(TMainForm::WorkWindow::LoadReport);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->isVisible());
    const QString titled = caption + QStringLiteral(" - [Прием \\ Передача отчетов]");
    EXPECT_EQ(program.mainForm->windowTitle(), titled);
    // A dialog of the window minimised as Openbox minimises it, with the
    // main window, and back at once: the title stays.
    QString titleWhileBack;
    otherDialog = [&](QDialog &d) {
        d.show();
        const Qt::WindowStates mainState = program.mainForm->windowState();
        program.mainForm->setWindowState(mainState | Qt::WindowMinimized);
        d.setWindowState(d.windowState() | Qt::WindowMinimized);
        QCoreApplication::processEvents();
        EXPECT_FALSE(program.mainForm->isMinimized());
        titleWhileBack = program.mainForm->windowTitle();
        d.hide();
        return int(QDialog::Rejected);
    };
    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("ButtonChooseDir")),
                      Qt::LeftButton);
    EXPECT_EQ(titleWhileBack, titled);
    EXPECT_EQ(program.mainForm->windowTitle(), titled);
    ASSERT_NE(program.mainForm->mdiArea()->activeSubWindow(), nullptr);
    EXPECT_EQ(program.mainForm->mdiArea()->activeSubWindow()->widget(), window);
    QPushButton *cancel = window->findChild<QPushButton *>(QStringLiteral("ButtonCancel"));
    ASSERT_NE(cancel, nullptr);
    QTest::mouseClick(cancel, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(program.mainForm->workWindow(TMainForm::WorkWindow::LoadReport), nullptr);
    EXPECT_EQ(program.mainForm->windowTitle(), caption);
    // A maximised work window is named there as before.
    openAndClose(QStringLiteral("Сводные отчеты"));
    EXPECT_EQ(program.mainForm->windowTitle(), caption);
}

TEST_F(WindowsRoadTest, TheYearDialogIsAskedOverAMaximisedWindowAndStandsStill) {
    for (const QString &button : {QStringLiteral("Сводные отчеты"), QStringLiteral("Настройка"),
                                  QStringLiteral("Сводные отчеты")})
        openAndClose(button);
    ASSERT_EQ(showings.size(), 3);
    for (int i = 0; i < showings.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(showings[i].frameMaximised);
        EXPECT_TRUE(showings[i].barAtItsHeight);
        EXPECT_EQ(showings[i].centreOffset, showings[0].centreOffset);
        EXPECT_LE(showings[i].centreOffset.manhattanLength(), 2);
        EXPECT_TRUE(showings[i].wideEnough);
        EXPECT_TRUE(showings[i].closedByReturn);
    }
}

TEST_F(WindowsRoadTest, TheSettingsShowTheTitlesOfTheirWideColumns) {
    QTest::mouseClick(program.mainButton(QStringLiteral("Настройка")), Qt::LeftButton);
    auto *settings =
        qobject_cast<TSetupForm *>(program.mainForm->workWindow(TMainForm::WorkWindow::Setup));
    ASSERT_NE(settings, nullptr);
    for (QPushButton *view : {settings->ButtonFormlBlank, settings->ButtonFormlConnect}) {
        SCOPED_TRACE(view->text().toStdString());
        QTest::mouseClick(view, Qt::LeftButton);
        TMultiLineGrid *grid = settings->DBGrid1;
        TMultiLineHeader *titles = grid->titleHeader();
        int wide = 0;
        for (int c = 0; c < titles->count(); ++c)
            if (!titles->isSectionHidden(c) && titles->sectionSize(c) > titles->sectionSize(wide))
                wide = c;
        grid->scrollTo(grid->model()->index(0, wide));
        const QRect inView = titles->viewport()->rect();
        // The column reaches beyond the window's edge.
        ASSERT_GT(titles->sectionViewportPosition(wide) + titles->sectionSize(wide),
                  inView.right());
        const QVector<TitleLine> lines = titles->titleLines(wide);
        ASSERT_FALSE(lines.isEmpty());
        for (const TitleLine &line : lines) {
            EXPECT_GE(line.topLeft.x(), inView.left()) << line.text.toStdString();
            EXPECT_LE(line.topLeft.x() + titles->fontMetrics().horizontalAdvance(line.text),
                      inView.right())
                << line.text.toStdString();
        }
    }
}

} // namespace
