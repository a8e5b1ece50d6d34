#include "shell/mainwindow/ProgramWindows.h"

#include "books/ServiceUnit.h"
#include "books/SetupUnit.h"
#include "entry/EditReportUnit.h"
#include "entry/MessageUnit.h"
#include "shell/Messages.h"
#include "shell/UnitDM.h"
#include "shell/YearUnit.h"
#include "shell/mainwindow/AboutUnit.h"
#include "shell/mainwindow/DateUnit.h"
#include "shell/mainwindow/MainUnit.h"

void CreateProgramWindows(TMainForm &MainWindow) {
    // The main window is first and owns the dialogs.
    MainForm = &MainWindow;
    YearForm = new TYearForm(&MainWindow);
    MessageForm();
    // FindForm comes here.
    ServiceForm = new TServiceForm(&MainWindow);
    DateForm = new TDateForm(&MainWindow);
    // SvodListForm, HowCollectForm, MessageMCheckForm, PrintAskForm and
    // ProgressSvodForm come here.
    AboutBox = new TAboutBox(&MainWindow);
    // ChoseClnmForm comes here.
    DM();
    // FormChooseFolder, FormEditOrg, FormChooseOrg and ProgressForm come here.

    // The work windows, each opened by its button and menu item. The others
    // join here as they become part of the program.
    MainWindow.setWorkWindowFactory(TMainForm::WorkWindow::Reports,
                                    [] { return new TEditReportForm; });
    MainWindow.setWorkWindowFactory(TMainForm::WorkWindow::Setup, [] { return new TSetupForm; });
    // The service asks for the working date through the main window's start
    // question, over the main window made visible.
    ServiceForm->onSetDate = [&MainWindow] {
        MainWindow.show();
        MainWindow.ButtonStartClick();
    };
    MainWindow.setServiceAction([] { msg::exec(*ServiceForm); });
}

void ForgetProgramWindows() {
    MainForm = nullptr;
    YearForm = nullptr;
    DateForm = nullptr;
    AboutBox = nullptr;
    ServiceForm = nullptr;
}
