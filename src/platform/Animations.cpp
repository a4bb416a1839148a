#include "platform/Animations.h"

#include <QPointF>
#include <cmath>
#include <numbers>

namespace {
bool& state() {
    static bool enabled = true;
    return enabled;
}
} // namespace

bool Animations::enabled() {
    return state();
}

void Animations::setEnabled(bool enabled) {
    state() = enabled;
}

QEasingCurve Animations::easeInOut() {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.42, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

namespace {
double settlingSeconds(Animations::Spring spring) {
    return 6.907755 * spring.response / (2 * std::numbers::pi * spring.damping);
}
} // namespace

std::chrono::milliseconds Animations::settlingTime(Spring spring) {
    return std::chrono::milliseconds(static_cast<int>(std::ceil(1000.0 * settlingSeconds(spring))));
}

qreal Animations::springPosition(Spring spring, qreal progress) {
    const double t = progress * settlingSeconds(spring);
    const double omega = 2 * std::numbers::pi / spring.response;
    const double decay = std::exp(-spring.damping * omega * t);
    if (spring.damping >= 1.0)
        return 1.0 - decay * (1.0 + omega * t);
    const double damped = omega * std::sqrt(1.0 - spring.damping * spring.damping);
    return 1.0 -
           decay * (std::cos(damped * t) + spring.damping * omega / damped * std::sin(damped * t));
}

QEasingCurve Animations::formSpringCurve() {
    QEasingCurve curve;
    curve.setCustomType([](qreal progress) { return springPosition(formSpring, progress); });
    return curve;
}
