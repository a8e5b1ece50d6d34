#include "shell/ProgramIcon.h"

#include <QPainter>
#include <QPixmap>

namespace {

QPixmap drawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal unit = size / 16.0; // the drawing is laid out on a 16 x 16 grid

    // The tile.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x5f, 0xaf));
    p.drawRoundedRect(QRectF(0, 0, size, size), 3 * unit, 3 * unit);

    // The sheet, its shaded title row and the table's rules.
    const QRectF sheet(3 * unit, 2 * unit, 10 * unit, 12 * unit);
    p.setBrush(Qt::white);
    p.drawRect(sheet);
    p.setBrush(QColor(0xff, 0xd8, 0x4a));
    p.drawRect(QRectF(sheet.left(), sheet.top(), sheet.width(), 3 * unit));
    QPen rule(QColor(0x1f, 0x5f, 0xaf));
    rule.setWidthF(std::max(1.0, 0.75 * unit));
    p.setPen(rule);
    p.setBrush(Qt::NoBrush);
    for (int row = 0; row < 4; ++row) {
        const qreal y = sheet.top() + (5 + 2.5 * row) * unit;
        p.drawLine(QPointF(sheet.left() + unit, y), QPointF(sheet.right() - unit, y));
    }
    p.drawLine(QPointF(sheet.left() + 4 * unit, sheet.top() + 4 * unit),
               QPointF(sheet.left() + 4 * unit, sheet.bottom() - unit));
    return pixmap;
}

} // namespace

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(drawIcon(size));
    return icon;
}
