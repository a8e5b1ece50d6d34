#include "entry/EditReportUnit.h"

#include "entry/EditReportUnit_Zap.h"
#include "entry/MessageUnit.h"
#include "entry/ReportTables.h"
#include "entry/RowTotals.h"
#include "printing/PrintUnit.h"
#include "shell/AppState.h"
#include "shell/FixedColumn.h"
#include "shell/GuardedCall.h"
#include "shell/Messages.h"
#include "shell/MultilineGrid_Old.h"
#include "shell/Paths.h"
#include "shell/Periods.h"
#include "shell/StatusPanels.h"
#include "shell/UnitConsts.h"
#include "shell/UnitDM.h"
#include "shell/WaitCursor.h"
#include "ui_EditReportUnit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPointer>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolButton>

using store::DataSetState;
using store::TADODataSet;

namespace {

const QColor kDataColour(204, 223, 255);    // organisations and reports with data
const QColor kDerivedColour(255, 255, 119); // cells the automatic filling writes

} // namespace

// Edits the cells of a report table. A typed value is checked before it is
// written: a value the cell cannot hold is refused with a message, and the
// editor stays open on the typed text. Enter in the editor commits the value
// and then runs the window's Enter handling.
class ReportCellDelegate : public QStyledItemDelegate {
public:
    ReportCellDelegate(DataSetModel *model, QObject *parent)
        : QStyledItemDelegate(parent), m_model(model) {}

    // Set while the window is being destroyed: a value that cannot be
    // written is dropped without a message.
    bool quiet = false;
    // After Enter has written the editor's value.
    std::function<void()> onEnter;
    // The user has begun to change the text of the editor on that cell.
    std::function<void(const QModelIndex &)> onTyping;
    // A further check of a value that fits its cell (the text as it would be
    // written): empty when it may be written, otherwise the refusal.
    std::function<QString(const QModelIndex &, const QString &)> furtherCheck;
    // A typed value (the text as written) is in its record, to be posted.
    std::function<void(const QModelIndex &, const QString &)> onWritten;

