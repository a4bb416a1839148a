#include "window/WindowPlacement.h"

#include "model/Kippet.h"

#include <algorithm>

namespace {
constexpr int candidateSteps = 9;
constexpr double step = 30;

bool overlapsAny(const RectD& rect, const QList<RectD>& others) {
    return std::any_of(others.begin(), others.end(),
                       [&rect](const RectD& other) { return rect.intersects(other); });
}
} // namespace

QSizeF WindowPlacement::sizeFor(const Kippet& kippet) {
    if (kippet.isExpanded())
        return expandedSize;
    return kippet.isMiniView() ? miniViewSize : collapsedSize;
}

QPointF WindowPlacement::defaultWindowOrigin(const std::optional<ScreenInfo>& mainScreen,
                                             QSizeF size, const QList<RectD>& otherPanels) {
    if (!mainScreen)
        return QPointF(100, 100);
    const RectD visible = mainScreen->visibleFrame;
    const QPointF base(std::max(visible.minX(), 100.0), visible.maxY() - 300);
    const RectD baseRect(base, size);
    if (visible.contains(baseRect) && !overlapsAny(baseRect, otherPanels))
        return base;
    for (int i = 1; i <= candidateSteps; ++i) {
        const RectD candidate(QPointF(base.x() + step * i, base.y() - step * i), size);
        if (!visible.contains(candidate))
            return base;
        if (!overlapsAny(candidate, otherPanels))
            return candidate.origin();
    }
    return base;
}
