#include "dashboard/ShellAdapter.h"

#include <QPainter>
#include <QPalette>

namespace ShellAdapter {

QColor dailyKippetColor(const QPalette& palette) {
    const bool dark = palette.color(QPalette::Window).lightness() < 128;
    return dark ? QColor(Qt::white) : QColor::fromRgbF(0.2f, 0.2f, 0.2f);
}

QPixmap symbol(const QString& name, const QColor& color, qreal points, qreal devicePixelRatio) {
    const int side = qMax(1, qRound(points * 1.1 * devicePixelRatio));
    QPixmap pixmap(side, side);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal logical = side / devicePixelRatio;
    const QRectF box(logical * 0.08, logical * 0.08, logical * 0.84, logical * 0.84);
    painter.setPen(QPen(color, qMax(1.0, logical / 14.0)));
    painter.drawRoundedRect(box, logical * 0.22, logical * 0.22);
    QFont font = painter.font();
    font.setPixelSize(qMax(1, qRound(logical * 0.5)));
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(box, Qt::AlignCenter, name.left(1).toUpper());
    return pixmap;
}

} // namespace ShellAdapter
