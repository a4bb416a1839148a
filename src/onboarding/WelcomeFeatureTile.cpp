#include "onboarding/WelcomeFeatureTile.h"

#include "ui/Symbols.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

WelcomeFeatureTile::WelcomeFeatureTile(const QString& symbol, Theme::Named color, int index,
                                       QWidget* parent)
    : QWidget(parent), symbol_(symbol), color_(color), offset_(offsetFor(index)) {
    setFixedSize(side, side + waveHeight);
}

double WelcomeFeatureTile::offsetFor(int index) {
    return 5.0 * std::sin(0.5 * index);
}

void WelcomeFeatureTile::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(0, offset_);
    const QColor tint = Theme::color(color_, palette());
    QPainterPath tile;
    tile.addRoundedRect(QRectF(0, 0, side, side), 12, 12);
    painter.fillPath(tile, Theme::withAlpha(tint, 0.1));

    // The symbol at the title text size, centred.
    const int points = Theme::font(Theme::TextStyle::title).pixelSize();
    const QPixmap art = Symbols::pixmap(symbol_, points, tint, devicePixelRatioF());
    const QSizeF glyph = art.deviceIndependentSize();
    painter.drawPixmap(QPointF((side - glyph.width()) / 2.0, (side - glyph.height()) / 2.0), art);
}
