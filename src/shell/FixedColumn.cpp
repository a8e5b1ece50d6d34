#include "shell/FixedColumn.h"

#include "shell/MultilineGrid_Old.h"

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>

FixedColumnView::FixedColumnView(TMultiLineGrid *Grid) : QTableView(Grid), m_grid(Grid) {
    setObjectName(QStringLiteral("FrozenColumn"));
    setFocusPolicy(Qt::NoFocus);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::NoSelection);
    setWordWrap(false);
    hide();
    // Drawn in the grid's own font, the font the columns' widths are
    // measured in (a style sheet above the grid keeps fonts from passing on).
    setFont(Grid->font());
    horizontalHeader()->setFont(Grid->font());
    connect(Grid->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(),
            &QAbstractSlider::setValue);
    connect(Grid->horizontalHeader(), &QHeaderView::sectionResized, this,
            &FixedColumnView::refresh);
    connect(Grid, &TMultiLineGrid::titleHeightChanged, this, &FixedColumnView::refresh);
    Grid->installEventFilter(this);
}

void FixedColumnView::setColumn(int Column) {
    m_column = Column;
    refresh();
}

bool FixedColumnView::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_grid && event->type() == QEvent::Resize)
        refresh();
    return QTableView::eventFilter(watched, event);
}

void FixedColumnView::refresh() {
    QAbstractItemModel *model = m_grid->model();
    if (m_column < 0 || !model || m_column >= model->columnCount() ||
        m_grid->isColumnHidden(m_column)) {
        hide();
        return;
    }
    if (this->model() != model) {
        setModel(model);
        setSelectionModel(m_grid->selectionModel());
    }
    for (int c = 0; c < model->columnCount(); ++c)
        setColumnHidden(c, c != m_column);
    setColumnWidth(m_column, m_grid->columnWidth(m_column));
    horizontalHeader()->setFixedHeight(m_grid->horizontalHeader()->height());
    verticalHeader()->setFixedWidth(m_grid->verticalHeader()->width());
    verticalHeader()->setDefaultSectionSize(m_grid->verticalHeader()->defaultSectionSize());
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setGeometry(m_grid->frameWidth(), m_grid->frameWidth(),
                m_grid->verticalHeader()->width() + m_grid->columnWidth(m_column) + 1,
                m_grid->viewport()->height() + m_grid->horizontalHeader()->height());
    verticalScrollBar()->setValue(m_grid->verticalScrollBar()->value());
    show();
    raise();
}