    // The open editor of a cell, if any, and its cell.
    QLineEdit *openEditor() const { return m_editor && m_editor->isVisible() ? m_editor : nullptr; }
    QModelIndex editorIndex() const { return m_index; }
    // False when the last value handed to the table was not written.
    bool lastRefused() const { return m_lastRefused; }
    // A new attempt to write the editor's text or to leave it (a button,
    // say): a refusal is said again.
    void newAttempt() { m_warned.clear(); }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto *line = qobject_cast<QLineEdit *>(editor)) {
            m_editor = line;
            m_index = index;
            const QPersistentModelIndex cell(index);
            connect(line, &QLineEdit::textEdited, this, [this, cell] {
                m_warned.clear();
                if (onTyping)
                    onTyping(cell);
            });
        }
        return editor;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override {
        // The record read again (it entered edit state, say) never takes away
        // what the user has typed.
        if (auto *line = qobject_cast<QLineEdit *>(editor); line && line->isModified())
            return;
        QStyledItemDelegate::setEditorData(editor, index);
    }

    // Whether the editor holds a figure to write: one the user typed, even
    // the figure shown (another copy may have saved another one meanwhile),
    // or a text other than the one shown.
    static bool typed(const QLineEdit *line, const QModelIndex &index) {
        return line->isModified() || line->text() != index.data(Qt::EditRole).toString();
    }

    // Whether the editor's text may be written to its cell; *Normalized gets
    // the text to write. A refusal is shown at each attempt to write the text
    // or to leave it (a key, a click), once for each attempt.
    bool accepts(QWidget *editor, const QModelIndex &index, QString *Normalized = nullptr,
                 bool warn = true) const {
        auto *line = qobject_cast<QLineEdit *>(editor);
        TADODataSet *ds = m_model->dataSet();
        if (!line || !ds || !ds->Active() || !index.isValid())
            return true;
        const int fi = ds->FieldIndex(m_model->fieldOfColumn(index.column()));
        if (fi < 0 || !typed(line, index))
            return true;
        QString error;
        const QString caption =
            m_model->headerData(index.column(), Qt::Horizontal).toString().trimmed();
        QString normalized;
        if (CheckCellInput(line->text(), ds->FieldDefs().at(fi), &normalized, &error, caption) &&
            (!furtherCheck || (error = furtherCheck(index, normalized)).isEmpty())) {
            if (Normalized)
                *Normalized = normalized;
            return true;
        }
        if (warn && !quiet && m_warned != line->text()) {
            // The message takes the focus from the editor, which asks again
            // within the same attempt: that is refused without a second
            // message.
            m_warned = line->text();
            msg::show(QStringLiteral("Ошибка"), error, msg::Icon::Warning);
        }
        return false;
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override {
        auto *line = qobject_cast<QLineEdit *>(editor);
        TADODataSet *ds = m_model->dataSet();
        if (!line || !ds || !ds->Active()) {
            QStyledItemDelegate::setModelData(editor, model, index);
            return;
        }
        m_lastRefused = false;
        if (ds->FieldIndex(m_model->fieldOfColumn(index.column())) < 0 || !typed(line, index))
            return;
        QString normalized;
        m_lastRefused = !accepts(editor, index, &normalized) ||
                        !model->setData(index, normalized, Qt::EditRole);
        if (!m_lastRefused && onWritten)
            onWritten(index, normalized);
    }

protected:
    bool eventFilter(QObject *object, QEvent *event) override {
        auto *editor = qobject_cast<QWidget *>(object);
        if (editor && editor == m_editor) {
            if (event->type() == QEvent::KeyPress) {
                const int key = static_cast<QKeyEvent *>(event)->key();
                const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
                // Each of these keys is a new attempt to write the text or to
                // leave it: a refusal is said again.
                if (enter || key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Up ||
                    key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown)
                    m_warned.clear();
                if ((enter || key == Qt::Key_Tab || key == Qt::Key_Backtab) &&
                    !accepts(editor, m_index))
                    return true; // refused: the editor stays open on the typed text
                if (enter) {
                    m_lastRefused = false;
                    emit commitData(editor);
                    emit closeEditor(editor, QAbstractItemDelegate::NoHint);
                    if (!m_lastRefused && onEnter)
                        onEnter();
                    return true;
                }
            } else if (event->type() == QEvent::FocusOut) {
                // Another window taking the focus (a message box among them)
                // is no reason to speak: the value waits in its editor. A
                // click elsewhere is a new attempt to leave it.
                const auto reason = static_cast<QFocusEvent *>(event)->reason();
                const bool away =
                    reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
                if (reason == Qt::MouseFocusReason)
                    m_warned.clear();
                if (!accepts(editor, m_index, nullptr, !away))
                    return true; // the editor stays open
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    DataSetModel *m_model;
    mutable QPointer<QLineEdit> m_editor;
    mutable QPersistentModelIndex m_index;
    mutable QString m_warned;
    mutable bool m_lastRefused = false;
};

TEditReportForm::TEditReportForm(QWidget *parent) : QWidget(parent), ui(new Ui::TEditReportForm) {
    ui->setupUi(this);
    ButtonExit = ui->ButtonExit;
    ButtonPrint = ui->ButtonPrint;
    ButtonPrintTitle = ui->ButtonPrintTitle;
    ButtonSave = ui->ButtonSave;
    ToolButtonAutoValue = ui->ToolButtonAutoValue;
    ButtonDeleteRep = ui->ButtonDeleteRep;
    ButtonBack = ui->ButtonBack;
    GroupBox1 = ui->GroupBox1;
    GroupBox2 = ui->GroupBox2;
    CB_Year = ui->CB_Year;
    DBGrid1 = ui->DBGrid1;
    StatusBar1 = ui->StatusBar1;
    setAttribute(Qt::WA_DeleteOnClose);

    QStyle *st = style();
    ButtonExit->setIcon(st->standardIcon(QStyle::SP_DialogCloseButton));
    ButtonPrint->setIcon(st->standardIcon(QStyle::SP_FileIcon));
    ButtonPrintTitle->setIcon(st->standardIcon(QStyle::SP_FileDialogDetailedView));
    ButtonSave->setIcon(st->standardIcon(QStyle::SP_DialogSaveButton));
    ToolButtonAutoValue->setIcon(st->standardIcon(QStyle::SP_BrowserReload));
    ButtonDeleteRep->setToolButtonStyle(Qt::ToolButtonTextOnly);
    ButtonBack->setIcon(st->standardIcon(QStyle::SP_ArrowBack));
    ToolButtonAutoValue->hide();

    // The status bar keeps its own height whatever room the grid leaves.
    StatusBar1->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // Three status panels of 80, 250 and 50 pixels (the last takes the rest),
    // each text bold blue at the panel's top-left corner. The first two grow
    // when their text needs more room in the font they are drawn in.
    m_panels = StatusPanels(StatusBar1, {80, 250, 50});

    for (DataSetModel *m : {&m_schoolModel, &m_repsModel, &m_tabModel})
        m->onError = [](const QString &text) {
            msg::show(QStringLiteral("Ошибка"), text, msg::Icon::Warning);
        };
    m_schoolModel.cellBackground = [this](int row, int) -> QColor {
        const int c = m_schoolModel.columnOfField(QStringLiteral("KOD"));
        const QString kod = m_schoolModel.data(m_schoolModel.index(row, c)).toString().trimmed();
        return StrInList(kod, m_orgsWithData, true) ? kDataColour : QColor();
    };
    m_repsModel.cellBackground = [this](int row, int) -> QColor {
        const int c = m_repsModel.columnOfField(QStringLiteral("KOD"));
        const QString kod = m_repsModel.data(m_repsModel.index(row, c)).toString().trimmed();
        return StrInList(kod, m_reportsWithData, true) ? kDataColour : QColor();
    };
    m_tabModel.cellBackground = [this](int row, int column) -> QColor {
        if (m_tableName.isEmpty())
            return {};
        return IsAutoFilledCell(baseName(), QString::number(row + 1),
                                m_tabModel.fieldOfColumn(column))
                   ? kDerivedColour
                   : QColor();
    };

    // The open table: "Сохранить" shows whether a change is pending, and no
    // record can be added.
    DS_TAB.beforeEdit = [this] { ButtonSave->setChecked(true); };
    DS_TAB.afterPost = [this] { ButtonSave->setChecked(false); };
    DS_TAB.onStateChange = [this] { updateSaveButton(); };
    DS_TAB.onNewRecord = [this] { DS_TAB.Cancel(); };
    m_schoolModel.setDataSet(&DS_SCHOOL);
    m_repsModel.setDataSet(&DS_REPS);
    m_tabModel.setDataSet(&DS_TAB);
    m_tabModel.setPostOnEdit(false);

    auto *delegate = new ReportCellDelegate(&m_tabModel, this);
    delegate->onEnter = [this] { GuardedCall([this] { GridEnter(); }); };
    delegate->onTyping = [this](const QModelIndex &cell) {
        GuardedCall([this, cell] { StartCellChange(cell); });
    };
    connect(delegate, &QAbstractItemDelegate::closeEditor, this,
            [this](QWidget *, QAbstractItemDelegate::EndEditHint hint) {
                if (hint == QAbstractItemDelegate::RevertModelCache)
                    GuardedCall([this] { DropUnchangedEdit(); });
            });
    // A figure whose row total, or a derived cell of another report worked
    // out from it, would not fit its column is refused before anything is
    // written.
    delegate->furtherCheck = [this](const QModelIndex &index, const QString &value) {
        return RowTotalsCheck(index, value);
    };
    delegate->onWritten = [this](const QModelIndex &index, const QString &value) {
        GuardedCall([this, index, value] { FigureTyped(index, value); });
    };
    m_cellDelegate = delegate;
    DBGrid1->setItemDelegate(delegate);
    DBGrid1->canLeaveCell = [this](const QModelIndex &from) { return CanLeaveCell(from); };
    DBGrid1->onKeyDown = [this](QKeyEvent *e) { return handleGridKey(e); };
    connect(DBGrid1, &TMultiLineGrid::dblClick, this,
            [this] { GuardedCall([this] { DBGrid1DblClick(); }); });
    connect(DBGrid1, &TMultiLineGrid::colExit, this, [this](int) {
        GuardedCall([this] {
            if (m_level == 4 && DS_TAB.Active() && DS_TAB.State() == DataSetState::Edit)
                m_tabModel.postPending();
        });
    });

    // The fixed row-code column, taken out of the grid's cells so that the
    // cursor never reaches it. Titles are drawn in the grid's own font, the
    // font the report columns' widths are measured in (the group box's style
    // sheet keeps a font from passing on to child widgets).
    DBGrid1->titleHeader()->setFont(DBGrid1->font());
    m_frozen = new FixedColumnView(DBGrid1, FixedColumnView::Placement::Apart);

    connect(ButtonExit, &QToolButton::clicked, this,
            [this] { GuardedCall([this] { ButtonExitClick(); }); });
    connect(ButtonBack, &QToolButton::clicked, this,
            [this] { GuardedCall([this] { ButtonBackClick(); }); });
    connect(ButtonSave, &QToolButton::clicked, this,
            [this] { GuardedCall([this] { ButtonSaveClick(); }); });
    connect(ButtonDeleteRep, &QToolButton::clicked, this,
            [this] { GuardedCall([this] { ButtonDeleteRepClick(); }); });
    connect(ButtonPrint, &QToolButton::clicked, this,
            [this] { GuardedCall([this] { ButtonPrintClick(); }); });
    connect(ButtonPrintTitle, &QToolButton::clicked, this,
            [this] { GuardedCall([this] { ButtonPrintTitleClick(); }); });
    connect(CB_Year, &QComboBox::currentIndexChanged, this, [this] {
        m_yearChangeSeen = true;
        GuardedCall([this] { CB_YearChange(); });
    });
    // Choosing the year the box already shows (a period not opened yet, say)
    // tries it again.
    connect(CB_Year, &QComboBox::activated, this, [this] {
        const bool seen = m_yearChangeSeen;
        m_yearChangeSeen = false;
        if (!seen)
            GuardedCall([this] { CB_YearChange(); });
    });
    CB_Year->installEventFilter(this);
    DBGrid1->hide();
    ButtonBack->setEnabled(false);
    ButtonPrint->setEnabled(false);
    ButtonPrintTitle->setEnabled(false);
    ButtonSave->setEnabled(false);
    ButtonDeleteRep->setEnabled(false);
}

TEditReportForm::~TEditReportForm() {
    // The program may end without closing the window first: a change still
    // pending is written all the same, a value still in the cell editor too.
    try {
        m_cellDelegate->quiet = true;
        if (DS_TAB.Active())
            commitOpenEditor();
        if (DS_TAB.Active() && DS_TAB.State() == DataSetState::Edit)
            DS_TAB.Post();
    } catch (...) {
    }
    DS_TAB.beforeEdit = nullptr;
    DS_TAB.afterPost = nullptr;
    DS_TAB.onNewRecord = nullptr;
    m_tabModel.setDataSet(nullptr);
    m_repsModel.setDataSet(nullptr);
    m_schoolModel.setDataSet(nullptr);
    DS_TAB.onStateChange = nullptr;
    try {
        DS_TAB.Close();
        DS_REPS.Close();
        DS_SCHOOL.Close();
    } catch (...) {
    }
}

// ---------------------------------------------------------------- helpers

QString TEditReportForm::PanelText(int panel) const {
    return m_panels.text(panel);
}

void TEditReportForm::setPanel(int panel, const QString &text) {
    m_panels.setText(panel, text);
}

DataSetModel *TEditReportForm::GridModel() const {
    return DBGrid1->dataSetModel();
}

QString TEditReportForm::orgDataDir() const {
    return OrgDataDir(m_orgCode);
}

QString TEditReportForm::baseName() const {
    return m_tableName.chopped(qMin(4, int(m_tableName.size())));
}

void TEditReportForm::showModel(DataSetModel *model) {
    if (model != &m_tabModel)
        m_frozen->setColumn(-1); // the lists have no fixed column
    if (DBGrid1->dataSetModel() != model)
        DBGrid1->setDataSetModel(model);
    DBGrid1->show();
}

void TEditReportForm::setupListColumns(DataSetModel &model, const QStringList &fields,
                                       const QStringList &titles) {
    QVector<DataSetModel::Column> cols = model.columns();
    for (DataSetModel::Column &c : cols) {
        const int i = fields.indexOf(c.field.toUpper());
        c.visible = i >= 0;
        if (i >= 0)
            c.title = titles[i];
        c.titleAlignment = Qt::AlignCenter;
        c.readOnly = true;
    }
    model.setColumns(cols);
    model.setReadOnly(true);
}

void TEditReportForm::moveToRecord(TADODataSet &ds, int recNo) {
    if (!ds.Active() || ds.IsEmpty())
        return;
    ds.First();
    // A position saved from a longer list is brought within this one.
    ds.setRecNo(qBound(1, recNo, ds.RecordCount()));
}

bool TEditReportForm::postPendingEdit() {
    if (!DS_TAB.Active() || DS_TAB.State() != DataSetState::Edit)
        return true;
    return m_tabModel.postPending();
}

bool TEditReportForm::commitOpenEditor() {
    // Text still in a cell editor is written to the record before it is
    // posted; a value the cell cannot hold is refused and stays in the editor.
    QLineEdit *editor = m_cellDelegate->openEditor();
    if (!editor)
        return true;
    // Each call is an attempt of its own (a button, the window closing): a
    // figure refused before is refused again, and said so.
    m_cellDelegate->newAttempt();
    if (!m_cellDelegate->accepts(editor, m_cellDelegate->editorIndex()))
        return false;
    emit m_cellDelegate->commitData(editor);
    emit m_cellDelegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
    return !m_cellDelegate->lastRefused();
}

bool TEditReportForm::CanLeaveCell(const QModelIndex &from) {
    QLineEdit *editor = m_cellDelegate->openEditor();
    if (!editor || m_cellDelegate->editorIndex() != from || m_cellDelegate->accepts(editor, from))
        return true;
    editor->setFocus();
    return false;
}

void TEditReportForm::StartCellChange(const QModelIndex &cell) {
    // The record enters edit state with the first change of a cell, so
    // "Сохранить" shows the change as pending at once.
    if (m_level != 4 || !DS_TAB.Active() || DS_TAB.State() != DataSetState::Browse ||
        !cell.isValid())
        return;
    if (cell.row() != m_tabModel.currentRow() && !m_tabModel.setCurrentRow(cell.row()))
        return;
    DS_TAB.Edit();
}

void TEditReportForm::DropUnchangedEdit() {
    // Escape in the cell editor: a record that nothing was written into
    // leaves edit state again.
    if (DS_TAB.Active() && DS_TAB.State() == DataSetState::Edit && !DS_TAB.Modified())
        DS_TAB.Cancel();
    updateSaveButton();
}

void TEditReportForm::closeReportTable() {
    commitOpenEditor();
    postPendingEdit();
    DS_TAB.Close();
    m_tableName.clear();
    ButtonSave->setChecked(false);
    ButtonSave->setEnabled(false);
    m_frozen->setColumn(-1);
}

void TEditReportForm::updateSaveButton() {
    ButtonSave->setChecked(DS_TAB.Active() && DS_TAB.State() == DataSetState::Edit);
}

// ---------------------------------------------------------------- window events

void TEditReportForm::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    GuardedCall([this] {
        m_orgListPos = 1;
        m_repListPos = 1;
        m_orgCode = 0;
        ResetView();
        if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
            sub->setWindowState(sub->windowState() | Qt::WindowMaximized);
    });
}

void TEditReportForm::closeEvent(QCloseEvent *event) {
    if (!m_closing) {
        m_closing = true;
        GuardedCall([this] {
            if (DS_TAB.Active())
                closeReportTable();
            DS_TAB.Close();
            DS_REPS.Close();
            DS_SCHOOL.Close();
        });
        emit closed();
    }
    event->accept();
}

bool TEditReportForm::eventFilter(QObject *watched, QEvent *event) {
    if (watched == CB_Year && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        GuardedCall([this] { ButtonBackClick(); });
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool TEditReportForm::handleGridKey(QKeyEvent *event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        GuardedCall([this] { ButtonBackClick(); });
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        GuardedCall([this] { GridEnter(); });
        return true;
    case Qt::Key_Left: {
        // Column 2 of the grid, counting the record indicator as column 0,
        // is the leftmost the cursor reaches: on the table level the name
        // column, the row code staying fixed at the left.
        DataSetModel *model = DBGrid1->dataSetModel();
        const QModelIndex cur = DBGrid1->currentIndex();
        if (!model || !cur.isValid())
            return false;
        int shown = 0;
        for (int c = 0; c < model->columnCount(); ++c) {
            if (!model->columns().at(c).visible)
                continue;
            if (++shown == 2)
                return cur.column() == c;
        }
        return false;
    }
    default:
        return false;
    }
}

void TEditReportForm::GridEnter() {
    if (m_level == 2 || m_level == 3)
        DBGrid1DblClick();
    else if (DS_TAB.Active())
        RowAutoCalc();
}

// ---------------------------------------------------------------- levels

void TEditReportForm::FillYears() {
    const QSignalBlocker block(CB_Year);
    CB_Year->clear();
    CB_Year->addItems(periods::GetPeriodList(appState().WorkYear));
    CB_Year->setCurrentIndex(CB_Year->count() - 1);
}

void TEditReportForm::ResetView() {
    returnToYearLevel();
    SelectYear();
    showYearPanels();
}

void TEditReportForm::ResetAfterError() {
    const QString chosen = CB_Year->currentText();
    returnToYearLevel();
    // The box keeps showing the year chosen, so that choosing any year,
    // the latest one too, is a change that lists it.
    const int index = CB_Year->findText(chosen);
    if (index >= 0) {
        const QSignalBlocker block(CB_Year);
        CB_Year->setCurrentIndex(index);
    }
    showYearPanels();
}

void TEditReportForm::returnToYearLevel() {
    DBGrid1->hide();
    m_frozen->setColumn(-1);
    m_level = 1;
    m_tableName.clear();
    ButtonSave->setChecked(false);
    ButtonSave->setEnabled(false);
    ButtonDeleteRep->setEnabled(false);
    ToolButtonAutoValue->hide();
    FillYears();
}

void TEditReportForm::showYearPanels() {
    setPanel(0, QStringLiteral(" ") + CB_Year->currentText());
    setPanel(1, QString());
    setPanel(2, QString());
    GroupBox2->setTitle(PanelText(0));
}

void TEditReportForm::CB_YearChange() {
    // Another year closes what was open of the previous one, writing a change
    // still pending in the report table first.
    if (DS_TAB.Active())
        closeReportTable();
    ButtonSave->setChecked(false);
    ButtonSave->setEnabled(false);
    DS_REPS.Close();
    SelectYear();
}

bool TEditReportForm::PeriodExists() {
    return store::fileExistsCaseInsensitive(paths::GetWedDir(), QStringLiteral("FORM") +
                                                                    QString::number(m_year) +
                                                                    QStringLiteral(".DBF"));
}

void TEditReportForm::SelectYear() {
    ButtonBack->setEnabled(false);
    ButtonPrint->setEnabled(false);
    ButtonPrintTitle->setEnabled(false);
    ButtonDeleteRep->setEnabled(false);
    ToolButtonAutoValue->hide();
    showYearPanels();

    m_year = CB_Year->currentText().left(4).toInt() + 1;
    if (!PeriodExists()) {
        ResetAfterError();
        msg::show(QStringLiteral("Сообщение"),
                  QStringLiteral("Нет БД FORM") + QString::number(m_year) +
                      QStringLiteral(".DBF. \r\rНе открыт период. \r\rСделайте \"Начало нового "
                                     "периода\"."));
        return;
    }
    ShowOrganisations();
}

void TEditReportForm::ShowOrganisations() {
    m_orgCode = 0;
    if (!DM().Connect(1, paths::GetProgramDir()))
        return;
    m_orgsWithData = DM().ListOrgsWithFile(QString::number(m_year));
    if (!store::fileExistsCaseInsensitive(paths::GetProgramDir(), QStringLiteral("SCHOOL.DBF")))
        return;
    DS_SCHOOL.Close();
    DS_SCHOOL.setConnection(&DM().ADOConMain);
    DS_SCHOOL.setCommandText(QStringLiteral("select * from SCHOOL"));
    DS_SCHOOL.Open();
    showModel(&m_schoolModel);
    setupListColumns(m_schoolModel, {QStringLiteral("KOD"), QStringLiteral("NAME")},
                     {QStringLiteral("Код"), QStringLiteral("Наименование")});
    DBGrid1->SetTitleHeight(17);
    moveToRecord(DS_SCHOOL, m_orgListPos);
    m_repListPos = 1;
    m_level = 2;
    DBGrid1->setFocus();
}

void TEditReportForm::DBGrid1DblClick() {
    if (m_level == 2) {
        if (!DS_SCHOOL.Active() || DS_SCHOOL.IsEmpty())
            return;
        m_orgCode = DS_SCHOOL.FieldByName(QStringLiteral("KOD")).AsInteger();
        EnterOrganisation();
    } else if (m_level == 3) {
        if (!DS_REPS.Active() || DS_REPS.IsEmpty())
            return;
        OpenReport();
    }
}

void TEditReportForm::EnterOrganisation() {
    ButtonBack->setEnabled(true);
    ButtonPrint->setEnabled(false);
    ButtonPrintTitle->setEnabled(false);
    ButtonDeleteRep->setEnabled(false);
    ToolButtonAutoValue->hide();
    setPanel(1, QStringLiteral(" ") + DS_SCHOOL.FieldByName(QStringLiteral("NAME")).AsString());
    setPanel(2, QString());
    GroupBox2->setTitle(PanelText(1));
    ShowReports();
}

void TEditReportForm::ShowReports() {
    if (!DM().Connect(2, paths::GetWedDir()))
        return;
    m_reportsWithData =
        DM().ListReportsWithData(QString::number(m_year), QString::number(m_orgCode));
    if (m_level == 2)
        m_orgListPos = DS_SCHOOL.RecNo();
    const QString catalogue = QStringLiteral("OTHE") + QString::number(m_year);
    if (!store::fileExistsCaseInsensitive(paths::GetWedDir(), catalogue + QStringLiteral(".DBF")))
        return;
    DS_REPS.Close();
    DS_REPS.setConnection(&DM().ADOConWED);
    DS_REPS.setCommandText(QStringLiteral("select * from ") + catalogue +
                           QStringLiteral(" where KOD > 1"));
    DS_REPS.Open();
    showModel(&m_repsModel);
    setupListColumns(m_repsModel,
                     {QStringLiteral("KOD"), QStringLiteral("NAME"), QStringLiteral("FORMA"),
                      QStringLiteral("FAILTEXT")},
                     {QStringLiteral("Код"), QStringLiteral("Наименование"),
                      QStringLiteral("Форма"), QStringLiteral("Файл печатного листа")});
    DBGrid1->SetTitleHeight(17);
    moveToRecord(DS_REPS, m_repListPos);
    m_level = 3;
    DBGrid1->setFocus();
}

void TEditReportForm::OpenReport() {
    if (!DM().ADOConWED.Connected() && !DM().Connect(2, paths::GetWedDir()))
        return;
    const QString fail = DS_REPS.FieldByName(QStringLiteral("FAIL")).AsString();
    const int group = DS_REPS.FieldByName(QStringLiteral("GRUPPA")).AsInteger();
    setPanel(2, QStringLiteral(" ") + DS_REPS.FieldByName(QStringLiteral("NAME")).AsString());
    GroupBox2->setTitle(PanelText(1) + QStringLiteral(":  ") + PanelText(2));

    const std::optional<QString> base = CheckedReportBaseName(fail);
    if (!base)
        return;
    const QString folder = orgDataDir();
    // The folder is made before the question, whatever the answer.
    EnsureOrgDataDir(folder);
    if (ReportTableExists(folder, *base, m_year)) {
        OpenReportTable();
        return;
    }
    if (!MessageForm().Ask())
        return;
    // A blank whose names cannot hold the age captions makes no table at all.
    const QString blank = ReportBlankPath(paths::GetWedDir(), *base);
    if (QFileInfo(blank).isFile()) {
        const QString misfit = AgeRowsMisfit(blank, group, m_year);
        if (!misfit.isEmpty()) {
            msg::show(QStringLiteral("Ошибка"), misfit, msg::Icon::Warning);
            return;
        }
    }
    switch (CreateReportTable(paths::GetWedDir(), folder, *base, m_year)) {
    case CreateReportResult::Created:
        break;
    case CreateReportResult::Existed:
        // Made by another copy since the question: opened as it stands.
        OpenReportTable();
        return;
    default:
        return;
    }
    const QString table = ReportTablePath(folder, *base, m_year);
    try {
        FillAgeRows(table, group, m_year);
    } catch (...) {
        // Never leave a half-made table: it would pass for a report.
        QFile::remove(table);
        throw;
    }
    OpenReportTable();
}

void TEditReportForm::OpenReportTable() {
    m_repListPos = DS_REPS.RecNo();
    const QString catalogueFile =
        QStringLiteral("OTHE") + QString::number(m_year) + QStringLiteral(".DBF");
    const bool catalogueFound = store::fileExistsCaseInsensitive(paths::GetWedDir(), catalogueFile);
    QString base;
    if (catalogueFound) {
        base = ReportBaseName(DS_REPS.FieldByName(QStringLiteral("FAIL")).AsString())
                   .value_or(QString());
    } else {
        msg::show(QStringLiteral("Сообщение"), QStringLiteral("Файл 'OTHE") +
                                                   QString::number(m_year) +
                                                   QStringLiteral(".DBF' не найден!"));
    }
    const QString tableName = ReportTableName(base, m_year);
    const QString folder = orgDataDir();

    QString notFilled;
    {
        WaitCursor waiting;
        notFilled = DispatchFillIn(folder, tableName, m_year);
    }
    if (!notFilled.isEmpty())
        msg::show(QStringLiteral("Ошибка"), notFilled, msg::Icon::Warning);

    if (base.isEmpty() || !ReportTableExists(folder, base, m_year)) {
        // The table has gone since the list was shown: stay on the list.
        msg::show(QStringLiteral("Сообщение"), QStringLiteral("Не найдена директория БД!"));
        return;
    }
    UpdateAutoValueButton(base);
    if (!::OpenReportTable(DS_TAB, folder, tableName))
        return;
    m_tableName = tableName;
    m_level = 4;
    showModel(&m_tabModel);
    ButtonSave->setEnabled(true);
    ButtonPrint->setEnabled(true);
    ButtonPrintTitle->setEnabled(true);
    ButtonDeleteRep->setEnabled(true);
    m_tabModel.setReadOnly(false);

    const int group = ReportGroup();
    if (group == 46 || group == 48) {
        FillOrganisationName(DS_TAB, DS_SCHOOL.FieldByName(QStringLiteral("NAME")).AsString());
        m_tabModel.reload();
    }
    DBGrid1->SetTitleHeight(34);
    if (catalogueFound)
        ApplyTableColumns();
    m_frozen->setColumn(m_tabModel.columnOfField(QStringLiteral("KODSTR")));
    DS_TAB.First();
    RowAutoCalc();
    DBGrid1->setFocus();
}

void TEditReportForm::ApplyTableColumns() {
    QStringList fields;
    for (const store::FieldDef &d : DS_TAB.FieldDefs())
        fields << d.name.toUpper();
    QFont font = DBGrid1->font();
    const QVector<ReportColumn> layout =
        ReportColumnLayout(fields, ReadCatalogueColumns(DS_REPS), font);
    ApplyReportColumns(m_tabModel, layout);
    DBGrid1->applyColumns();
}

void TEditReportForm::UpdateAutoValueButton(const QString &BaseName) {
    ToolButtonAutoValue->setVisible(AutoValueButtonShown(BaseName));
}

// ---------------------------------------------------------------- editing

int TEditReportForm::ReportGroup() {
    if (!DS_REPS.Active() || DS_REPS.IsEmpty())
        return 0;
    return DS_REPS.FieldByName(QStringLiteral("GRUPPA")).AsInteger();
}

void TEditReportForm::RowAutoCalc() {
    if (!DS_TAB.Active())
        return;
    const int group = ReportGroup();
    if (!GroupHasRowTotals(group))
        return;
    const QModelIndex cur = DBGrid1->currentIndex();
    const CalcResult result =
        ::RowAutoCalc(DS_TAB, group, [this](const QString &field) { return columnCaption(field); });
    if (group == 47 || group == 51)
        m_tabModel.reload();
    else
        m_tabModel.refreshCurrentRecord();
    if (cur.isValid() && m_tabModel.currentRow() >= 0)
        DBGrid1->setCurrentIndex(m_tabModel.index(m_tabModel.currentRow(), cur.column()));
    updateSaveButton();
    if (!result.ok)
        msg::show(QStringLiteral("Ошибка"), result.error, msg::Icon::Warning);
}

QString TEditReportForm::columnCaption(const QString &Field) const {
    const int c = m_tabModel.columnOfField(Field);
    if (c < 0 || !m_tabModel.columns().at(c).visible)
        return QString();
    return m_tabModel.headerData(c, Qt::Horizontal).toString().trimmed();
}

QString TEditReportForm::RowTotalsCheck(const QModelIndex &Cell, const QString &Value) {
    const int group = ReportGroup();
    if (!DS_TAB.Active())
        return {};
    auto column = [this](const QString &field) { return m_tabModel.columnOfField(field); };
    const ShownCell shown = [&](int row, const QString &field) {
        const int c = column(field);
        return c < 0 ? QString() : m_tabModel.data(m_tabModel.index(row, c)).toString();
    };
    auto caption = [this](const QString &field) { return columnCaption(field); };
    const QString field = m_tabModel.fieldOfColumn(Cell.column());
    const QString misfit = RowTotalsMisfit(group, DS_TAB.FieldDefs(), m_tabModel.rowCount(),
                                           Cell.row(), field, Value, shown, caption);
    if (!misfit.isEmpty())
        return misfit;
    // The figure also reaches the derived cells of the organisation's other
    // reports, which are worked out from it when those are opened.
    TypedFigure figure;
    figure.Folder = orgDataDir();
    figure.WedDir = paths::GetWedDir();
    figure.Year = m_year;
    figure.BaseName = baseName();
    figure.Group = group;
    figure.Fields = DS_TAB.FieldDefs();
    figure.Row = Cell.row();
    figure.Field = field;
    figure.Value = Value;
    try {
        return DerivedCellsMisfit(figure, shown, caption);
    } catch (const store::StoreError &) {
        return {}; // a report that cannot be read is not filled from the figure either
    }
}

void TEditReportForm::FigureTyped(const QModelIndex &Cell, const QString &Value) {
    if (m_level != 4 || !DS_TAB.Active() || Cell.row() != m_tabModel.currentRow())
        return;
    if (DS_TAB.State() == DataSetState::Browse)
        DS_TAB.Edit();
    if (DS_TAB.State() != DataSetState::Edit)
        return;
    // The figure rests on what this copy showed in its cell: typed over a
    // figure another copy saved meanwhile, the same figure too, it is
    // refused and that figure shown.
    const QString field = m_tabModel.fieldOfColumn(Cell.column());
    DS_TAB.RestOn(field);
    // The row's totals are checked again on the row as the file holds it
    // when the figure is written: another copy may have saved figures that
    // count in them since this one showed the row.
    const int group = ReportGroup();
    if (!GroupHasRowTotals(group))
        return;
    DS_TAB.CheckOnPost([this, group, fields = DS_TAB.FieldDefs(), rows = m_tabModel.rowCount(),
                        row = Cell.row(), field, Value](const TADODataSet::SavedCell &saved) {
        return RowTotalsMisfit(
            group, fields, rows, row, field, Value,
            [&saved](int r, const QString &f) { return saved(r + 1, f); },
            [this](const QString &f) { return columnCaption(f); });
    });
}

void TEditReportForm::ButtonSaveClick() {
    // The button takes no focus: a value still in the cell editor is written first.
    if (!commitOpenEditor())
        return;
    if (DS_TAB.Active() && DS_TAB.State() == DataSetState::Edit)
        m_tabModel.postPending();
    updateSaveButton();
}

// ---------------------------------------------------------------- buttons

void TEditReportForm::ButtonExitClick() {
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
        sub->close();
    else
        close();
}

void TEditReportForm::ButtonBackClick() {
    if (m_level == 4 && !commitOpenEditor())
        return; // the value refused stays in its cell editor
    ButtonSave->setChecked(false);
    ButtonSave->setEnabled(false);
    if (m_level == 4) {
        closeReportTable();
        EnterOrganisation();
    } else if (m_level == 3) {
        DS_REPS.Close();
        SelectYear();
    }
}

void TEditReportForm::ButtonDeleteRepClick() {
    if (m_level != 4)
        return;
    if (msg::show(QStringLiteral("Подтверждение удаления"),
                  QStringLiteral("Вы действительно хотите удалить данный отчет?"),
                  msg::Icon::Question, msg::Buttons::YesNo) != msg::Answer::Yes)
        return;
    DeleteReportFile();
}

void TEditReportForm::DeleteReportFile() {
    const QString folder = orgDataDir();
    const QString file = m_tableName + QStringLiteral(".DBF");
    if (!store::fileExistsCaseInsensitive(folder, file) && !QFileInfo::exists(folder + file)) {
        msg::show(QStringLiteral("Ошибка"), QStringLiteral("Не удалось удалить данный отчет!"),
                  msg::Icon::Warning);
        return;
    }
    DS_TAB.Close();
    const bool deleted = ::DeleteReportFile(folder, m_tableName);
    if (!deleted || store::fileExistsCaseInsensitive(folder, file))
        msg::show(QStringLiteral("Ошибка"), QStringLiteral("Не удалось удалить данный отчет!"),
                  msg::Icon::Warning);
    ButtonBackClick();
}

void TEditReportForm::ButtonPrintClick() {
    if (m_level != 4 || !DS_TAB.Active())
        return;
    if (!commitOpenEditor())
        return;
    RowAutoCalc();
    if (!postPendingEdit())
        return;
    const int yy = (CB_Year->currentText().left(4).toInt() + 1) % 100;
    PrintReport(DS_TAB, ReportKodByName(DS_REPS.FieldByName(QStringLiteral("NAME")).AsString()), yy,
                DS_SCHOOL.FieldByName(QStringLiteral("NAME")).AsString());
}

void TEditReportForm::ButtonPrintTitleClick() {
    if (m_level != 4 || !DS_TAB.Active())
        return;
    const int yy = (CB_Year->currentText().left(4).toInt() + 1) % 100;
    const QString title = DS_SCHOOL.FieldByName(QStringLiteral("NAME")).AsString();
    PrintReport(DS_TAB, 0, yy, title);
    PrintReport(DS_TAB, -1, yy, title);
}

int TEditReportForm::ReportKodByName(const QString &Name) {
    if (!DM().ADOConWED.Connected() && !DM().Connect(2, paths::GetWedDir()))
        return 1;
    TADODataSet ds;
    ds.setConnection(&DM().ADOConWED);
    ds.setCommandText(QStringLiteral("select * from OTHE") + QString::number(m_year));
    ds.Open();
    int kod = 1;
    for (ds.First(); !ds.Eof(); ds.Next())
        if (ds.FieldByName(QStringLiteral("NAME")).AsString() == Name)
            kod = ds.FieldByName(QStringLiteral("KOD")).AsInteger();
    ds.Close();
    return kod;
}
