#pragma once

#include "model/ScreenEdge.h"
#include "platform/RectD.h"

#include <QList>
#include <QPointF>
#include <QSizeF>
#include <optional>
#include <utility>

// Where a pull tab stands, in the app's coordinates (y up) on a screen's visible frame: 32 across
// its edge, 56 along it, slots a tab's length plus 10 apart.
class TuckTabPlacement {
public:
    static constexpr double tabShortSide = 32;
    static constexpr double tabLongSide = 56;
    static constexpr double stackGap = 10;
    static constexpr double slotStep = tabLongSide + stackGap;

    TuckTabPlacement() = delete;

    static QSizeF tabSize(ScreenEdge edge);
    // Centred on the edge.
    static RectD centred(ScreenEdge edge, const RectD& visibleFrame);
    // The places along the edge in the order tabs take them: the centre, then a step at a time
    // rightwards (top, bottom) or downwards (left, right) as far as the edge has room, then
    // from the centre the other way. A place that would cover `keepClear` (the group tray's
    // tab on the same edge) is left out, so no tab hides another.
    static QList<RectD> places(ScreenEdge edge, const RectD& visibleFrame,
                               const std::optional<RectD>& keepClear = std::nullopt);
    // The slot-th place; past the last place of a full edge, that last place.
    static RectD slot(ScreenEdge edge, int slot, const RectD& visibleFrame,
                      const std::optional<RectD>& keepClear = std::nullopt);
    // The edge with the least signed distance to the point, ties in the order left, right,
    // bottom, top; a point outside the frame is nearest the side it lies beyond.
    static ScreenEdge nearestEdge(QPointF point, const RectD& visibleFrame);
    // On the nearest edge, centred on the point along it and kept on the edge.
    static std::pair<ScreenEdge, RectD> snapped(QPointF point, const RectD& visibleFrame);
    // The frame on the edge whose middle along the edge is `along` (x or y), clamped.
    static RectD onEdge(ScreenEdge edge, double along, const RectD& visibleFrame);
};
