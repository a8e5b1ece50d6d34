#pragma once
// The work window "Сводные отчеты": lists the reports of a period's
// catalogue; when the user picks one (double click on the list, or the combo
// box at the left, also while a consolidation is shown), it asks for the
// organisation set, how to collect and, for a by-column consolidation, the
// column, has the consolidation engine build it, and shows the result with
// its two left columns fixed. "Проверка" checks the consolidation (or, on
// the list, every report of a set's consolidation folder), "Печать" and
// "Печать титульника" print it, "Назад" returns to the list on the same
// report.
//
// Printing and checking act on the consolidation shown: the window records
// its report, group, set and mode when it is built, whatever the combo box
// and the dialogs hold later.
//
// The window is a plain widget meant for an MDI child; closing it closes its
// datasets, deletes the scratch table WED/TEMPSVOD.DBF and emits closed().

#include "consolidation/SvodEngine.h"
#include "shell/DataSetModel.h"
#include "shell/StatusPanels.h"
#include "store/Dataset.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <QWidget>

#include <functional>
#include <memory>

class FixedColumnView;
class QComboBox;
class QGroupBox;
class QLabel;
class QStatusBar;
class QToolButton;
class TMultiLineGrid;

namespace Ui {
class TSvodForm;
}

class TSvodForm : public QWidget {
    Q_OBJECT
public:
    explicit TSvodForm(QWidget *parent = nullptr);
    ~TSvodForm() override;

    // Components, as the window's layout names them.
    QToolButton *ToolButton1 = nullptr; // "Закрыть"
    QToolButton *ButtonPrint = nullptr;
    QToolButton *ButtonPrintTitle = nullptr;
    QToolButton *ButtonCheck = nullptr;
    QToolButton *ButtonBack = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QLabel *LabelReps = nullptr;
    QComboBox *CB_Reps = nullptr;
    TMultiLineGrid *DBGrid1 = nullptr;
    QStatusBar *StatusBar1 = nullptr;

    store::TADODataSet DS1; // the period's catalogue (the report list)
    store::TADODataSet DS2; // the consolidation table shown (not a by-column one)
    store::TADODataSet DS3; // the organisation table (kept closed: the engine reads it)

    // State.
    int Year = 0;          // second year of the period
    int CurrentReport = 1; // record number of the report last built, to which the list returns
    int View = 1;          // 1 the report list, 2 a consolidation, 48 appended rows
    QString TargetFile;    // the table the last build wrote
    int OrgWithData = 0;
    int OrgWithoutData = 0;
    QStringList OrgNames; // organisations of the last by-column build, in column order
    QVector<int> OrgCodes;
    int OrgCount() const { return int(OrgCodes.size()); }

    // The consolidation shown, as it was built.
    struct ShownSvod {
        bool valid = false;
        svod::SvodKind kind = svod::SvodKind::None;
        int recNo = 0;        // its record in the catalogue
        int reportNumber = 1; // FindReportNumber of its name, for printing and checking
        QString reportName;
        int group = 0;
        int setIndex = 1; // the set it was built over (1 for school counts)
        QString setName;
        int mode = 0;
        int column = 0;          // by-column: the data column
        QString columnCaption;   // by-column: its caption
        int columnDecimals = -1; // by-column: the decimals of its field
        QString title;           // status panel 2 after the build
    };
    const ShownSvod &Shown() const { return m_shown; }

    QString PanelText(int panel) const;
    // The model the grid shows at this moment.
    DataSetModel *GridModel() const;
    // The table shown: DS2, or the in-memory table of a by-column build.
    store::TADODataSet &ResultDataSet();
    // The columns kept in place at the left (the record indicator and the
    // row code): 2 while a consolidation is shown, else 0.
    int FixedCols() const;
    // The view that shows the fixed row-code column over the grid's left edge.
    FixedColumnView *FixedColumn() const { return m_fixed; }

    // The list view (the catalogue of Year, positioned on CurrentReport).
    void ShowReportList();
    void LoadReportList();
    void ClearView();
    // Builds the report at record ReportNumber of the list (DS1 stands on it).
    void BuildSvod(int ReportNumber);
    // Titles the total column of a by-column consolidation (grid column).
    void SetColumnTitle(int Column);
    // Moves the progress window's bar and repaints it.
    void Timer1Timer(int Position, int Maximum);

    // The print and check routines that the buttons call; tests put
    // recorders in their place.
    std::function<void(store::TADODataSet &, int, int, const QString &)> printReport;
    std::function<void(store::TADODataSet &, int, int, int, int, int)> checkReports;

    // Event handlers.
    void ToolButton1Click();
    void ButtonBackClick();
    void ButtonCheckClick();
    void ButtonPrintClick();
    void ButtonPrintTitleClick();
    void CB_RepsChange(int Index);
    void DBGrid1DblClick();

signals:
    void closed();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    class Progress;
    class ResultModel;

    void setPanel(int panel, const QString &text);
    void showPeriodPanels();
    void resetView();
    void closeDataSets();
    void releaseResult();
    void restoreShownReport();
    // Builds and shows the result; false when the window went back to the
    // list instead.
    bool runBuild(const svod::SvodParams &params, int setIndex, const QString &setName);
    // Shows the table built; false when its folder cannot be opened.
    bool showResult(const svod::SvodResult &result, const svod::SvodParams &params);
    void layoutResultColumns(const svod::SvodResult &result, const svod::SvodParams &params);
    void setCaptionFromPanels();
    QString requisitesBank(bool *found);
    bool handleGridKey(QKeyEvent *event);
    void deleteScratchTable();
    // Runs an event handler through GuardedCall, hiding the progress window
    // before an error is shown.
    void guarded(const std::function<void()> &handler);

    std::unique_ptr<Ui::TSvodForm> ui;
    std::unique_ptr<Progress> m_progress;
    std::unique_ptr<ResultModel> m_resultModel;
    DataSetModel m_listModel;
    std::shared_ptr<store::TADODataSet> m_columnTable;
    StatusPanels m_panels;
    FixedColumnView *m_fixed = nullptr;
    ShownSvod m_shown;
    bool m_shownOnce = false;
    bool m_closing = false;
};

// The consolidation window that the main window opened; null when none is
// open.
extern TSvodForm *SvodForm;
