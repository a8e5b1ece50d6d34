#include "consolidation/LoadReportUnit.h"

#include "consolidation/UnitChooseFolder.h"
#include "consolidation/UnitChooseOrg.h"
#include "consolidation/UnitProgressShow.h"
#include "shell/AppState.h"
#include "shell/GuardedCall.h"
#include "shell/Paths.h"
#include "shell/WaitCursor.h"
#include "shell/YearUnit.h"
#include "store/Dataset.h"
#include "ui_LoadReportUnit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStatusBar>

namespace {

const int kPanelWidths[2] = {150, 50};
const QSize kClientSize(531, 253);
const QString kPanelStyle = QStringLiteral("color: blue; font-weight: bold;");

// Resets the shared "building for sending" sign however the run ends.
struct ExportRun {
    ExportRun() { appState().SvodForExport = 1; }
    ~ExportRun() { appState().SvodForExport = 0; }
    ExportRun(const ExportRun &) = delete;
    ExportRun &operator=(const ExportRun &) = delete;
};

// The dialog made at start-up, or, where there is none (a window used on its
// own), one of the caller's kept in `own`.
template <class Dialog>
Dialog *dialogOrOwn(Dialog *shared, std::unique_ptr<Dialog> &own, QWidget *parent) {
    if (shared)
        return shared;
    own = std::make_unique<Dialog>(parent);
    return own.get();
}

} // namespace

TLoadReportForm::TLoadReportForm(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::TLoadReportForm>()) {
    ui->setupUi(this);
    setWindowFlag(Qt::FramelessWindowHint);
    RBSave = ui->RBSave;
    RBLoad = ui->RBLoad;
    GroupBox2 = ui->GroupBox2;
    GroupBox3 = ui->GroupBox3;
    EditOrg = ui->EditOrg;
    EditDir = ui->EditDir;
    ButtonChooseOrg = ui->ButtonChooseOrg;
    ButtonChooseDir = ui->ButtonChooseDir;
    ButtonGo = ui->ButtonGo;
    ButtonCancel = ui->ButtonCancel;
    StatusBar1 = ui->StatusBar1;

    for (int i = 0; i < 2; ++i) {
        m_panels[i] = new QLabel(StatusBar1);
        m_panels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        m_panels[i]->setStyleSheet(kPanelStyle);
        m_panels[i]->setFixedWidth(kPanelWidths[i]);
        m_panels[i]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        StatusBar1->addWidget(m_panels[i]);
    }
    // The texts of the controls inside the organisation group keep the
    // regular font when the group's caption turns bold.
    QFont regular = font();
    regular.setBold(false);
    EditOrg->setFont(regular);
    ButtonChooseOrg->setFont(regular);

    auto on = [this](QAbstractButton *b, void (TLoadReportForm::*handler)()) {
        connect(b, &QAbstractButton::clicked, this,
                [this, handler] { GuardedCall([this, handler] { (this->*handler)(); }); });
    };
    on(RBSave, &TLoadReportForm::UpdateMode);
    on(RBLoad, &TLoadReportForm::UpdateMode);
    on(ButtonChooseOrg, &TLoadReportForm::ButtonChooseOrgClick);
    on(ButtonChooseDir, &TLoadReportForm::ButtonChooseDirClick);
    on(ButtonGo, &TLoadReportForm::ButtonGoClick);
    on(ButtonCancel, &TLoadReportForm::ButtonCancelClick);
}

TLoadReportForm::~TLoadReportForm() = default;

QString TLoadReportForm::PanelText(int panel) const {
    return panel >= 0 && panel < 2 ? m_panelTexts[panel] : QString();
}

void TLoadReportForm::setPanel(int panel, const QString &text) {
    m_panelTexts[panel] = text;
    // Each panel's text is drawn after one blank.
    m_panels[panel]->setText(text.isEmpty() ? QString() : QLatin1Char(' ') + text);
}

void TLoadReportForm::showMessages(const QList<msg::Request> &messages) {
    for (const msg::Request &m : messages)
        msg::show(m);
}

// --- showing and closing ---------------------------------------------------------

void TLoadReportForm::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    GuardedCall([this] { FormShow(); });
}

void TLoadReportForm::FormShow() {
    // Centred in the work area, at its own size.
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget())) {
        if (QWidget *area = sub->parentWidget()) {
            sub->resize(kClientSize.expandedTo(sub->minimumSizeHint()));
            sub->move(qMax(0, (area->width() - sub->width()) / 2),
                      qMax(0, (area->height() - sub->height()) / 2));
        }
    }
    if (QWidget *top = window())
        top->repaint();
    if (YearForm) {
        msg::exec(*YearForm);
        Year = YearForm->Year + 1; // whichever way the dialog was closed
    } else {
        Year = appState().WorkYear;
    }
    InitView();
}

void TLoadReportForm::closeEvent(QCloseEvent *event) {
    if (!m_closing) {
        m_closing = true;
        emit closed();
    }
    event->accept();
}

void TLoadReportForm::ButtonCancelClick() {
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
        sub->close();
    else
        close();
}

// --- the view --------------------------------------------------------------------

void TLoadReportForm::InitView() {
    RBSave->setChecked(true);
    EditDir->setText(QDir::toNativeSeparators(QDir::homePath()));
    EditOrg->clear();
    OpenOrganisations();
    setPanel(0, QStringLiteral("Период: ") + QString::number(Year - 1) + QLatin1Char('/') +
                    QString::number(Year));
    UpdateMode();
}

void TLoadReportForm::OpenOrganisations() {
    if (!store::fileExistsCaseInsensitive(paths::GetProgramDir(), QStringLiteral("SCHOOL.DBF")))
        msg::show(QStringLiteral("Сообщение"),
                  QStringLiteral("В базе нет данных! (файл 'SCHOOL.DBF' не найден)"));
}

