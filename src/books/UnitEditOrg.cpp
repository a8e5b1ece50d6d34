#include "books/UnitEditOrg.h"

#include "books/OrganisationBook.h"
#include "shell/FixedDialog.h"
#include "shell/Messages.h"
#include "shell/Paths.h"
#include "ui_UnitEditOrg.h"

#include <QShowEvent>

TFormEditOrg *FormEditOrg = nullptr;

TFormEditOrg::TFormEditOrg(QWidget *parent) : QDialog(parent), ui(new Ui::TFormEditOrg) {
    ui->setupUi(this);
    SetFixedDialogBorder(*this, size());
    DBEditKOD = ui->DBEditKOD;
    DBEditNAME = ui->DBEditNAME;
    DBEditKODCITY = ui->DBEditKODCITY;
    DBEditKOD1 = ui->DBEditKOD1;
    DBEditKOD2 = ui->DBEditKOD2;
    DBEditKOD3 = ui->DBEditKOD3;
    DBEditKOD4 = ui->DBEditKOD4;
    DBEditRYKORG = ui->DBEditRYKORG;
    DBEditGLABUX = ui->DBEditGLABUX;
    DBEditRYKFIN = ui->DBEditRYKFIN;
    DBEditINN_O = ui->DBEditINN_O;
    DBEditOKPO_K = ui->DBEditOKPO_K;
    DBEditOKONX_K = ui->DBEditOKONX_K;
    DBEditTELEF = ui->DBEditTELEF;
    DBEditADRES = ui->DBEditADRES;
    ButtonOK = ui->ButtonOK;
    ButtonCancel = ui->ButtonCancel;
    connect(ButtonOK, &QPushButton::clicked, this, &TFormEditOrg::ButtonOKClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormEditOrg::ButtonCancelClick);
    CaptionNew = QStringLiteral("Организации: Новый");
    CaptionEdit = QStringLiteral("Организации: Редактирование");
}

TFormEditOrg::~TFormEditOrg() = default;

void TFormEditOrg::setDataSource(store::TADODataSet *DataSet) {
    m_ds = DataSet;
}

void TFormEditOrg::BindFields() {
    m_bindings = {{DBEditKOD, "KOD"},         {DBEditNAME, "NAME"},     {DBEditKODCITY, "KODCITY"},
                  {DBEditKOD1, "KOD1"},       {DBEditKOD2, "KOD2"},     {DBEditKOD3, "KOD3"},
                  {DBEditKOD4, "KOD4"},       {DBEditRYKORG, "RYKORG"}, {DBEditGLABUX, "GLABUX"},
                  {DBEditRYKFIN, "RYKFIN"},   {DBEditINN_O, "INN_O"},   {DBEditOKPO_K, "OKPO_K"},
                  {DBEditOKONX_K, "OKONX_K"}, {DBEditTELEF, "TELEF"},   {DBEditADRES, "ADRES"}};
    DBEditKOD->setReadOnly(true);
    LoadValues();
}

QString TFormEditOrg::fieldOf(const QLineEdit *Edit) const {
    for (const auto &b : m_bindings)
        if (b.first == Edit)
            return b.second;
    return {};
}

void TFormEditOrg::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        LoadValues();
}

void TFormEditOrg::LoadValues() {
    m_loaded.clear();
    const bool active = m_ds && m_ds->Active();
    for (const auto &[edit, field] : std::as_const(m_bindings)) {
        const int i = active ? m_ds->FieldIndex(field) : -1;
        const QString text = i >= 0 ? m_ds->Fields(i).AsString() : QString();
        edit->setText(text);
        edit->setEnabled(i >= 0);
        m_loaded.insert(edit, text);
    }
}

bool TFormEditOrg::writeValues() {
    if (!m_ds || !m_ds->Active())
        return true;
    auto refuse = [this](QLineEdit *edit, const QString &text) {
        msg::show(QStringLiteral("Ошибка"), text, msg::Icon::Warning);
        edit->setFocus();
        edit->selectAll();
        return false;
    };
    // Everything is checked first, so a refused value leaves the record as it was.
    for (const auto &[edit, field] : std::as_const(m_bindings)) {
        const int i = m_ds->FieldIndex(field);
        if (i < 0 || edit->text() == m_loaded.value(edit))
            continue;
        QString error = CheckOrganisationValue(m_ds->FieldDefs().at(i), edit->text());
        if (error.isEmpty() && field == QLatin1String("KOD") && m_ds->connection())
            error = CheckCodeChange(*m_ds->connection(), m_loaded.value(edit).toInt(), edit->text(),
                                    paths::GetDbfDir());
        if (!error.isEmpty())
            return refuse(edit, error);
    }
    for (const auto &[edit, field] : std::as_const(m_bindings)) {
        const int i = m_ds->FieldIndex(field);
        if (i < 0 || edit->text() == m_loaded.value(edit))
            continue;
        try {
            m_ds->Fields(i).SetAsString(edit->text());
        } catch (const store::StoreError &e) {
            return refuse(edit, QStringLiteral("Поле \"") + OrganisationFieldLabel(field) +
                                    QStringLiteral("\": ") + e.message());
        }
    }
    return true;
}

void TFormEditOrg::ButtonOKClick() {
    if (writeValues())
        accept();
}

void TFormEditOrg::ButtonCancelClick() {
    reject();
}
