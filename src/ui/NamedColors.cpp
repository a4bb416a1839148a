#include "ui/NamedColors.h"

#include <QGuiApplication>
#include <QPalette>
#include <algorithm>
#include <cmath>

namespace Theme {

namespace {
struct Tones {
    QColor light;
    QColor dark;
};

Tones tones(Named name) {
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
    case Named::red:
        return {QColor(255, 59, 48), QColor(255, 69, 58)};
    case Named::yellow:
        return {QColor(255, 204, 0), QColor(255, 214, 10)};
    case Named::accent:
    case Named::primary:
    case Named::secondary:
        break;
    }
    return {};
}
} // namespace

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

bool isDark() {
    return isDark(QGuiApplication::palette());
}

QColor primary(const QPalette& palette) {
    return palette.color(QPalette::WindowText);
}

QColor secondary(const QPalette& palette) {
    return withAlpha(primary(palette), isDark(palette) ? 0.55 : 0.5);
}

QColor tertiary(const QPalette& palette) {
    return withAlpha(primary(palette), isDark(palette) ? 0.25 : 0.26);
}

QColor accent(const QPalette& palette) {
    return palette.color(QPalette::Highlight);
}

QColor separator(const QPalette& palette) {
    return withAlpha(primary(palette), 0.12);
}

QColor daily(const QPalette& palette) {
    return isDark(palette) ? QColor::fromRgbF(1.0f, 1.0f, 1.0f, 1.0f)
                           : QColor::fromRgbF(0.2f, 0.2f, 0.2f, 1.0f);
}

QColor color(Named name, const QPalette& palette) {
    switch (name) {
    case Named::accent:
        return accent(palette);
    case Named::primary:
        return primary(palette);
    case Named::secondary:
        return secondary(palette);
    default: {
        const Tones pair = tones(name);
        return isDark(palette) ? pair.dark : pair.light;
    }
    }
}

QColor orange() {
    return tones(Named::orange).light;
}
QColor red() {
    return tones(Named::red).light;
}
QColor yellow() {
    return tones(Named::yellow).light;
}
QColor green() {
    return tones(Named::green).light;
}
QColor blue() {
    return tones(Named::blue).light;
}
QColor purple() {
    return tones(Named::purple).light;
}

namespace {
// How far above the contrast asked for a legible colour is kept (3.3 for 3:1).
constexpr double legibleMargin = 1.1;
// A white symbol's thin strokes blend into the fill at their edges and lose some of their
// contrast: white is kept only where it stands out clearly.
constexpr double whiteSymbolContrast = 3.6;
const QColor darkSymbol(29, 29, 31);

double linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}
} // namespace

double luminance(const QColor& color) {
    const QColor rgb = color.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) +
           0.0722 * linear(rgb.blueF());
}

double contrast(const QColor& first, const QColor& second) {
    const double a = luminance(first) + 0.05;
    const double b = luminance(second) + 0.05;
    return std::max(a, b) / std::min(a, b);
}

QColor over(const QColor& top, const QColor& bottom) {
    QColor seen = mix(bottom, top, top.alphaF());
    seen.setAlphaF(1.0f);
    return seen;
}

QColor symbolOn(const QColor& fill) {
    const QColor white(Qt::white);
    return contrast(white, fill) >= whiteSymbolContrast ? white : darkSymbol;
}

QColor legibleOn(const QColor& tint, const QColor& fill, double minimum) {
    const QColor seen = over(tint, fill);
    const QColor goal =
        contrast(Qt::white, fill) >= contrast(Qt::black, fill) ? Qt::white : Qt::black;
    // A little above the minimum, so that rounding to 8-bit channels cannot undo it.
    const double wanted = minimum * legibleMargin;
    for (int step = 0; step <= 20; ++step) {
        const QColor moved = mix(seen, goal, step / 20.0);
        if (contrast(moved, fill) >= wanted)
            return moved;
    }
    return goal;
}

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(static_cast<float>(color.alphaF() * alpha));
    return color;
}

QColor mix(const QColor& from, const QColor& to, double amount) {
    const double t = std::clamp(amount, 0.0, 1.0);
    const auto channel = [t](double a, double b) { return a + (b - a) * t; };
    return QColor::fromRgbF(channel(from.redF(), to.redF()), channel(from.greenF(), to.greenF()),
                            channel(from.blueF(), to.blueF()), channel(from.alphaF(), to.alphaF()));
}

} // namespace Theme
