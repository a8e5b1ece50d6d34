#include "consolidation/ChoseClnmUnit.h"

#include "consolidation/ComboChoice.h"
#include "consolidation/SvodGridLayout.h"
#include "shell/FixedDialog.h"
#include "shell/Messages.h"
#include "ui_ChoseClnmUnit.h"

TChoseClnmForm *ChoseClnmForm = nullptr;

TChoseClnmForm::TChoseClnmForm(QWidget *parent) : QDialog(parent), ui(new Ui::TChoseClnmForm) {
    ui->setupUi(this);
    SetFixedDialogBorder(*this, size());
    CB_List = ui->CB_List;
    ButtonOK = ui->ButtonOK;
    ButtonCancel = ui->ButtonCancel;
    ButtonCancel->hide();
    connect(ButtonOK, &QPushButton::clicked, this, &TChoseClnmForm::ButtonOKClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TChoseClnmForm::ButtonCancelClick);
}

TChoseClnmForm::~TChoseClnmForm() = default;

bool TChoseClnmForm::Ask(store::TADODataSet &Catalogue) {
    FillColumns(Catalogue);
    msg::exec(*this);
    return Confirmed;
}

void TChoseClnmForm::FillColumns(store::TADODataSet &Catalogue) {
    Confirmed = false;
    CB_List->clear();
    CB_List->setEditText(QString());
    if (!Catalogue.Active() || Catalogue.IsEmpty())
        return;
    const int count = Catalogue.FieldByName(QStringLiteral("KOLSTOLB")).AsInteger();
    for (int i = 1; i <= count; ++i) {
        const QString field = QStringLiteral("NAM") + QString::number(i);
        if (Catalogue.FieldIndex(field) < 0)
            break; // the catalogue describes no more columns
        // Columns often share a first line ("Класс;1", "Класс;2"): each line
        // gives the column's number and both lines of its caption.
        const QString caption = CaptionText(Catalogue.FieldByName(field).AsString());
        CB_List->addItem(QStringLiteral("%1. %2").arg(i).arg(caption), caption);
    }
    CB_List->setCurrentIndex(-1);
    CB_List->setEditText(QString());
}

void TChoseClnmForm::ButtonOKClick() {
    const int chosen = ChosenComboItem(*CB_List);
    if (chosen < 0) {
        msg::show(QStringLiteral("Сообщение"), QStringLiteral("Выберете колонку!"));
        return;
    }
    Confirmed = true;
    ColumnIndex = chosen + 1;
    ColumnCaption = CB_List->itemData(chosen).toString();
    accept();
}

void TChoseClnmForm::ButtonCancelClick() {
    Confirmed = false;
    reject();
}
