#include "books/ServiceUnit.h"

#include "ui_ServiceUnit.h"

#include "books/ServiceRoutines.h"
#include "shell/AppState.h"
#include "shell/FixedDialog.h"
#include "shell/GuardedCall.h"
#include "shell/Messages.h"
#include "shell/WaitCursor.h"

#include <QApplication>
#include <QStyle>

TServiceForm *ServiceForm = nullptr;

namespace {
const QString kMessageTitle = QStringLiteral("Сообщение");

// Runs the work under the wait cursor, which goes whatever the work throws.
template <typename Work> auto underWaitCursor(Work &&work) {
    WaitCursor waiting;
    return work();
}
} // namespace

TServiceForm::TServiceForm(QWidget *parent) : QDialog(parent), ui(new Ui::TServiceForm) {
    ui->setupUi(this);
    SetFixedDialogBorder(*this, size());
    ButtonSetData = ui->ButtonSetData;
    ButtonSaveDataToArh = ui->ButtonSaveDataToArh;
    ButtonService = ui->ButtonService;
    ButtonExit = ui->ButtonExit;
    ButtonExit->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    connect(ButtonSetData, &QPushButton::clicked, this,
            [this] { GuardedCall([this] { ButtonSetDataClick(); }); });
    connect(ButtonSaveDataToArh, &QPushButton::clicked, this,
            [this] { GuardedCall([this] { ButtonSaveDataToArhClick(); }); });
    connect(ButtonService, &QPushButton::clicked, this,
            [this] { GuardedCall([this] { ButtonServiceClick(); }); });
    connect(ButtonExit, &QToolButton::clicked, this, &QDialog::reject);
}

TServiceForm::~TServiceForm() = default;

void TServiceForm::showEvent(QShowEvent *event) {
    Year = appState().WorkYear;
    QDialog::showEvent(event);
}

void TServiceForm::ButtonSetDataClick() {
    // The service closes first, so the date question stands alone over the
    // main window.
    reject();
    if (onSetDate)
        onSetDate();
}

void TServiceForm::ButtonSaveDataToArhClick() {
    const service::ArchiveResult result =
        underWaitCursor([this] { return service::ArchiveReports(Year); });
    msg::show(kMessageTitle, result.message,
              result.ok ? msg::Icon::Information : msg::Icon::Warning);
}

void TServiceForm::ButtonServiceClick() {
    const QDate date = today();
    const service::RebuildResult result =
        underWaitCursor([&date] { return service::RebuildReportTables(date); });
    if (!result.ran)
        return; // no catalogue of that year: nothing to rebuild
    if (!result.recovered.isEmpty())
        msg::show(kMessageTitle, result.recovered, msg::Icon::Information);
    if (result.ok)
        msg::show(kMessageTitle, result.summary(), msg::Icon::Information);
    else if (result.refused)
        msg::show(QStringLiteral("Предупреждение"), result.summary(), msg::Icon::Warning);
    else if (!result.halfRebuilt)
        msg::show(QStringLiteral("Ошибка"), result.summary(), msg::Icon::Warning);
    else {
        // Nobody may type into tables that stand half on the old layout: the
        // program ends, and its next start puts them right.
        msg::show(QStringLiteral("Ошибка"),
                  result.summary() + QStringLiteral("\rПрограмма будет закрыта."),
                  msg::Icon::Critical);
        reject();
        if (onMustEnd)
            onMustEnd();
    }
}
