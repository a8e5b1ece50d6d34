#include "shell/MultilineGrid_Old.h"

#include "shell/DataSetModel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

namespace {

// The characters that close a word of a caption; each stays at the end of
// the word it closes.
const QString kCaptionDelimiters = QStringLiteral(" ,.<>:;-*/+\"'$#()=");

// Leading and trailing blanks and control characters removed.
QString trimBlanks(const QString &s) {
    int b = 0, e = static_cast<int>(s.size());
    while (b < e && s.at(b).unicode() <= 0x20)
        ++b;
    while (e > b && s.at(e - 1).unicode() <= 0x20)
        --e;
    return s.mid(b, e - b);
}

// Beyond this many wrapped captions the cache starts afresh (dragging a
// column's edge makes a new width at every step).
constexpr int kCaptionCacheLimit = 8192;

// Room left and right of the wrapped lines inside a title cell.
constexpr int kTitleMargin = 4;

} // namespace

QStringList WrapCaptionLines(const QFontMetrics &Canvas, int Width, const QString &Caption) {
    QStringList words;
    QString word;
    for (const QChar ch : Caption) {
        word += ch;
        if (kCaptionDelimiters.contains(ch)) {
            words.append(word);
            word.clear();
        }
    }
    words.append(word); // closed after the last character, even when empty

    QStringList lines;
    lines.append(words.first());
    for (int i = 1; i < words.size(); ++i) {
        const QString &w = words.at(i);
        if (Canvas.horizontalAdvance(lines.last() + w) <= Width) {
            lines.last() += w;
        } else {
            lines.last() = trimBlanks(lines.last());
            lines.append(w);
        }
    }
    return lines;
}

QVector<TitleLine> LayoutTitleLines(const QFontMetrics &Canvas, const QRect &Cell,
                                    const QStringList &Lines, Qt::Alignment Alignment) {
    QVector<TitleLine> out;
    const int lineHeight = Canvas.height();
    const int cellRight = Cell.x() + Cell.width(); // one past the last pixel
    const Qt::Alignment h = Alignment & Qt::AlignHorizontal_Mask;
    for (int k = 0; k < Lines.size(); ++k) {
        const QString &text = Lines.at(k);
        const int textWidth = Canvas.horizontalAdvance(text);
        int x;
        if (h & Qt::AlignRight)
            x = cellRight - textWidth - 3;
        else if (h & Qt::AlignHCenter)
            x = Cell.x() + Cell.width() / 2 - textWidth / 2;
        else
            x = Cell.x() + 2;
        const int y = Cell.y() + 2 + k * (lineHeight + 2);
        out.append({text, QPoint(x, y)});
    }
    return out;
}

// ---------------------------------------------------------------- header

TMultiLineHeader::TMultiLineHeader(QWidget *parent) : QHeaderView(Qt::Horizontal, parent) {
    setHighlightSections(false);
    setSectionsClickable(false);
    setMinimumSectionSize(1);
    setDefaultSectionSize(64);
}

void TMultiLineHeader::setTitleHeight(int height) {
    if (height == m_titleHeight)
        return;
    m_titleHeight = height;
    updateGeometry();
    viewport()->update();
}

QSize TMultiLineHeader::sizeHint() const {
    QSize s = QHeaderView::sizeHint();
    s.setHeight(m_titleHeight);
    return s;
}

QStringList TMultiLineHeader::wrappedCaption(const QString &caption, int sectionWidth) const {
    const int width = sectionWidth - kTitleMargin;
    const auto key = qMakePair(caption, width);
    auto it = m_cache.constFind(key);
    if (it != m_cache.constEnd())
        return it.value();
    if (m_cache.size() >= kCaptionCacheLimit)
        m_cache.clear();
    QStringList lines = WrapCaptionLines(QFontMetrics(font()), width, caption);
    m_cache.insert(key, lines);
    return lines;
}

void TMultiLineHeader::changeEvent(QEvent *event) {
    if (event->type() == QEvent::FontChange)
        m_cache.clear();
    QHeaderView::changeEvent(event);
}

QVector<TitleLine> TMultiLineHeader::titleLines(int logicalIndex) const {
    return layoutTitle(QRect(sectionViewportPosition(logicalIndex), 0, sectionSize(logicalIndex),
                             viewport()->height()),
                       logicalIndex);
}

