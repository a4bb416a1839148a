#pragma once

#include "model/ScreenEdge.h"
#include "platform/RectD.h"
#include "platform/ScreenProvider.h"

#include <QList>
#include <QPointF>
#include <optional>

// Where tucked kippets go: an edge of a screen (no screen when there is none at all). Ties go
// by the order of the screen list and by the edges' order top, bottom, left, right.
struct TuckTarget {
    ScreenEdge edge = ScreenEdge::right;
    std::optional<ScreenInfo> screen;

    bool operator==(const TuckTarget&) const = default;

    // For the group tray: the screen that holds the centres of the most window frames, and the
    // edge those frames are nearest to on average. No frames: the right edge of the main screen.
    static TuckTarget forGroup(const QList<RectD>& windowFrames, const ScreenProvider& screens);
    // For one kippet's pull tab: the edge nearest its window frame, else nearest the stored
    // position with the default window size; a never placed kippet goes to the right of the
    // main screen. Top or bottom wins only when less than half as far as left or right.
    static TuckTarget forSingle(const std::optional<RectD>& windowFrame, QPointF position,
                                const ScreenProvider& screens);
};
