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

void ClockAnimation::animateTo(qreal target, std::chrono::milliseconds span, QEasingCurve curve,
                               int fewestFrames) {
    if (!Animations::enabled() || span.count() <= 0) {
        jumpTo(target);
        return;
    }
    from_ = value_;
    target_ = target;
    curve_ = curve;
    spanMs_ = span.count();
    startedMs_ = Clock::shared().now().toMSecsSinceEpoch();
    progress_ = 0;
    mostPerFrame_ = fewestFrames > 0 ? 1.0 / fewestFrames : 1.0;
    scheduleFrame(0);
}

void ClockAnimation::scheduleFrame(qint64 elapsedMs) {
    // The last frame falls on the end of the span, not on the frame after it; a run held back
    // past its span goes on a frame at a time.
    const qint64 left = spanMs_ - elapsedMs;
    frames_->start(std::chrono::milliseconds(left > 0 ? std::min<qint64>(frame.count(), left)
                                                      : frame.count()));
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
    const qreal progress =
        std::min(std::clamp(qreal(elapsed) / qreal(spanMs_), 0.0, 1.0), progress_ + mostPerFrame_);
    progress_ = progress;
    // A run held back reaches its end by shares of the way that may not add up to 1 exactly.
    if (progress >= 1 || qFuzzyCompare(progress, 1.0)) {
        jumpTo(target_);
        return;
    }
    value_ = from_ + (target_ - from_) * curve_.valueForProgress(progress);
    scheduleFrame(elapsed);
    emit valueChanged(value_);
}
