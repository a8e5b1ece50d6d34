#pragma once
// The program on a demo installation, for the tests that walk it from its
// main window: the installation laid out in a temporary folder, the program
// pointed at it, and the windows built as the main routine builds them.
// Header only: it needs the demo generator, which only the test programs
// tools_* and *_demo_test link.
//
//   testsupport::DemoProgram program;   // installation, fresh state, recorder
//   program.recorder->onDialog = ...;   // answers the date dialog and others
//   program.start();                    // main window shown, date asked
//   QTest::mouseClick(program.mainButton("Справочники"), Qt::LeftButton);

#include "demo/DemoInstall.h"
#include "shell/AppState.h"
#include "shell/Paths.h"
#include "shell/mainwindow/MainUnit.h"
#include "shell/mainwindow/ProgramWindows.h"
#include "support/DataModuleConnections.h"
#include "support/MessageRecorder.h"

#include <QCoreApplication>
#include <QPushButton>
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

    // Builds the windows, shows the main window and lets it ask for the date.
    void start() {
        mainForm = std::make_unique<TMainForm>();
        CreateProgramWindows(*mainForm);
        mainForm->resize(1400, 900);
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
