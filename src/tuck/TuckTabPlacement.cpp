#include "tuck/TuckTabPlacement.h"

#include <algorithm>

QSizeF TuckTabPlacement::tabSize(ScreenEdge edge) {
    const bool across = edge == ScreenEdge::top || edge == ScreenEdge::bottom;
    return across ? QSizeF(tabLongSide, tabShortSide) : QSizeF(tabShortSide, tabLongSide);
}

RectD TuckTabPlacement::onEdge(ScreenEdge edge, double along, const RectD& v) {
    const double half = tabLongSide / 2;
    // The upper bound first, the lower last: on a frame shorter than a tab, the tab keeps to
    // the frame's start.
    switch (edge) {
    case ScreenEdge::top:
    case ScreenEdge::bottom: {
        const double x = std::max(v.minX(), std::min(v.maxX() - tabLongSide, along - half));
        const double y = edge == ScreenEdge::top ? v.maxY() - tabShortSide : v.minY();
        return RectD(x, y, tabLongSide, tabShortSide);
    }
    case ScreenEdge::left:
    case ScreenEdge::right: {
        const double y = std::max(v.minY(), std::min(v.maxY() - tabLongSide, along - half));
        const double x = edge == ScreenEdge::left ? v.minX() : v.maxX() - tabShortSide;
        return RectD(x, y, tabShortSide, tabLongSide);
    }
    }
    return {};
}

RectD TuckTabPlacement::centred(ScreenEdge edge, const RectD& v) {
    const QSizeF size = tabSize(edge);
    switch (edge) {
    case ScreenEdge::top:
        return RectD(v.midX() - tabLongSide / 2, v.maxY() - tabShortSide, size.width(),
                     size.height());
    case ScreenEdge::bottom:
        return RectD(v.midX() - tabLongSide / 2, v.minY(), size.width(), size.height());
    case ScreenEdge::left:
        return RectD(v.minX(), v.midY() - tabLongSide / 2, size.width(), size.height());
    case ScreenEdge::right:
        return RectD(v.maxX() - tabShortSide, v.midY() - tabLongSide / 2, size.width(),
                     size.height());
    }
    return {};
}

QList<RectD> TuckTabPlacement::places(ScreenEdge edge, const RectD& v,
                                      const std::optional<RectD>& keepClear) {
    const bool across = edge == ScreenEdge::top || edge == ScreenEdge::bottom;
    // Along the edge: where a tab may start, and where it starts at the centre; onwards is
    // rightwards on the top and bottom, downwards (y falling) on the sides.
    const double low = across ? v.minX() : v.minY();
    const double high = (across ? v.maxX() : v.maxY()) - tabLongSide;
    const double centre = (across ? v.midX() : v.midY()) - tabLongSide / 2;
    const double onwards = across ? slotStep : -slotStep;
    const auto at = [&](double start) { return onEdge(edge, start + tabLongSide / 2, v); };
    QList<RectD> all;
    for (double start = centre; start >= low && start <= high; start += onwards)
        all.append(at(start));
    for (double start = centre - onwards; start >= low && start <= high; start -= onwards)
        all.append(at(start));
    QList<RectD> free;
    for (const RectD& place : std::as_const(all)) {
        if (!keepClear || !place.intersects(*keepClear))
            free.append(place);
    }
    // An edge shorter than a tab still has the one place it can give.
    if (free.isEmpty())
        free.append(at(centre));
    return free;
}

RectD TuckTabPlacement::slot(ScreenEdge edge, int slot, const RectD& v,
                             const std::optional<RectD>& keepClear) {
    const QList<RectD> free = places(edge, v, keepClear);
    return free[std::clamp<qsizetype>(slot, 0, free.size() - 1)];
}

ScreenEdge TuckTabPlacement::nearestEdge(QPointF point, const RectD& v) {
    const std::pair<ScreenEdge, double> distances[] = {
        {ScreenEdge::left, point.x() - v.minX()},
        {ScreenEdge::right, v.maxX() - point.x()},
        {ScreenEdge::bottom, point.y() - v.minY()},
        {ScreenEdge::top, v.maxY() - point.y()},
    };
    std::pair<ScreenEdge, double> nearest = distances[0];
    for (const auto& candidate : distances) {
        if (candidate.second < nearest.second)
            nearest = candidate;
    }
    return nearest.first;
}

std::pair<ScreenEdge, RectD> TuckTabPlacement::snapped(QPointF point, const RectD& v) {
    const ScreenEdge edge = nearestEdge(point, v);
    const bool across = edge == ScreenEdge::top || edge == ScreenEdge::bottom;
    return {edge, onEdge(edge, across ? point.x() : point.y(), v)};
}
