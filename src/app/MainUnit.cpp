#include "app/MainUnit.h"

#include "shell/FixedDialog.h"

#include "app/AboutUnit.h"
#include "app/DateUnit.h"
#include "app/KvrApplication.h"
#include "sheet/DesktopOpener.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "shell/Paths.h"
#include "shell/Periods.h"
#include "shell/UnitDM.h"
#include "shell/YearUnit.h"
#include "store/Dataset.h"
#include "store/ExceptionText.h"
#include "ui_MainUnit.h"

#include <QDir>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QShowEvent>
#include <QTimer>

TMainForm *MainForm = nullptr;

namespace {

int index(TMainForm::WorkWindow kind) {
    return static_cast<int>(kind);
}

const QString kMessageTitle = QStringLiteral("Сообщение");

// Status bar panels, as wide as at design.
constexpr int kDatePanelWidth = 311;
constexpr int kSecondPanelWidth = 50;

// Names a work window without a frame (it has no title bar of its own) in
// the main window's title while it is shown, as the main window names a
// maximised one: the caption, " - [", the window's title and "]". The
// caption comes back when the window is hidden or closed, unless the title
// has changed meanwhile. A frame hidden with its main window, which a window
// manager minimises (Openbox with a dialog minimised over it), stays open and
// keeps its name there. A child of the work window's frame.
class FramelessWindowTitle : public QObject {
public:
    FramelessWindowTitle(QMainWindow &Main, QMdiSubWindow &Frame, const QString &Title)
        : QObject(&Frame), m_main(&Main), m_caption(Main.windowTitle()),
          m_titled(m_caption + QStringLiteral(" - [") + Title + QStringLiteral("]")) {
        Main.setWindowTitle(m_titled);
        Frame.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == parent() && event->type() == QEvent::Hide && !event->spontaneous() &&
            m_main && m_main->windowTitle() == m_titled)
            m_main->setWindowTitle(m_caption);
        return false;
    }

private:
    QPointer<QMainWindow> m_main;
    QString m_caption;
    QString m_titled;
};

} // namespace

