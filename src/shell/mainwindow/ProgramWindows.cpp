#include "shell/mainwindow/ProgramWindows.h"

#include "consolidation/LoadReportUnit.h"
#include "consolidation/UnitChooseFolder.h"
#include "consolidation/UnitChooseOrg.h"
#include "consolidation/UnitProgressShow.h"
#include "entry/EditReportUnit.h"
#include "entry/MessageUnit.h"
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
    // FindForm and ServiceForm come here.
    DateForm = new TDateForm(&MainWindow);
    // SvodListForm, HowCollectForm, MessageMCheckForm, PrintAskForm and
    // ProgressSvodForm come here.
    AboutBox = new TAboutBox(&MainWindow);
    // ChoseClnmForm comes here.
    DM();
    FormChooseFolder = new TFormChooseFolder(&MainWindow);
    // FormEditOrg comes here.
    FormChooseOrg = new TFormChooseOrg(&MainWindow);
    ProgressForm = new TProgressForm(&MainWindow);

    // The work windows, each opened by its button and menu item. The others
    // join here as they become part of the program.
    MainWindow.setWorkWindowFactory(TMainForm::WorkWindow::Reports,
                                    [] { return new TEditReportForm; });
    MainWindow.setWorkWindowFactory(TMainForm::WorkWindow::LoadReport,
                                    [] { return new TLoadReportForm; });
    MainWindow.setLoadReportYearReader([](QWidget *window) {
        auto *form = qobject_cast<TLoadReportForm *>(window);
        return form ? form->Year : 0;
    });
}

void ForgetProgramWindows() {
    MainForm = nullptr;
    YearForm = nullptr;
    DateForm = nullptr;
    AboutBox = nullptr;
    FormChooseFolder = nullptr;
    FormChooseOrg = nullptr;
    ProgressForm = nullptr;
}
