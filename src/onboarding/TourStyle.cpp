#include "onboarding/TourStyle.h"

#include "platform/Animations.h"

#include <QPalette>
#include <QWidget>

namespace {
constexpr Animations::Spring shapeOf(TourStyle::Spring spring) {
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

template <TourStyle::Spring S> qreal springCurve(qreal progress) {
    return Animations::springPosition(shapeOf(S), progress);
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
    return static_cast<int>(Animations::settlingTime(shapeOf(spring)).count());
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
