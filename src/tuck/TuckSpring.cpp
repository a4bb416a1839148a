#include "tuck/TuckSpring.h"

#include "platform/Animations.h"
#include "platform/Clock.h"
#include "platform/ClockTimer.h"

#include <cmath>
#include <numbers>

namespace {
// Closer than this to the target, and as slow, the swing has ended.
constexpr double restDistance = 1e-4;
} // namespace

TuckSpring::TuckSpring(double response, double dampingFraction, qreal value, QObject* parent)
    : QObject(parent), omega_(2 * std::numbers::pi / response), damping_(dampingFraction),
      value_(value), target_(value), frames_(new ClockTimer(this)) {
    frames_->setSingleShot(true);
    connect(frames_, &ClockTimer::timeout, this, &TuckSpring::step);
}

bool TuckSpring::isRunning() const {
    return frames_->isActive();
}

double TuckSpring::secondsSinceStart() const {
    return double(Clock::shared().now().toMSecsSinceEpoch() - startedMs_) / 1000.0;
}

void TuckSpring::setTarget(qreal target) {
    if (!Animations::enabled()) {
        frames_->stop();
        target_ = target;
        velocity_ = 0;
        if (value_ != target) {
            value_ = target;
            emit valueChanged(value_);
        }
        return;
    }
    if (isRunning()) {
        // Where the swing stands now is where the next one begins.
        const auto [offset, speed] = stateAt(secondsSinceStart());
        value_ = target_ + offset;
        velocity_ = speed;
    }
    target_ = target;
    startOffset_ = value_ - target_;
    startVelocity_ = velocity_;
    startedMs_ = Clock::shared().now().toMSecsSinceEpoch();
    if (std::abs(startOffset_) < restDistance && std::abs(startVelocity_) < restDistance) {
        frames_->stop();
        return;
    }
    frames_->start(frame);
}

std::pair<double, double> TuckSpring::stateAt(double t) const {
    const double x0 = startOffset_;
    const double v0 = startVelocity_;
    const double decay = std::exp(-damping_ * omega_ * t);
    if (damping_ >= 1) {
        // Critically damped: the fastest return that does not overshoot.
        const double b = v0 + omega_ * x0;
        return {decay * (x0 + b * t), decay * (b - omega_ * (x0 + b * t))};
    }
    const double damped = omega_ * std::sqrt(1 - damping_ * damping_);
    const double a = x0;
    const double b = (v0 + damping_ * omega_ * x0) / damped;
    const double c = std::cos(damped * t);
    const double s = std::sin(damped * t);
    const double position = decay * (a * c + b * s);
    const double speed = decay * ((b * damped - damping_ * omega_ * a) * c -
                                  (a * damped + damping_ * omega_ * b) * s);
    return {position, speed};
}

void TuckSpring::step() {
    const auto [offset, speed] = stateAt(secondsSinceStart());
    if (std::abs(offset) < restDistance && std::abs(speed) < restDistance * omega_) {
        value_ = target_;
        velocity_ = 0;
    } else {
        value_ = target_ + offset;
        velocity_ = speed;
        frames_->start(frame);
    }
    emit valueChanged(value_);
}
