#include "consolidation/SvodUnit.h"

#include "checks/CheckUnit.h"
#include "consolidation/ChoseClnmUnit.h"
#include "consolidation/ComboChoice.h"
#include "consolidation/HowCollectUnit.h"
#include "consolidation/ProgressSvodUnit.h"
#include "consolidation/SvodGridLayout.h"
#include "consolidation/SvodListUnit.h"
#include "printing/PrintUnit.h"
#include "shell/AppState.h"
#include "shell/FixedColumn.h"
#include "shell/GuardedCall.h"
#include "shell/Messages.h"
#include "shell/MultilineGrid_Old.h"
#include "shell/Paths.h"
#include "shell/UnitDM.h"
#include "shell/YearUnit.h"
#include "ui_SvodUnit.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QSet>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>

#include <algorithm>

using store::DataSetState;
using store::TADODataSet;

TSvodForm *SvodForm = nullptr;

namespace {

const QString kMessageTitle = QStringLiteral("Сообщение");

QString catalogueTable(int year) {
    return QStringLiteral("OTHE") + QString::number(year);
}

// Makes the dropped list of the combo box at least as wide as its longest
// item, with room for the frame and the scroll bar.
void WidenDroppedList(QComboBox &box) {
    QAbstractItemView *view = box.view();
    const int extra = 2 * view->frameWidth() +
                      view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view) + 8;
    view->setMinimumWidth(view->sizeHintForColumn(0) + extra);
}

} // namespace

// Hands the engine's progress to the window's progress routine.
class TSvodForm::Progress : public svod::SvodProgress {
public:
    explicit Progress(TSvodForm *window) : m_window(window) {}
    void Step(int position, int maximum) override { m_window->Timer1Timer(position, maximum); }

private:
    TSvodForm *m_window;
};

// The consolidation table in the grid: the total and organisation columns
// of a by-column consolidation are right-aligned, the total in bold.
class TSvodForm::ResultModel : public DataSetModel {
public:
    QSet<QString> rightAligned; // field names, upper case
    QSet<QString> bold;
    QFont boldFont;

    QVariant data(const QModelIndex &index, int role) const override {
        if (index.isValid() && (role == Qt::TextAlignmentRole || role == Qt::FontRole)) {
            const QString field = fieldOfColumn(index.column()).toUpper();
            if (role == Qt::TextAlignmentRole && rightAligned.contains(field))
                return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
            if (role == Qt::FontRole && bold.contains(field))
                return boldFont;
        }
        return DataSetModel::data(index, role);
    }
};

