#include "app/ProgramWindows.h"

#include "app/AboutUnit.h"
#include "app/DateUnit.h"
#include "app/MainUnit.h"
#include "books/BooksUnit.h"
#include "books/FindUnit.h"
#include "books/ServiceUnit.h"
#include "books/SetupUnit.h"
#include "books/UnitEditOrg.h"
#include "checks/MesssageMCheckUnit.h"
#include "consolidation/ChoseClnmUnit.h"
#include "consolidation/HowCollectUnit.h"
#include "consolidation/LoadReportUnit.h"
#include "consolidation/ProgressSvodUnit.h"
#include "consolidation/SvodListUnit.h"
#include "consolidation/SvodUnit.h"
#include "consolidation/UnitChooseFolder.h"
#include "consolidation/UnitChooseOrg.h"
#include "consolidation/UnitProgressShow.h"
#include "entry/EditReportUnit.h"
#include "entry/MessageUnit.h"
#include "printing/PrintAskUnit.h"
#include "printing/PrintUnit.h"
#include "shell/Messages.h"
#include "shell/UnitDM.h"
#include "shell/YearUnit.h"

void CreateProgramWindows(TMainForm &MainWindow) {
    // The main window is first and owns the dialogs.
    MainForm = &MainWindow;
    YearForm = new TYearForm(&MainWindow);
    MessageForm();
    FindForm = new TFindForm(&MainWindow);
    ServiceForm = new TServiceForm(&MainWindow);
    DateForm = new TDateForm(&MainWindow);
    SvodListForm = new TSvodListForm(&MainWindow);
    HowCollectForm = new THowCollectForm(&MainWindow);
    MessageMCheckForm();
    PrintAskForm(&MainWindow);
    ProgressSvodForm = new TProgressSvodForm(&MainWindow);
    AboutBox = new TAboutBox(&MainWindow);
    ChoseClnmForm = new TChoseClnmForm(&MainWindow);
    DM();
    FormChooseFolder = new TFormChooseFolder(&MainWindow);
    FormEditOrg = new TFormEditOrg(&MainWindow);
    FormChooseOrg = new TFormChooseOrg(&MainWindow);
    ProgressForm = new TProgressForm(&MainWindow);

    // The work windows, each opened by its button and menu item. The others
    // join here as they become part of the program.
    MainWindow.setWorkWindowFactory(TMainForm::WorkWindow::Reports,
                                    [] { return new TEditReportForm; });
    MainWindow.setWorkWindowFactory(TMainForm::WorkWindow::TotalReports,
                                    [] { return SvodForm = new TSvodForm; });
    MainWindow.setWorkWindowFactory(TMainForm::WorkWindow::Books, [] { return new TBooksForm; });
    // Printing: the reference books ask before the organisation list; a
    // by-column print takes its organisations from the consolidation window.
    TBooksForm::AskPrint = [] { return PrintAskForm().Ask(); };
    SetColumnSvodNameSource([] {
        return SvodForm ? ColumnSvodInfo{SvodForm->OrgNames, SvodForm->Shown().setName,
                                         SvodForm->Shown().columnDecimals}
                        : ColumnSvodInfo();
    });
    MainWindow.setWorkWindowFactory(TMainForm::WorkWindow::Setup, [] { return new TSetupForm; });
    // The service asks for the working date through the main window's start
    // question, over the main window made visible.
    ServiceForm->onSetDate = [&MainWindow] {
        MainWindow.show();
        MainWindow.ButtonStartClick();
    };
    ServiceForm->onMustEnd = [&MainWindow] { MainWindow.close(); };
    MainWindow.setServiceAction([] { msg::exec(*ServiceForm); });
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
    FindForm = nullptr;
    ServiceForm = nullptr;
    DateForm = nullptr;
    SvodListForm = nullptr;
    HowCollectForm = nullptr;
    ProgressSvodForm = nullptr;
    AboutBox = nullptr;
    ChoseClnmForm = nullptr;
    FormEditOrg = nullptr;
    FormChooseFolder = nullptr;
    FormChooseOrg = nullptr;
    ProgressForm = nullptr;
    TBooksForm::AskPrint = nullptr;
    SetColumnSvodNameSource({});
}
