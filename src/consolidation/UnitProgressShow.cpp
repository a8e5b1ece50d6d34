#include "consolidation/UnitProgressShow.h"

#include "shell/FixedDialog.h"

#include "ui_UnitProgressShow.h"

#include <QProgressBar>

TProgressForm *ProgressForm = nullptr;

TProgressForm::TProgressForm(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowTitleHint), ui(std::make_unique<Ui::TProgressForm>()) {
    ui->setupUi(this);
    SetDialogBorder(*this, false);
    LabelInfo = ui->LabelInfo;
    ProgressBar1 = ui->ProgressBar1;
}

TProgressForm::~TProgressForm() = default;

void TProgressForm::Step(int position, int maximum) {
    if (ProgressBar1->maximum() != maximum)
        ProgressBar1->setMaximum(maximum);
    ProgressBar1->setValue(position);
    repaint();
}