TSvodForm::TSvodForm(QWidget *parent)
    : QWidget(parent), printReport(PrintReport), checkReports(CheckReports), ui(new Ui::TSvodForm),
      m_progress(std::make_unique<Progress>(this)), m_resultModel(std::make_unique<ResultModel>()) {
    ui->setupUi(this);
    ToolButton1 = ui->ToolButton1;
    ButtonPrint = ui->ButtonPrint;
    ButtonPrintTitle = ui->ButtonPrintTitle;
    ButtonCheck = ui->ButtonCheck;
    ButtonBack = ui->ButtonBack;
    GroupBox1 = ui->GroupBox1;
    GroupBox2 = ui->GroupBox2;
    LabelReps = ui->LabelReps;
    CB_Reps = ui->CB_Reps;
    DBGrid1 = ui->DBGrid1;
    StatusBar1 = ui->StatusBar1;
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowState(Qt::WindowMaximized); // opened maximised, before the year is asked

    QStyle *st = style();
    ToolButton1->setIcon(st->standardIcon(QStyle::SP_DialogCloseButton));
    ButtonPrint->setIcon(st->standardIcon(QStyle::SP_FileIcon));
    ButtonPrintTitle->setIcon(st->standardIcon(QStyle::SP_FileDialogDetailedView));
    ButtonCheck->setIcon(st->standardIcon(QStyle::SP_DialogApplyButton));
    ButtonBack->setIcon(st->standardIcon(QStyle::SP_ArrowBack));

    // Three status panels of 150, 275 and 50 pixels (the last takes the rest).
    m_panels = StatusPanels(StatusBar1, {150, 275, 50});
    // The grid keeps its room while hidden (the year being asked), so that
    // the status bar stays at the bottom at its own height.
    QSizePolicy gridPolicy = DBGrid1->sizePolicy();
    gridPolicy.setRetainSizeWhenHidden(true);
    DBGrid1->setSizePolicy(gridPolicy);

    for (DataSetModel *m : {static_cast<DataSetModel *>(&m_listModel),
                            static_cast<DataSetModel *>(m_resultModel.get())})
        m->onError = [](const QString &text) {
            msg::show(QStringLiteral("Ошибка"), text, msg::Icon::Warning);
        };
    m_listModel.setDataSet(&DS1);
    m_resultModel->boldFont = DBGrid1->font();
    m_resultModel->boldFont.setBold(true);

    // Titles in the grid's font made bold; the fixed row-code column.
    QFont titleFont = DBGrid1->font();
    titleFont.setBold(true);
    DBGrid1->titleHeader()->setFont(titleFont);
    m_fixed = new FixedColumnView(DBGrid1);
    DBGrid1->onKeyDown = [this](QKeyEvent *e) { return handleGridKey(e); };
    connect(DBGrid1, &TMultiLineGrid::dblClick, this,
            [this] { guarded([this] { DBGrid1DblClick(); }); });
    // The report names are longer than the panel: they are dropped down
    // whole, never shortened in their middle.
    CB_Reps->view()->setTextElideMode(Qt::ElideNone);
    connect(CB_Reps, &QComboBox::activated, this,
            [this](int index) { guarded([this, index] { CB_RepsChange(index); }); });
    const std::pair<QToolButton *, void (TSvodForm::*)()> buttons[] = {
        {ToolButton1, &TSvodForm::ToolButton1Click},
        {ButtonBack, &TSvodForm::ButtonBackClick},
        {ButtonCheck, &TSvodForm::ButtonCheckClick},
        {ButtonPrint, &TSvodForm::ButtonPrintClick},
        {ButtonPrintTitle, &TSvodForm::ButtonPrintTitleClick}};
    for (const auto &[button, handler] : buttons)
        connect(button, &QToolButton::clicked, this,
                [this, handler] { guarded([this, handler] { (this->*handler)(); }); });

    DBGrid1->hide();
    ButtonBack->setEnabled(false);
    ButtonPrint->setEnabled(false);
    ButtonPrintTitle->setEnabled(false);
}

TSvodForm::~TSvodForm() {
    if (SvodForm == this)
        SvodForm = nullptr;
    // The program may end without closing the window first ("Выход" of the
    // menu frees it with the main window): the scratch table goes all the same.
    try {
        closeDataSets();
        deleteScratchTable();
    } catch (...) {
    }
    m_listModel.setDataSet(nullptr);
    m_resultModel->setDataSet(nullptr);
}

// ---------------------------------------------------------------- helpers

void TSvodForm::guarded(const std::function<void()> &handler) {
    GuardedCall([&] {
        try {
            handler();
        } catch (...) {
            // The progress window goes before the error is shown.
            if (ProgressSvodForm)
                ProgressSvodForm->hide();
            throw;
        }
    });
}

QString TSvodForm::PanelText(int panel) const {
    return m_panels.text(panel);
}

void TSvodForm::setPanel(int panel, const QString &text) {
    m_panels.setText(panel, text);
}

void TSvodForm::setCaptionFromPanels() {
    GroupBox2->setTitle(PanelText(1) + QStringLiteral(": ") + PanelText(2));
}

DataSetModel *TSvodForm::GridModel() const {
    return DBGrid1->dataSetModel();
}

TADODataSet &TSvodForm::ResultDataSet() {
    return m_columnTable ? *m_columnTable : DS2;
}

int TSvodForm::FixedCols() const {
    return View != 1 && m_shown.valid ? 2 : 0;
}

void TSvodForm::releaseResult() {
    if (DBGrid1->dataSetModel() == m_resultModel.get())
        DBGrid1->setDataSetModel(&m_listModel);
    m_resultModel->setDataSet(nullptr);
    m_resultModel->rightAligned.clear();
    m_resultModel->bold.clear();
    m_columnTable.reset();
    m_fixed->setColumn(-1);
}

void TSvodForm::closeDataSets() {
    releaseResult();
    DS2.Close();
    DS1.Close();
    DS3.Close();
}

void TSvodForm::deleteScratchTable() {
    // Not while another copy of the program builds with it; a failure to
    // delete is ignored.
    svod::RemoveScratchTable(paths::GetWedDir());
}

// ---------------------------------------------------------------- window events

