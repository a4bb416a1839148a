#include "onboarding/OnboardingStepArea.h"

#include "onboarding/TourStyle.h"
#include "platform/Animations.h"

#include <QGraphicsOpacityEffect>
#include <QPainter>
#include <QVariantAnimation>

OnboardingStepArea::OnboardingStepArea(QWidget* parent) : QWidget(parent) {}

void OnboardingStepArea::setStep(QWidget* step) {
    const bool animate = step_ && Animations::enabled() && isVisible() && width() > 0;
    delete animation_;
    animation_ = nullptr;
    leaving_ = animate ? step_->grab() : QPixmap();
    if (step_) {
        // Later, not now: the change may come from a button of the old step, still in its click.
        step_->hide();
        step_->deleteLater();
    }
    step_ = step;
    step_->setParent(this);
    if (!animate) {
        finishMove();
        step_->show();
        return;
    }
    auto* fade = new QGraphicsOpacityEffect(step_);
    fade->setOpacity(0);
    step_->setGraphicsEffect(fade);
    progress_ = 0;
    place();
    step_->show();

    animation_ = new QVariantAnimation(this);
    animation_->setStartValue(0.0);
    animation_->setEndValue(1.0);
    animation_->setDuration(TourStyle::durationMs(TourStyle::Spring::step));
    animation_->setEasingCurve(TourStyle::easing(TourStyle::Spring::step));
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        progress_ = value.toDouble();
        if (step_) {
            if (auto* effect = qobject_cast<QGraphicsOpacityEffect*>(step_->graphicsEffect())) {
                effect->setOpacity(qBound(0.0, progress_, 1.0));
            }
        }
        place();
        update();
    });
    connect(animation_, &QVariantAnimation::finished, this, [this] {
        animation_->deleteLater();
        animation_ = nullptr;
        finishMove();
    });
    animation_->start();
}

void OnboardingStepArea::finishMove() {
    progress_ = 1.0;
    leaving_ = QPixmap();
    if (step_) {
        step_->setGraphicsEffect(nullptr);
    }
    place();
    update();
}

void OnboardingStepArea::place() {
    if (!step_) {
        return;
    }
    const int offset = static_cast<int>((1.0 - progress_) * width());
    step_->setGeometry(rect().translated(offset, 0));
}

void OnboardingStepArea::resizeEvent(QResizeEvent*) {
    place();
}

void OnboardingStepArea::paintEvent(QPaintEvent*) {
    if (leaving_.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.setOpacity(qBound(0.0, 1.0 - progress_, 1.0));
    painter.drawPixmap(QPointF(-progress_ * width(), 0), leaving_);
}
