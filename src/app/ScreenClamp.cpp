#include "app/ScreenClamp.h"

#include <algorithm>

namespace {
const ScreenInfo& chooseScreen(const QList<ScreenInfo>& screens, const RectD& frame) {
    for (const ScreenInfo& screen : screens) {
        if (screen.visibleFrame.contains(frame.center()))
            return screen;
    }
    for (const ScreenInfo& screen : screens) {
        if (screen.visibleFrame.intersects(frame))
            return screen;
    }
    return screens.first();
}
} // namespace

RectD frameClampedToScreens(const QList<ScreenInfo>& screens, const RectD& frame) {
    if (screens.isEmpty())
        return frame;
    const RectD visible = chooseScreen(screens, frame).visibleFrame;
    const double width = std::min(frame.width, visible.width);
    const double height = std::min(frame.height, visible.height);
    const double x = std::max(visible.minX(), std::min(frame.x, visible.maxX() - width));
    const double y = std::max(visible.minY(), std::min(frame.y, visible.maxY() - height));
    return RectD(x, y, width, height);
}
