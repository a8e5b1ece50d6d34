#include "app/AboutUnit.h"

#include "shell/FixedDialog.h"

#include "ui_AboutUnit.h"

TAboutBox *AboutBox = nullptr;

TAboutBox::TAboutBox(QWidget *parent) : QDialog(parent), ui(new Ui::TAboutBox) {
    ui->setupUi(this);
    ui->Version->setText(QStringLiteral("Версия 5.0 2016"));
    SetFixedDialogBorder(*this, size());
    connect(ui->OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

TAboutBox::~TAboutBox() = default;
