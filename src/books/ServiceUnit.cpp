#include "books/ServiceUnit.h"

#include "ui_ServiceUnit.h"

#include "books/ServiceRoutines.h"
#include "shell/AppState.h"
#include "shell/GuardedCall.h"
#include "shell/Messages.h"

#include <QApplication>
#include <QStyle>

TServiceForm *ServiceForm = nullptr;

namespace {
const QString kMessageTitle = QStringLiteral("Сообщение");
}

TServiceForm::TServiceForm(QWidget *parent) : QDialog(parent), ui(new Ui::TServiceForm) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
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
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const service::ArchiveResult result = service::ArchiveReports(Year);
    QApplication::restoreOverrideCursor();
    msg::show(kMessageTitle, result.message,
              result.ok ? msg::Icon::Information : msg::Icon::Warning);
}

void TServiceForm::ButtonServiceClick() {
    const int year = service::RebuildYear(today());
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const service::RebuildResult result = service::RebuildReportTables(year);
    QApplication::restoreOverrideCursor();
    if (!result.ran)
        return; // no catalogue of that year: nothing to rebuild
    if (result.ok)
        msg::show(kMessageTitle, result.summary(), msg::Icon::Information);
    else
        msg::show(QStringLiteral("Ошибка"), result.summary(), msg::Icon::Warning);
}
