// The small fixed dialogs: their border, their place over the main window,
// and dates shown in Russian whatever the system's locale.

#include "mainwindow_fixture.h"

#include "entry/MessageUnit.h"
#include "shell/FixedDialog.h"

#include <QCalendarWidget>
#include <QDateEdit>
#include <QLabel>
#include <QLocale>
#include <QMainWindow>

#include <gtest/gtest.h>

namespace {

// The system's locale as a fresh machine has it (C.UTF-8) for one test.
class EnglishLocale {
public:
    EnglishLocale() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    ~EnglishLocale() { QLocale::setDefault(m_saved); }

private:
    QLocale m_saved;
};

TEST(FixedDialogs, HaveAFixedBorderAndStandOverTheMainWindow) {
    QMainWindow main;
    main.setGeometry(100, 80, 900, 700);
    main.show();
    TMessageForm message;
    TDateForm date;
    TYearForm year;
    for (QDialog *d : {static_cast<QDialog *>(&message), static_cast<QDialog *>(&date),
                       static_cast<QDialog *>(&year)}) {
        SCOPED_TRACE(d->metaObject()->className());
        const Qt::WindowFlags flags = d->windowFlags();
        EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
        EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
        EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
        EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
        EXPECT_TRUE(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
        d->show();
        EXPECT_EQ(d->minimumSize(), d->maximumSize());
        EXPECT_GE(d->width(), TitleBarWidth(*d));
        const auto offset = [&] {
            return d->frameGeometry().center() - main.frameGeometry().center();
        };
        EXPECT_LE(offset().manhattanLength(), 2) << offset().x() << "," << offset().y();
        // The main window takes its final place while the dialog is up (a
        // window manager maximising it): the dialog follows.
        main.setGeometry(40, 30, 1100, 820);
        EXPECT_LE(offset().manhattanLength(), 2) << offset().x() << "," << offset().y();
        d->hide();
        main.setGeometry(100, 80, 900, 700);
        d->show();
        EXPECT_LE(offset().manhattanLength(), 2) << offset().x() << "," << offset().y();
        d->hide();
    }
}

TEST(DateDialog, ShowsRussianDatesWhateverTheLocale) {
    EnglishLocale english;
    TDateForm form;
    form.setDate(QDate(2026, 12, 7));
    auto *picker = form.findChild<QDateEdit *>(QStringLiteral("DateTimePicker1"));
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->text(), QStringLiteral("07.12.2026"));
    EXPECT_EQ(picker->calendarWidget()->locale().language(), QLocale::Russian);
}

using shelltest::MainWindowTest;

TEST_F(MainWindowTest, TheStatusLineShowsTheDateInRussianWhateverTheLocale) {
    EnglishLocale english;
    startWith(QDate(2026, 12, 7));
    auto *panel = mainForm->findChild<QLabel *>(QStringLiteral("StatusPanel0"));
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->text(), QStringLiteral("Текущая дата: 07.12.2026"));
}

} // namespace
