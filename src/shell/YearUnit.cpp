#include "shell/YearUnit.h"

#include "shell/AppState.h"
#include "shell/FixedDialog.h"
#include "shell/Messages.h"
#include "shell/Periods.h"
#include "ui_YearUnit.h"

#include <QShowEvent>

TYearForm *YearForm = nullptr;

TYearForm::TYearForm(QWidget *parent) : QDialog(parent), ui(new Ui::TYearForm) {
    ui->setupUi(this);
    SetFixedDialogBorder(*this);
    connect(ui->ButtonOK, &QPushButton::clicked, this, &TYearForm::ButtonOKClick);
}

TYearForm::~TYearForm() = default;

void TYearForm::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FillYears();
}

void TYearForm::FillYears() {
    const QStringList years = periods::GetPeriodList(appState().WorkYear);
    ui->CB_Year->clear();
    ui->CB_Year->addItems(years);
    if (years.isEmpty()) {
        // A working date before 2006 leaves nothing to choose: there is no
        // school year, so none is returned unless the user types one.
        ui->CB_Year->setEditText(QString());
        Year = 0;
        return;
    }
    ui->CB_Year->setCurrentIndex(int(years.size()) - 1);
    bool ok = false;
    Year = periods::FirstYearOf(ui->CB_Year->currentText(), &ok);
}

void TYearForm::ButtonOKClick() {
    const QString text = ui->CB_Year->currentText();
    bool ok = false;
    const int year = periods::FirstYearOf(text, &ok);
    if (!ok) {
        // Shown as the program shows any failed conversion; the dialog stays
        // open and Year keeps its value.
        msg::show(QStringLiteral("KVR"),
                  QStringLiteral("\"") + text.left(4) +
                      QStringLiteral("\" не является годом.\rВыберите учебный год из списка "
                                     "или введите его в виде 2015 / 2016."),
                  msg::Icon::Critical);
        return;
    }
    Year = year;
    accept();
}
