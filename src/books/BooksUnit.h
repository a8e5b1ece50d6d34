#pragma once
// The work window "Справочники": one grid that shows either the
// organisation book SCHOOL, which the user keeps here (edited in place or
// through "Добавить", "Редактировать" and "Удалить", searched with "Поиск",
// listed with "Печать"), or the report catalogue of a chosen period, shown
// read-only. The row of the current record is drawn highlighted.
//
// An edit made in the grid stays pending until the row changes, and is
// posted before anything else happens: a button, a switch of book, closing
// the window or the program ending. A typed value that the table cannot
// hold is refused with a message naming the field; so is a change of the
// code of an organisation that has reports.
//
// The window is a plain widget meant for an MDI child; it frees itself when
// it closes.

#include "shell/DataSetModel.h"
#include "store/Dataset.h"

#include <QStyleOptionViewItem>
#include <QWidget>

#include <functional>
#include <memory>

class QCloseEvent;
class QFrame;
class QGroupBox;
class QPushButton;
class QToolButton;
class TFindForm;
class TFormEditOrg;
class TMultiLineGrid;

namespace Ui {
class TBooksForm;
}

class TBooksForm : public QWidget {
    Q_OBJECT
public:
    explicit TBooksForm(QWidget *parent = nullptr);
    ~TBooksForm() override;

    // Asked before the organisation list is printed; printing goes on only
    // when it returns true. Unset, the list is printed without a question.
    static std::function<bool()> AskPrint;

    // Components, as the window's layout names them.
    QToolButton *ButtonExit = nullptr;
    QToolButton *ButtonPrint = nullptr;
    QFrame *ToolButton2 = nullptr;
    QToolButton *ButtonFind = nullptr;
    QToolButton *ButtonNew = nullptr;
    QToolButton *ButtonEdit = nullptr;
    QToolButton *ButtonDelete = nullptr;
    QPushButton *ButtonOrgs = nullptr;
    QPushButton *ButtonReports = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    TMultiLineGrid *DBGrid1 = nullptr;

    store::TADODataSet DS1; // the organisation book, on the program-folder connection
    store::TADODataSet DS2; // the report catalogue, on the period connection

    // The record number of the highlighted row.
    int CurRecNo = 1;
    // The second calendar year of the period whose catalogue is shown.
    int ReportYear = 0;
    // The book shown: 0 none, 1 organisations, 2 reports.
    int Mode() const { return m_mode; }
    // The model the grid shows (the organisation book's or the catalogue's).
    DataSetModel *GridModel() const;
    // How a cell of the grid is drawn (colours and font of the current row).
    QStyleOptionViewItem CellOption(const QModelIndex &index) const;

    // Event handlers.
    void ButtonOrgsClick();
    void ButtonReportsClick();
    void ButtonNewClick();
    void ButtonEditClick();
    void ButtonDeleteClick();
    void ButtonFindClick();
    void ButtonPrintClick();
    void ButtonExitClick();

    void ShowBook(int Mode);
    void ResetView();
    void SetEditButtonsVisible(bool Visible);
    // The largest code of the organisation book as stored, 0 when empty.
    int GetMaxKod();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    int AskYear();
    void LoadOrganisations();
    void LoadReports();
    void SetupColumns(int Mode);
    // Opens the book of the mode (1 organisations, 2 reports) with the
    // command and shows it in the grid; false when the folder cannot be
    // connected (the view is then reset).
    bool openBook(int Mode, const QString &Folder, const QString &Command);
    void FindRecord();
    void DSAfterScroll(store::TADODataSet &DataSet);
    // Runs the organisation dialog on DS1 in append or edit state: posts on
    // OK (shown again when the post fails), cancels otherwise. True when the
    // record was posted.
    bool runEditDialog();
    // Writes what is typed in an open cell editor and posts a pending edit of
    // the grid. False when a value was refused or the post failed: the edit
    // stays as it was. Quiet: no message (the program is ending).
    bool postPendingEdit(bool quiet = false);
    // The message for a value typed into a cell of the organisation book,
    // empty when it can be written.
    QString checkCellValue(const QModelIndex &index, const QString &text);
    void showModel(DataSetModel *model);
    TFindForm &findForm();
    TFormEditOrg &editForm();

    std::unique_ptr<Ui::TBooksForm> ui;
    class GridDelegate;
    GridDelegate *m_delegate = nullptr;
    DataSetModel m_orgModel;
    DataSetModel m_repModel;
    TFindForm *m_ownFind = nullptr;
    TFormEditOrg *m_ownEdit = nullptr;
    int m_mode = 0;
    int m_editOldKod = 0; // KOD of the record as it was when its edit began
    bool m_shown = false;
    bool m_quiet = false;
};
