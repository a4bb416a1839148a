#include "dashboard/SettingsIconTile.h"

#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>

namespace {
// The title text size the symbol is drawn at.
constexpr qreal titlePoints = 22;
} // namespace

SettingsIconTile::SettingsIconTile(const QString& symbol, const QColor& color, QWidget* parent)
    : QWidget(parent), symbol_(symbol), color_(color) {
    setFixedSize(side, side);
}

void SettingsIconTile::setColor(const QColor& color) {
    if (color == color_)
        return;
    color_ = color;
    update();
}

void SettingsIconTile::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath tile;
    tile.addRoundedRect(QRectF(rect()), 10, 10);
    painter.fillPath(tile, Theme::withAlpha(color_, 0.1));
    const QPixmap glyph = Theme::symbol(symbol_, color_, titlePoints, devicePixelRatioF());
    const QSizeF size = glyph.deviceIndependentSize();
    painter.drawPixmap(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2),
                       glyph);
}
