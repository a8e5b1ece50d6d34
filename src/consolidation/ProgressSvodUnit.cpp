#include "consolidation/ProgressSvodUnit.h"

#include "shell/FixedDialog.h"

#include "ui_ProgressSvodUnit.h"

TProgressSvodForm *ProgressSvodForm = nullptr;

TProgressSvodForm::TProgressSvodForm(QWidget *parent)
    : QDialog(parent), ui(new Ui::TProgressSvodForm) {
    ui->setupUi(this);
    SetDialogBorder(*this, false);
    setModal(false);
    ProgressBar1 = ui->ProgressBar1;
}

TProgressSvodForm::~TProgressSvodForm() = default;
