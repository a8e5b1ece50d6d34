// The main routine: enters the installation (ProgramStart.h), creates the
// program's windows and the data module in their fixed order and runs the
// message loop until the main window closes.
// The program has no command line; it finds every file from the folder of
// its own executable.

#include "app/KvrApplication.h"
#include "app/MainUnit.h"
#include "app/ProgramStart.h"
#include "app/ProgramWindows.h"

int main(int argc, char **argv) {
    KvrApplication app(argc, argv);
    QApplication::setApplicationName(KvrApplication::Title());

    // The installation's lock, held until the program ends, and a rebuild
    // cut short put right before any window opens.
    if (!EnterInstallation())
        return 1;

    // The windows live until the program ends.
    TMainForm mainForm;
    CreateProgramWindows(mainForm);

    mainForm.show();
    const int result = app.exec();
    ForgetProgramWindows();
    return result;
}
