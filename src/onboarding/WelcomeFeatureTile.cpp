#include "onboarding/WelcomeFeatureTile.h"

#include "onboarding/SymbolImage.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

WelcomeFeatureTile::WelcomeFeatureTile(const QString& symbol, TourStyle::Named color, int index,
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
    const QColor tint = TourStyle::color(color_, palette());
    QPainterPath tile;
    tile.addRoundedRect(QRectF(0, 0, side, side), 12, 12);
    painter.fillPath(tile, TourStyle::withOpacity(tint, 0.1));

    // The symbol at the title text size, its colour composited into the glyph.
    const int glyph = static_cast<int>(
        std::lround(TourStyle::font(TourStyle::TextStyle::title).pixelSize() * 1.1));
    QImage art = symbolMask(symbol_, glyph, devicePixelRatioF());
    QPainter fill(&art);
    fill.setCompositionMode(QPainter::CompositionMode_SourceIn);
    fill.fillRect(QRectF(0, 0, glyph, glyph), tint);
    fill.end();
    painter.drawImage(QPointF((side - glyph) / 2.0, (side - glyph) / 2.0), art);
}
