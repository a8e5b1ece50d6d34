#include "books/SetupUnit.h"

#include "ui_SetupUnit.h"

#include "shell/GuardedCall.h"
#include "shell/Messages.h"
#include "shell/MultilineGrid_Old.h"
#include "shell/Paths.h"
#include "shell/UnitDM.h"
#include "shell/YearUnit.h"

#include <QCloseEvent>
#include <QDir>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QStatusBar>
#include <QStyle>

namespace {

const QString kMessageTitle = QStringLiteral("Сообщение");

bool editing(const store::TADODataSet &ds) {
    return ds.Active() &&
           (ds.State() == store::DataSetState::Edit || ds.State() == store::DataSetState::Insert);
}

} // namespace

TSetupForm::TSetupForm(QWidget *parent) : QWidget(parent), ui(new Ui::TSetupForm) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowState(Qt::WindowMaximized);
    ButtonRegim = ui->ButtonRegim;
    ButtonBlank = ui->ButtonBlank;
    ButtonFormlBlank = ui->ButtonFormlBlank;
    ButtonFormlConnect = ui->ButtonFormlConnect;
    ButtonSvod = ui->ButtonSvod;
    GroupBox2 = ui->GroupBox2;
    ButtonExit = ui->ButtonExit;
    ButtonApply = ui->ButtonApply;
    DBGrid1 = ui->DBGrid1;
    StatusBar1 = ui->StatusBar1;
    DBEditName = ui->DBEditName;
    DBEditAdres = ui->DBEditAdres;
    DBEditPhone = ui->DBEditPhone;
    DBEditRykOrg = ui->DBEditRykOrg;
    DBEditGlBux = ui->DBEditGlBux;
    DBEditRykFin = ui->DBEditRykFin;
    DBEditOKPO = ui->DBEditOKPO;
    DBEditINN = ui->DBEditINN;

    // The view panel keeps its place while it is hidden, so that the buttons
    // stay a narrow column on the left instead of stretching over the window.
    QSizePolicy viewPolicy = GroupBox2->sizePolicy();
    viewPolicy.setRetainSizeWhenHidden(true);
    GroupBox2->setSizePolicy(viewPolicy);

    ButtonExit->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    ButtonApply->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    // The two requisites that identify the sender of an exchange.
    for (QLineEdit *e : {DBEditName, DBEditINN})
        e->setStyleSheet(QStringLiteral("background-color: #00ffff;"));

    m_requisites = {{DBEditName, QStringLiteral("BANK"), QStringLiteral("Организация")},
                    {DBEditAdres, QStringLiteral("CENA2"), QStringLiteral("Адрес")},
                    {DBEditPhone, QStringLiteral("TEL"), QStringLiteral("Телефон")},
                    {DBEditRykOrg, QStringLiteral("RYKORG"), QStringLiteral("Руководитель")},
                    {DBEditGlBux, QStringLiteral("GLABUX"), QStringLiteral("Гл. Бухгалтер")},
                    {DBEditRykFin, QStringLiteral("RYKFIN"), QStringLiteral("Составитель отчетов")},
                    {DBEditOKPO, QStringLiteral("OKPO"), QStringLiteral("ОКПО")},
                    {DBEditINN, QStringLiteral("INNO"), QStringLiteral("ИНН")}};
    for (const Requisite &r : m_requisites)
        connect(r.edit, &QLineEdit::textEdited, this,
                [this] { GuardedCall([this] { RequisiteEdited(); }); });

    // One status panel, the period, over the whole bar.
    m_panels = StatusPanels(StatusBar1, {0});

    DS1.beforeEdit = [this] { ButtonApply->setChecked(true); };
    DS1.afterPost = [this] { ButtonApply->setChecked(false); };
    DS1.onStateChange = [this] { ButtonApply->setChecked(editing(DS1)); };
    m_gridModel.setDataSet(&DS2);
    m_gridModel.setReadOnly(true);
    DBGrid1->setDataSetModel(&m_gridModel);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);

    connect(ButtonRegim, &QPushButton::clicked, this,
            [this] { GuardedCall([this] { ButtonRegimClick(); }); });
    connect(ButtonBlank, &QPushButton::clicked, this,
            [this] { GuardedCall([this] { ButtonBlankClick(); }); });
    connect(ButtonFormlBlank, &QPushButton::clicked, this,
            [this] { GuardedCall([this] { ButtonFormlBlankClick(); }); });
    connect(ButtonFormlConnect, &QPushButton::clicked, this,
            [this] { GuardedCall([this] { ButtonFormlConnectClick(); }); });
    connect(ButtonSvod, &QPushButton::clicked, this,
            [this] { GuardedCall([this] { ButtonSvodClick(); }); });
    connect(ButtonApply, &QToolButton::clicked, this,
            [this] { GuardedCall([this] { ButtonApplyClick(); }); });
    connect(ButtonExit, &QToolButton::clicked, this, [this] { ButtonExitClick(); });
}