void TSvodForm::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    guarded([this] {
        if (appState().SvodForExport == 0) {
            if (YearForm)
                msg::exec(*YearForm);
            Year = (YearForm ? YearForm->Year : 0) + 1;
        } else {
            Year = appState().WorkYear;
        }
        CurrentReport = 1;
        ShowReportList();
        if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
            sub->setWindowState(sub->windowState() | Qt::WindowMaximized);
    });
}

void TSvodForm::closeEvent(QCloseEvent *event) {
    if (!m_closing) {
        m_closing = true;
        guarded([this] {
            if (ProgressSvodForm)
                ProgressSvodForm->hide();
            closeDataSets();
            deleteScratchTable();
        });
        emit closed();
    }
    event->accept();
}

bool TSvodForm::handleGridKey(QKeyEvent *event) {
    // The row code and the indicator stay fixed at the left: the indicator
    // name is the leftmost column the cursor reaches.
    if (event->key() != Qt::Key_Left || View == 1 || !m_shown.valid)
        return false;
    const QModelIndex current = DBGrid1->currentIndex();
    DataSetModel *model = GridModel();
    return model && current.isValid() &&
           current.column() == model->columnOfField(QStringLiteral("NAME"));
}

// ---------------------------------------------------------------- the list

void TSvodForm::showPeriodPanels() {
    setPanel(0, QStringLiteral("Период: ") + QString::number(Year - 1) + QStringLiteral(" / ") +
                    QString::number(Year));
    setPanel(1, QString());
    setPanel(2, QString());
}

void TSvodForm::resetView() {
    ButtonBack->setEnabled(false);
    ButtonPrint->setEnabled(false);
    ButtonPrintTitle->setEnabled(false);
    showPeriodPanels();
    closeDataSets();
    m_shown = ShownSvod();
    DBGrid1->hide();
    const QSignalBlocker block(CB_Reps);
    CB_Reps->setCurrentIndex(-1);
    CB_Reps->setEditText(QString());
    CB_Reps->setEnabled(false);
}

void TSvodForm::ShowReportList() {
    resetView();
    GroupBox2->setTitle(QString());
    LoadReportList();
}

void TSvodForm::LoadReportList() {
    View = 1;
    m_listModel.setReadOnly(true);
    const QString table = catalogueTable(Year);
    if (!store::fileExistsCaseInsensitive(paths::GetWedDir(), table + QStringLiteral(".DBF"))) {
        msg::show(kMessageTitle, PeriodNotOpenedMessage(QStringLiteral("OTHE"), Year));
        ClearView();
        return;
    }
    DBGrid1->show();
    CB_Reps->setEnabled(true);
    CB_Reps->setEditText(QString());
    if (!DM().ADOConWED.Connected() && !DM().Connect(2, paths::GetWedDir()))
        return;
    DS1.Close();
    DS1.setConnection(&DM().ADOConWED);
    DS1.setCommandText(QStringLiteral("select * from ") + table);
    DS1.Open();
    DBGrid1->setDataSetModel(&m_listModel);
    const QStringList fields = {QStringLiteral("KOD"), QStringLiteral("NAME"),
                                QStringLiteral("FORMA"), QStringLiteral("FAILTEXT")};
    const QStringList titles = {QStringLiteral("Код"), QStringLiteral("Наименование"),
                                QStringLiteral("Форма"), QStringLiteral("Файл печатного листа")};
    QVector<DataSetModel::Column> cols = m_listModel.columns();
    for (DataSetModel::Column &c : cols) {
        const int i = int(fields.indexOf(c.field.toUpper()));
        c.visible = i >= 0;
        c.title = i >= 0 ? titles[i] : c.field;
        c.titleAlignment = Qt::AlignCenter;
        c.readOnly = true;
    }
    m_listModel.setColumns(cols);
    m_listModel.setReadOnly(true);
    DBGrid1->SetTitleHeight(17);
    DBGrid1->applyColumns();
    {
        const QSignalBlocker block(CB_Reps);
        CB_Reps->clear();
        for (DS1.First(); !DS1.Eof(); DS1.Next())
            CB_Reps->addItem(DS1.FieldByName(QStringLiteral("NAME")).AsString());
        CB_Reps->setCurrentIndex(-1);
        CB_Reps->setEditText(QString());
        WidenDroppedList(*CB_Reps);
    }
    if (!DS1.IsEmpty()) {
        DS1.First();
        DS1.setRecNo(std::clamp(CurrentReport, 1, DS1.RecordCount()));
    }
    DBGrid1->setFocus();
}

