#include "shell/DataSetModel.h"

#include "shell/Messages.h"
#include "store/ExceptionText.h"

#include <algorithm>

namespace {
// The mark of the current record in the indicator column.
const QString kCurrentMark = QString(QChar(0x25B8));
} // namespace

DataSetModel::DataSetModel(QObject *parent) : QAbstractTableModel(parent) {}

DataSetModel::~DataSetModel() {
    detach();
}

void DataSetModel::detach() {
    if (!m_ds)
        return;
    m_ds->onStateChange = m_prevStateChange;
    m_ds->onDataChange = m_prevDataChange;
    m_ds->onScroll = m_prevScroll;
    m_prevStateChange = nullptr;
    m_prevDataChange = nullptr;
    m_prevScroll = nullptr;
    m_ds = nullptr;
}

void DataSetModel::setDataSet(store::TADODataSet *dataSet) {
    if (dataSet == m_ds)
        return;
    detach();
    beginResetModel();
    m_ds = dataSet;
    m_rows.clear();
    m_columns.clear();
    m_fieldIndex.clear();
    m_fieldNames.clear();
    m_active = false;
    m_lastRow = -1;
    endResetModel();
    if (m_ds) {
        m_prevStateChange = m_ds->onStateChange;
        m_prevDataChange = m_ds->onDataChange;
        m_prevScroll = m_ds->onScroll;
        m_ds->onStateChange = [this] { handleStateChange(); };
        m_ds->onDataChange = [this] { handleDataChange(); };
        m_ds->onScroll = [this] { handleScroll(); };
    }
    sync();
    emit columnsChanged();
}

// ---------------------------------------------------------------- columns

void DataSetModel::setColumns(const QVector<Column> &columns) {
    beginResetModel();
    m_columns.clear();
    m_fieldIndex.clear();
    for (const Column &c : columns) {
        const int fi = m_fieldNames.indexOf(c.field.toUpper());
        if (fi < 0)
            continue;
        m_columns.append(c);
        m_fieldIndex.append(fi);
    }
    endResetModel();
    emit columnsChanged();
}

void DataSetModel::resetColumns() {
    QVector<Column> cols;
    for (const QString &name : std::as_const(m_fieldNames)) {
        Column c;
        c.field = name;
        c.title = name;
        cols.append(c);
    }
    setColumns(cols);
}

int DataSetModel::columnOfField(const QString &field) const {
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].field.compare(field, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString DataSetModel::fieldOfColumn(int column) const {
    return column >= 0 && column < m_columns.size() ? m_columns[column].field : QString();
}

void DataSetModel::setColumnTitle(int column, const QString &title) {
    if (column < 0 || column >= m_columns.size())
        return;
    m_columns[column].title = title;
    emit headerDataChanged(Qt::Horizontal, column, column);
    emit columnsChanged();
}

void DataSetModel::setColumnVisible(int column, bool visible) {
    if (column < 0 || column >= m_columns.size())
        return;
    m_columns[column].visible = visible;
    emit columnsChanged();
}

void DataSetModel::setColumnReadOnly(int column, bool readOnly) {
    if (column < 0 || column >= m_columns.size())
        return;
    m_columns[column].readOnly = readOnly;
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, column), index(rowCount() - 1, column));
}

void DataSetModel::setColumnWidth(int column, int width) {
    if (column < 0 || column >= m_columns.size())
        return;
    m_columns[column].width = width;
    emit columnsChanged();
}

void DataSetModel::setColumnColor(int column, const QColor &color) {
    if (column < 0 || column >= m_columns.size())
        return;
    m_columns[column].color = color;
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, column), index(rowCount() - 1, column));
}

