#pragma once

#include <QEasingCurve>

// Whether windows animate their changes. Tests switch animations off so that every change is
// complete when the call returns.
class Animations {
public:
    static bool enabled();
    static void setEnabled(bool enabled);
    // The platform's ease-in-out timing curve: a cubic Bézier through (0.42, 0) and (0.58, 1).
    static QEasingCurve easeInOut();
};
