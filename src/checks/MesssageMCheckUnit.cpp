#include "checks/MesssageMCheckUnit.h"

#include "shell/FixedDialog.h"
#include "shell/Messages.h"
#include "ui_MesssageMCheckUnit.h"

#include <QFont>

TMessageMCheckForm::TMessageMCheckForm(QWidget *parent)
    : QDialog(parent), ui(new Ui::TMessageMCheckForm) {
    ui->setupUi(this);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSize(8);
    setFont(f);
    // Fixed at what the message needs, each time it is set.
    SetFixedDialogBorder(*this);
    LabelMess = ui->LabelMess;
    Panel1 = ui->Panel1;
    ButtonOK = ui->ButtonOK;
    ButtonCancel = ui->ButtonCancel;
    connect(ButtonOK, &QPushButton::clicked, this, &TMessageMCheckForm::ButtonOKClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TMessageMCheckForm::ButtonCancelClick);
}

TMessageMCheckForm::~TMessageMCheckForm() = default;

bool TMessageMCheckForm::Ask(const QString &message) {
    m_message = message;
    // The dialog takes the size the message needs; it is shown at the
    // centre of the main window (msg::exec places it).
    LabelMess->setText(msg::displayText(message));
    // Also when the seam answers for the dialog without showing it.
    FormShow();
    msg::exec(*this);
    return ContinueCheck;
}

void TMessageMCheckForm::showEvent(QShowEvent *event) {
    FormShow();
    QDialog::showEvent(event);
}

void TMessageMCheckForm::FormShow() {
    ContinueCheck = true;
}

void TMessageMCheckForm::ButtonOKClick() {
    ContinueCheck = true;
    accept();
}

void TMessageMCheckForm::ButtonCancelClick() {
    ContinueCheck = false;
    reject();
}

TMessageMCheckForm &MessageMCheckForm() {
    static TMessageMCheckForm *form = new TMessageMCheckForm;
    return *form;
}
