#pragma once
// The choice of the consolidation set ("По какому признаку собирать
// отчеты"): lists the names of the sets of the period's table SVOD<Y> in
// table order; the chosen set's number is its position in that table,
// counted from 1. Created once at start-up; its result fields keep their
// values between showings.
//
//   SvodListForm->Year = 2016;
//   if (SvodListForm->Choose())
//       use(SvodListForm->SetIndex, SvodListForm->SetName);

#include "store/Dataset.h"

#include <QDialog>
#include <QString>

#include <memory>

class QComboBox;
class QPushButton;

namespace Ui {
class TSvodListForm;
}

class TSvodListForm : public QDialog {
    Q_OBJECT
public:
    explicit TSvodListForm(QWidget *parent = nullptr);
    ~TSvodListForm() override;

    // Input: the period's second year (2016 for 2015 / 2016).
    int Year = 0;

    // Results: the chosen set's number (1-based position in SVOD) and its
    // NAME; Confirmed is true only when OK closed the dialog with a set
    // chosen. SetIndex and SetName keep their values when the dialog is
    // cancelled.
    int SetIndex = 1;
    QString SetName;
    bool Confirmed = false;

    // Resets Confirmed, lists the sets of SVOD<Year> and shows the dialog
    // modally through the message seam; returns Confirmed. A period without
    // its SVOD table is said to be not opened, and no dialog is shown.
    bool Choose();

    // Lists the sets of SVOD<Year>, the first one selected; false (and the
    // list left as it was) when the table is missing.
    bool FillSigns();
    // The name of set Number as listed by the last FillSigns; empty when
    // there is none.
    QString NameOfSet(int Number) const;

    QComboBox *CB_SvodList = nullptr;
    QPushButton *ButtonOK = nullptr;
    QPushButton *ButtonCancel = nullptr;
    store::TADODataSet DS1; // SVOD<Year>, open while the dialog is shown

    void ButtonOKClick();
    void ButtonCancelClick();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void finish(int result);
    std::unique_ptr<Ui::TSvodListForm> ui;
};

// The one set dialog of the program (made at start-up).
extern TSvodListForm *SvodListForm;

// The message for a period whose table (OTHE, SVOD) is missing: "Нет БД " +
// Table + Year + ".DBF", the period is not opened, and what to do.
QString PeriodNotOpenedMessage(const QString &Table, int Year);
