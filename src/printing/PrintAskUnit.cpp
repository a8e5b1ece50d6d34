#include "printing/PrintAskUnit.h"

#include "shell/FixedDialog.h"
#include "shell/Messages.h"

#include "ui_PrintAskUnit.h"

#include <QPointer>

TPrintAskForm::TPrintAskForm(QWidget *parent) : QDialog(parent), ui(new Ui::TPrintAskForm) {
    ui->setupUi(this);
    SetFixedDialogBorder(*this, QSize(281, 114));
    connect(ui->ButtonPrint, &QPushButton::clicked, this, &TPrintAskForm::ButtonPrintClick);
    connect(ui->ButtonCancel, &QPushButton::clicked, this, &TPrintAskForm::ButtonCancelClick);
}

TPrintAskForm::~TPrintAskForm() = default;

void TPrintAskForm::ButtonPrintClick() {
    accept();
}

void TPrintAskForm::ButtonCancelClick() {
    reject();
}

// Every way of closing but "Да" is a no.
void TPrintAskForm::done(int result) {
    DoPrint = result == QDialog::Accepted;
    QDialog::done(result);
}

bool TPrintAskForm::Ask() {
    DoPrint = false;
    ui->ButtonPrint->setFocus();
    DoPrint = msg::exec(*this) == QDialog::Accepted;
    return DoPrint;
}

TPrintAskForm &PrintAskForm(QWidget *Parent) {
    static QPointer<TPrintAskForm> form;
    if (!form)
        form = new TPrintAskForm(Parent);
    return *form;
}