void DataSetModel::setTitleAlignment(int column, Qt::Alignment alignment) {
    if (column < 0 || column >= m_columns.size())
        return;
    m_columns[column].titleAlignment = alignment;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

void DataSetModel::setAllTitleAlignment(Qt::Alignment alignment) {
    for (Column &c : m_columns)
        c.titleAlignment = alignment;
    if (!m_columns.isEmpty())
        emit headerDataChanged(Qt::Horizontal, 0, static_cast<int>(m_columns.size()) - 1);
}

void DataSetModel::moveColumn(int from, int to) {
    const int n = static_cast<int>(m_columns.size());
    if (from < 0 || from >= n || to < 0 || to >= n || from == to)
        return;
    QVector<Column> cols = m_columns;
    const Column c = cols.takeAt(from);
    cols.insert(to, c);
    setColumns(cols);
}

int DataSetModel::displayWidth(int column) const {
    const int fi = fieldIndexOfColumn(column);
    if (fi < 0 || !m_ds || !m_ds->Active())
        return 10;
    return m_ds->FieldDefs().at(fi).length;
}

void DataSetModel::setReadOnly(bool readOnly) {
    m_readOnly = readOnly;
    if (!m_rows.isEmpty() && !m_columns.isEmpty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

int DataSetModel::fieldIndexOfColumn(int column) const {
    return column >= 0 && column < m_fieldIndex.size() ? m_fieldIndex[column] : -1;
}

bool DataSetModel::isNumericField(int fieldIndex) const {
    if (!m_ds || !m_ds->Active() || fieldIndex < 0 || fieldIndex >= m_ds->FieldDefs().size())
        return false;
    const char t = m_ds->FieldDefs().at(fieldIndex).type;
    return t == 'N' || t == 'F';
}

// ---------------------------------------------------------------- following the dataset

void DataSetModel::handleStateChange() {
    if (m_internal)
        return;
    sync();
    if (m_prevStateChange)
        m_prevStateChange();
}

void DataSetModel::handleDataChange() {
    if (m_internal)
        return;
    refreshCurrentRecord();
    if (m_prevDataChange)
        m_prevDataChange();
}

void DataSetModel::handleScroll() {
    if (m_internal)
        return;
    sync();
    const int row = currentRow();
    if (row != m_lastRow) {
        const int lo = std::max(0, std::min(row, m_lastRow));
        const int hi = std::max(row, m_lastRow);
        m_lastRow = row;
        if (hi >= 0 && hi < rowCount())
            emit headerDataChanged(Qt::Vertical, lo, hi);
        emit currentRowChanged(row);
    }
    if (m_prevScroll)
        m_prevScroll();
}

void DataSetModel::sync() {
    const bool active = m_ds && m_ds->Active();
    if (!active) {
        if (m_active || !m_rows.isEmpty() || !m_columns.isEmpty()) {
            beginResetModel();
            m_rows.clear();
            m_columns.clear();
            m_fieldIndex.clear();
            m_fieldNames.clear();
            m_active = false;
            endResetModel();
            emit columnsChanged();
        }
        m_lastRow = -1;
        return;
    }
    if (!m_active) {
        // Freshly opened: default columns, every record read.
        QStringList names;
        for (const store::FieldDef &d : m_ds->FieldDefs())
            names.append(d.name.toUpper());
        beginResetModel();
        m_fieldNames = names;
        m_active = true;
        m_columns.clear();
        m_fieldIndex.clear();
        for (int i = 0; i < names.size(); ++i) {
            Column c;
            c.field = names[i];
            c.title = names[i];
            m_columns.append(c);
            m_fieldIndex.append(i);
        }
        readAll();
        endResetModel();
        emit columnsChanged();
        m_lastRow = currentRow();
        emit currentRowChanged(m_lastRow);
        return;
    }
    if (m_ds->State() == store::DataSetState::Insert)
        return; // a new record shows once it is posted
    if (m_ds->RecordCount() != m_rows.size()) {
        reload();
        return;
    }
    refreshCurrentRecord();
}

void DataSetModel::reload() {
    if (!m_ds || !m_ds->Active()) {
        sync();
        return;
    }
    beginResetModel();
    readAll();
    endResetModel();
    m_lastRow = currentRow();
    emit currentRowChanged(m_lastRow);
}

void DataSetModel::readAll() {
    m_rows.clear();
    if (m_ds->State() != store::DataSetState::Browse)
        return;
    const int n = m_ds->RecordCount();
    if (n <= 0)
        return;
    const int saved = m_ds->RecNo();
    m_internal = true;
    try {
        m_rows.reserve(n);
        m_ds->First();
        for (int i = 0; i < n; ++i) {
            m_rows.append(readCurrentRecord());
            if (i + 1 < n)
                m_ds->Next();
        }
        if (saved >= 1 && saved <= n)
            m_ds->setRecNo(saved);
    } catch (const store::StoreError &e) {
        m_internal = false;
        reportError(e.message());
        return;
    }
    m_internal = false;
}

QVector<QString> DataSetModel::readCurrentRecord() {
    QVector<QString> values;
    const int n = m_ds->FieldCount();
    values.reserve(n);
    for (int i = 0; i < n; ++i)
        values.append(m_ds->Fields(i).AsString());
    return values;
}

void DataSetModel::refreshCurrentRecord() {
    if (!m_ds || !m_ds->Active() || !m_active || m_ds->State() == store::DataSetState::Insert)
        return;
    const int row = currentRow();
    if (row < 0 || row >= m_rows.size())
        return;
    try {
        m_rows[row] = readCurrentRecord();
    } catch (const store::StoreError &e) {
        reportError(e.message());
        return;
    }
    if (!m_columns.isEmpty())
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

int DataSetModel::currentRow() const {
    if (!m_ds || !m_ds->Active() || m_ds->RecordCount() == 0)
        return -1;
    return m_ds->RecNo() - 1;
}

bool DataSetModel::postPending() {
    if (!m_ds || !m_ds->Active())
        return true;
    const auto state = m_ds->State();
    if (state != store::DataSetState::Edit && state != store::DataSetState::Insert)
        return true;
    try {
        m_ds->Post();
    } catch (const std::exception &e) {
        reportError(ExceptionText(e));
        return false;
    }
    return true;
}

bool DataSetModel::setCurrentRow(int row) {
    if (!m_ds || !m_ds->Active() || row < 0 || row >= m_ds->RecordCount())
        return false;
    if (!postPending())
        return false;
    if (row == currentRow())
        return true;
    try {
        m_ds->setRecNo(row + 1);
    } catch (const store::StoreError &e) {
        reportError(e.message());
        return false;
    }
    return true;
}

void DataSetModel::reportError(const QString &text) {
    if (onError)
        onError(text);
    else
        msg::show(QStringLiteral("Ошибка"), text, msg::Icon::Critical);
}

// ---------------------------------------------------------------- model interface

int DataSetModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int DataSetModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant DataSetModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size() || index.column() >= m_columns.size())
        return {};
    const int fi = m_fieldIndex[index.column()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
        const QVector<QString> &rec = m_rows[index.row()];
        return fi < rec.size() ? rec[fi] : QString();
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(
            (isNumericField(fi) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
    case Qt::BackgroundRole: {
        if (cellBackground) {
            const QColor c = cellBackground(index.row(), index.column());
            if (c.isValid())
                return c;
        }
        const QColor &c = m_columns[index.column()].color;
        return c.isValid() ? QVariant(c) : QVariant();
    }
    default:
        return {};
    }
}

Qt::ItemFlags DataSetModel::flags(const QModelIndex &index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (m_ds && m_ds->Active() && !m_readOnly && index.column() < m_columns.size() &&
        !m_columns[index.column()].readOnly)
        f |= Qt::ItemIsEditable;
    return f;
}

bool DataSetModel::setData(const QModelIndex &index, const QVariant &value, int role) {
    if (role != Qt::EditRole || !index.isValid() || !(flags(index) & Qt::ItemIsEditable) ||
        index.row() >= m_rows.size())
        return false;
    const int row = index.row();
    const int fi = m_fieldIndex[index.column()];
    const QString text = value.toString();
    if (row != currentRow() && !setCurrentRow(row))
        return false;
    if (text == m_rows[row].value(fi) && !m_ds->Modified())
        return true; // nothing typed: no edit, no write
    bool startedEdit = false;
    try {
        if (m_ds->State() == store::DataSetState::Browse) {
            m_ds->Edit();
            startedEdit = true;
        }
        m_ds->Fields(fi).SetAsString(text);
        if (m_postOnEdit)
            m_ds->Post();
    } catch (const std::exception &e) {
        const QString message = ExceptionText(e);
        if (startedEdit && m_ds->State() == store::DataSetState::Edit) {
            try {
                m_ds->Cancel();
            } catch (const std::exception &) {
            }
        }
        reportError(message);
        refreshCurrentRecord();
        return false;
    }
    refreshCurrentRecord();
    return true;
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= m_columns.size())
            return {};
        if (role == Qt::DisplayRole)
            return m_columns[section].title;
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(m_columns[section].titleAlignment);
        return {};
    }
    if (role == Qt::DisplayRole)
        return section == m_lastRow ? kCurrentMark : QString();
    return {};
}
