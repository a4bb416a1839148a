#include "platform/ClockAnimation.h"

#include "platform/Animations.h"
#include "platform/Clock.h"
#include "platform/ClockTimer.h"

#include <algorithm>

ClockAnimation::ClockAnimation(QObject* parent) : QObject(parent), frames_(new ClockTimer(this)) {
    frames_->setSingleShot(true);
    connect(frames_, &ClockTimer::timeout, this, &ClockAnimation::step);
}

bool ClockAnimation::isRunning() const {
    return frames_->isActive();
}

void ClockAnimation::animateTo(qreal target, std::chrono::milliseconds span, QEasingCurve curve) {
    if (!Animations::enabled() || span.count() <= 0) {
        jumpTo(target);
        return;
    }
    from_ = value_;
    target_ = target;
    curve_ = curve;
    spanMs_ = span.count();
    startedMs_ = Clock::shared().now().toMSecsSinceEpoch();
    scheduleFrame(0);
}

void ClockAnimation::scheduleFrame(qint64 elapsedMs) {
    // The last frame falls on the end of the span, not on the frame after it.
    frames_->start(std::chrono::milliseconds(std::min<qint64>(frame.count(), spanMs_ - elapsedMs)));
}

void ClockAnimation::jumpTo(qreal target) {
    const bool wasRunning = isRunning();
    frames_->stop();
    target_ = target;
    const bool moved = !qFuzzyCompare(value_ + 1, target + 1);
    value_ = target;
    if (moved)
        emit valueChanged(value_);
    if (moved || wasRunning)
        emit finished();
}

void ClockAnimation::step() {
    const qint64 elapsed = Clock::shared().now().toMSecsSinceEpoch() - startedMs_;
    const qreal progress = std::clamp(qreal(elapsed) / qreal(spanMs_), 0.0, 1.0);
    if (progress >= 1) {
        jumpTo(target_);
        return;
    }
    value_ = from_ + (target_ - from_) * curve_.valueForProgress(progress);
    scheduleFrame(elapsed);
    emit valueChanged(value_);
}
