#pragma once

#include "model/ScreenEdge.h"
#include "platform/RectD.h"

#include <QList>
#include <QPointF>
#include <QSizeF>

class Kippet;

// Lines the open kippets up as mini tiles along one edge of the screen under the mouse, or
// gathers them in a cascade at one kippet's panel. Constants and operations only: never made.
class KippetArranger {
public:
    static constexpr double windowSpacing = 8.0;
    static constexpr double edgeMargin = 16.0;
    static constexpr QSizeF miniViewSize{80, 80};
    static constexpr QSizeF collapsedSize{220, 200};
    // Each gathered panel lies this much right of and below the one before.
    static constexpr double cascadeStep = 20.0;

    KippetArranger() = delete;

    // The origins of `count` windows of `windowSize` in a row along the edge of `visibleFrame`,
    // `edgeMargin` in from it and `windowSpacing` apart, the row centred on the edge. Rows along
    // the top and bottom run left to right, along the sides top to bottom; a row longer than
    // the edge starts at its corner and runs past the far end.
    static QList<QPointF> layoutOrigins(int count, ScreenEdge edge, QSizeF windowSize,
                                        const RectD& visibleFrame);

    // Every open kippet that is not tucked becomes a mini tile in a row along the edge of the
    // screen under the mouse, its place saved; the last one ends up active. Without screens,
    // nothing moves.
    static void arrangeKippets(ScreenEdge edge);

    // Every open kippet that is not tucked moves to the anchor's panel origin plus one cascade
    // step per place in the list, keeping its mode and size, and is kept on the screens.
    static void gatherKippets(Kippet* anchor);
};
