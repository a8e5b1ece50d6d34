// The main routine: creates the program's windows and the data module in
// their fixed order and runs the message loop until the main window closes.
// The program has no command line; it finds every file from the folder of
// its own executable.

#include "entry/EditReportUnit.h"
#include "entry/MessageUnit.h"
#include "shell/UnitDM.h"
#include "shell/YearUnit.h"
#include "shell/mainwindow/AboutUnit.h"
#include "shell/mainwindow/DateUnit.h"
#include "shell/mainwindow/KvrApplication.h"
#include "shell/mainwindow/MainUnit.h"

int main(int argc, char **argv) {
    KvrApplication app(argc, argv);
    QApplication::setApplicationName(KvrApplication::Title());

    // The windows live until the program ends; the main window is created
    // first and owns the dialogs.
    TMainForm mainForm;
    MainForm = &mainForm;
    YearForm = new TYearForm(&mainForm);
    MessageForm();
    // FindForm and ServiceForm come here.
    DateForm = new TDateForm(&mainForm);
    // SvodListForm, HowCollectForm, MessageMCheckForm, PrintAskForm and
    // ProgressSvodForm come here.
    AboutBox = new TAboutBox(&mainForm);
    // ChoseClnmForm comes here.
    DM();
    // FormChooseFolder, FormEditOrg, FormChooseOrg and ProgressForm come here.

    // The work windows, each opened by its button and menu item. The others
    // join here as they become part of the program.
    mainForm.setWorkWindowFactory(TMainForm::WorkWindow::Reports,
                                  [] { return new TEditReportForm; });

    mainForm.show();
    const int result = app.exec();
    YearForm = nullptr;
    DateForm = nullptr;
    AboutBox = nullptr;
    return result;
}
