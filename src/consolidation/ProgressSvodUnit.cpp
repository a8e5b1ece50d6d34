#include "consolidation/ProgressSvodUnit.h"

#include "ui_ProgressSvodUnit.h"

TProgressSvodForm *ProgressSvodForm = nullptr;

TProgressSvodForm::TProgressSvodForm(QWidget *parent)
    : QDialog(parent), ui(new Ui::TProgressSvodForm) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::CustomizeWindowHint);
    setModal(false);
    ProgressBar1 = ui->ProgressBar1;
}

TProgressSvodForm::~TProgressSvodForm() = default;
