#include "books/FindUnit.h"

#include "shell/FixedDialog.h"
#include "shell/Messages.h"
#include "ui_FindUnit.h"

#include <QShowEvent>

TFindForm *FindForm = nullptr;

TFindForm::TFindForm(QWidget *parent) : QDialog(parent), ui(new Ui::TFindForm) {
    ui->setupUi(this);
    SetFixedDialogBorder(*this);
    RB1 = ui->RB1;
    RB2 = ui->RB2;
    EditKod = ui->EditKod;
    EditName = ui->EditName;
    ButtonFind = ui->ButtonFind;
    ButtonCancel = ui->ButtonCancel;
    connect(RB1, &QRadioButton::clicked, this, &TFindForm::RB1Click);
    connect(RB2, &QRadioButton::clicked, this, &TFindForm::RB2Click);
    connect(ButtonFind, &QPushButton::clicked, this, &TFindForm::ButtonFindClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFindForm::ButtonCancelClick);
    SearchMode = 1;
    FindText.clear();
}

TFindForm::~TFindForm() = default;

void TFindForm::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Reset();
}

void TFindForm::Reset() {
    Cancelled = true;
    EditKod->setText(QStringLiteral("0"));
    EditName->clear();
    RB1->setChecked(true);
    RB1Click();
    FindText.clear();
}

void TFindForm::RB1Click() {
    SearchMode = 1;
    EditKod->setEnabled(true);
    EditName->setEnabled(false);
}

void TFindForm::RB2Click() {
    SearchMode = 2;
    EditKod->setEnabled(false);
    EditName->setEnabled(true);
}

void TFindForm::ButtonFindClick() {
    if (SearchMode == 1) {
        bool ok = false;
        EditKod->text().toInt(&ok);
        if (!ok) {
            msg::show(QStringLiteral("KVR"), QStringLiteral("Невырный формат ввода!"));
            EditKod->setText(QStringLiteral("0"));
            return;
        }
        FindText = EditKod->text();
    } else {
        FindText = EditName->text();
    }
    Cancelled = false;
    accept();
}

void TFindForm::ButtonCancelClick() {
    reject();
}

void TFindForm::done(int result) {
    if (Cancelled)
        FindText = SearchMode == 1 ? QStringLiteral("0") : QString();
    QDialog::done(result);
}
