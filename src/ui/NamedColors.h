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

// WCAG relative luminance of the colour's sRGB channels, alpha left out: 0 black, 1 white.
double luminance(const QColor& color);
// WCAG contrast ratio of two opaque colours: 1 for equal ones, 21 for black on white.
double contrast(const QColor& first, const QColor& second);
// What the eye sees of `top`, with its alpha, painted over the opaque `bottom`.
QColor over(const QColor& top, const QColor& bottom);
// A symbol's colour on a solid fill: white, unless the fill is light enough for white strokes to
// stand out less than 3:1 from it; then a near-black.
QColor symbolOn(const QColor& fill);
// The contrast small text asks for: thin strokes lose some of their colour's contrast at the
// edges, and a digit must still stand out 3:1 on screen.
inline constexpr double textContrast = 4.5;
// `tint` painted over the opaque `fill`, moved towards white on a dark fill or towards black on
// a light one just far enough to stand out 3:1 from it (or `minimum`); an opaque colour.
QColor legibleOn(const QColor& tint, const QColor& fill, double minimum = 3.0);

// The colour with its alpha multiplied by `alpha`.
QColor withAlpha(QColor color, double alpha);
// The colour `amount` of the way from `from` to `to`, every channel and alpha alike; the amount
// is kept within 0 and 1.
QColor mix(const QColor& from, const QColor& to, double amount);
} // namespace Theme