void TSvodForm::ClearView() {
    resetView();
    ButtonCheck->setEnabled(false);
    const QSignalBlocker block(CB_Reps);
    CB_Reps->clear();
}

// ---------------------------------------------------------------- choosing a report

void TSvodForm::DBGrid1DblClick() {
    if (View != 1 || !DS1.Active() || DS1.IsEmpty())
        return;
    {
        const QSignalBlocker block(CB_Reps);
        CB_Reps->setCurrentIndex(DS1.RecNo() - 1);
    }
    BuildSvod(DS1.RecNo());
}

void TSvodForm::CB_RepsChange(int Index) {
    // Only a chosen item builds; a typed text that is no item does nothing.
    if (Index < 0 || ChosenComboItem(*CB_Reps) != Index || !DS1.Active() ||
        Index >= DS1.RecordCount())
        return;
    DS1.First();
    DS1.setRecNo(Index + 1);
    BuildSvod(Index + 1);
}

void TSvodForm::restoreShownReport() {
    // A cancelled choice leaves the window on what it shows.
    const QSignalBlocker block(CB_Reps);
    if (!m_shown.valid) {
        CB_Reps->setCurrentIndex(-1);
        CB_Reps->setEditText(QString());
        return;
    }
    CB_Reps->setCurrentIndex(m_shown.recNo - 1);
    if (DS1.Active() && m_shown.recNo <= DS1.RecordCount())
        DS1.setRecNo(m_shown.recNo);
    CurrentReport = m_shown.recNo;
}

void TSvodForm::BuildSvod(int ReportNumber) {
    if (!DS1.Active() || DS1.IsEmpty())
        return;
    if (DS1.RecNo() != ReportNumber && ReportNumber >= 1 && ReportNumber <= DS1.RecordCount())
        DS1.setRecNo(ReportNumber);
    CurrentReport = DS1.RecNo();
    svod::SvodParams params;
    params.Year = Year;
    params.Report = svod::ReadCatalogueReport(DS1);
    params.BlankPath = paths::GetWedDir() + params.Report.Fail;
    params.ProgramKind = appState().ProgramKind;
    params.Quiet = appState().SvodForExport == 1;
    params.Progress = m_progress.get();
    const int group = params.Report.Group;

    SvodListForm->Year = Year;
    if (!SvodListForm->Choose()) {
        restoreShownReport();
        return;
    }
    const QString shownPanel1 = PanelText(1);
    setPanel(1, SvodListForm->SetName);
    params.SetNumber = SvodListForm->SetIndex;
    HowCollectForm->ReportGroup = group;

    bool confirmed = true;
    bool checkBefore = true; // "Проверка" before the build
    if (group == 1) {
        confirmed = HowCollectForm->Ask();
        checkBefore = false;
    } else if (group != 46 && group != 48) {
        confirmed = HowCollectForm->Ask();
        if (confirmed && HowCollectForm->CollectMode == 2 && svod::IsColumnSvodGroup(group)) {
            checkBefore = false;
            confirmed = ChoseClnmForm->Ask(DS1);
            params.Column = ChoseClnmForm->ColumnIndex;
        }
    } else {
        checkBefore = false;
    }
    params.Mode = HowCollectForm->CollectMode;
    if (!confirmed) {
        const bool wasShown = m_shown.valid;
        restoreShownReport();
        if (wasShown)
            setPanel(1, shownPanel1);
        setCaptionFromPanels();
        return;
    }
    // School counts are always built over every organisation, into set 1.
    int setIndex = SvodListForm->SetIndex;
    QString setName = SvodListForm->SetName;
    if (group == 1) {
        setIndex = 1;
        setName = SvodListForm->NameOfSet(1);
        setPanel(1, setName);
    }
    ButtonCheck->setEnabled(checkBefore);
    const QFileInfo blank(params.BlankPath);
    // A missing blank builds nothing and says nothing; a failed build has
    // gone back to the list.
    if (store::fileExistsCaseInsensitive(blank.absolutePath(), blank.fileName()) &&
        !runBuild(params, setIndex, setName))
        return;
    setCaptionFromPanels();
}

