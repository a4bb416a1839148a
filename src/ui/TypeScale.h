#pragma once

#include <QFont>

// The system's text styles, one size and weight each. The layouts were first drawn on a desktop
// whose point is one logical pixel here, so a style's points are set as pixels: text keeps its
// size beside the layout whatever the screen's dots per inch.
namespace Theme {
enum class TextStyle {
    largeTitle,
    title,
    title2,
    title3,
    headline,
    body,
    callout,
    subheadline,
    footnote,
    caption,
    caption2,
};

int points(TextStyle style);
// Semibold for the headline, regular for every other style.
QFont::Weight weight(TextStyle style);

// The application font in the style; a weight other than Normal replaces the style's own.
QFont font(TextStyle style, QFont::Weight weight = QFont::Normal);
// The application font at a size no text style has, for layouts that name the size itself.
QFont systemFont(double points, QFont::Weight weight = QFont::Normal);
} // namespace Theme