TMainForm::TMainForm(QWidget *parent) : QMainWindow(parent), ui(new Ui::TMainForm) {
    ui->setupUi(this);

    auto *panel0 = new QLabel(ui->StatusBar1);
    panel0->setObjectName(QStringLiteral("StatusPanel0"));
    panel0->setFixedWidth(kDatePanelWidth);
    auto *panel1 = new QLabel(ui->StatusBar1);
    panel1->setObjectName(QStringLiteral("StatusPanel1"));
    panel1->setFixedWidth(kSecondPanelWidth);
    ui->StatusBar1->addWidget(panel0);
    ui->StatusBar1->addWidget(panel1);
    ui->StatusBar1->setSizeGripEnabled(false);

    auto on = [this](auto *sender, auto signal, void (TMainForm::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    };
    on(ui->ButtonReports, &QPushButton::clicked, &TMainForm::ButtonReportsClick);
    on(ui->ButtonLoadReport, &QPushButton::clicked, &TMainForm::ButtonLoadReportClick);
    on(ui->ButtonTotalReports, &QPushButton::clicked, &TMainForm::ButtonTotalReportsClick);
    on(ui->ButtonBooks, &QPushButton::clicked, &TMainForm::ButtonBooksClick);
    on(ui->ButtonSetup, &QPushButton::clicked, &TMainForm::ButtonSetupClick);
    on(ui->ButtonServis, &QPushButton::clicked, &TMainForm::ButtonServisClick);
    on(ui->ButtonNewPeriod, &QPushButton::clicked, &TMainForm::ButtonNewPeriodClick);
    on(ui->ButtonExit, &QPushButton::clicked, &TMainForm::ButtonExitClick);
    on(ui->ButtonStart, &QPushButton::clicked, &TMainForm::ButtonStartClick);

    on(ui->N2, &QAction::triggered, &TMainForm::ButtonReportsClick);
    on(ui->N3, &QAction::triggered, &TMainForm::ButtonLoadReportClick);
    on(ui->N4, &QAction::triggered, &TMainForm::ButtonTotalReportsClick);
    on(ui->N5, &QAction::triggered, &TMainForm::ButtonBooksClick);
    on(ui->N6, &QAction::triggered, &TMainForm::ButtonSetupClick);
    on(ui->N7, &QAction::triggered, &TMainForm::ButtonServisClick);
    on(ui->N8, &QAction::triggered, &TMainForm::ButtonNewPeriodClick);
    on(ui->N10, &QAction::triggered, &TMainForm::MenuExitClick);
    on(ui->N12, &QAction::triggered, &TMainForm::MenuHelpClick);
    on(ui->N13, &QAction::triggered, &TMainForm::MenuAboutClick);
}

TMainForm::~TMainForm() {
    // Work windows still open are destroyed with the frame, without telling
    // the frame (which is half gone by then).
    // Closed ones waiting to be freed are no longer listed: look them all up.
    for (QMdiSubWindow *sub : ui->MdiArea->findChildren<QMdiSubWindow *>())
        disconnect(sub, nullptr, this, nullptr);
    ui.reset();
    if (MainForm == this)
        MainForm = nullptr;
}

void TMainForm::guarded(const std::function<void()> &handler) {
    try {
        handler();
    } catch (...) {
        KvrApplication::HandleException(std::current_exception());
    }
}

// --- registration of the work windows ---------------------------------------

void TMainForm::setWorkWindowFactory(WorkWindow kind, WorkWindowFactory factory) {
    m_factories[index(kind)] = std::move(factory);
}

void TMainForm::setLoadReportYearReader(std::function<int(QWidget *)> reader) {
    m_loadReportYear = std::move(reader);
}

void TMainForm::setServiceAction(std::function<void()> action) {
    m_serviceAction = std::move(action);
}

QWidget *TMainForm::workWindow(WorkWindow kind) const {
    return m_windows[index(kind)].data();
}

QMdiArea *TMainForm::mdiArea() const {
    return ui->MdiArea;
}

// --- shared state and paths ---------------------------------------------------

int TMainForm::WorkYear() const {
    return appState().WorkYear;
}

int TMainForm::ProgramKind() const {
    return appState().ProgramKind;
}

int TMainForm::SvodForExport() const {
    return appState().SvodForExport;
}

void TMainForm::setSvodForExport(int value) {
    appState().SvodForExport = value;
}

QString TMainForm::GetProgramDir() {
    return paths::GetProgramDir();
}

QString TMainForm::GetWedDir() {
    return paths::GetWedDir();
}

QString TMainForm::GetDbfDir() {
    return paths::GetDbfDir();
}

QString TMainForm::GetOrgDataDir(const QString &OrgCode) {
    return paths::GetOrgDataDir(OrgCode);
}

QStringList TMainForm::GetPeriodList() const {
    return periods::GetPeriodList(appState().WorkYear);
}

void TMainForm::NewPeriod(int Y) {
    periods::NewPeriod(Y, paths::GetWedDir());
}

// --- first show -------------------------------------------------------------

void TMainForm::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    if (m_firstShowDone || event->spontaneous())
        return;
    m_firstShowDone = true;
    guarded([this] { FormFirstShow(); });
}

void TMainForm::FormFirstShow() {
    setWindowState(windowState() | Qt::WindowMaximized);
    ReadProgramKind();
    ShowWelcomeView();
    // The date is asked once the window has been shown and painted.
    QTimer::singleShot(0, this, [this] { guarded([this] { ButtonStartClick(); }); });
}

