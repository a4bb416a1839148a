#include "ui/HoverFade.h"

#include "platform/Animations.h"

#include <QVariantAnimation>
#include <QWidget>

HoverFade::HoverFade(QWidget* owner, int durationMs, QEasingCurve::Type curve)
    : owner_(owner), durationMs_(durationMs), curve_(curve) {}

void HoverFade::fadeTo(bool hovering) {
    const qreal target = hovering ? 1.0 : 0.0;
    if (animation_)
        animation_->stop();
    if (!Animations::enabled()) {
        value_ = target;
        owner_->update();
        return;
    }
    if (!animation_) {
        animation_ = new QVariantAnimation(owner_);
        animation_->setDuration(durationMs_);
        animation_->setEasingCurve(curve_);
        QObject::connect(animation_, &QVariantAnimation::valueChanged, owner_,
                         [this](const QVariant& step) {
                             value_ = step.toReal();
                             owner_->update();
                         });
    }
    animation_->setStartValue(value_);
    animation_->setEndValue(target);
    animation_->start();
}
