#include "window/KippetIconBadge.h"

#include "app/Symbols.h"
#include "window/PaintCache.h"

#include <QPainter>
#include <QRadialGradient>

namespace {
QColor withAlpha(QColor color, qreal alpha) {
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}
} // namespace

KippetIconBadge::KippetIconBadge(const QColor& color, const QString& icon, bool isActive,
                                 qreal size, QWidget* parent)
    : QWidget(parent), color_(color), icon_(icon), isActive_(isActive), size_(size) {
    const int side = qRound(size) + 2 * glowMargin;
    setFixedSize(side, side);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QRectF KippetIconBadge::circleRect() const {
    return {glowMargin, glowMargin, size_, size_};
}

void KippetIconBadge::setColor(const QColor& color) {
    color_ = color;
    update();
}

void KippetIconBadge::setIcon(const QString& icon) {
    icon_ = icon;
    update();
}

void KippetIconBadge::setIsActive(bool isActive) {
    isActive_ = isActive;
    update();
}

// A soft shadow of the badge's colour, 2 points down: wider while the window is active.
void KippetIconBadge::paintGlow(QPainter& painter, const QRectF& circle) const {
    const qreal radius = isActive_ ? 6 : 2;
    const QPointF centre = circle.center() + QPointF(0, 2);
    const qreal outer = size_ / 2 + radius;
    QRadialGradient glow(centre, outer);
    const qreal inner = (size_ / 2 - radius) / outer;
    glow.setColorAt(0, withAlpha(color_, 0.25));
    glow.setColorAt(std::max(0.0, inner), withAlpha(color_, 0.25));
    glow.setColorAt(1, withAlpha(color_, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawEllipse(centre, outer, outer);
}

void KippetIconBadge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF circle = circleRect();
    const QString key = QStringLiteral("badge-%1-%2-%3")
                            .arg(size_)
                            .arg(color_.rgba(), 8, 16)
                            .arg(isActive_ ? 1 : 0);
    painter.drawPixmap(
        QPointF(0, 0),
        PaintCache::drawing(key, size(), devicePixelRatioF(), [this, circle](QPainter& disc) {
            paintGlow(disc, circle);
            disc.setBrush(withAlpha(color_, isActive_ ? 0.2 : 0.15));
            disc.drawEllipse(circle);
        }));

    const qreal dpr = devicePixelRatioF();
    const qreal pointSize = size_ * 0.45;
    const QPixmap shadow =
        Symbols::pixmap(icon_, pointSize, QColor(0, 0, 0, 38), dpr, SymbolRole::kippetIcon);
    const QPixmap symbol = Symbols::pixmap(
        icon_, pointSize, withAlpha(color_, isActive_ ? 1 : 0.65), dpr, SymbolRole::kippetIcon);
    QRectF target(QPointF(), symbol.deviceIndependentSize());
    target.moveCenter(circle.center());
    painter.drawPixmap(target.translated(0, 1), shadow, QRectF(shadow.rect()));
    painter.drawPixmap(target, symbol, QRectF(symbol.rect()));
}
