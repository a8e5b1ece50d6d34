#include "books/BooksUnit.h"

#include "books/FindUnit.h"
#include "books/OrganisationBook.h"
#include "books/SchoolTables.h"
#include "books/UnitEditOrg.h"
#include "printing/PrintUnit.h"
#include "shell/AppState.h"
#include "shell/GuardedCall.h"
#include "shell/Messages.h"
#include "shell/MultilineGrid_Old.h"
#include "shell/Paths.h"
#include "shell/UnitDM.h"
#include "shell/YearUnit.h"
#include "ui_BooksUnit.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolButton>

using store::DataSetState;
using store::TADODataSet;

std::function<bool()> TBooksForm::AskPrint;

namespace {

// Background of the current record's row ($EE8866 as the platform writes
// colours: blue EE, green 88, red 66).
const QColor kCurrentRowColour(0x66, 0x88, 0xEE);

} // namespace

// Draws the current record's row highlighted, and checks a value typed into
// a cell before the model writes it: a refused value is reported and not
// written; after Enter or Tab the editor stays open with the text typed.
class TBooksForm::GridDelegate : public QStyledItemDelegate {
public:
    GridDelegate(TBooksForm *form) : QStyledItemDelegate(form), m_form(form) {}

    QStyleOptionViewItem option(const QModelIndex &index) const {
        QStyleOptionViewItem o;
        o.initFrom(m_form->DBGrid1);
        o.font = m_form->DBGrid1->font();
        initStyleOption(&o, index);
        return o;
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override {
        auto *line = qobject_cast<QLineEdit *>(editor);
        if (!line) {
            QStyledItemDelegate::setModelData(editor, model, index);
            return;
        }
        if (m_refusing || line->text() == model->data(index, Qt::EditRole).toString())
            return;
        if (!refused(line, index))
            model->setData(index, line->text(), Qt::EditRole);
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.row() + 1 != m_form->CurRecNo)
            return;
        option->backgroundBrush = kCurrentRowColour;
        option->palette.setColor(QPalette::Text, option->palette.color(QPalette::HighlightedText));
        QFont f = option->font;
        f.setBold(true);
        if (f.pointSizeF() > 0)
            f.setPointSizeF(f.pointSizeF() + 1);
        else
            f.setPixelSize(f.pixelSize() + 1);
        option->font = f;
    }

