#pragma once
// A table model over a dataset of the store, for TMultiLineGrid: one row per
// record, one column per configured field. Edits go back through the dataset
// (Edit, set the field, Post), so a posted value is in the file at once.
//
// The model keeps a copy of the records for painting and follows the dataset:
// it listens to the dataset's onStateChange, onDataChange and onScroll and
// calls whatever handlers were installed there before it was attached. A
// window that sets those three handlers must do so before setDataSet().
// Opening the dataset rebuilds the columns (one per field, titled with the
// field name), so windows configure titles and visibility after opening.

#include "store/Dataset.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QVector>

#include <functional>

class DataSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Column {
        QString field; // field name of the dataset
        QString title; // caption of the column's title
        bool visible = true;
        bool readOnly = false;
        Qt::Alignment titleAlignment = Qt::AlignLeft;
        int width = -1; // pixels; -1 takes the grid's default width
        QColor color;   // background of the column's cells; invalid: none
    };

    explicit DataSetModel(QObject *parent = nullptr);
    ~DataSetModel() override;

    // Attaches the dataset (nullptr detaches and gives back its handlers).
    void setDataSet(store::TADODataSet *dataSet);
    store::TADODataSet *dataSet() const { return m_ds; }

    // Columns.
    const QVector<Column> &columns() const { return m_columns; }
    void setColumns(const QVector<Column> &columns); // unknown fields are dropped
    void resetColumns();                             // one column per field, in field order
    int columnOfField(const QString &field) const;   // -1 when no column shows it
    QString fieldOfColumn(int column) const;
    void setColumnTitle(int column, const QString &title);
    void setColumnVisible(int column, bool visible);
    void setColumnReadOnly(int column, bool readOnly);
    void setColumnWidth(int column, int width);
    void setColumnColor(int column, const QColor &color);
    void setTitleAlignment(int column, Qt::Alignment alignment);
    void setAllTitleAlignment(Qt::Alignment alignment);
    void moveColumn(int from, int to);
    // The field's display width in characters (its length in the file).
    int displayWidth(int column) const;

    // The whole grid read-only (no column editable).
    void setReadOnly(bool readOnly);
    bool readOnly() const { return m_readOnly; }
    // True (the default): each edited cell is posted at once. False: the
    // record stays in edit until the caller posts it or the row changes.
    void setPostOnEdit(bool on) { m_postOnEdit = on; }
    bool postOnEdit() const { return m_postOnEdit; }

    // Background of a cell (row and column of this model); an invalid colour
    // leaves the column's or the view's colour.
    std::function<QColor(int row, int column)> cellBackground;
    // Called with the text of a store error met while editing; by default the
    // error is shown in a message box titled "Ошибка".
    std::function<void(const QString &)> onError;

    // The dataset's current record as a row (RecNo - 1), -1 without records.
    int currentRow() const;
    // Moves the dataset to the row, posting a pending edit first. False when
    // the post failed (the error is reported) or the row does not exist.
    bool setCurrentRow(int row);
    // Posts a pending edit. False when the post failed (reported).
    bool postPending();

    // Reads every record again (a full reset of the model).
    void reload();
    // Reads the current record again and signals its change.
    void refreshCurrentRecord();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

signals:
    // Titles, visibility, widths or order of the columns changed.
    void columnsChanged();
    // The dataset's current record changed (row of this model).
    void currentRowChanged(int row);

private:
    void handleStateChange();
    void handleDataChange();
    void handleScroll();
    void sync();
    QVector<QString> readCurrentRecord();
    void readAll();
    void reportError(const QString &text);
    bool isNumericField(int fieldIndex) const;
    int fieldIndexOfColumn(int column) const;
    void detach();

    store::TADODataSet *m_ds = nullptr;
    std::function<void()> m_prevStateChange, m_prevDataChange, m_prevScroll;
    QVector<Column> m_columns;
    QVector<int> m_fieldIndex;        // per column, the dataset's field index
    QVector<QVector<QString>> m_rows; // per record, per dataset field, its text
    QStringList m_fieldNames;         // fields of the open dataset when last read
    bool m_active = false;
    bool m_internal = false; // the model itself is moving the dataset
    bool m_readOnly = false;
    bool m_postOnEdit = true;
    int m_lastRow = -1;
};