void TLoadReportForm::UpdateMode() {
    setPanel(1, QString());
    const bool receive = RBLoad->isChecked();
    GroupBox3->setTitle(receive ? QStringLiteral("Откуда загрузить данные")
                                : QStringLiteral("Куда загрузить данные"));
    ButtonGo->setText(receive ? QStringLiteral("Принять") : QStringLiteral("Передать"));

    QRadioButton *active = receive ? RBLoad : RBSave;
    QRadioButton *other = receive ? RBSave : RBLoad;
    QPalette blue = active->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    active->setPalette(blue);
    QFont bold = active->font();
    bold.setBold(true);
    active->setFont(bold);
    QPalette plain = other->palette();
    plain.setColor(QPalette::WindowText, palette().color(QPalette::WindowText));
    other->setPalette(plain);
    QFont regular = other->font();
    regular.setBold(false);
    other->setFont(regular);

    GroupBox2->setEnabled(receive);
    EditOrg->setEnabled(receive);
    ButtonChooseOrg->setEnabled(receive);
    QFont caption = GroupBox2->font();
    caption.setBold(receive);
    GroupBox2->setFont(caption);
}

// --- the dialogs -----------------------------------------------------------------

void TLoadReportForm::ButtonChooseOrgClick() {
    std::unique_ptr<TFormChooseOrg> own;
    TFormChooseOrg *dialog = dialogOrOwn(FormChooseOrg, own, this);
    if (msg::exec(*dialog) == QDialog::Accepted) {
        EditOrg->setText(dialog->ChosenName());
        m_orgCode = dialog->ChosenCode();
    }
    dialog->DS1.Close();
}

void TLoadReportForm::ButtonChooseDirClick() {
    std::unique_ptr<TFormChooseFolder> own;
    TFormChooseFolder *dialog = dialogOrOwn(FormChooseFolder, own, this);
    dialog->setSelectedPath(QDir::fromNativeSeparators(EditDir->text()));
    if (msg::exec(*dialog) == QDialog::Accepted && !dialog->selectedPath().isEmpty())
        EditDir->setText(QDir::toNativeSeparators(dialog->selectedPath()));
}

// --- sending and receiving ---------------------------------------------------------

void TLoadReportForm::ButtonGoClick() {
    if (RBSave->isChecked()) {
        if (SendReports())
            ButtonCancelClick();
    }
    if (RBLoad->isChecked()) {
        if (ReceiveReports())
            ButtonCancelClick();
    }
}

exchange::BuildAllOutcome TLoadReportForm::BuildAllSvods() {
    msg::show(QStringLiteral("Предупреждение"),
              QStringLiteral("Подготовка свода к сохранению займет некоторое время.\r\r"
                             "Пожалуйста, подождите."));
    ExportRun exportRun;

    std::unique_ptr<TProgressForm> own;
    TProgressForm *progress = dialogOrOwn(ProgressForm, own, window());
    progress->setWindowTitle(QStringLiteral("Сообщение"));
    progress->LabelInfo->setText(
        msg::displayText(QStringLiteral("Подготовка свода к сохранению занимает некоторое время."
                                        "\rПожалуйста, подождите. . .")));
    progress->ProgressBar1->setMaximum(1);
    progress->ProgressBar1->setValue(1);
    if (QWidget *owner = progress->parentWidget()) {
        const QRect area = owner->window()->frameGeometry();
        progress->move(area.center() - progress->rect().center());
    }
    progress->show();
    progress->repaint();

    svod::SaveAllParams params;
    params.ProgramDir = paths::GetProgramDir();
    params.Year = Year;
    params.ProgramKind = appState().ProgramKind;
    params.Progress = progress;
    svod::SaveAllResult result;
    {
        const auto hide = qScopeGuard([progress] { progress->hide(); });
        WaitCursor waiting;
        result = SaveAll(params);
    }
    exchange::BuildAllOutcome outcome{
        result.Ok, result.FailedReport, result.Error, result.BadCellCount, {}};
    for (const svod::BadCell &c : result.FirstBadCells)
        outcome.badCells << svod::DescribeBadCell(c, true);
    return outcome;
}

bool TLoadReportForm::SendReports() {
    exchange::SendParams params;
    params.year = Year;
    params.programDir = paths::GetProgramDir();
    params.wedDir = paths::GetWedDir();
    params.set1Dir = paths::GetSvodDir(Year, 1);
    params.dbfDir = paths::GetDbfDir();
    params.archiveDir = paths::GetArchiveDir();
    params.exchangeDir = QDir::fromNativeSeparators(EditDir->text());
    params.buildAll = [this] { return BuildAllSvods(); };
    params.confirmBadCells = [](const QString &question) {
        return msg::show(QStringLiteral("Подтверждение"), question, msg::Icon::Question,
                         msg::Buttons::YesNo) == msg::Answer::Yes;
    };
    const exchange::Outcome outcome = exchange::SendReports(params);
    showMessages(outcome.messages);
    return outcome.ok;
}

bool TLoadReportForm::ReceiveReports() {
    exchange::ReceiveParams params;
    params.year = Year;
    params.orgCode = m_orgCode;
    params.programDir = paths::GetProgramDir();
    params.wedDir = paths::GetWedDir();
    params.orgDataDir = paths::GetOrgDataDir(QString::number(m_orgCode));
    params.exchangeDir = QDir::fromNativeSeparators(EditDir->text());
    const exchange::Outcome outcome = exchange::ReceiveReports(params);
    showMessages(outcome.messages);
    return outcome.ok;
}
