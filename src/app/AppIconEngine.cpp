#include "app/AppIconEngine.h"

#include "model/KippetColor.h"
#include "ui/SymbolNames.h"
#include "ui/Symbols.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <algorithm>

namespace {
// Proportions of a 256-unit tile, shared with the installed drawing.
constexpr qreal unitsPerSide = 256;
constexpr qreal tileInset = 8;
constexpr qreal tileRadius = 56;
constexpr qreal symbolSide = 160;

const QString symbolName = SymbolNames::tray2Fill;

QPixmap render(int side) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal unit = side / unitsPerSide;
    const QRectF tile(tileInset * unit, tileInset * unit, (unitsPerSide - 2 * tileInset) * unit,
                      (unitsPerSide - 2 * tileInset) * unit);
    painter.setPen(Qt::NoPen);
    painter.setBrush(KippetColor::standardBlue().toQColor());
    painter.drawRoundedRect(tile, tileRadius * unit, tileRadius * unit);
    const int glyphSide = std::max(1, qRound(symbolSide * unit));
    const QPixmap glyph = Symbols::pixmapOfSide(symbolName, glyphSide, Qt::white, 1.0);
    painter.drawPixmap(QPointF((side - glyphSide) / 2.0, (side - glyphSide) / 2.0), glyph);
    return pixmap;
}
} // namespace

QIcon AppIconEngine::icon() {
    return QIcon(new AppIconEngine);
}

QList<QSize> AppIconEngine::offeredSizes() {
    QList<QSize> sizes;
    for (int side : {16, 22, 24, 32, 48, 64, 128, 256})
        sizes.append(QSize(side, side));
    return sizes;
}

void AppIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
                          QIcon::State state) {
    const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QPixmap drawn = scaledPixmap(rect.size() * scale, mode, state, scale);
    const QSizeF logical = drawn.deviceIndependentSize();
    painter->drawPixmap(QPointF(rect.x() + (rect.width() - logical.width()) / 2,
                                rect.y() + (rect.height() - logical.height()) / 2),
                        drawn);
}

QPixmap AppIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) {
    return scaledPixmap(size, mode, state, 1.0);
}

// `size` is in device pixels, the way QIcon asks for a pixmap at a scale.
QPixmap AppIconEngine::scaledPixmap(const QSize& size, QIcon::Mode, QIcon::State, qreal scale) {
    const int side = std::max(1, std::min(size.width(), size.height()));
    const QString key = QStringLiteral("kippets-app-icon/") + QString::number(side);
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = render(side);
        QPixmapCache::insert(key, pixmap);
    }
    pixmap.setDevicePixelRatio(scale);
    return pixmap;
}

QList<QSize> AppIconEngine::availableSizes(QIcon::Mode, QIcon::State) {
    return offeredSizes();
}

QIconEngine* AppIconEngine::clone() const {
    return new AppIconEngine;
}

QString AppIconEngine::key() const {
    return QStringLiteral("KippetsAppIcon");
}
