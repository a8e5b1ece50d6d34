#pragma once
// The work window "Настройка": for one period chosen when it opens, the own
// requisites (REGIM) edited and saved by "Сохранить", and read-only views of
// the period's formula tables FORM<Y> and PROV<Y> and its consolidation sets
// SVOD<Y>. The window is a plain widget meant for an MDI child.
//
// Requisites typed and not yet saved are never dropped silently: leaving them
// (another view, closing the window, the program ending) asks whether to save
// them. A requisite the table cannot hold is refused with a message naming the
// field, and the record stays in edit. Saving writes the requisites changed
// since they were shown; when another copy of the program saved one of them
// meanwhile, the save is refused and the requisites are shown as saved.

#include "shell/DataSetModel.h"
#include "shell/StatusPanels.h"
#include "store/Dataset.h"

#include <QWidget>

#include <memory>

class QGroupBox;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QToolButton;
class TMultiLineGrid;

namespace Ui {
class TSetupForm;
}

class TSetupForm : public QWidget {
    Q_OBJECT
public:
    explicit TSetupForm(QWidget *parent = nullptr);
    ~TSetupForm() override;

    // Components, as the window's layout names them.
    QPushButton *ButtonRegim = nullptr;
    QPushButton *ButtonBlank = nullptr;
    QPushButton *ButtonFormlBlank = nullptr;
    QPushButton *ButtonFormlConnect = nullptr;
    QPushButton *ButtonSvod = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QToolButton *ButtonExit = nullptr;
    QToolButton *ButtonApply = nullptr;
    TMultiLineGrid *DBGrid1 = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    QLineEdit *DBEditName = nullptr;
    QLineEdit *DBEditAdres = nullptr;
    QLineEdit *DBEditPhone = nullptr;
    QLineEdit *DBEditRykOrg = nullptr;
    QLineEdit *DBEditGlBux = nullptr;
    QLineEdit *DBEditRykFin = nullptr;
    QLineEdit *DBEditOKPO = nullptr;
    QLineEdit *DBEditINN = nullptr;

    store::TADODataSet DS1; // REGIM
    store::TADODataSet DS2; // the table shown in the grid

    // The second calendar year of the chosen period.
    int SetupYear = 0;

    QString PanelText() const;
    DataSetModel *GridModel() { return &m_gridModel; }

    // Event handlers.
    void ButtonRegimClick();
    void ButtonBlankClick();
    void ButtonFormlBlankClick();
    void ButtonFormlConnectClick();
    void ButtonSvodClick();
    void ButtonApplyClick();
    void ButtonExitClick();

signals:
    void closed();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    struct Requisite {
        QLineEdit *edit;
        QString field;
        QString label;
    };

    void ShowPeriod();
    void ShowRequisites();
    void ShowBlankUnavailable();
    void ShowBlankFormulas();
    void ShowLinkFormulas();
    void ShowSvodList();
    void SetView(int Mode);
    void ShowTable(const QString &BaseName, const QString &Caption,
                   const QList<QPair<QString, QString>> &Titles);

    // Saves the requisites (the record in edit or insert); false when one of
    // them was refused (the message names it; the record stays in edit).
    bool SaveRequisites();
    // Before the requisites are left: with unsaved changes, asks whether to
    // save them. False when the user wanted them saved and saving failed.
    bool LeaveRequisites();
    void RequisiteEdited();
    void LoadRequisites();

    std::unique_ptr<Ui::TSetupForm> ui;
    StatusPanels m_panels;
    DataSetModel m_gridModel;
    QVector<Requisite> m_requisites;
    bool m_loading = false;
    bool m_shown = false;
    bool m_closing = false;
};
