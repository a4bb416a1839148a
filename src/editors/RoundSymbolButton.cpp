#include "editors/RoundSymbolButton.h"

#include "editors/EditorStyle.h"
#include "platform/Animations.h"
#include "ui/Theme.h"

#include <QEasingCurve>
#include <QLinearGradient>
#include <QPainter>
#include <QVariantAnimation>

namespace {
constexpr double hoverScale = 1.05;
constexpr int springMilliseconds = 350;
// The bundled drawings leave room around their glyph: this size draws a glyph as tall as a
// 14-point symbol.
constexpr double symbolPoints = 19;
} // namespace

RoundSymbolButton::RoundSymbolButton(const QString& symbol, Fill fill, QWidget* parent)
    : QAbstractButton(parent), symbol_(symbol), fill_(fill) {
    setFixedSize(sizeHint());
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    scaleAnimation_ = new QVariantAnimation(this);
    scaleAnimation_->setDuration(springMilliseconds);
    // A lightly damped spring: it overshoots a little and settles.
    QEasingCurve spring(QEasingCurve::OutBack);
    spring.setOvershoot(0.8);
    scaleAnimation_->setEasingCurve(spring);
    connect(scaleAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        scale_ = value.toDouble();
        update();
    });
}

QSize RoundSymbolButton::sizeHint() const {
    return QSize(diameter + 2 * shadowMargin, diameter + 2 * shadowMargin);
}

void RoundSymbolButton::setAccentColor(const QColor& color) {
    accentColor_ = color;
    update();
}

void RoundSymbolButton::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    setHovering(true);
}

void RoundSymbolButton::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    setHovering(false);
}

void RoundSymbolButton::setHovering(bool hovering) {
    if (hovering == hovering_)
        return;
    hovering_ = hovering;
    const double target = hovering ? hoverScale : 1.0;
    scaleAnimation_->stop();
    if (!Animations::enabled()) {
        scale_ = target;
        update();
        return;
    }
    scaleAnimation_->setStartValue(scale_);
    scaleAnimation_->setEndValue(target);
    scaleAnimation_->start();
}

bool RoundSymbolButton::hitButton(const QPoint& pos) const {
    const QPointF centre = QRectF(rect()).center();
    const QPointF offset = QPointF(pos) - centre;
    const double radius = diameter / 2.0;
    return offset.x() * offset.x() + offset.y() * offset.y() <= radius * radius;
}

void RoundSymbolButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!isEnabled())
        painter.setOpacity(0.45);
    const QPointF centre = QRectF(rect()).center();
    painter.translate(centre);
    painter.scale(scale_, scale_);
    painter.translate(-centre);
    const QRectF circle(centre.x() - diameter / 2.0, centre.y() - diameter / 2.0, diameter,
                        diameter);
    if (fill_ == Fill::accent)
        paintAccentCircle(painter, circle);
    else
        paintMaterialCircle(painter, circle);
}

void RoundSymbolButton::paintAccentCircle(QPainter& painter, const QRectF& circle) {
    const double radius = circle.width() / 2;
    EditorStyle::paintCircleShadow(painter, circle.center() + QPointF(0, 2), radius,
                                   hovering_ ? 6 : 3, 0.25);
    QLinearGradient gradient(circle.topLeft(), circle.bottomLeft());
    gradient.setColorAt(0, Theme::withAlpha(accentColor_, 0.9));
    gradient.setColorAt(1, accentColor_);
    painter.setPen(QPen(Theme::withAlpha(Qt::white, 0.35), 1));
    painter.setBrush(gradient);
    painter.drawEllipse(circle.adjusted(0.5, 0.5, -0.5, -0.5));
    // White, unless the accent is so light (a daily kippet's white) that it would vanish; judged
    // where the glyph sits, half-way down the gradient.
    const QColor behindGlyph =
        Theme::over(Theme::withAlpha(accentColor_, 0.95), palette().color(QPalette::Window));
    const QPixmap glyph =
        EditorStyle::symbol(symbol_, symbolPoints, Theme::symbolOn(behindGlyph), this);
    const QSizeF glyphSize = QSizeF(glyph.size()) / glyph.devicePixelRatio();
    painter.drawPixmap(
        QRectF(circle.center() - QPointF(glyphSize.width(), glyphSize.height()) / 2, glyphSize),
        glyph, QRectF(glyph.rect()));
}

void RoundSymbolButton::paintMaterialCircle(QPainter& painter, const QRectF& circle) {
    const double radius = circle.width() / 2;
    EditorStyle::paintCircleShadow(painter, circle.center() + QPointF(0, 1), radius,
                                   hovering_ ? 4 : 2, 0.1);
    painter.setPen(QPen(Theme::withAlpha(Theme::primary(palette()), 0.08), 1));
    painter.setBrush(Theme::ultraThinFill(palette()));
    painter.drawEllipse(circle.adjusted(0.5, 0.5, -0.5, -0.5));
    const QPixmap glyph =
        EditorStyle::symbol(symbol_, symbolPoints, Theme::primary(palette()), this);
    const QSizeF glyphSize = QSizeF(glyph.size()) / glyph.devicePixelRatio();
    painter.drawPixmap(
        QRectF(circle.center() - QPointF(glyphSize.width(), glyphSize.height()) / 2, glyphSize),
        glyph, QRectF(glyph.rect()));
}