TSetupForm::~TSetupForm() {
    // The program may end without closing the window first: unsaved
    // requisites are offered for saving all the same.
    if (!m_closing)
        GuardedCall([this] { LeaveRequisites(); });
    m_gridModel.setDataSet(nullptr);
}

QString TSetupForm::PanelText() const {
    return m_panels.text(0);
}

// ---------------------------------------------------------------- window events

void TSetupForm::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    GuardedCall([this] {
        if (YearForm)
            msg::exec(*YearForm);
        SetupYear = (YearForm ? YearForm->Year : 0) + 1;
        ShowPeriod();
        if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
            sub->setWindowState(sub->windowState() | Qt::WindowMaximized);
    });
}

void TSetupForm::closeEvent(QCloseEvent *event) {
    if (!m_closing) {
        m_closing = true;
        GuardedCall([this] {
            // A refused save is reported; closing goes on and drops the edit.
            LeaveRequisites();
            DS1.Close();
            DS2.Close();
        });
        emit closed();
    }
    event->accept();
}

void TSetupForm::ButtonExitClick() {
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
        sub->close();
    else
        close();
}

// ---------------------------------------------------------------- views

void TSetupForm::ShowPeriod() {
    GroupBox2->hide();
    GroupBox2->setTitle(QString());
    m_panels.setText(0, QStringLiteral("Период: ") + QString::number(SetupYear - 1) +
                            QLatin1Char('/') + QString::number(SetupYear));
}

void TSetupForm::SetView(int Mode) {
    GroupBox2->show();
    const bool requisites = Mode == 1;
    ui->RequisitesPanel->setVisible(requisites);
    DBGrid1->setVisible(!requisites);
    ButtonApply->setVisible(true);
}

void TSetupForm::ButtonRegimClick() {
    if (!LeaveRequisites())
        return;
    ShowPeriod();
    ShowRequisites();
}

void TSetupForm::ButtonBlankClick() {
    if (!LeaveRequisites())
        return;
    ShowPeriod();
    ShowBlankUnavailable();
}

void TSetupForm::ButtonFormlBlankClick() {
    if (!LeaveRequisites())
        return;
    ShowPeriod();
    ShowBlankFormulas();
}

void TSetupForm::ButtonFormlConnectClick() {
    if (!LeaveRequisites())
        return;
    ShowPeriod();
    ShowLinkFormulas();
}

void TSetupForm::ButtonSvodClick() {
    if (!LeaveRequisites())
        return;
    ShowPeriod();
    ShowSvodList();
}

void TSetupForm::ShowBlankUnavailable() {
    msg::show(
        kMessageTitle,
        QStringLiteral("Настройка бланков произведена в ROZ. Функция не доступна пользователю."));
    GroupBox2->setTitle(QString());
    GroupBox2->hide();
}

void TSetupForm::ShowRequisites() {
    DS1.Close();
    const QString file =
        store::findFileCaseInsensitive(paths::GetProgramDir(), QStringLiteral("REGIM.DBF"));
    if (!file.isEmpty()) {
        if (!DM().ADOConMain.Connected())
            DM().Connect(1, paths::GetProgramDir());
        if (DM().ADOConMain.Connected()) {
            DS1.setConnection(&DM().ADOConMain);
            DS1.setCommandText(QStringLiteral("select * from REGIM"));
            DS1.Open();
        }
    } else {
        msg::show(kMessageTitle, QStringLiteral("Файл ") +
                                     QDir::toNativeSeparators(paths::GetProgramDir() +
                                                              QStringLiteral("REGIM.DBF")) +
                                     QStringLiteral(" не найден!"));
    }
    SetView(1);
    if (DS1.Active())
        GroupBox2->setTitle(ButtonRegim->text());
    LoadRequisites();
}

void TSetupForm::LoadRequisites() {
    m_loading = true;
    const bool open = DS1.Active();
    const bool hasRecord = open && !DS1.IsEmpty();
    if (hasRecord)
        DS1.First();
    for (const Requisite &r : m_requisites) {
        const bool bound = open && DS1.FieldIndex(r.field) >= 0;
        r.edit->setEnabled(bound);
        r.edit->setText(bound && hasRecord ? DS1.FieldByName(r.field).AsString() : QString());
    }
    m_loading = false;
}

void TSetupForm::RequisiteEdited() {
    if (m_loading || !DS1.Active() || editing(DS1))
        return;
    // Typing puts the record in edit ("Сохранить" shows pressed); in an empty
    // table it starts the one record.
    DS1.Edit();
    ButtonApply->setChecked(true);
}