void TMainForm::ReadProgramKind() {
    appState().SvodForExport = 0;
    appState().ProgramKind = 0;
    const QString dir = paths::GetProgramDir();
    if (!store::fileExistsCaseInsensitive(dir, QStringLiteral("PUTI.DBF")))
        return;

    // A settings table that exists but cannot be read, or lacks the record of
    // the kind, leaves the kind at 0 (the design captions) after telling the
    // user; the program works on as without the table.
    const QString unreadable = QStringLiteral("Не удалось прочитать вид программы из файла ") +
                               dir +
                               QStringLiteral("PUTI.DBF.\rПрограмма продолжит работу без него.");
    TDM &dm = DM();
    if (!dm.ADOConMain.Connected() && !dm.Connect(1, dir))
        return; // the data module has shown the connection failure
    store::TADODataSet ds;
    if (!dm.OpenTable(dm.ADOConMain, ds, QStringLiteral("PUTI")))
        return; // the data module has shown the read failure
    try {
        if (ds.RecordCount() < 2) {
            ds.Close();
            msg::show(QStringLiteral("Ошибка"), unreadable, msg::Icon::Warning);
            return;
        }
        ds.setRecNo(2);
        appState().ProgramKind = ds.FieldByName(QStringLiteral("ZNAH")).AsInteger();
        ds.Close();
    } catch (const std::exception &e) {
        ds.Close();
        msg::show(QStringLiteral("Ошибка"),
                  unreadable + QStringLiteral("\r(") + ExceptionText(e) + QStringLiteral(")"),
                  msg::Icon::Warning);
        return;
    }

    switch (appState().ProgramKind) {
    case 1:
        setWindowTitle(QStringLiteral("Сведения о дневном общеобразовательном учреждении"));
        ui->LabelNameProgram->setText(QStringLiteral("КВ-1 "));
        break;
    case 76:
        setWindowTitle(QStringLiteral("Сведения о дневных общеобразовательных учреждениях"));
        ui->LabelNameProgram->setText(QStringLiteral("РИК-76 "));
        break;
    case 83:
        setWindowTitle(
            QStringLiteral("Сведения о численности и составе педагогических работников"));
        ui->LabelNameProgram->setText(QStringLiteral("РИК-83 "));
        break;
    case 105:
        setWindowTitle(QStringLiteral("Отчет о состоянии национального образования в "
                                      "общеобразовательных учреждениях РБ. Версия 5.0 2016"));
        ui->LabelNameProgram->setText(QStringLiteral("Национальные языки "));
        break;
    default:
        break;
    }
}

void TMainForm::ShowWelcomeView() {
    ui->LabelNameProgram->show();
    SetWorkControlsVisible(false);
}

void TMainForm::SetWorkControlsVisible(bool visible) {
    ui->N11->menuAction()->setVisible(visible);
    for (QPushButton *b :
         {ui->ButtonReports, ui->ButtonLoadReport, ui->ButtonTotalReports, ui->ButtonBooks,
          ui->ButtonSetup, ui->ButtonServis, ui->ButtonNewPeriod, ui->ButtonExit})
        b->setVisible(visible);
}

void TMainForm::ButtonStartClick() {
    if (DateForm)
        msg::exec(*DateForm);
    const QDate date = DateForm ? DateForm->date() : QDate::currentDate();
    appState().WorkDate = date;
    appState().WorkYear = date.year() + 1;

    auto *panel0 = ui->StatusBar1->findChild<QLabel *>(QStringLiteral("StatusPanel0"));
    panel0->setFixedWidth(ui->GroupBoxMenu->width() - 1);
    panel0->setText(QStringLiteral("Текущая дата: ") +
                    ProgramLocale().toString(date, QLocale::ShortFormat));

    ui->ButtonStart->hide();
    SetWorkControlsVisible(true);
}

// --- work windows -----------------------------------------------------------

void TMainForm::SetPanelMainVisible(bool visible) {
    ui->PanelMain->setVisible(visible);
    ui->MdiArea->setVisible(!visible);
}

void TMainForm::CloseAllMdiChildren() {
    const QList<QMdiSubWindow *> children = ui->MdiArea->subWindowList(QMdiArea::CreationOrder);
    for (QMdiSubWindow *child : children)
        child->close();
    SetPanelMainVisible(true);
}

QWidget *TMainForm::OpenWorkWindow(WorkWindow kind) {
    const WorkWindowFactory &factory = m_factories[index(kind)];
    if (!factory)
        return nullptr; // the window is not part of the program yet
    CloseAllMdiChildren();
    SetPanelMainVisible(false);
    QWidget *window = nullptr;
    try {
        window = factory();
    } catch (...) {
        SetPanelMainVisible(true); // nothing opened: the welcome panel stays
        throw;
    }
    if (!window) {
        SetPanelMainVisible(true);
        return nullptr;
    }
    const bool frameless = window->windowFlags().testFlag(Qt::FramelessWindowHint);
    const bool maximized = window->windowState().testFlag(Qt::WindowMaximized);
    QMdiSubWindow *sub =
        ui->MdiArea->addSubWindow(window, frameless ? Qt::FramelessWindowHint : Qt::WindowFlags());
    sub->setAttribute(Qt::WA_DeleteOnClose);
    connect(sub, &QObject::destroyed, this, &TMainForm::WorkWindowDestroyed);
    m_windows[index(kind)] = window;
    // The frame takes its final state first and the window is shown in it
    // after: a window that asks a question when it is first shown (the school
    // year) asks it over its maximised frame. A sub-window is made visible
    // before it is maximised, so a window shown with it would ask over the
    // frame at its first small size.
    window->hide();
    if (frameless)
        new FramelessWindowTitle(*this, *sub, window->windowTitle());
    if (maximized)
        sub->showMaximized();
    else
        sub->show();
    window->show();
    ui->MdiArea->setActiveSubWindow(sub);
    sub->raise();
    return window;
}