QVector<TitleLine> TMultiLineHeader::layoutTitle(const QRect &rect, int logicalIndex) const {
    const QAbstractItemModel *m = model();
    QString caption;
    Qt::Alignment alignment = Qt::AlignLeft;
    if (m) {
        caption = m->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString();
        const QVariant a = m->headerData(logicalIndex, orientation(), Qt::TextAlignmentRole);
        if (a.isValid())
            alignment = Qt::Alignment(a.toInt());
    }
    const QFontMetrics fm(font());
    const QStringList lines = wrappedCaption(caption, rect.width());
    // A centred title is centred in the part of its section that is in view
    // when it fits there: the title of a column wider than the grid then
    // stays in view instead of standing at the column's far-off middle.
    QRect cell = rect;
    if (alignment & Qt::AlignHCenter) {
        const QRect inView = rect.intersected(viewport()->rect());
        int widest = 0;
        for (const QString &line : lines)
            widest = std::max(widest, fm.horizontalAdvance(line));
        if (inView.width() > widest)
            cell = QRect(inView.left(), rect.top(), inView.width(), rect.height());
    }
    return LayoutTitleLines(fm, cell, lines, alignment);
}

void TMultiLineHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const {
    if (!rect.isValid())
        return;
    QColor background = palette().color(QPalette::Button);
    if (const QAbstractItemModel *m = model()) {
        const QVariant bg = m->headerData(logicalIndex, orientation(), Qt::BackgroundRole);
        if (bg.canConvert<QColor>() && bg.value<QColor>().isValid())
            background = bg.value<QColor>();
    }

    painter->save();
    painter->setClipRect(rect, Qt::IntersectClip);
    // The background is filled once; the lines are drawn over it.
    painter->fillRect(rect, background);
    painter->setFont(font());
    painter->setPen(palette().color(QPalette::ButtonText));
    const QFontMetrics fm(font());
    for (const TitleLine &line : layoutTitle(rect, logicalIndex)) {
        if (line.topLeft.y() > rect.bottom())
            break;
        painter->drawText(line.topLeft.x(), line.topLeft.y() + fm.ascent(), line.text);
    }

    const auto *grid = qobject_cast<const QTableView *>(parentWidget());
    if (!grid || grid->showGrid()) {
        // A raised inner edge: bottom and right in shadow, then top and left in light.
        const QRect r = rect;
        painter->setPen(palette().color(QPalette::Dark));
        painter->drawLine(r.left(), r.bottom(), r.right(), r.bottom());
        painter->drawLine(r.right(), r.top(), r.right(), r.bottom());
        painter->setPen(palette().color(QPalette::Light));
        painter->drawLine(r.left(), r.top(), r.right() - 1, r.top());
        painter->drawLine(r.left(), r.top(), r.left(), r.bottom() - 1);
    }
    painter->restore();
}

// ---------------------------------------------------------------- grid

TMultiLineGrid::TMultiLineGrid(QWidget *Owner) : QTableView(Owner) {
    m_header = new TMultiLineHeader(this);
    setHorizontalHeader(m_header);
    m_header->setSectionResizeMode(QHeaderView::Interactive);
    m_header->setStretchLastSection(false);

    QHeaderView *indicator = verticalHeader();
    indicator->setSectionResizeMode(QHeaderView::Fixed);
    indicator->setMinimumSectionSize(1);
    indicator->setFixedWidth(12);
    indicator->setDefaultAlignment(Qt::AlignCenter);
    indicator->setDefaultSectionSize(fontMetrics().height() + 4);

    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    // A value is never shortened with an ellipsis: columns widen to their
    // values instead.
    setTextElideMode(Qt::ElideNone);
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::SelectedClicked);
    m_titleHeight = 17;
    LayoutChanged();
    // Centred titles follow the part of their column in view (see
    // TMultiLineHeader::titleLines): scrolling repaints the whole title row
    // rather than moving what was drawn.
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, m_header->viewport(),
            qOverload<>(&QWidget::update));
}

void TMultiLineGrid::SetTitleHeight(int Value) {
    if (Value == m_titleHeight)
        return;
    m_titleHeight = Value;
    LayoutChanged();
    emit titleHeightChanged(Value);
}

