#pragma once

#include "model/ScreenEdge.h"

#include <QColor>
#include <QImage>
#include <QMargins>
#include <QPainterPath>
#include <QPointF>

// The coloured glow a pull tab casts in the translucent style: its fill's outline in the
// kippet's colour, blurred, moved a little by edge.
class TuckSingleShadow {
public:
    static constexpr qreal opacity = 0.3;
    static constexpr qreal blurRadius = 4;
    // Beyond this the blurred colour is under one step of eight-bit alpha.
    static constexpr int reach = 10;

    TuckSingleShadow() = delete;

    // In drawing coordinates (y down).
    static QPointF offset(ScreenEdge edge);
    // Room the panel keeps around the tab for the shadow; none on the screen edge, where the
    // shadow would only fall off the screen or onto the bar at its top.
    static QMargins margins(ScreenEdge edge);

    struct Image {
        QImage image;
        // Where its top left corner goes, in the shape's coordinates.
        QPointF origin;
    };
    // The shape's shadow, offset already applied, rendered for the pixel ratio.
    static Image render(const QPainterPath& shape, ScreenEdge edge, const QColor& color,
                        qreal devicePixelRatio);
};
