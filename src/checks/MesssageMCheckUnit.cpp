#include "checks/MesssageMCheckUnit.h"

#include "shell/Messages.h"
#include "ui_MesssageMCheckUnit.h"

#include <QApplication>
#include <QFont>

TMessageMCheckForm::TMessageMCheckForm(QWidget *parent)
    : QDialog(parent), ui(new Ui::TMessageMCheckForm) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSize(8);
    setFont(f);
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
    LabelMess->setText(msg::displayText(message));
    adjustSize();
    // At the centre of the window the check runs from.
    if (QWidget *w = QApplication::activeWindow(); w && w != this)
        move(w->geometry().center() - rect().center());
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
