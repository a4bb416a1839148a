#include "onboarding/TourStyle.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>
#include <cmath>
#include <numbers>

namespace {
struct Tones {
    QColor light;
    QColor dark;
};

Tones tones(TourStyle::Named name) {
    using TourStyle::Named;
    switch (name) {
    case Named::blue:
        return {QColor(0, 122, 255), QColor(10, 132, 255)};
    case Named::purple:
        return {QColor(175, 82, 222), QColor(191, 90, 242)};
    case Named::pink:
        return {QColor(255, 45, 85), QColor(255, 55, 95)};
    case Named::orange:
        return {QColor(255, 149, 0), QColor(255, 159, 10)};
    case Named::green:
        return {QColor(52, 199, 89), QColor(48, 209, 88)};
    case Named::cyan:
        return {QColor(50, 173, 230), QColor(100, 210, 255)};
    default:
        return {};
    }
}

int pointsOf(TourStyle::TextStyle style) {
    using TourStyle::TextStyle;
    switch (style) {
    case TextStyle::largeTitle:
        return 26;
    case TextStyle::title:
        return 22;
    case TextStyle::title2:
        return 17;
    case TextStyle::title3:
        return 15;
    case TextStyle::headline:
    case TextStyle::body:
        return 13;
    case TextStyle::subheadline:
        return 11;
    case TextStyle::caption:
    case TextStyle::caption2:
        return 10;
    }
    return 13;
}

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

QFont TourStyle::systemFont(int points, QFont::Weight weight) {
    QFont font = QApplication::font();
    font.setPixelSize(points);
    font.setWeight(weight);
    return font;
}

QFont TourStyle::font(TextStyle style) {
    const bool bold = style == TextStyle::headline;
    return systemFont(pointsOf(style), bold ? QFont::DemiBold : QFont::Normal);
}

bool TourStyle::isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor TourStyle::color(Named name, const QPalette& palette) {
    switch (name) {
    case Named::accent:
        return palette.color(QPalette::Highlight);
    case Named::primary:
        return palette.color(QPalette::WindowText);
    case Named::secondary:
        return withOpacity(palette.color(QPalette::WindowText), isDark(palette) ? 0.55 : 0.5);
    default: {
        const Tones pair = tones(name);
        return isDark(palette) ? pair.dark : pair.light;
    }
    }
}

QColor TourStyle::withOpacity(QColor color, qreal opacity) {
    color.setAlphaF(color.alphaF() * opacity);
    return color;
}

void TourStyle::applyText(QWidget* label, TextStyle style, bool secondary) {
    label->setFont(font(style));
    if (secondary) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, color(Named::secondary, palette));
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
