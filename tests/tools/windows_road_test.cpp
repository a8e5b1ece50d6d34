// The program's windows as a user meets them on the demo installation: the
// school-year dialog asked over a work window already maximised, standing
// over the main window every time it is shown, wide enough for its title and
// closed by the first Return each time; the settings' wide last columns with
// their titles in view.

#include "books/SetupUnit.h"
#include "shell/FixedDialog.h"
#include "shell/MultilineGrid_Old.h"
#include "shell/YearUnit.h"
#include "app/MainUnit.h"
#include "support/DemoProgram.h"

#include <QComboBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

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
                return int(QDialog::Rejected);
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

    testsupport::DemoProgram program;
    QList<YearShowing> showings;
};

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