bool TSvodForm::runBuild(const svod::SvodParams &params, int setIndex, const QString &setName) {
    // The engine replaces the target: nothing may stay open on it.
    releaseResult();
    DS2.Close();
    m_shown = ShownSvod();
    if (ProgressSvodForm) {
        ProgressSvodForm->ProgressBar1->setRange(0, 1);
        ProgressSvodForm->ProgressBar1->setValue(0);
        ProgressSvodForm->show();
        ProgressSvodForm->repaint();
    }
    svod::SvodResult result;
    try {
        result = svod::BuildSvod(params);
    } catch (...) {
        if (ProgressSvodForm)
            ProgressSvodForm->hide();
        throw;
    }
    if (ProgressSvodForm)
        ProgressSvodForm->hide();

    if (!result.Ok || !result.Built) {
        // The previous consolidation is kept on disk; the window goes back
        // to the list, on this report.
        ShowReportList();
        if (!result.Ok)
            msg::show(QStringLiteral("KVR"), result.Error, msg::Icon::Critical);
        return false;
    }
    try {
        if (!showResult(result, params)) {
            ShowReportList();
            return false;
        }
    } catch (...) {
        // The table built cannot be shown: back to the list, then the error.
        ShowReportList();
        throw;
    }
    m_shown.setIndex = setIndex;
    m_shown.setName = setName;
    if (!result.Notice.isEmpty())
        msg::show(kMessageTitle, result.Notice);
    return true;
}

bool TSvodForm::showResult(const svod::SvodResult &result, const svod::SvodParams &params) {
    TargetFile = result.TargetFile;
    OrgWithData = result.OrgWithData;
    OrgWithoutData = result.OrgWithoutData;
    ButtonBack->setEnabled(true);
    ButtonPrint->setEnabled(true);
    ButtonPrintTitle->setEnabled(true);

    if (result.Kind == svod::SvodKind::Column) {
        OrgNames = result.OrgNames;
        OrgCodes = result.OrgCodes;
        m_columnTable = result.ColumnTable;
        m_resultModel->setDataSet(m_columnTable.get());
    } else {
        if (!DM().Connect(3, result.TargetFolder))
            return false; // the data module has said why
        DS2.setConnection(&DM().ADOConDBF);
        DS2.setCommandText(QStringLiteral("select * from ") + result.TargetTable);
        DS2.Open();
        m_resultModel->setDataSet(&DS2);
    }
    DBGrid1->setDataSetModel(m_resultModel.get());
    DBGrid1->SetTitleHeight(34);
    DBGrid1->show();

    m_shown.valid = true;
    m_shown.kind = result.Kind;
    m_shown.recNo = DS1.RecNo();
    m_shown.reportName = params.Report.Name;
    m_shown.reportNumber = FindReportNumber(Year, params.Report.Name);
    m_shown.group = params.Report.Group;
    m_shown.mode = params.Mode;
    m_shown.column = params.Column;
    m_shown.columnCaption =
        result.Kind == svod::SvodKind::Column ? ChoseClnmForm->ColumnCaption : QString();
    m_shown.columnDecimals = result.ColumnDecimals;
    layoutResultColumns(result, params);

    QString title = params.Report.Name;
    if (result.Kind == svod::SvodKind::Column)
        title += QStringLiteral(" (") + m_shown.columnCaption + QStringLiteral(")");
    setPanel(2, title);
    setPanel(1, PanelText(1) + OrganisationCountText(OrgWithData, OrgWithoutData));
    m_shown.title = title;

    switch (result.Kind) {
    case svod::SvodKind::Keyed:
        // The checks have nothing to do on appended rows.
        View = 48;
        ButtonCheck->setEnabled(false);
        break;
    case svod::SvodKind::Column:
        View = 2;
        break;
    default:
        View = 2;
        ButtonCheck->setEnabled(true);
        break;
    }
    // A by-column table can be edited (it is never saved); the others not.
    m_resultModel->setReadOnly(result.Kind != svod::SvodKind::Column);
    m_fixed->setColumn(m_resultModel->columnOfField(QStringLiteral("KODSTR")));
    DBGrid1->setFocus();
    return true;
}

void TSvodForm::layoutResultColumns(const svod::SvodResult &result,
                                    const svod::SvodParams &params) {
    const QStringList fields = TableFieldNames(ResultDataSet());
    switch (result.Kind) {
    case svod::SvodKind::SchoolCount:
        m_resultModel->setColumns(SchoolCountColumns(fields));
        break;
    case svod::SvodKind::Column: {
        m_resultModel->setColumns(
            ColumnSvodColumns(fields, OrgNames, m_shown.columnCaption, DBGrid1->font()));
        for (const QString &f : fields)
            if (f.startsWith(QLatin1String("NNN"), Qt::CaseInsensitive))
                m_resultModel->rightAligned.insert(f.toUpper());
        SetColumnTitle(m_resultModel->columnOfField(QStringLiteral("TOTAL")));
        break;
    }
    default:
        m_resultModel->setColumns(ReportSvodColumns(fields, params.Report, DBGrid1->font()));
        break;
    }
    DBGrid1->applyColumns();
}

