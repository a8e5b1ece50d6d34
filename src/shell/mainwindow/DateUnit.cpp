#include "shell/mainwindow/DateUnit.h"

#include "ui_DateUnit.h"

TDateForm *DateForm = nullptr;

TDateForm::TDateForm(QWidget *parent) : QDialog(parent), ui(new Ui::TDateForm) {
    ui->setupUi(this);
    ui->DateTimePicker1->setDate(QDate::currentDate());
    connect(ui->ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
}

TDateForm::~TDateForm() {
    delete ui;
}

QDate TDateForm::date() const {
    return ui->DateTimePicker1->date();
}

void TDateForm::setDate(const QDate &date) {
    ui->DateTimePicker1->setDate(date);
}
