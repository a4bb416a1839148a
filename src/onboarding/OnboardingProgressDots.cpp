#include "onboarding/OnboardingProgressDots.h"

#include "onboarding/TourStyle.h"
#include "platform/Animations.h"
#include "ui/NamedColors.h"

#include <QPainter>
#include <QVariantAnimation>

namespace {
constexpr double enlarged = 1.2;
} // namespace

OnboardingProgressDots::OnboardingProgressDots(int currentStep, int totalSteps, QWidget* parent)
    : QWidget(parent), currentStep_(currentStep), totalSteps_(totalSteps) {
    levels_ = target();
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

QVector<double> OnboardingProgressDots::target() const {
    QVector<double> levels(totalSteps_, 0.0);
    if (currentStep_ >= 0 && currentStep_ < totalSteps_) {
        levels[currentStep_] = 1.0;
    }
    return levels;
}

void OnboardingProgressDots::setCurrentStep(int step) {
    if (step == currentStep_) {
        return;
    }
    currentStep_ = step;
    delete animation_;
    animation_ = nullptr;
    if (!Animations::enabled() || !isVisible()) {
        levels_ = target();
        update();
        return;
    }
    const QVector<double> from = levels_;
    const QVector<double> to = target();
    animation_ = new QVariantAnimation(this);
    animation_->setStartValue(0.0);
    animation_->setEndValue(1.0);
    animation_->setDuration(TourStyle::durationMs(TourStyle::Spring::dots));
    animation_->setEasingCurve(TourStyle::easing(TourStyle::Spring::dots));
    connect(animation_, &QVariantAnimation::valueChanged, this,
            [this, from, to](const QVariant& value) {
                const double progress = value.toDouble();
                for (int i = 0; i < levels_.size(); ++i) {
                    levels_[i] = from[i] + (to[i] - from[i]) * progress;
                }
                update();
            });
    animation_->start();
}

QPointF OnboardingProgressDots::dotCenter(int index) const {
    const double margin = dotSize * (enlarged - 1.0) / 2.0 + 1.0;
    return {margin + dotSize / 2.0 + index * (dotSize + spacing), height() / 2.0};
}

QSize OnboardingProgressDots::sizeHint() const {
    const int margin = static_cast<int>(dotSize * (enlarged - 1.0) / 2.0) + 1;
    const int row = totalSteps_ * dotSize + qMax(0, totalSteps_ - 1) * spacing;
    return {row + 2 * margin, dotSize + 2 * margin};
}

void OnboardingProgressDots::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QColor faint = Theme::withAlpha(Theme::color(Theme::Named::secondary, palette()), 0.3);
    const QColor accent = Theme::color(Theme::Named::accent, palette());
    for (int i = 0; i < totalSteps_; ++i) {
        const double level = levels_.value(i);
        const double radius = dotSize / 2.0 * (1.0 + (enlarged - 1.0) * level);
        painter.setBrush(Theme::mix(faint, accent, level));
        painter.drawEllipse(dotCenter(i), radius, radius);
    }
}