bool TSetupForm::SaveRequisites() {
    if (!editing(DS1))
        return true;
    for (const Requisite &r : m_requisites) {
        if (!r.edit->isEnabled())
            continue;
        try {
            store::TField f = DS1.FieldByName(r.field);
            if (f.AsString() != r.edit->text())
                f.SetAsString(r.edit->text());
        } catch (const store::StoreError &e) {
            msg::show(QStringLiteral("Ошибка"),
                      QStringLiteral("Реквизит \"") + r.label +
                          QStringLiteral("\" не может быть сохранен:\r") + e.message(),
                      msg::Icon::Warning);
            r.edit->setFocus();
            return false;
        }
    }
    try {
        DS1.Post();
    } catch (const store::StoreError &e) {
        // Another copy of the program saved a requisite that this one changed
        // since it showed it: theirs is shown, for the user to enter again.
        msg::show(QStringLiteral("Ошибка"), e.message(), msg::Icon::Warning);
        LoadRequisites();
        return false;
    }
    // The record as saved: what another copy saved in the other requisites
    // is shown too, so that it is what the next save rests on.
    LoadRequisites();
    return true;
}

bool TSetupForm::LeaveRequisites() {
    if (!editing(DS1))
        return true;
    const msg::Answer answer = msg::show(QStringLiteral("Подтверждение"),
                                         QStringLiteral("Сохранить изменения реквизитов?"),
                                         msg::Icon::Question, msg::Buttons::YesNo);
    if (answer != msg::Answer::Yes) {
        DS1.Cancel();
        return true;
    }
    return SaveRequisites();
}

void TSetupForm::ButtonApplyClick() {
    SaveRequisites();
    ButtonApply->setChecked(editing(DS1));
}

void TSetupForm::ShowTable(const QString &BaseName, const QString &Caption,
                           const QList<QPair<QString, QString>> &Titles) {
    SetView(2);
    const QString table = BaseName + QString::number(SetupYear);
    const QString file = table + QStringLiteral(".DBF");
    DS1.Close();
    // The grid never shows a table of another view under this caption.
    DS2.Close();
    if (store::fileExistsCaseInsensitive(paths::GetWedDir(), file)) {
        if (!DM().ADOConWED.Connected())
            DM().Connect(2, paths::GetWedDir());
        if (DM().ADOConWED.Connected()) {
            DS2.setConnection(&DM().ADOConWED);
            DS2.setCommandText(QStringLiteral("select * from ") + table);
            DS2.Open();
        }
    } else {
        msg::show(kMessageTitle,
                  QStringLiteral("Нет БД ") + file +
                      QStringLiteral(". Не открыт период. Сделайте 'Начало нового периода'."));
    }
    if (!DS2.Active())
        return;
    GroupBox2->setTitle(Caption);
    m_gridModel.setAllTitleAlignment(Qt::AlignCenter);
    for (int c = 0; c < m_gridModel.columnCount(); ++c) {
        const QString field = m_gridModel.fieldOfColumn(c);
        bool named = false;
        for (const auto &t : Titles) {
            if (field.compare(t.first, Qt::CaseInsensitive) == 0) {
                m_gridModel.setColumnTitle(c, t.second);
                named = true;
            }
        }
        m_gridModel.setColumnVisible(c, named);
    }
}

void TSetupForm::ShowBlankFormulas() {
    ShowTable(QStringLiteral("FORM"), ButtonFormlBlank->text(),
              {{QStringLiteral("IDEN"), QStringLiteral("Переменная")},
               {QStringLiteral("NAZV"), QStringLiteral("Название отчета")},
               {QStringLiteral("KOD_OTH"), QStringLiteral("Код отчета")},
               {QStringLiteral("KOLONK"), QStringLiteral("Колонка: 0-все")},
               {QStringLiteral("FOR_V"), QStringLiteral("Формула для расчета переменной")},
               {QStringLiteral("KODSTR"), QStringLiteral("N N строки")},
               {QStringLiteral("PRIMEH"), QStringLiteral("Комментарии к формуле")},
               {QStringLiteral("KODD"), QStringLiteral("N формулы")}});
}

void TSetupForm::ShowLinkFormulas() {
    ShowTable(QStringLiteral("PROV"), ButtonFormlConnect->text(),
              {{QStringLiteral("NFORM1"), QStringLiteral("Код отчета")},
               {QStringLiteral("NSTR1"), QStringLiteral("N строки")},
               {QStringLiteral("NKOD1"), QStringLiteral("Код строки")},
               {QStringLiteral("PEREM1"), QStringLiteral("Формула")},
               {QStringLiteral("NFORM2"), QStringLiteral("Код отчета")},
               {QStringLiteral("NSTR2"), QStringLiteral("N строки")},
               {QStringLiteral("NKOD2"), QStringLiteral("Код строки")},
               {QStringLiteral("PEREM2"), QStringLiteral("Формула")},
               {QStringLiteral("PRIMEH"), QStringLiteral("Комментарий")}});
}

void TSetupForm::ShowSvodList() {
    ShowTable(QStringLiteral("SVOD"), ButtonSvod->text(),
              {{QStringLiteral("KOD"), QStringLiteral("Код свода")},
               {QStringLiteral("NAME"), QStringLiteral("Название свода")},
               {QStringLiteral("FORMA"), QStringLiteral("Примечание")}});
}
