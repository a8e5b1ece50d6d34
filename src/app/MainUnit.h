#pragma once
// The main window: an MDI frame that reads the program kind at its first
// show, asks for the working date, and then opens the work windows (one at a
// time, as MDI children) and the modal service, new-period, help and about
// functions from its buttons and its menu.
//
// The work windows live in other parts of the program; each is wired by
// registering a factory for its button:
//
//   MainForm->setWorkWindowFactory(TMainForm::WorkWindow::Reports,
//                                  [] { return new TEditReportForm; });
//
// A button without a factory stays visible and does nothing.

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>

class QMdiArea;
class QMdiSubWindow;

namespace Ui {
class TMainForm;
}

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    // The work windows that the main window opens as MDI children.
    enum class WorkWindow { Reports, LoadReport, TotalReports, Books, Setup };
    static constexpr int WorkWindowCount = 5;

    // Makes a new work window (a plain widget; the main window puts it into
    // an MDI child that frees itself when it closes). Returning nullptr opens
    // nothing.
    using WorkWindowFactory = std::function<QWidget *()>;
    void setWorkWindowFactory(WorkWindow kind, WorkWindowFactory factory);
    // Reads the year of a transfer window just created (TLoadReportForm.Year).
    void setLoadReportYearReader(std::function<int(QWidget *)> reader);
    // Shows the service window modally (run after all work windows closed).
    void setServiceAction(std::function<void()> action);

    // The last window of each kind that the main window created; null once it
    // has been freed.
    QWidget *workWindow(WorkWindow kind) const;

    // Shared state, held in appState() so that other windows read it without
    // the main window.
    int WorkYear() const;
    int ProgramKind() const;
    int SvodForExport() const;
    void setSvodForExport(int value);

    // The folder layout (paths:: does the work).
    static QString GetProgramDir();
    static QString GetWedDir();
    static QString GetDbfDir();
    static QString GetOrgDataDir(const QString &OrgCode);

    // School years up to the one that ends in WorkYear.
    QStringList GetPeriodList() const;
    // Opens the period of year Y in WED.
    void NewPeriod(int Y);

    // Asks every open work window to close, then shows the welcome panel.
    void CloseAllMdiChildren();
    // Asks for the working date and shows the buttons and the help menu.
    void ButtonStartClick();
    // Reads the program kind from PUTI and sets the captions by it.
    void ReadProgramKind();

    QMdiArea *mdiArea() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormFirstShow();
    void ShowWelcomeView();
    void SetWorkControlsVisible(bool visible);
    void SetPanelMainVisible(bool visible);
    // Returns the window made, or nullptr when none was made.
    QWidget *OpenWorkWindow(WorkWindow kind);
    void WorkWindowDestroyed(QObject *subWindow);

    void ButtonReportsClick();
    void ButtonLoadReportClick();
    void ButtonTotalReportsClick();
    void ButtonBooksClick();
    void ButtonSetupClick();
    void ButtonServisClick();
    void ButtonNewPeriodClick();
    void ButtonExitClick();
    void MenuExitClick();
    void MenuHelpClick();
    void MenuAboutClick();

    // Runs an event handler; an exception it throws is shown as the default
    // handler shows it.
    void guarded(const std::function<void()> &handler);

    std::unique_ptr<Ui::TMainForm> ui;
    bool m_firstShowDone = false;
    std::array<WorkWindowFactory, WorkWindowCount> m_factories;
    std::array<QPointer<QWidget>, WorkWindowCount> m_windows;
    std::function<int(QWidget *)> m_loadReportYear;
    std::function<void()> m_serviceAction;
};

// The one main window of the program (set by the main routine).
extern TMainForm *MainForm;
