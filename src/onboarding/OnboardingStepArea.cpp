#include "onboarding/OnboardingStepArea.h"

#include "onboarding/TourStyle.h"
#include "platform/Animations.h"

#include <QLayout>
#include <QPainter>
#include <QVariantAnimation>

OnboardingStepArea::OnboardingStepArea(QWidget* parent) : QWidget(parent) {}

void OnboardingStepArea::setStep(QWidget* step) {
    const bool animate = step_ && Animations::enabled() && isVisible() && width() > 0;
    delete animation_;
    animation_ = nullptr;
    if (step_) {
        leaving_ = animate ? step_->grab() : QPixmap();
        // Later, not now: the change may come from a button of the old step, still in its click.
        step_->hide();
        step_->deleteLater();
    }
    step_ = step;
    step_->setParent(this);
    step_->setGeometry(rect());
    if (!animate) {
        finishMove();
        return;
    }
    if (QLayout* layout = step_->layout()) {
        layout->activate();
    }
    entering_ = step_->grab();
    step_->hide();
    progress_ = 0;
    update();

    animation_ = new QVariantAnimation(this);
    animation_->setStartValue(0.0);
    animation_->setEndValue(1.0);
    animation_->setDuration(TourStyle::durationMs(TourStyle::Spring::step));
    animation_->setEasingCurve(TourStyle::easing(TourStyle::Spring::step));
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        progress_ = value.toDouble();
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
    entering_ = QPixmap();
    if (step_) {
        step_->setGeometry(rect());
        step_->show();
    }
    update();
}

void OnboardingStepArea::resizeEvent(QResizeEvent*) {
    if (step_) {
        step_->setGeometry(rect());
    }
}

void OnboardingStepArea::paintEvent(QPaintEvent*) {
    if (leaving_.isNull() && entering_.isNull()) {
        return;
    }
    QPainter painter(this);
    const double shift = progress_ * width();
    painter.setOpacity(qBound(0.0, 1.0 - progress_, 1.0));
    painter.drawPixmap(QPointF(-shift, 0), leaving_);
    painter.setOpacity(qBound(0.0, progress_, 1.0));
    painter.drawPixmap(QPointF(width() - shift, 0), entering_);
}
