#include "window/ActionButton.h"

#include "app/Symbols.h"
#include "platform/Animations.h"
#include "window/PaintCache.h"

#include <QEasingCurve>
#include <QPainter>
#include <QVariantAnimation>

namespace {
constexpr int hoverDuration = 150;
constexpr qreal hoverScale = 0.08;
} // namespace

ActionButton::ActionButton(const QString& systemName, const QString& helpText,
                           const QString& accessibilityIdentifier, std::function<void()> action,
                           bool isWindowActive, bool isActive, const QColor& activeColor,
                           qreal buttonSize, qreal iconSize, ActionButtonStyle style,
                           QWidget* parent)
    : QAbstractButton(parent), systemName_(systemName), isWindowActive_(isWindowActive),
      isActive_(isActive), activeColor_(activeColor), buttonSize_(buttonSize), iconSize_(iconSize),
      style_(style), hoverAnimation_(new QVariantAnimation(this)) {
    setObjectName(accessibilityIdentifier);
    setHelpText(helpText);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    setAttribute(Qt::WA_Hover);
    const int side = qRound(buttonSize);
    setFixedSize(side, side);
    hoverAnimation_->setDuration(hoverDuration);
    hoverAnimation_->setEasingCurve(QEasingCurve::OutCubic);
    connect(hoverAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        hover_ = value.toReal();
        update();
    });
    if (action)
        connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
}

void ActionButton::setHelpText(const QString& helpText) {
    setToolTip(helpText);
    setAccessibleName(helpText);
}

void ActionButton::setIsWindowActive(bool isWindowActive) {
    if (std::exchange(isWindowActive_, isWindowActive) != isWindowActive)
        update();
}

void ActionButton::setIsActive(bool isActive) {
    if (std::exchange(isActive_, isActive) != isActive)
        update();
}

void ActionButton::setActiveColor(const QColor& color) {
    if (std::exchange(activeColor_, color) != color)
        update();
}

QSize ActionButton::sizeHint() const {
    const int side = qRound(buttonSize_);
    return {side, side};
}

QColor ActionButton::symbolColor() const {
    if (isActive_)
        return Qt::white;
    if (isWindowActive_)
        return palette().color(QPalette::WindowText);
    QColor grey(Qt::gray);
    grey.setAlphaF(0.3f);
    return grey;
}

qreal ActionButton::washOpacity() const {
    if (isActive_)
        return 0.2;
    return style_ == ActionButtonStyle::plain ? 0.15 : 0.12;
}

void ActionButton::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    setHovering(true);
}

void ActionButton::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    setHovering(false);
}

void ActionButton::setHovering(bool hovering) {
    if (isHovering_ == hovering)
        return;
    isHovering_ = hovering;
    hoverAnimation_->stop();
    if (!Animations::enabled()) {
        hover_ = hovering ? 1 : 0;
        update();
        return;
    }
    hoverAnimation_->setStartValue(hover_);
    hoverAnimation_->setEndValue(hovering ? 1.0 : 0.0);
    hoverAnimation_->start();
}

// The disc and its shadow; at rest, a copy of the one drawing every button of this look shares.
void ActionButton::paintGlass(QPainter& painter, const QRectF& circle) const {
    QColor fill = activeColor_;
    if (!isActive_) {
        const bool dark = palette().color(QPalette::Window).lightness() < 128;
        fill = dark ? QColor(255, 255, 255, 38) : QColor(255, 255, 255, 150);
    }
    const auto drawDisc = [circle, fill](QPainter& target) {
        target.setPen(Qt::NoPen);
        target.setBrush(QColor(0, 0, 0, 26));
        target.drawEllipse(circle.translated(0, 1));
        target.setBrush(fill);
        target.drawEllipse(circle);
    };
    if (hover_ > 0) {
        drawDisc(painter);
        return;
    }
    const QString key = QStringLiteral("action-disc-%1-%2-%3-%4")
                            .arg(circle.x())
                            .arg(circle.y())
                            .arg(circle.width())
                            .arg(fill.rgba(), 8, 16);
    painter.drawPixmap(QPointF(0, 0),
                       PaintCache::drawing(key, size(), devicePixelRatioF(), drawDisc));
}

void ActionButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QPointF centre = QRectF(rect()).center();
    const qreal scale = 1 + hoverScale * hover_;
    painter.translate(centre);
    painter.scale(scale, scale);
    painter.translate(-centre);
    // The circle leaves room for the shadow below it and the growth under the pointer.
    const qreal diameter = buttonSize_ / (1 + hoverScale) - 1;
    QRectF circle(0, 0, diameter, diameter);
    circle.moveCenter(centre - QPointF(0, 0.5));
    painter.setPen(Qt::NoPen);
    if (style_ == ActionButtonStyle::glass)
        paintGlass(painter, circle);
    if (hover_ > 0) {
        QColor wash(Qt::white);
        wash.setAlphaF(static_cast<float>(washOpacity() * hover_));
        painter.setBrush(wash);
        painter.drawEllipse(circle);
    }
    const QPixmap symbol =
        Symbols::pixmap(systemName_, iconSize_, symbolColor(), devicePixelRatioF());
    const QSizeF symbolSize = symbol.deviceIndependentSize();
    QRectF target(QPointF(), symbolSize);
    target.moveCenter(circle.center());
    painter.drawPixmap(target, symbol, QRectF(symbol.rect()));
}