    bool eventFilter(QObject *object, QEvent *event) override {
        auto *line = qobject_cast<QLineEdit *>(object);
        if (line && event->type() == QEvent::FocusOut && m_refusing)
            return true; // the message took the focus: the editor stays
        if (line && event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab ||
                key == Qt::Key_Backtab) {
                const QModelIndex index = m_form->DBGrid1->currentIndex();
                if (index.isValid() && line->text() != index.data(Qt::EditRole).toString() &&
                    refused(line, index)) {
                    line->setFocus();
                    return true;
                }
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    // Reports a value that cannot be written; true when refused.
    bool refused(QLineEdit *line, const QModelIndex &index) const {
        const QString error = m_form->checkCellValue(index, line->text());
        if (error.isEmpty())
            return false;
        if (!m_form->m_quiet) {
            m_refusing = true;
            msg::show(QStringLiteral("Ошибка"), error, msg::Icon::Warning);
            m_refusing = false;
        }
        return true;
    }

    TBooksForm *m_form;
    mutable bool m_refusing = false;
};

TBooksForm::TBooksForm(QWidget *parent) : QWidget(parent), ui(new Ui::TBooksForm) {
    ui->setupUi(this);
    ButtonExit = ui->ButtonExit;
    ButtonPrint = ui->ButtonPrint;
    ToolButton2 = ui->ToolButton2;
    ButtonFind = ui->ButtonFind;
    ButtonNew = ui->ButtonNew;
    ButtonEdit = ui->ButtonEdit;
    ButtonDelete = ui->ButtonDelete;
    ButtonOrgs = ui->ButtonOrgs;
    ButtonReports = ui->ButtonReports;
    GroupBox1 = ui->GroupBox1;
    GroupBox2 = ui->GroupBox2;
    DBGrid1 = ui->DBGrid1;
    setAttribute(Qt::WA_DeleteOnClose);

    QStyle *st = style();
    ButtonExit->setIcon(st->standardIcon(QStyle::SP_DialogCloseButton));
    ButtonPrint->setIcon(st->standardIcon(QStyle::SP_FileIcon));
    ButtonFind->setIcon(st->standardIcon(QStyle::SP_FileDialogContentsView));
    ButtonNew->setIcon(st->standardIcon(QStyle::SP_FileDialogNewFolder));
    ButtonEdit->setIcon(st->standardIcon(QStyle::SP_FileDialogDetailedView));
    ButtonDelete->setIcon(st->standardIcon(QStyle::SP_TrashIcon));

    // Cells in Courier New 11 pixels high, titles in the same font bold.
    QFont font(QStringLiteral("Courier New"));
    font.setPixelSize(11);
    DBGrid1->setFont(font);
    QFont bold = font;
    bold.setBold(true);
    DBGrid1->titleHeader()->setFont(bold);

    m_delegate = new GridDelegate(this);
    DBGrid1->setItemDelegate(m_delegate);
    for (DataSetModel *m : {&m_orgModel, &m_repModel})
        m->onError = [this](const QString &text) {
            if (!m_quiet)
                msg::show(QStringLiteral("Ошибка"), text, msg::Icon::Warning);
        };
    // The handlers of the datasets come before the models, which chain them.
    DS1.onScroll = [this] { DSAfterScroll(DS1); };
    DS2.onScroll = [this] { DSAfterScroll(DS2); };
    DS1.beforeEdit = [this] {
        const int kod = DS1.FieldIndex(QStringLiteral("KOD"));
        m_editOldKod = kod >= 0 ? DS1.Fields(kod).AsInteger() : 0;
    };
    m_orgModel.setDataSet(&DS1);
    m_orgModel.setPostOnEdit(false); // the grid posts when the row changes
    m_repModel.setDataSet(&DS2);
    m_repModel.setReadOnly(true);

    auto on = [this](QAbstractButton *b, void (TBooksForm::*handler)()) {
        connect(b, &QAbstractButton::clicked, this,
                [this, handler] { GuardedCall([this, handler] { (this->*handler)(); }); });
    };
    on(ButtonExit, &TBooksForm::ButtonExitClick);
    on(ButtonPrint, &TBooksForm::ButtonPrintClick);
    on(ButtonFind, &TBooksForm::ButtonFindClick);
    on(ButtonNew, &TBooksForm::ButtonNewClick);
    on(ButtonEdit, &TBooksForm::ButtonEditClick);
    on(ButtonDelete, &TBooksForm::ButtonDeleteClick);
    on(ButtonOrgs, &TBooksForm::ButtonOrgsClick);
    on(ButtonReports, &TBooksForm::ButtonReportsClick);
    ResetView();
}

TBooksForm::~TBooksForm() {
    // The program may end without closing the window first: an edit still
    // pending in the grid is written all the same.
    m_quiet = true;
    try {
        postPendingEdit(true);
    } catch (...) {
    }
    DS1.beforeEdit = nullptr;
    m_orgModel.setDataSet(nullptr);
    m_repModel.setDataSet(nullptr);
    DS1.onScroll = nullptr;
    DS2.onScroll = nullptr;
    try {
        DS1.Close();
        DS2.Close();
    } catch (...) {
    }
}

// ---------------------------------------------------------------- helpers

DataSetModel *TBooksForm::GridModel() const {
    return DBGrid1->dataSetModel();
}

QStyleOptionViewItem TBooksForm::CellOption(const QModelIndex &index) const {
    return m_delegate->option(index);
}

TFindForm &TBooksForm::findForm() {
    if (FindForm)
        return *FindForm;
    if (!m_ownFind)
        m_ownFind = new TFindForm(this);
    return *m_ownFind;
}

TFormEditOrg &TBooksForm::editForm() {
    if (FormEditOrg)
        return *FormEditOrg;
    if (!m_ownEdit)
        m_ownEdit = new TFormEditOrg(this);
    return *m_ownEdit;
}

void TBooksForm::showModel(DataSetModel *model) {
    if (DBGrid1->dataSetModel() != model)
        DBGrid1->setDataSetModel(model);
    DBGrid1->show();
}

void TBooksForm::DSAfterScroll(TADODataSet &DataSet) {
    if (!DataSet.Active())
        return;
    CurRecNo = DataSet.RecNo();
    DBGrid1->viewport()->update();
}

bool TBooksForm::postPendingEdit(bool quiet) {
    // Text still in a cell editor is checked and written to the record first;
    // a refused value keeps its editor open.
    for (QLineEdit *editor : DBGrid1->viewport()->findChildren<QLineEdit *>()) {
        if (editor->isHidden())
            continue;
        const QModelIndex index = DBGrid1->currentIndex();
        if (index.isValid() && editor->text() != index.data(Qt::EditRole).toString()) {
            const QString error = checkCellValue(index, editor->text());
            if (!error.isEmpty()) {
                if (!quiet)
                    msg::show(QStringLiteral("Ошибка"), error, msg::Icon::Warning);
                return false;
            }
        }
        emit m_delegate->commitData(editor);
        emit m_delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
    if (!DS1.Active())
        return true;
    const DataSetState state = DS1.State();
    if (state != DataSetState::Edit && state != DataSetState::Insert)
        return true;
    return m_orgModel.postPending();
}

QString TBooksForm::checkCellValue(const QModelIndex &index, const QString &text) {
    if (index.model() != &m_orgModel || !DS1.Active())
        return {};
    const QString field = m_orgModel.fieldOfColumn(index.column());
    const int fi = DS1.FieldIndex(field);
    if (fi < 0)
        return {};
    QString error = CheckOrganisationValue(DS1.FieldDefs().at(fi), text);
    if (error.isEmpty() && field.compare(QLatin1String("KOD"), Qt::CaseInsensitive) == 0) {
        // The code the record has in the file: the one before its edit began.
        const bool editing =
            DS1.State() == DataSetState::Edit && index.row() == m_orgModel.currentRow();
        const int oldCode = editing ? m_editOldKod : index.data(Qt::EditRole).toInt();
        error = CheckCodeChange(*DS1.connection(), oldCode, text, paths::GetDbfDir());
    }
    return error;
}

// ---------------------------------------------------------------- window events

void TBooksForm::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    GuardedCall([this] {
        CurRecNo = 1;
        ResetView();
        if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
            sub->setWindowState(sub->windowState() | Qt::WindowMaximized);
    });
}

void TBooksForm::closeEvent(QCloseEvent *event) {
    bool posted = false;
    GuardedCall([this, &posted] { posted = postPendingEdit(); });
    if (!posted) {
        // Nothing is dropped: the window stays with the edit pending.
        event->ignore();
        return;
    }
    GuardedCall([this] {
        DS1.Close();
        DS2.Close();
    });
    event->accept();
}

// ---------------------------------------------------------------- books

void TBooksForm::ResetView() {
    SetEditButtonsVisible(false);
    DBGrid1->hide();
    GroupBox2->setTitle(QString());
    m_mode = 0;
}

void TBooksForm::SetEditButtonsVisible(bool Visible) {
    for (QWidget *w : {static_cast<QWidget *>(ButtonFind), static_cast<QWidget *>(ButtonNew),
                       static_cast<QWidget *>(ButtonEdit), static_cast<QWidget *>(ButtonPrint),
                       static_cast<QWidget *>(ButtonDelete), static_cast<QWidget *>(ToolButton2)})
        w->setVisible(Visible);
}

void TBooksForm::ButtonOrgsClick() {
    ShowBook(1);
}

void TBooksForm::ButtonReportsClick() {
    ShowBook(2);
}

void TBooksForm::ShowBook(int Mode) {
    if (!postPendingEdit())
        return;
    ResetView();
    if (Mode == 1) {
        DBGrid1->show();
        LoadOrganisations();
    } else if (Mode == 2) {
        ReportYear = AskYear() + 1;
        DBGrid1->show();
        LoadReports();
    }
}

int TBooksForm::AskYear() {
    if (!YearForm)
        return appState().WorkYear - 1;
    msg::exec(*YearForm);
    return YearForm->Year;
}

void TBooksForm::LoadOrganisations() {
    const QString folder = paths::GetProgramDir();
    if (!store::fileExistsCaseInsensitive(folder, QStringLiteral("SCHOOL.DBF"))) {
        ResetView();
        msg::show(QStringLiteral("Сообщение"), QStringLiteral("Файл 'SCHOOL.DBF' не найден!"));
        return;
    }
    GroupBox2->setTitle(QStringLiteral("Организации"));
    if (!openBook(1, folder, QStringLiteral("select * from SCHOOL")))
        return;
    SetEditButtonsVisible(true);
}

void TBooksForm::LoadReports() {
    SetEditButtonsVisible(false);
    const QString table = QStringLiteral("OTHE%1").arg(ReportYear, 4, 10, QLatin1Char('0'));
    const QString wed = paths::GetWedDir();
    if (!store::fileExistsCaseInsensitive(wed, table + QStringLiteral(".DBF"))) {
        ResetView();
        msg::show(QStringLiteral("Сообщение"),
                  QStringLiteral("В базе нет данных по этому году! (файл OTHE") +
                      QString::number(ReportYear) + QStringLiteral(".DBF") +
                      QStringLiteral(" не найден)"));
        return;
    }
    GroupBox2->setTitle(QStringLiteral("%1 / %2: Отчеты").arg(ReportYear - 1).arg(ReportYear));
    openBook(2, wed, QStringLiteral("select * from ") + table);
}

bool TBooksForm::openBook(int Mode, const QString &Folder, const QString &Command) {
    // Mode 1 reads through the program-folder connection, mode 2 through
    // the period's; each is connected when it is not yet.
    store::TADOConnection &connection = Mode == 1 ? DM().ADOConMain : DM().ADOConWED;
    TADODataSet &ds = Mode == 1 ? DS1 : DS2;
    if (!connection.Connected() && !DM().Connect(Mode, Folder)) {
        ResetView();
        return false;
    }
    ds.Close();
    ds.setConnection(&connection);
    ds.setCommandText(Command);
    // The code names an organisation's data folder: each write checks it
    // against the book as the file holds it then, so that two copies of the
    // program never give one code twice, and a new organisation goes above
    // the data folders that stand then, so that it never takes over the
    // reports of one that another copy added and deleted meanwhile.
    ds.setNumberField(Mode == 1 ? QStringLiteral("KOD") : QString());
    ds.setNumbersOutside(
        Mode == 1 ? std::function<long long()>([] { return MaxOrgFolderCode(paths::GetDbfDir()); })
                  : nullptr);
    try {
        ds.Open();
    } catch (...) {
        ResetView();
        throw;
    }
    showModel(Mode == 1 ? &m_orgModel : &m_repModel);
    SetupColumns(Mode);
    ds.First();
    CurRecNo = ds.IsEmpty() ? 1 : ds.RecNo();
    m_mode = Mode;
    DBGrid1->setFocus();
    return true;
}

void TBooksForm::SetupColumns(int Mode) {
    DataSetModel &model = Mode == 1 ? m_orgModel : m_repModel;
    TADODataSet &ds = Mode == 1 ? DS1 : DS2;
    QStringList fields;
    for (const store::FieldDef &d : ds.FieldDefs())
        fields.append(d.name);
    const QVector<BookColumn> layout = Mode == 1
                                           ? OrganisationColumns(fields, appState().ProgramKind)
                                           : ReportCatalogueColumns(fields);
    QFont bold = DBGrid1->font();
    bold.setBold(true);
    const QFontMetrics boldMetrics(bold);
    QVector<DataSetModel::Column> columns;
    for (const BookColumn &c : layout) {
        DataSetModel::Column col;
        col.field = c.field;
        col.title = c.title;
        col.visible = c.visible;
        col.readOnly = Mode == 2;
        col.titleAlignment = c.widthText.isEmpty() ? Qt::AlignCenter : Qt::AlignLeft;
        col.width = c.widthText.isEmpty() ? -1 : boldMetrics.horizontalAdvance(c.widthText);
        columns.append(col);
    }
    model.setColumns(columns);
    model.setReadOnly(Mode == 2);
    DBGrid1->SetTitleHeight(Mode == 1 ? 68 : 51);
    if (Mode == 2) {
        ds.setIndexFieldNames(QStringLiteral("KOD"));
        model.reload();
    }
    DBGrid1->applyColumns();
}

int TBooksForm::GetMaxKod() {
    return ::GetMaxKod(DM().ADOConMain);
}

// ---------------------------------------------------------------- organisations

bool TBooksForm::runEditDialog() {
    TFormEditOrg &dialog = editForm();
    struct Detach {
        TFormEditOrg &d;
        ~Detach() { d.setDataSource(nullptr); }
    } detach{dialog};
    bool posted = false;
    for (;;) {
        if (msg::exec(dialog) != QDialog::Accepted) {
            DS1.Cancel();
            break;
        }
        try {
            DS1.Post();
            posted = true;
            break;
        } catch (const store::StoreError &e) {
            // The record stays as typed: the dialog is shown again. When
            // another copy of the program saved one of its fields meanwhile,
            // the edit has ended on the values saved: the dialog shows them,
            // in a new edit, for the user to enter the value again.
            msg::show(QStringLiteral("Ошибка"), e.message(), msg::Icon::Warning);
            if (DS1.State() == store::DataSetState::Browse && !DS1.Deleted())
                DS1.Edit();
        }
    }
    m_orgModel.reload();
    if (!DS1.IsEmpty())
        CurRecNo = DS1.RecNo();
    return posted;
}

void TBooksForm::ButtonNewClick() {
    if (m_mode != 1 || !DS1.Active() || !postPendingEdit())
        return;
    DS1.Append();
    TFormEditOrg &dialog = editForm();
    dialog.setWindowTitle(dialog.CaptionNew);
    dialog.setDataSource(&DS1);
    dialog.BindFields();
    int code = 0;
    try {
        // Above every code of the book and every data folder, so that a new
        // organisation never takes over the reports of a deleted one.
        code = NextOrganisationCode(DM().ADOConMain, paths::GetDbfDir());
        DS1.FieldByName(QStringLiteral("KOD")).SetAsInteger(code);
    } catch (...) {
        dialog.setDataSource(nullptr);
        DS1.Cancel();
        throw;
    }
    if (!runEditDialog())
        return;
    // Another copy of the program may have written an organisation with the
    // code shown while the dialog was open, or left a data folder of that
    // code: the new one was then given the next code free when it was
    // saved, and the user is told which.
    const int given = DS1.FieldByName(QStringLiteral("KOD")).AsInteger();
    if (given != code)
        msg::show(QStringLiteral("Сообщение"),
                  CodeTakenMeanwhileText(DS1, code, given,
                                         DS1.FieldByName(QStringLiteral("NAME")).AsString(),
                                         paths::GetDbfDir()),
                  msg::Icon::Information);
}

void TBooksForm::ButtonEditClick() {
    if (m_mode != 1 || !DS1.Active() || DS1.IsEmpty() || !postPendingEdit())
        return;
    DS1.Edit();
    TFormEditOrg &dialog = editForm();
    dialog.setWindowTitle(dialog.CaptionEdit);
    dialog.setDataSource(&DS1);
    dialog.BindFields();
    runEditDialog();
}

void TBooksForm::ButtonDeleteClick() {
    if (m_mode != 1 || !DS1.Active() || DS1.IsEmpty() || !postPendingEdit())
        return;
    const QString name = DS1.FieldByName(QStringLiteral("NAME")).AsString();
    if (msg::show(QStringLiteral("Подтверждение"),
                  QStringLiteral("Вы действительно хотите удалить организацию\r") + name +
                      QStringLiteral(" ?"),
                  msg::Icon::Question, msg::Buttons::YesNo) != msg::Answer::Yes)
        return;
    DS1.Delete();
    m_orgModel.reload();
    CurRecNo = DS1.IsEmpty() ? 1 : DS1.RecNo();
    DBGrid1->viewport()->update();
}

void TBooksForm::ButtonFindClick() {
    TADODataSet &shown = m_mode == 2 ? DS2 : DS1;
    if (shown.Active())
        FindRecord();
}

void TBooksForm::FindRecord() {
    if (m_mode != 1 || !postPendingEdit())
        return;
    TFindForm &dialog = findForm();
    msg::exec(dialog);
    if (dialog.Cancelled)
        return;
    if (dialog.SearchMode == kSearchByName && dialog.FindText.isEmpty())
        return;
    const int found = FindOrganisationRecord(DS1, dialog.SearchMode, dialog.FindText);
    if (found > 0) {
        DS1.setRecNo(found);
        return;
    }
    // Nothing found: the current record stays where it was.
    const QString text =
        dialog.SearchMode == kSearchByCode
            ? QStringLiteral("Организация с кодом %1 не найдена.").arg(dialog.FindText.trimmed())
            : QStringLiteral("Организация, наименование которой начинается с \"%1\", не "
                             "найдена.")
                  .arg(dialog.FindText);
    msg::show(QStringLiteral("Поиск"), text, msg::Icon::Information);
}

void TBooksForm::ButtonPrintClick() {
    if (m_mode != 1 || !DS1.Active() || !postPendingEdit())
        return;
    if (AskPrint && !AskPrint())
        return;
    PrintOrganisationList(DS1);
}

void TBooksForm::ButtonExitClick() {
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
        sub->close();
    else
        close();
}
