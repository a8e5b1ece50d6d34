#pragma once
// The work window "Отчеты (ввод и корректировка)": one grid that shows in
// turn the school years (a combo box beside it), the organisations, the
// reports of the period's catalogue and the open report table, in which the
// user enters figures. Row totals are computed on Enter.
//
// The window is a plain widget meant for an MDI child. Closing it posts a
// change still pending, closes its datasets and emits closed().

#include "shell/DataSetModel.h"
#include "shell/StatusPanels.h"
#include "store/Dataset.h"

#include <QStringList>
#include <QWidget>

#include <memory>

class QComboBox;
class QFrame;
class QGroupBox;
class QStatusBar;
class QToolButton;
class FixedColumnView;
class ReportCellDelegate;
class TMultiLineGrid;

namespace Ui {
class TEditReportForm;
}

class TEditReportForm : public QWidget {
    Q_OBJECT
public:
    explicit TEditReportForm(QWidget *parent = nullptr);
    ~TEditReportForm() override;

    // Components, as the window's layout names them.
    QToolButton *ButtonExit = nullptr;
    QToolButton *ButtonPrint = nullptr;
    QToolButton *ButtonPrintTitle = nullptr;
    QToolButton *ButtonSave = nullptr;
    QToolButton *ToolButtonAutoValue = nullptr;
    QToolButton *ButtonDeleteRep = nullptr;
    QToolButton *ButtonBack = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QComboBox *CB_Year = nullptr;
    TMultiLineGrid *DBGrid1 = nullptr;
    QStatusBar *StatusBar1 = nullptr;

    store::TADODataSet DS_SCHOOL; // organisations, on the main connection
    store::TADODataSet DS_REPS;   // the catalogue's reports, on the period connection
    store::TADODataSet DS_TAB;    // the open report table, on the organisation connection

    // Where the user stands.
    int Level() const { return m_level; } // 1 years, 2 organisations, 3 reports, 4 table
    int Year() const { return m_year; }
    int OrgCode() const { return m_orgCode; }
    QString TableName() const { return m_tableName; }
    int OrgListPos() const { return m_orgListPos; }
    int RepListPos() const { return m_repListPos; }
    QStringList OrgsWithData() const { return m_orgsWithData; }
    QStringList ReportsWithData() const { return m_reportsWithData; }
    QString PanelText(int panel) const;
    // The model the grid shows at this moment.
    DataSetModel *GridModel() const;
    // The view that shows the fixed row-code column over the grid's left edge.
    FixedColumnView *FrozenColumnView() const { return m_frozen; }

    // Event handlers.
    void ButtonExitClick();
    void ButtonBackClick();
    void ButtonSaveClick();
    void ButtonDeleteRepClick();
    void ButtonPrintClick();
    void ButtonPrintTitleClick();
    void DBGrid1DblClick();
    // Enter on the grid (also after an edit was committed with Enter).
    void GridEnter();

    // The row totals of the open report's group on the current record.
    void RowAutoCalc();
    // The report group of the open report (the current catalogue record).
    int ReportGroup();
    // Whether the row totals, and the derived cells of the organisation's
    // other reports, can take the value (checked, "." as separator) typed
    // into the cell of the open table: empty, or the refusal.
    QString RowTotalsCheck(const QModelIndex &Cell, const QString &Value);
    // A figure typed into the cell (checked, "." as separator) is in the
    // current record: its post is to rest on the cell as shown, and on the
    // row as saved for the row's totals.
    void FigureTyped(const QModelIndex &Cell, const QString &Value);
    // "KOD" of the last catalogue record named Name; 1 when none.
    int ReportKodByName(const QString &Name);

signals:
    void closed();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ResetView();
    void ResetAfterError();
    // The caption of a field's column as the grid shows it; empty when the
    // column is hidden or missing.
    QString columnCaption(const QString &Field) const;
    void FillYears();
    void SelectYear();
    void CB_YearChange();
    bool PeriodExists();
    void ShowOrganisations();
    void EnterOrganisation();
    void ShowReports();
    void OpenReport();
    void OpenReportTable();
    void DeleteReportFile();
    void UpdateAutoValueButton(const QString &BaseName);
    void ApplyTableColumns();

    // Back to level 1, the choice of year: grid hidden, nothing open or to
    // save, the years listed afresh.
    void returnToYearLevel();
    // The status panels and the frame's title showing the year alone.
    void showYearPanels();
    void setPanel(int panel, const QString &text);
    void showModel(DataSetModel *model);
    void setupListColumns(DataSetModel &model, const QStringList &fields,
                          const QStringList &titles);
    void moveToRecord(store::TADODataSet &ds, int recNo);
    bool postPendingEdit();
    // Writes the value of an open cell editor; false when it was refused.
    bool commitOpenEditor();
    bool CanLeaveCell(const QModelIndex &from);
    void StartCellChange(const QModelIndex &cell);
    void DropUnchangedEdit();
    void closeReportTable();
    void updateSaveButton();
    bool handleGridKey(QKeyEvent *event);
    QString orgDataDir() const;
    QString baseName() const;

    std::unique_ptr<Ui::TEditReportForm> ui;
    StatusPanels m_panels;
    DataSetModel m_schoolModel;
    DataSetModel m_repsModel;
    DataSetModel m_tabModel;
    FixedColumnView *m_frozen = nullptr;
    ReportCellDelegate *m_cellDelegate = nullptr;

    int m_level = 1;
    int m_year = 0;
    int m_orgCode = 0;
    QString m_tableName;
    int m_orgListPos = 1;
    int m_repListPos = 1;
    QStringList m_orgsWithData;
    QStringList m_reportsWithData;
    bool m_shown = false;
    bool m_yearChangeSeen = false;
    bool m_closing = false;
};