void TMultiLineGrid::LayoutChanged() {
    if (showTitles()) {
        m_header->setTitleHeight(m_titleHeight);
        m_header->updateGeometry();
    }
    updateGeometries();
    viewport()->update();
}

bool TMultiLineGrid::showTitles() const {
    return !m_header->isHidden();
}

void TMultiLineGrid::setShowTitles(bool on) {
    m_header->setVisible(on);
    LayoutChanged();
}

bool TMultiLineGrid::showIndicator() const {
    return !verticalHeader()->isHidden();
}

void TMultiLineGrid::setShowIndicator(bool on) {
    verticalHeader()->setVisible(on);
}

void TMultiLineGrid::setDataSetModel(DataSetModel *model) {
    if (m_dataModel)
        disconnect(m_dataModel, nullptr, this, nullptr);
    m_dataModel = model;
    setModel(model);
    if (!model)
        return;
    connect(model, &DataSetModel::columnsChanged, this, &TMultiLineGrid::applyColumns);
    connect(model, &QAbstractItemModel::modelReset, this, &TMultiLineGrid::applyColumns);
    connect(model, &DataSetModel::currentRowChanged, this, &TMultiLineGrid::followCurrentRecord);
    connect(model, &QAbstractItemModel::dataChanged, this, &TMultiLineGrid::widenForValues);
    connect(model, &QObject::destroyed, this, [this] { m_dataModel = nullptr; });
    applyColumns();
    followCurrentRecord(model->currentRow());
}

void TMultiLineGrid::applyColumns() {
    if (!m_dataModel)
        return;
    const auto &cols = m_dataModel->columns();
    for (int c = 0; c < cols.size(); ++c) {
        const bool fixed = !m_fixedField.isEmpty() &&
                           cols[c].field.compare(m_fixedField, Qt::CaseInsensitive) == 0;
        setColumnHidden(c, !cols[c].visible || fixed);
        setColumnWidth(c, ColumnWidthFor(c));
    }
    // A reset of the model (new columns, a reopened dataset) takes the view's
    // cursor away; it goes back to the dataset's current record, which Enter
    // and the arrow keys act on.
    followCurrentRecord(m_dataModel->currentRow());
}

int TMultiLineGrid::DefaultColumnWidth(int column) const {
    if (!m_dataModel)
        return m_header->defaultSectionSize();
    const QFontMetrics fm(font());
    int width = m_dataModel->displayWidth(column) * fm.horizontalAdvance(QLatin1Char('0')) + 4;
    if (showTitles()) {
        const QFontMetrics tfm(m_header->font());
        const QString title = column >= 0 && column < m_dataModel->columns().size()
                                  ? m_dataModel->columns().at(column).title
                                  : QString();
        width = std::max(width, tfm.horizontalAdvance(title) + 4);
    }
    return width;
}

int TMultiLineGrid::ColumnWidthFor(int column) const {
    if (!m_dataModel || column < 0 || column >= m_dataModel->columns().size())
        return m_header->defaultSectionSize();
    const int set = m_dataModel->columns().at(column).width;
    const int base = set > 0 ? set : DefaultColumnWidth(column);
    return std::max(base, ValueWidth(column, 0, m_dataModel->rowCount() - 1));
}

int TMultiLineGrid::ValueWidth(int column, int firstRow, int lastRow) const {
    if (!m_dataModel)
        return 0;
    const QFontMetrics fm(font());
    // The item delegate keeps a focus-frame margin and one pixel on each side.
    const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
    int widest = 0;
    for (int r = std::max(0, firstRow); r <= lastRow && r < m_dataModel->rowCount(); ++r) {
        const QString text = m_dataModel->data(m_dataModel->index(r, column)).toString();
        if (!text.isEmpty())
            widest = std::max(widest, fm.horizontalAdvance(text) + margin + 1);
    }
    return widest;
}

void TMultiLineGrid::widenForValues(const QModelIndex &topLeft, const QModelIndex &bottomRight) {
    if (!m_dataModel || !topLeft.isValid() || !bottomRight.isValid())
        return;
    for (int c = topLeft.column(); c <= bottomRight.column(); ++c) {
        const int need = ValueWidth(c, topLeft.row(), bottomRight.row());
        if (need > columnWidth(c) && !isColumnHidden(c))
            setColumnWidth(c, need);
    }
}

