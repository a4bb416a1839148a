#pragma once

#include <QColor>
#include <QEasingCurve>
#include <QFont>

class QPalette;
class QWidget;

// The tour's type scale and named colours. One point of the tour's layout is one logical pixel,
// as the window's fixed 900 × 700 is; text sizes follow the same scale.
namespace TourStyle {
enum class TextStyle {
    largeTitle,
    title,
    title2,
    title3,
    headline,
    subheadline,
    body,
    caption,
    caption2,
};

QFont font(TextStyle style);
QFont systemFont(int points, QFont::Weight weight = QFont::Normal);

enum class Named { blue, purple, pink, orange, green, cyan, accent, primary, secondary };

// Dark when the window colour's lightness is under 128, as for every window of the app.
bool isDark(const QPalette& palette);
QColor color(Named name, const QPalette& palette);
QColor withOpacity(QColor color, qreal opacity);

// A label in the given style; `secondary` greys it as secondary text.
void applyText(QWidget* label, TextStyle style, bool secondary = false);

// The tour's springs: a step changing (response 0.3 s, damping fraction 0.8), the progress dots
// (0.3 s, 0.7) and the iCloud status card (0.3 s, 1.0). Each curve settles from 0 to 1 over its
// duration.
enum class Spring { step, dots, status };
QEasingCurve easing(Spring spring);
int durationMs(Spring spring);
} // namespace TourStyle
