#pragma once

#include "platform/RectD.h"
#include "platform/ScreenProvider.h"

#include <QList>
#include <QPointF>
#include <QSizeF>
#include <optional>

class Kippet;

namespace WindowPlacement {
inline constexpr QSizeF collapsedSize{220, 200};
inline constexpr QSizeF miniViewSize{80, 80};
inline constexpr QSizeF expandedSize{600, 500};
inline constexpr QSizeF expandedMinimumSize{420, 360};

// The panel size of the kippet's mode; expanded wins over mini view.
QSizeF sizeFor(const Kippet& kippet);

// Where a kippet without a stored position opens: 100 in from the left of the main screen's
// visible frame and 300 below its top, or the first of nine steps of (+30, −30) from there that
// stays inside the visible frame and overlaps none of the other panels. A step that would leave
// the visible frame ends the search with the base origin; so does a ninth step that overlaps.
QPointF defaultWindowOrigin(const std::optional<ScreenInfo>& mainScreen, QSizeF size,
                            const QList<RectD>& otherPanels);
} // namespace WindowPlacement
