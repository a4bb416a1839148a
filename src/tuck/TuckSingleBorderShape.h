#pragma once

#include "model/ScreenEdge.h"

#include <QPainterPath>
#include <QRectF>

// The outlines of a pull tab in its own coordinates (y down): the fill with the two corners away
// from the screen edge rounded, and the open border along the three sides that face away from
// the edge (the side on the edge stays open).
class TuckSingleBorderShape {
public:
    static QPainterPath border(const QRectF& rect, qreal cornerRadius, ScreenEdge edge);
    static QPainterPath fill(const QRectF& rect, qreal cornerRadius, ScreenEdge edge);
};
