#include "platform/Animations.h"

#include <QPointF>

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
