#include "consolidation/SvodListUnit.h"

#include "consolidation/ComboChoice.h"
#include "shell/FixedDialog.h"
#include "shell/Messages.h"
#include "shell/Paths.h"
#include "shell/UnitDM.h"
#include "ui_SvodListUnit.h"

#include <QCloseEvent>

TSvodListForm *SvodListForm = nullptr;

namespace {
const QString kMessageTitle = QStringLiteral("Сообщение");
} // namespace

QString PeriodNotOpenedMessage(const QString &Table, int Year) {
    return QStringLiteral("Нет БД ") + Table + QString::number(Year) +
           QStringLiteral(".DBF\r\rНе открыт период!\r\rСделайте: \"Начало нового периода.\"");
}

TSvodListForm::TSvodListForm(QWidget *parent) : QDialog(parent), ui(new Ui::TSvodListForm) {
    ui->setupUi(this);
    SetFixedDialogBorder(*this, size());
    CB_SvodList = ui->CB_SvodList;
    ButtonOK = ui->ButtonOK;
    ButtonCancel = ui->ButtonCancel;
    connect(ButtonOK, &QPushButton::clicked, this, &TSvodListForm::ButtonOKClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TSvodListForm::ButtonCancelClick);
}

TSvodListForm::~TSvodListForm() = default;

bool TSvodListForm::Choose() {
    Confirmed = false;
    if (!FillSigns()) {
        msg::show(kMessageTitle, PeriodNotOpenedMessage(QStringLiteral("SVOD"), Year));
        return false;
    }
    msg::exec(*this);
    DS1.Close();
    return Confirmed;
}

bool TSvodListForm::FillSigns() {
    const QString table = QStringLiteral("SVOD") + QString::number(Year);
    if (!store::fileExistsCaseInsensitive(paths::GetWedDir(), table + QStringLiteral(".DBF")))
        return false;
    if (!DM().ADOConWED.Connected() && !DM().Connect(2, paths::GetWedDir()))
        return false;
    DS1.Close();
    DS1.setConnection(&DM().ADOConWED);
    DS1.setCommandText(QStringLiteral("select * from ") + table);
    DS1.Open();
    CB_SvodList->clear();
    CB_SvodList->setEditText(QString());
    for (DS1.First(); !DS1.Eof(); DS1.Next())
        CB_SvodList->addItem(DS1.FieldByName(QStringLiteral("NAME")).AsString());
    CB_SvodList->setCurrentIndex(CB_SvodList->count() > 0 ? 0 : -1);
    return true;
}

QString TSvodListForm::NameOfSet(int Number) const {
    return Number >= 1 && Number <= CB_SvodList->count() ? CB_SvodList->itemText(Number - 1)
                                                         : QString();
}

void TSvodListForm::ButtonOKClick() {
    // A typed text that is no item chooses nothing.
    const int chosen = ChosenComboItem(*CB_SvodList);
    if (chosen < 0 || !DS1.Active()) {
        // The plain message box, titled with the program's name.
        msg::show(QStringLiteral("KVR"), QStringLiteral("Выберете признак!"));
        return;
    }
    SetIndex = chosen + 1;
    DS1.First();
    DS1.setRecNo(SetIndex);
    SetName = DS1.FieldByName(QStringLiteral("NAME")).AsString();
    Confirmed = true;
    finish(QDialog::Accepted);
}

void TSvodListForm::ButtonCancelClick() {
    Confirmed = false;
    finish(QDialog::Rejected);
}

void TSvodListForm::finish(int result) {
    DS1.Close();
    done(result);
}

void TSvodListForm::closeEvent(QCloseEvent *event) {
    DS1.Close();
    QDialog::closeEvent(event);
}