void TSvodForm::SetColumnTitle(int Column) {
    if (Column < 0 || Column >= m_resultModel->columnCount())
        return;
    const QString caption = m_shown.columnCaption;
    m_resultModel->setColumnTitle(Column, TotalColumnTitle(caption));
    m_resultModel->setColumnWidth(Column, TotalColumnWidth(caption, DBGrid1->font()));
    const QString field = m_resultModel->fieldOfColumn(Column).toUpper();
    m_resultModel->rightAligned.insert(field);
    m_resultModel->bold.insert(field);
}

void TSvodForm::Timer1Timer(int Position, int Maximum) {
    if (!ProgressSvodForm)
        return;
    ProgressSvodForm->ProgressBar1->setRange(0, std::max(Maximum, 1));
    ProgressSvodForm->ProgressBar1->setValue(std::clamp(Position, 0, std::max(Maximum, 1)));
    // The build blocks the window: only this repaint moves the bar.
    ProgressSvodForm->repaint();
}

// ---------------------------------------------------------------- buttons

void TSvodForm::ToolButton1Click() {
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
        sub->close();
    else
        close();
}

void TSvodForm::ButtonBackClick() {
    ShowReportList();
}

QString TSvodForm::requisitesBank(bool *found) {
    *found = store::fileExistsCaseInsensitive(paths::GetProgramDir(), QStringLiteral("REGIM.DBF"));
    if (!*found)
        return QString();
    if (!DM().ADOConMain.Connected() && !DM().Connect(1, paths::GetProgramDir()))
        return QString();
    TADODataSet regim;
    regim.setConnection(&DM().ADOConMain);
    regim.setCommandText(QStringLiteral("select * from REGIM"));
    regim.Open();
    regim.First();
    const QString bank =
        regim.IsEmpty() ? QString() : regim.FieldByName(QStringLiteral("BANK")).AsString();
    regim.Close();
    return bank;
}

void TSvodForm::ButtonPrintClick() {
    if (!m_shown.valid)
        return;
    bool found = false;
    const QString bank = requisitesBank(&found);
    const QString title = found
                              ? bank + QStringLiteral(" (") + m_shown.setName + QStringLiteral(")")
                              : m_shown.setName;
    TADODataSet &ds = ResultDataSet();
    if (ds.Active() && ds.State() != DataSetState::Browse)
        ds.Post();
    if (m_shown.kind == svod::SvodKind::Column) {
        printReport(ds, 1111, OrgWithoutData + OrgWithData, m_shown.title);
        return;
    }
    printReport(ds, m_shown.reportNumber, Year % 100, title);
}

void TSvodForm::ButtonPrintTitleClick() {
    if (!m_shown.valid)
        return;
    bool found = false;
    const QString bank = requisitesBank(&found);
    const int yy = Year % 100;
    if (DS1.Active() && m_shown.recNo >= 1 && m_shown.recNo <= DS1.RecordCount())
        DS1.setRecNo(m_shown.recNo);
    printReport(DS1, 0, yy, bank);
    printReport(ResultDataSet(), -1, yy, bank);
}

void TSvodForm::ButtonCheckClick() {
    if (DS1.Active() && DS1.State() != DataSetState::Browse)
        DS1.Post();
    const int yy = Year % 100;
    if (View == 1) {
        if (!DS1.Active())
            return;
        const int reportNumber = FindReportNumber(Year, CB_Reps->currentText());
        SvodListForm->Year = Year;
        if (!SvodListForm->Choose())
            return;
        setPanel(1, SvodListForm->SetName);
        checkReports(DS1, 2, reportNumber, 0, yy, SvodListForm->SetIndex);
        setPanel(1, QString());
        return;
    }
    if (!m_shown.valid || m_shown.kind == svod::SvodKind::Keyed ||
        m_shown.kind == svod::SvodKind::Column)
        return;
    TADODataSet &ds = ResultDataSet();
    if (ds.Active() && ds.State() != DataSetState::Browse)
        ds.Post();
    checkReports(ds, 1, m_shown.reportNumber, 0, yy, m_shown.setIndex);
}
