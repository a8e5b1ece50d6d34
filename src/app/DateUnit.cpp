#include "app/DateUnit.h"

#include "shell/FixedDialog.h"
#include "ui_DateUnit.h"

#include <QCalendarWidget>

TDateForm *DateForm = nullptr;

TDateForm::TDateForm(QWidget *parent) : QDialog(parent), ui(new Ui::TDateForm) {
    ui->setupUi(this);
    SetFixedDialogBorder(*this);
    // Dates and the calendar are Russian whatever the system's locale.
    setLocale(ProgramLocale());
    ui->DateTimePicker1->setLocale(ProgramLocale());
    ui->DateTimePicker1->setDisplayFormat(ProgramLocale().dateFormat(QLocale::ShortFormat));
    ui->DateTimePicker1->calendarWidget()->setLocale(ProgramLocale());
    ui->DateTimePicker1->setDate(QDate::currentDate());
    connect(ui->ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
}

TDateForm::~TDateForm() = default;

QDate TDateForm::date() const {
    return ui->DateTimePicker1->date();
}

void TDateForm::setDate(const QDate &date) {
    ui->DateTimePicker1->setDate(date);
}
