#include "window/CardHoverButton.h"

#include "ui/Symbols.h"

#include <QPainter>
#include <QtMath>

namespace {
constexpr qreal ring = 4;
} // namespace

CardHoverButton::CardHoverButton(const QString& systemName, QWidget* parent)
    : QAbstractButton(parent), systemName_(systemName) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(sizeHint());
}

int CardHoverButton::side() {
    return qCeil(symbolPoints * 1.1 + 2 * ring);
}

QSize CardHoverButton::sizeHint() const {
    return {side(), side()};
}

void CardHoverButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, isDown() ? 160 : 128));
    painter.drawEllipse(QRectF(rect()));
    const QPixmap glyph =
        Symbols::pixmap(systemName_, symbolPoints, Qt::white, devicePixelRatioF());
    QRectF target(QPointF(), glyph.deviceIndependentSize());
    target.moveCenter(QRectF(rect()).center());
    painter.drawPixmap(target, glyph, QRectF(glyph.rect()));
}
