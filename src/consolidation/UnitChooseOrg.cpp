#include "consolidation/UnitChooseOrg.h"

#include "shell/AppState.h"
#include "shell/DataSetModel.h"
#include "shell/FixedDialog.h"
#include "shell/MultilineGrid_Old.h"
#include "shell/Paths.h"
#include "shell/UnitDM.h"
#include "ui_UnitChooseOrg.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

TFormChooseOrg *FormChooseOrg = nullptr;

namespace {

// What SetColumnCaptions does with a column of a field: its title (empty
// hides it) and the position it is moved to (-1: not moved).
struct ColumnRule {
    const char *field;
    const char *title;
    int moveTo;
};

const ColumnRule kRules[] = {
    {"KOD", "Код", -1},
    {"KOD1", "Признак 1", -1},
    {"NAME", "Наименование", 1},
    {"KOD2", "Признак 2", -1},
    {"CITY", "", -1},
    {"INN_O", "ИНН", 2},
    {"TELEF", "Телефон", 5},
    {"OKONX_K", "Код ОКОНХ", -1},
    {"OKPO_K", "Код ОКПО", 7},
    {"KODCITY", "", 3},
    {"GLAVRAS", "", -1},
    {"RYKORG", "Руководитель", 5},
    {"GLABUX", "Гл. Бухгалтер", 6},
    {"RYKFIN", "Лицо, ответств. за составл. отчета", 7},
    {"KOD3", "Признак 3", 5},
    {"KOD4", "Признак 4", 6},
    {"ADRES", "Адрес", -1},
};

} // namespace

TFormChooseOrg::TFormChooseOrg(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::TFormChooseOrg>()),
      m_model(std::make_unique<DataSetModel>()) {
    ui->setupUi(this);
    SetFixedDialogBorder(*this, QSize(792, 566));
    DBGrid1 = ui->DBGrid1;
    DBTextOrgName = ui->DBTextOrgName;
    ButtonOk = ui->ButtonOk;
    ButtonCancel = ui->ButtonCancel;

    m_model->setReadOnly(true);
    m_model->setDataSet(&DS1);
    connect(m_model.get(), &DataSetModel::currentRowChanged, this,
            &TFormChooseOrg::showCurrentName);
    connect(m_model.get(), &QAbstractItemModel::modelReset, this, &TFormChooseOrg::showCurrentName);
    connect(ButtonOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TFormChooseOrg::~TFormChooseOrg() {
    DBGrid1->setDataSetModel(nullptr);
    m_model->setDataSet(nullptr);
}

DataSetModel *TFormChooseOrg::GridModel() const {
    return m_model.get();
}

void TFormChooseOrg::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (!OpenOrganisations())
        QTimer::singleShot(0, this, &QDialog::reject); // closes as Cancel, without a message
}

bool TFormChooseOrg::OpenOrganisations() {
    try {
        TDM &dm = DM();
        if (!dm.ADOConMain.Connected()) {
            dm.ADOConMain.setConnectionString(TDM::MakeConnectionString(paths::GetProgramDir()));
            dm.ADOConMain.Open();
        }
        DBGrid1->setDataSetModel(nullptr);
        DS1.Close();
        DS1.setConnection(&dm.ADOConMain);
        DS1.setCommandText(QStringLiteral("select * from SCHOOL"));
        DS1.Open();
        m_model->resetColumns();
        SetColumnCaptions();
        DBGrid1->setDataSetModel(m_model.get());
        DS1.First();
        showCurrentName();
        return true;
    } catch (const std::exception &) {
        DS1.Close();
        DBTextOrgName->clear();
        return false;
    }
}

void TFormChooseOrg::SetColumnCaptions() {
    DBGrid1->SetTitleHeight(68);
    DataSetModel &m = *m_model;
    // Columns are visited by position and moved as they are met, so the
    // final order follows from the field order of the book.
    for (int pos = 0; pos < m.columnCount(); ++pos) {
        const QString field = m.fieldOfColumn(pos).toUpper();
        m.setTitleAlignment(pos, Qt::AlignHCenter);
        for (const ColumnRule &rule : kRules) {
            if (field != QLatin1String(rule.field))
                continue;
            if (field == QLatin1String("KODCITY")) {
                QFont bold = DBGrid1->font();
                bold.setBold(true);
                m.setColumnWidth(pos, QFontMetrics(bold).horizontalAdvance(kOrgKindColumnSample));
                m.setTitleAlignment(pos, Qt::AlignLeft);
                m.setColumnTitle(pos, appState().ProgramKind == 105
                                          ? QStringLiteral("1-районы   2-города   3-респ.учр "
                                                           "4-р-ны Тры")
                                          : QStringLiteral("1-начальн  2-средние  3-общеобр"));
            } else if (*rule.title == '\0') {
                m.setColumnVisible(pos, false);
            } else {
                m.setColumnTitle(pos, QString::fromUtf8(rule.title));
            }
            if (rule.moveTo >= 0)
                m.moveColumn(pos, rule.moveTo);
            break;
        }
    }
}

QString TFormChooseOrg::ChosenName() {
    if (!DS1.Active() || DS1.IsEmpty())
        return QString();
    return DS1.FieldByName(QStringLiteral("NAME")).AsString();
}

int TFormChooseOrg::ChosenCode() {
    if (!DS1.Active() || DS1.IsEmpty())
        return 0;
    return DS1.FieldByName(QStringLiteral("KOD")).AsInteger();
}

void TFormChooseOrg::showCurrentName() {
    DBTextOrgName->setText(ChosenName());
}
