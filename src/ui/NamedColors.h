#pragma once

#include <QColor>

class QPalette;

// The system's named colours and label styles, and the dark-appearance check they depend on.
// Colours that follow the appearance read it from the palette they are given: a widget passes
// its own.
namespace Theme {
// Dark when the window colour's lightness is under 128.
bool isDark(const QPalette& palette);
// The application's palette.
bool isDark();

// Text in the label styles: primary is the window text, the others fade it.
QColor primary(const QPalette& palette);
QColor secondary(const QPalette& palette);
QColor tertiary(const QPalette& palette);
QColor accent(const QPalette& palette);
// A hairline between two parts of a view.
QColor separator(const QPalette& palette);
// What a daily kippet shows instead of its own colour: white in the dark appearance, else a 0.2
// grey.
QColor daily(const QPalette& palette);

enum class Named {
    blue,
    purple,
    pink,
    orange,
    green,
    cyan,
    red,
    yellow,
    accent,
    primary,
    secondary
};
// The named colour in the palette's appearance.
QColor color(Named name, const QPalette& palette);

// The named colours in their light tones, as the sheets and settings draw them in either
// appearance.
QColor orange();
QColor red();
QColor yellow();
QColor green();
QColor blue();
QColor purple();

// The colour with its alpha multiplied by `alpha`.
QColor withAlpha(QColor color, double alpha);
// The colour `amount` of the way from `from` to `to`, every channel and alpha alike; the amount
// is kept within 0 and 1.
QColor mix(const QColor& from, const QColor& to, double amount);
} // namespace Theme
