#pragma once

#include <QEasingCurve>
#include <chrono>

// Whether windows animate their changes. Tests switch animations off so that every change is
// complete when the call returns.
class Animations {
public:
    static bool enabled();
    static void setEnabled(bool enabled);
    // The platform's ease-in-out timing curve: a cubic Bézier through (0.42, 0) and (0.58, 1).
    static QEasingCurve easeInOut();

    // A spring released from rest at 0 towards 1, given as the time of one undamped swing in
    // seconds (response) and its damping fraction (1: no overshoot).
    struct Spring {
        double response;
        double damping;
    };
    // The form's spring (response 0.3 s, damping fraction 1) that rows and sections show and
    // hide with.
    static constexpr Spring formSpring{0.3, 1.0};
    // How long the spring takes to settle within a thousandth of its span.
    static std::chrono::milliseconds settlingTime(Spring spring);
    // Where the spring stands at `progress` (0 to 1) of its settling time.
    static qreal springPosition(Spring spring, qreal progress);
    // The form's spring as a curve over its settling time.
    static QEasingCurve formSpringCurve();
};
