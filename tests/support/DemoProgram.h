#pragma once
// The program on a demo installation, for the tests that walk it from its
// main window: the installation laid out in a temporary folder, the program
// pointed at it, and the windows built as the main routine builds them.
// Header only: it needs the demo generator, which only the test programs
// tools_* and *_demo_test link.
//
//   testsupport::DemoProgram program;   // installation, fresh state, recorder
//   program.recorder->onDialog = [](QDialog &d) {
//       if (testsupport::DemoProgram::answerDate(d))
//           return int(QDialog::Accepted);  // the working date in 2015 / 2016
//       ...                                 // the other dialogs
//   };
//   program.start();                    // main window shown, date asked
//   QTest::mouseClick(program.mainButton("Справочники"), Qt::LeftButton);

#include "demo/DemoInstall.h"
#include "shell/AppState.h"
#include "shell/Paths.h"
#include "app/DateUnit.h"
#include "app/MainUnit.h"
#include "app/ProgramWindows.h"
#include "support/DataModuleConnections.h"
#include "support/MessageRecorder.h"

#include <QCoreApplication>
#include <QDate>
#include <QDialog>
#include <QPushButton>
#include <QSize>
#include <QTemporaryDir>

#include <memory>

namespace testsupport {

struct DemoProgram {
    QTemporaryDir dir;
    QString programDir;
    std::unique_ptr<MessageRecorder> recorder;
    std::unique_ptr<TMainForm> mainForm;

    DemoProgram() {
        programDir = dir.path() + QStringLiteral("/kvr/");
        demo::WriteDemoInstallation(programDir);
        paths::setProgramDirForTests(programDir);
        closeDataModuleConnections();
        appState() = AppState();
        recorder = std::make_unique<MessageRecorder>();
    }

    ~DemoProgram() {
        end();
        closeDataModuleConnections();
        recorder.reset();
        paths::setProgramDirForTests(QString());
    }

    // The working date the tests answer: 14 November 2016, in the school year
    // 2015 / 2016 (work year 2017).
    static QDate workingDate() { return QDate(2016, 11, 14); }

    // Answers the date dialog with the working date; false for any other
    // dialog. The dialog's result is then QDialog::Accepted.
    static bool answerDate(QDialog &dialog) {
        auto *date = qobject_cast<TDateForm *>(&dialog);
        if (!date)
            return false;
        date->setDate(workingDate());
        return true;
    }

    // Builds the windows as the main routine builds them, none shown yet.
    void build() {
        mainForm = std::make_unique<TMainForm>();
        CreateProgramWindows(*mainForm);
    }

    // Builds the windows, shows the main window (at `size`; an invalid size
    // leaves it at its own) and lets it ask for the date.
    void start(QSize size = QSize(1400, 900)) {
        build();
        if (size.isValid())
            mainForm->resize(size);
        mainForm->show();
        QCoreApplication::processEvents(); // the date is asked after the first show
    }

    // The program ends: the main window goes with every window it owns.
    void end() {
        ForgetProgramWindows();
        mainForm.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The visible push button of the main window with this caption, or null.
    QPushButton *mainButton(const QString &text) const {
        for (QPushButton *b : mainForm->findChildren<QPushButton *>())
            if (b->text() == text && b->isVisible())
                return b;
        return nullptr;
    }
};

} // namespace testsupport
