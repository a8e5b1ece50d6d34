#pragma once
// The dialog that edits one organisation of the organisation book. The
// caller puts its dataset into append or edit state, points the dialog at it
// (setDataSource), calls BindFields, shows the dialog through msg::exec()
// and posts the record when the result is Accepted, cancels it otherwise.
//
// The edits show the current record when the dialog is shown. "OK" checks
// every changed edit (the code page, the field's length, numbers, a change of
// code) and writes them into the record; a value that cannot be written is
// refused with a message naming the field, and the dialog stays open with
// everything typed.

#include "store/Dataset.h"

#include <QDialog>
#include <QHash>
#include <QVector>

#include <memory>

class QLineEdit;
class QPushButton;

namespace Ui {
class TFormEditOrg;
}

class TFormEditOrg : public QDialog {
    Q_OBJECT
public:
    explicit TFormEditOrg(QWidget *parent = nullptr);
    ~TFormEditOrg() override;

    // The captions the caller copies into the dialog's title.
    QString CaptionNew;
    QString CaptionEdit;

    QLineEdit *DBEditKOD = nullptr;
    QLineEdit *DBEditNAME = nullptr;
    QLineEdit *DBEditKODCITY = nullptr;
    QLineEdit *DBEditKOD1 = nullptr;
    QLineEdit *DBEditKOD2 = nullptr;
    QLineEdit *DBEditKOD3 = nullptr;
    QLineEdit *DBEditKOD4 = nullptr;
    QLineEdit *DBEditRYKORG = nullptr;
    QLineEdit *DBEditGLABUX = nullptr;
    QLineEdit *DBEditRYKFIN = nullptr;
    QLineEdit *DBEditINN_O = nullptr;
    QLineEdit *DBEditOKPO_K = nullptr;
    QLineEdit *DBEditOKONX_K = nullptr;
    QLineEdit *DBEditTELEF = nullptr;
    QLineEdit *DBEditADRES = nullptr;
    QPushButton *ButtonOK = nullptr;
    QPushButton *ButtonCancel = nullptr;

    // DataSource1: the organisation dataset whose current record the edits
    // show and change; nullptr detaches it.
    void setDataSource(store::TADODataSet *DataSet);
    store::TADODataSet *dataSource() const { return m_ds; }
    // Gives each edit its field and makes the code read-only.
    void BindFields();
    // The field an edit is bound to (empty when none).
    QString fieldOf(const QLineEdit *Edit) const;
    // Fills the edits from the current record (run on every show).
    void LoadValues();

    void ButtonOKClick();
    void ButtonCancelClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool writeValues();

    std::unique_ptr<Ui::TFormEditOrg> ui;
    store::TADODataSet *m_ds = nullptr;
    QVector<QPair<QLineEdit *, QString>> m_bindings;
    QHash<QLineEdit *, QString> m_loaded; // the text each edit was given
};

// The one organisation dialog of the program (set by the main routine).
extern TFormEditOrg *FormEditOrg;
