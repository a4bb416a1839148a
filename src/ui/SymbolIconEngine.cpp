#include "ui/SymbolIconEngine.h"

#include "ui/Symbols.h"

#include <QPainter>
#include <algorithm>

SymbolIconEngine::SymbolIconEngine(QString bundledName, QColor color)
    : name_(std::move(bundledName)), color_(std::move(color)) {}

void SymbolIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
                             QIcon::State state) {
    const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QPixmap drawn = scaledPixmap(rect.size() * scale, mode, state, scale);
    const QSizeF logical = drawn.deviceIndependentSize();
    const QPointF origin(rect.x() + (rect.width() - logical.width()) / 2,
                         rect.y() + (rect.height() - logical.height()) / 2);
    painter->drawPixmap(origin, drawn);
}

QPixmap SymbolIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) {
    return scaledPixmap(size, mode, state, 1.0);
}

// `size` is in device pixels here, the way QIcon asks for a pixmap at a scale.
QPixmap SymbolIconEngine::scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State,
                                       qreal scale) {
    const int side = std::max(1, std::min(size.width(), size.height()));
    return Symbols::pixmapOfSide(name_, side, colorFor(mode), scale);
}

QIconEngine* SymbolIconEngine::clone() const {
    return new SymbolIconEngine(name_, color_);
}

QString SymbolIconEngine::key() const {
    return QStringLiteral("KippetsSymbol");
}

QColor SymbolIconEngine::colorFor(QIcon::Mode mode) const {
    if (mode != QIcon::Disabled)
        return color_;
    QColor faded = color_;
    faded.setAlphaF(color_.alphaF() * 0.4f);
    return faded;
}
