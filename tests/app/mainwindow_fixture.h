#pragma once
// A program folder in a temporary directory and the start-up windows of the
// program (main window, year, date and about dialogs), made afresh for each
// test. Messages and modal dialogs are answered by a MessageRecorder.

#include "support/DataModuleConnections.h"
#include "support/MessageRecorder.h"
#include "support/TableBuilder.h"

#include "shell/AppState.h"
#include "shell/Paths.h"
#include "shell/UnitDM.h"
#include "shell/YearUnit.h"
#include "app/AboutUnit.h"
#include "app/DateUnit.h"
#include "app/MainUnit.h"
#include "store/Dataset.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QVariant>

#include <gtest/gtest.h>

#include <memory>

namespace shelltest {

// The child widget or object of that name; fails the test when missing.
template <class T> T *child(QObject *parent, const char *name) {
    T *found = parent->findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// PUTI with the program kind in ZNAH of record 2 (and `records` records).
inline void writePuti(const QString &folder, int kind, int records = 2) {
    QList<testsupport::Record> rows;
    for (int r = 1; r <= records; ++r)
        rows.append({{QStringLiteral("NAIM"), QStringLiteral("запись ") + QString::number(r)},
                     {QStringLiteral("ZNAH"), r == 2 ? kind : 5}});
    testsupport::writeTable(
        folder, QStringLiteral("PUTI"),
        {{QStringLiteral("NAIM"), 'C', 30, 0}, {QStringLiteral("ZNAH"), 'N', 6, 0}}, rows);
}

// A period table of the year (any content).
inline void writePeriodTable(const QString &wed, const QString &base, int year, int marker = 0) {
    testsupport::writeTable(wed, base + QString::number(year), {{QStringLiteral("KOD"), 'N', 4, 0}},
                            {{{QStringLiteral("KOD"), marker}}});
}

// The marker written by writePeriodTable, to tell copies apart.
inline int periodTableMarker(const QString &wed, const QString &table) {
    testsupport::OpenTable t(wed, table);
    return t.ds.FieldByName(QStringLiteral("KOD")).AsInteger();
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        programDir = dir.path() + QLatin1Char('/');
        wedDir = programDir + QStringLiteral("WED/");
        QDir().mkpath(wedDir);
        paths::setProgramDirForTests(programDir);
        testsupport::closeDataModuleConnections();
        appState() = AppState();
        recorder = std::make_unique<MessageRecorder>();
    }

    void TearDown() override {
        mainForm.reset(); // owns the dialogs
        MainForm = nullptr;
        YearForm = nullptr;
        DateForm = nullptr;
        AboutBox = nullptr;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        testsupport::closeDataModuleConnections();
        recorder.reset();
        paths::setProgramDirForTests(QString());
    }

    // Creates the start-up windows in the main routine's order.
    void createWindows() {
        mainForm = std::make_unique<TMainForm>();
        MainForm = mainForm.get();
        YearForm = new TYearForm(mainForm.get());
        DateForm = new TDateForm(mainForm.get());
        AboutBox = new TAboutBox(mainForm.get());
    }

    // Creates the windows, shows the main window and answers the date
    // dialog with `date` (closing it by OK).
    void startWith(const QDate &date) {
        createWindows();
        recorder->onDialog = [date](QDialog &d) {
            if (auto *form = qobject_cast<TDateForm *>(&d))
                form->setDate(date);
            return int(QDialog::Accepted);
        };
        mainForm->show();
        QCoreApplication::processEvents(); // the date is asked after the first show
        recorder->onDialog = nullptr;
    }

    QTemporaryDir dir;
    QString programDir;
    QString wedDir;
    std::unique_ptr<MessageRecorder> recorder;
    std::unique_ptr<TMainForm> mainForm;
};

} // namespace shelltest
