#pragma once
// The dialog "Укажите организацию": the organisation book SCHOOL in a
// read-only grid, the current organisation's name below it in blue bold, and
// OK and Отмена. Created once at start-up and shown through
// msg::exec(*FormChooseOrg); after OK the caller reads the chosen record.
// When the book cannot be opened the dialog closes itself without a message,
// as Cancel.

#include "store/Dataset.h"

#include <QDialog>
#include <QString>

#include <memory>

class DataSetModel;
class QLabel;
class QPushButton;
class TMultiLineGrid;

namespace Ui {
class TFormChooseOrg;
}

class TFormChooseOrg : public QDialog {
    Q_OBJECT
public:
    explicit TFormChooseOrg(QWidget *parent = nullptr);
    ~TFormChooseOrg() override;

    TMultiLineGrid *DBGrid1 = nullptr;
    QLabel *DBTextOrgName = nullptr;
    QPushButton *ButtonOk = nullptr;
    QPushButton *ButtonCancel = nullptr;

    store::TADODataSet DS1; // SCHOOL, on the main connection

    // Opens SCHOOL into the grid and sets its column titles; false when the
    // book cannot be opened.
    bool OpenOrganisations();
    // Titles, order and visibility of the grid's columns by their fields.
    void SetColumnCaptions();

    // The current record of the book: its NAME and KOD (0 without a record).
    QString ChosenName();
    int ChosenCode();

    DataSetModel *GridModel() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showCurrentName();

    std::unique_ptr<Ui::TFormChooseOrg> ui;
    std::unique_ptr<DataSetModel> m_model;
};

// The one organisation dialog of the program (created at start-up).
extern TFormChooseOrg *FormChooseOrg;

// The text whose width, in the grid's font made bold, the KODCITY column takes.
inline const QString kOrgKindColumnSample = QStringLiteral("1-районы    ");
