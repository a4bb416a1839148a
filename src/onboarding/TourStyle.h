#pragma once

#include "ui/Theme.h"

#include <QEasingCurve>

class QWidget;

// The tour's own helpers; its type scale and colours are the shared ones of ui/Theme.h. One
// point of the tour's layout is one logical pixel, as the window's fixed 900 × 700 is.
namespace TourStyle {
// A label in the given style; `secondary` greys it as secondary text.
void applyText(QWidget* label, Theme::TextStyle style, bool secondary = false);

// The tour's springs: a step changing (response 0.3 s, damping fraction 0.8), the progress dots
// (0.3 s, 0.7) and the iCloud status card (0.3 s, 1.0). Each curve settles from 0 to 1 over its
// duration.
enum class Spring { step, dots, status };
QEasingCurve easing(Spring spring);
int durationMs(Spring spring);
} // namespace TourStyle
