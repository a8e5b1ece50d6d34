#pragma once
// The work window "Прием \ Передача отчетов": sends the consolidations of a
// period to an exchange folder with the identity file reg.txt, or receives
// such a folder into an organisation's data folder after the INN check. The
// window only collects the choices (mode, organisation, folder) and shows
// what the exchange routines (ReportExchange.h) report.
//
// A frameless plain widget for an MDI child. Its first show asks for the
// school year (Year is then the period's year, which the main window reads
// right after creating it); it closes itself after a successful run.

#include "consolidation/ReportExchange.h"
#include "consolidation/SvodEngine.h"

#include <QWidget>

#include <functional>
#include <memory>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;

namespace Ui {
class TLoadReportForm;
}

class TLoadReportForm : public QWidget {
    Q_OBJECT
public:
    explicit TLoadReportForm(QWidget *parent = nullptr);
    ~TLoadReportForm() override;

    // The second year of the chosen school year (the period's year).
    int Year = 0;

    // Components, as the window's layout names them.
    QRadioButton *RBSave = nullptr;
    QRadioButton *RBLoad = nullptr;
    QGroupBox *GroupBox2 = nullptr; // the organisation
    QGroupBox *GroupBox3 = nullptr; // the folder and the buttons
    QLineEdit *EditOrg = nullptr;
    QLineEdit *EditDir = nullptr;
    QPushButton *ButtonChooseOrg = nullptr;
    QPushButton *ButtonChooseDir = nullptr;
    QPushButton *ButtonGo = nullptr;
    QPushButton *ButtonCancel = nullptr;
    QStatusBar *StatusBar1 = nullptr;

    // The chosen organisation's code (0 until one is chosen here).
    int EditOrgTag() const { return m_orgCode; }
    QString PanelText(int panel) const;

    // Builds every consolidation of the year into set 1 (the save-all run of
    // the consolidation); replaceable in tests.
    std::function<svod::SaveAllResult(const svod::SaveAllParams &)> SaveAll = svod::SaveAllSvods;

    void InitView();
    void OpenOrganisations();
    void UpdateMode();
    bool SendReports();
    bool ReceiveReports();
    exchange::BuildAllOutcome BuildAllSvods();

    void ButtonChooseOrgClick();
    void ButtonChooseDirClick();
    void ButtonGoClick();
    void ButtonCancelClick();

signals:
    void closed();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void FormShow();
    void setPanel(int panel, const QString &text);
    void showMessages(const QList<msg::Request> &messages);

    std::unique_ptr<Ui::TLoadReportForm> ui;
    QLabel *m_panels[2] = {nullptr, nullptr};
    QString m_panelTexts[2];
    int m_orgCode = 0;
    bool m_shown = false;
    bool m_closing = false;
};
