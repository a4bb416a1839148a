#include "onboarding/TourStyle.h"

#include <QPalette>
#include <QWidget>
#include <cmath>
#include <numbers>

namespace {
struct SpringShape {
    double response;
    double damping;
};

constexpr SpringShape shapeOf(TourStyle::Spring spring) {
    switch (spring) {
    case TourStyle::Spring::dots:
        return {0.3, 0.7};
    case TourStyle::Spring::status:
        return {0.3, 1.0};
    case TourStyle::Spring::step:
        break;
    }
    return {0.3, 0.8};
}

// Long enough for the motion to settle within a thousandth of its span.
constexpr double settlingSeconds(SpringShape shape) {
    return 6.907755 * shape.response / (2 * std::numbers::pi * shape.damping);
}

// The position of a spring released from 0 towards 1, at `progress` of its settling time.
template <TourStyle::Spring S> qreal springCurve(qreal progress) {
    constexpr SpringShape shape = shapeOf(S);
    const double t = progress * settlingSeconds(shape);
    const double omega = 2 * std::numbers::pi / shape.response;
    const double decay = std::exp(-shape.damping * omega * t);
    if (shape.damping >= 1.0) {
        return 1.0 - decay * (1.0 + omega * t);
    }
    const double damped = omega * std::sqrt(1.0 - shape.damping * shape.damping);
    return 1.0 -
           decay * (std::cos(damped * t) + shape.damping * omega / damped * std::sin(damped * t));
}
} // namespace

void TourStyle::applyText(QWidget* label, Theme::TextStyle style, bool secondary) {
    label->setFont(Theme::font(style));
    // Text colour, even inside a button (whose children would take the button text colour).
    label->setForegroundRole(QPalette::WindowText);
    if (secondary) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, Theme::secondary(palette));
        label->setPalette(palette);
    }
}

int TourStyle::durationMs(Spring spring) {
    return static_cast<int>(std::ceil(1000.0 * settlingSeconds(shapeOf(spring))));
}

QEasingCurve TourStyle::easing(Spring spring) {
    QEasingCurve curve;
    switch (spring) {
    case Spring::dots:
        curve.setCustomType(springCurve<Spring::dots>);
        break;
    case Spring::status:
        curve.setCustomType(springCurve<Spring::status>);
        break;
    case Spring::step:
        curve.setCustomType(springCurve<Spring::step>);
        break;
    }
    return curve;
}
