#include "ui/PopTransition.h"

#include "platform/Animations.h"
#include "platform/ClockAnimation.h"

#include <QPainter>
#include <QWidget>
#include <algorithm>

namespace {
// Not quite nothing: a scale of zero cannot be drawn.
constexpr qreal smallestScale = 0.00001;
} // namespace

PopTransition::PopTransition(QWidget* target, const QEasingCurve& curve,
                             std::chrono::milliseconds span)
    : QGraphicsEffect(target), target_(target), curve_(curve), span_(span),
      animation_(new ClockAnimation(this)), shown_(!target->isHidden()) {
    animation_->jumpTo(shown_ ? 1 : 0);
    connect(animation_, &ClockAnimation::valueChanged, this, [this] { update(); });
    connect(animation_, &ClockAnimation::finished, this, &PopTransition::settled);
    target->setGraphicsEffect(this);
}

qreal PopTransition::progress() const {
    return animation_->value();
}

void PopTransition::setShown(bool shown) {
    if (shown == shown_)
        return;
    shown_ = shown;
    const QWidget* parent = target_->parentWidget();
    if (!Animations::enabled() || !parent || !parent->isVisible()) {
        animation_->jumpTo(shown ? 1 : 0);
        target_->setVisible(shown);
        return;
    }
    if (shown)
        target_->show();
    animation_->animateTo(shown ? 1 : 0, span_, curve_);
}

void PopTransition::settled() {
    if (!shown_)
        target_->hide();
}

void PopTransition::draw(QPainter* painter) {
    const qreal shown = progress();
    if (shown >= 1 && !animation_->isRunning()) {
        drawSource(painter);
        return;
    }
    QPoint offset;
    const QPixmap picture = sourcePixmap(Qt::LogicalCoordinates, &offset);
    const QPointF centre = sourceBoundingRect(Qt::LogicalCoordinates).center();
    const qreal scale = std::max(shown, smallestScale);
    painter->save();
    painter->setOpacity(painter->opacity() * std::clamp(shown, 0.0, 1.0));
    painter->translate(centre);
    painter->scale(scale, scale);
    painter->translate(-centre);
    painter->drawPixmap(offset, picture);
    painter->restore();
}