void TMainForm::WorkWindowDestroyed(QObject *subWindow) {
    // A work window that closed and freed itself brings the welcome panel
    // back, unless another work window has been opened meanwhile.
    const QList<QMdiSubWindow *> children = ui->MdiArea->subWindowList();
    for (QMdiSubWindow *child : children) {
        if (child != subWindow && !child->isHidden())
            return;
    }
    SetPanelMainVisible(true);
}

void TMainForm::ButtonReportsClick() {
    OpenWorkWindow(WorkWindow::Reports);
}

void TMainForm::ButtonLoadReportClick() {
    if (!m_factories[index(WorkWindow::LoadReport)])
        return;
    // Only a window made now is tested: the previous one may still be
    // waiting to be freed after it was closed.
    QWidget *window = OpenWorkWindow(WorkWindow::LoadReport);
    if (!window || !m_loadReportYear)
        return;
    const QString year = QString::number(m_loadReportYear(window));
    const QString file = QStringLiteral("OTHE") + year + QStringLiteral(".DBF");
    if (!store::fileExistsCaseInsensitive(paths::GetWedDir(), file)) {
        if (auto *sub = qobject_cast<QMdiSubWindow *>(window->parentWidget()))
            sub->close();
        else
            window->close();
        msg::show(kMessageTitle,
                  QStringLiteral("В базе нет данных по этому году! \r(файл OTHE") + year +
                      QStringLiteral(".DBF не найден)"),
                  msg::Icon::None, msg::Buttons::Ok);
    }
}

void TMainForm::ButtonTotalReportsClick() {
    if (!m_factories[index(WorkWindow::TotalReports)])
        return;
    appState().SvodForExport = 0;
    OpenWorkWindow(WorkWindow::TotalReports);
}

void TMainForm::ButtonBooksClick() {
    OpenWorkWindow(WorkWindow::Books);
}

void TMainForm::ButtonSetupClick() {
    OpenWorkWindow(WorkWindow::Setup);
}

void TMainForm::ButtonServisClick() {
    if (!m_serviceAction)
        return; // the service window is not part of the program yet
    CloseAllMdiChildren();
    m_serviceAction();
}

void TMainForm::ButtonNewPeriodClick() {
    CloseAllMdiChildren();
    if (!YearForm)
        return;
    msg::exec(*YearForm);
    NewPeriod(YearForm->Year + 1);
}

void TMainForm::ButtonExitClick() {
    CloseAllMdiChildren();
    close();
}

void TMainForm::MenuExitClick() {
    close();
}

void TMainForm::MenuHelpClick() {
    // Handed to the viewer that the desktop names for the file, not waited
    // for; the user is told when there is no file or no viewer.
    const QString dir = paths::GetProgramDir();
    const QString file = store::findFileCaseInsensitive(dir, QStringLiteral("HELP.HLP"));
    if (file.isEmpty()) {
        msg::show(kMessageTitle, QStringLiteral("Файл справки ") +
                                     QDir::toNativeSeparators(dir + QStringLiteral("HELP.HLP")) +
                                     QStringLiteral(" не найден!"));
        return;
    }
    if (!sheet::openWithDesktopProgram(file))
        msg::show(kMessageTitle, QStringLiteral("Нет программы для просмотра файла справки ") +
                                     QDir::toNativeSeparators(file) + QStringLiteral("."));
}

void TMainForm::MenuAboutClick() {
    if (AboutBox)
        msg::exec(*AboutBox);
}
