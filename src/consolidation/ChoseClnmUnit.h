#pragma once
// The choice of one data column for a by-column consolidation ("Выбор
// колонки"): lists the report's data columns 1 to KOLSTOLB, each as its
// number and both lines of its catalogue caption ("3. Всего учащихся"), also
// those that the catalogue hides. Created once at start-up.
//
//   if (ChoseClnmForm->Ask(catalogue))   // the catalogue on the report's record
//       use(ChoseClnmForm->ColumnIndex, ChoseClnmForm->ColumnCaption);

#include "store/Dataset.h"

#include <QDialog>
#include <QString>

#include <memory>

class QComboBox;
class QPushButton;

namespace Ui {
class TChoseClnmForm;
}

class TChoseClnmForm : public QDialog {
    Q_OBJECT
public:
    explicit TChoseClnmForm(QWidget *parent = nullptr);
    ~TChoseClnmForm() override;

    // Results: the chosen data column k (the field "N" + k), 0 until the
    // first choice; the chosen column's caption (its two lines joined by a
    // blank, without the number);
    // Confirmed is true only when OK closed the dialog with a line chosen.
    int ColumnIndex = 0;
    QString ColumnCaption;
    bool Confirmed = false;

    // Resets Confirmed, lists the columns of the catalogue's current record
    // and shows the dialog modally through the message seam; returns
    // Confirmed.
    bool Ask(store::TADODataSet &Catalogue);
    // Lists the columns (run by Ask before the dialog shows). A catalogue
    // whose KOLSTOLB exceeds its NAM fields lists the captions it has.
    void FillColumns(store::TADODataSet &Catalogue);

    QComboBox *CB_List = nullptr;
    QPushButton *ButtonOK = nullptr;
    QPushButton *ButtonCancel = nullptr; // not shown

    void ButtonOKClick();
    void ButtonCancelClick();

private:
    std::unique_ptr<Ui::TChoseClnmForm> ui;
};

// The one column dialog of the program (made at start-up).
extern TChoseClnmForm *ChoseClnmForm;
