#include "consolidation/HowCollectUnit.h"

#include "shell/FixedDialog.h"
#include "shell/Messages.h"
#include "ui_HowCollectUnit.h"

THowCollectForm *HowCollectForm = nullptr;

THowCollectForm::THowCollectForm(QWidget *parent) : QDialog(parent), ui(new Ui::THowCollectForm) {
    ui->setupUi(this);
    SetFixedDialogBorder(*this, size());
    RB1 = ui->RB1;
    RB2 = ui->RB2;
    ButtonOK = ui->ButtonOK;
    ButtonCancel = ui->ButtonCancel;
    connect(ButtonOK, &QPushButton::clicked, this, &THowCollectForm::ButtonOKClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &THowCollectForm::ButtonCancelClick);
}

THowCollectForm::~THowCollectForm() = default;

int THowCollectForm::ModeOfGroup(int Group) {
    return Group == 1 || Group == 47 || Group == 51 ? 1 : 2;
}

bool THowCollectForm::Ask() {
    SetUpChoice();
    msg::exec(*this);
    return Confirmed;
}

void THowCollectForm::SetUpChoice() {
    Confirmed = false;
    const bool together = ModeOfGroup(ReportGroup) == 1;
    // Both buttons off first: an exclusive group keeps one checked otherwise.
    RB1->setAutoExclusive(false);
    RB2->setAutoExclusive(false);
    RB1->setChecked(together);
    RB2->setChecked(!together);
    RB1->setAutoExclusive(true);
    RB2->setAutoExclusive(true);
    RB1->setEnabled(together);
    RB2->setEnabled(!together);
}

void THowCollectForm::ButtonOKClick() {
    const int mode = RB1->isChecked() ? 1 : RB2->isChecked() ? 2 : 0;
    if (mode == 0) {
        msg::show(QStringLiteral("Сообщение"), QStringLiteral("Выберете как собирать отчеты."));
        return;
    }
    CollectMode = mode;
    Confirmed = true;
    accept();
}

void THowCollectForm::ButtonCancelClick() {
    Confirmed = false;
    reject();
}