void TMultiLineGrid::setFixedField(const QString &field) {
    if (field == m_fixedField)
        return;
    m_fixedField = field;
    applyColumns();
}

void TMultiLineGrid::followCurrentRecord(int row) {
    if (row < 0 || !model() || row >= model()->rowCount() || m_following)
        return;
    const QModelIndex cur = currentIndex();
    if (cur.isValid() && cur.row() == row && !isColumnHidden(cur.column()))
        return;
    int col = cur.isValid() ? cur.column() : -1;
    if (col < 0 || isColumnHidden(col)) {
        col = 0;
        while (col < model()->columnCount() && isColumnHidden(col))
            ++col;
        if (col >= model()->columnCount())
            return;
    }
    m_following = true;
    selectionModel()->setCurrentIndex(model()->index(row, col),
                                      QItemSelectionModel::ClearAndSelect);
    m_following = false;
}

bool TMultiLineGrid::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) {
    // A click on the cell that is already selected opens its editor at once.
    // The view would wait for a possible double click first, and drop every
    // key typed meanwhile or open the editor over the keys already typed.
    if (trigger == SelectedClicked && (editTriggers() & SelectedClicked))
        return QTableView::edit(index, AllEditTriggers, nullptr);
    return QTableView::edit(index, trigger, event);
}

void TMultiLineGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous) {
    if (!m_following && canLeaveCell && previous.isValid() && current != previous &&
        !canLeaveCell(previous)) {
        // Stay on the cell: its editor holds a value that cannot be written.
        m_following = true;
        selectionModel()->setCurrentIndex(previous, QItemSelectionModel::ClearAndSelect);
        m_following = false;
        return;
    }
    QTableView::currentChanged(current, previous);
    if (m_following)
        return;
    if (previous.isValid() && current.isValid() && current.column() != previous.column())
        emit colExit(previous.column());
    if (m_dataModel && current.isValid() && current.row() != m_dataModel->currentRow()) {
        if (!m_dataModel->setCurrentRow(current.row())) {
            // The pending record could not be posted: stay on it.
            const int row = m_dataModel->currentRow();
            if (row >= 0 && row != current.row()) {
                m_following = true;
                selectionModel()->setCurrentIndex(model()->index(row, current.column()),
                                                  QItemSelectionModel::ClearAndSelect);
                m_following = false;
            }
        }
    }
}

void TMultiLineGrid::keyPressEvent(QKeyEvent *event) {
    if (onKeyDown && onKeyDown(event)) {
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

bool TMultiLineGrid::clickRefused(const QMouseEvent *event) {
    // A click anywhere but on the current cell is an attempt to leave it.
    // When that is refused the click changes nothing: the view would keep
    // the cursor but move the highlight to the cell clicked.
    const QModelIndex cur = currentIndex();
    return canLeaveCell && cur.isValid() && indexAt(event->position().toPoint()) != cur &&
           !canLeaveCell(cur);
}

void TMultiLineGrid::mousePressEvent(QMouseEvent *event) {
    m_clickRefused = clickRefused(event);
    if (m_clickRefused) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

void TMultiLineGrid::mouseMoveEvent(QMouseEvent *event) {
    if (m_clickRefused && event->buttons() != Qt::NoButton) {
        event->accept(); // no highlight dragged from a refused click either
        return;
    }
    QTableView::mouseMoveEvent(event);
}

void TMultiLineGrid::mouseReleaseEvent(QMouseEvent *event) {
    if (m_clickRefused) {
        m_clickRefused = false;
        event->accept();
        return;
    }
    QTableView::mouseReleaseEvent(event);
}

void TMultiLineGrid::mouseDoubleClickEvent(QMouseEvent *event) {
    m_clickRefused = clickRefused(event);
    if (m_clickRefused) {
        event->accept();
        return;
    }
    QTableView::mouseDoubleClickEvent(event);
    emit dblClick();
}

void TMultiLineGrid::changeEvent(QEvent *event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
        // Titles are measured and drawn in the grid's font. A style sheet on
        // any parent stops fonts from reaching child widgets, so the header
        // is given it explicitly.
        m_header->setFont(font());
    }
}
