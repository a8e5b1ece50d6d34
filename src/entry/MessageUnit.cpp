#include "entry/MessageUnit.h"

#include "shell/FixedDialog.h"
#include "shell/Messages.h"
#include "ui_MessageUnit.h"

TMessageForm::TMessageForm(QWidget *parent) : QDialog(parent), ui(new Ui::TMessageForm) {
    ui->setupUi(this);
    SetFixedDialogBorder(*this);
    Label1 = ui->Label1;
    Label2 = ui->Label2;
    ButtonOk = ui->ButtonOk;
    ButtonCancel = ui->ButtonCancel;
    connect(ButtonOk, &QPushButton::clicked, this, &TMessageForm::ButtonOkClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TMessageForm::ButtonCancelClick);
}

TMessageForm::~TMessageForm() = default;

bool TMessageForm::Ask() {
    TakeBlank = false;
    msg::exec(*this);
    return TakeBlank;
}

void TMessageForm::showEvent(QShowEvent *event) {
    TakeBlank = false;
    QDialog::showEvent(event);
}

void TMessageForm::ButtonOkClick() {
    TakeBlank = true;
    accept();
}

void TMessageForm::ButtonCancelClick() {
    TakeBlank = false;
    reject();
}

TMessageForm &MessageForm() {
    static TMessageForm *form = new TMessageForm;
    return *form;
}
