#pragma once

#include "model/ScreenEdge.h"

#include <QColor>
#include <QPainterPath>
#include <QPalette>
#include <QPointF>
#include <QRectF>

class Kippet;
class QPainter;

// How the tray draws: translucent over the desktop, or the solid black cut-out chosen in the
// settings, whose texts and symbols are white.
class TuckAwayStyle {
public:
    static inline const QString cutoutKey = QStringLiteral("kippet_tuck_cutout");
    static inline const QString monochromeKey = QStringLiteral("kippet_tuck_monochrome");
    static constexpr double cornerRadius = 12;

    TuckAwayStyle() = delete;

    // False when unset.
    static bool cutoutEnabled();
    // True when unset.
    static bool monochromeIcons();

    // Texts and symbols: white in the cut-out, else the palette's text colour.
    static QColor foreground(bool cutout, const QPalette& palette);
    // The fill of the tab and the panel: the ultra-thin window material unless cut out.
    static QColor fill(bool cutout, const QPalette& palette);
    // A kippet's colour as the tray shows it: the daily colour for a daily kippet.
    static QColor kippetColor(const Kippet& kippet);

    // A soft shadow of the shape, `radius` wide, offset; only outside the shape itself.
    static void paintShadow(QPainter& painter, const QPainterPath& shape, double opacity,
                            double radius, QPointF offset);
    // A rectangle rounded only on the corners away from the screen edge.
    static QPainterPath tabShape(const QRectF& rect, double radius, ScreenEdge edge);
};
