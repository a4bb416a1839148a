#include "app/TuckTarget.h"

#include <array>

namespace {
constexpr double storedWidth = 360.0;
constexpr double storedHeight = 480.0;

// The first screen whose whole frame holds the point, else the main screen.
std::optional<ScreenInfo> screenHolding(QPointF point, const QList<ScreenInfo>& screens,
                                        const std::optional<ScreenInfo>& main) {
    for (const ScreenInfo& screen : screens) {
        if (screen.frame.contains(point))
            return screen;
    }
    return main;
}

struct EdgeDistances {
    double top = 0;
    double bottom = 0;
    double left = 0;
    double right = 0;
};

EdgeDistances distances(const RectD& visible, const RectD& frame) {
    return EdgeDistances{visible.maxY() - frame.maxY(), frame.minY() - visible.minY(),
                         frame.minX() - visible.minX(), visible.maxX() - frame.maxX()};
}
} // namespace

TuckTarget TuckTarget::forGroup(const QList<RectD>& windowFrames, const ScreenProvider& screens) {
    const QList<ScreenInfo> all = screens.screens();
    const std::optional<ScreenInfo> main = screens.mainScreen();
    QList<ScreenInfo> collectedScreens;
    QList<QList<RectD>> collected;
    for (const RectD& frame : windowFrames) {
        const std::optional<ScreenInfo> screen = screenHolding(frame.center(), all, main);
        if (!screen)
            continue;
        const qsizetype index = collectedScreens.indexOf(*screen);
        if (index >= 0) {
            collected[index].append(frame);
        } else {
            collectedScreens.append(*screen);
            collected.append(QList<RectD>{frame});
        }
    }
    // Screens in the list's order, so that of equal counts the earlier one stays.
    std::optional<qsizetype> pick;
    qsizetype pickCount = 0;
    for (const ScreenInfo& screen : all) {
        const qsizetype index = collectedScreens.indexOf(screen);
        if (index >= 0 && collected[index].size() > pickCount) {
            pick = index;
            pickCount = collected[index].size();
        }
    }
    // The main screen may hold frames that no listed screen does.
    for (qsizetype index = 0; index < collectedScreens.size(); ++index) {
        if (collected[index].size() > pickCount) {
            pick = index;
            pickCount = collected[index].size();
        }
    }
    if (!pick)
        return TuckTarget{ScreenEdge::right, main};

    const RectD visible = collectedScreens[*pick].visibleFrame;
    EdgeDistances sum;
    for (const RectD& frame : collected[*pick]) {
        const EdgeDistances each = distances(visible, frame);
        sum.top += each.top;
        sum.bottom += each.bottom;
        sum.left += each.left;
        sum.right += each.right;
    }
    const double count = static_cast<double>(pickCount);
    const std::array<std::pair<ScreenEdge, double>, 4> means{
        {{ScreenEdge::top, sum.top / count},
         {ScreenEdge::bottom, sum.bottom / count},
         {ScreenEdge::left, sum.left / count},
         {ScreenEdge::right, sum.right / count}}};
    auto nearest = means.front();
    for (const auto& mean : means) {
        if (mean.second < nearest.second)
            nearest = mean;
    }
    return TuckTarget{nearest.first, collectedScreens[*pick]};
}

TuckTarget TuckTarget::forSingle(const std::optional<RectD>& windowFrame, QPointF position,
                                 const ScreenProvider& screens) {
    if (!windowFrame && position.x() == 0.0 && position.y() == 0.0)
        return TuckTarget{ScreenEdge::right, screens.mainScreen()};
    const RectD frame =
        windowFrame.value_or(RectD(position.x(), position.y(), storedWidth, storedHeight));
    const std::optional<ScreenInfo> screen =
        screenHolding(frame.center(), screens.screens(), screens.mainScreen());
    if (!screen)
        return TuckTarget{ScreenEdge::right, std::nullopt};
    const EdgeDistances d = distances(screen->visibleFrame, frame);
    if (std::min(d.top, d.bottom) < 0.5 * std::min(d.left, d.right))
        return TuckTarget{d.bottom <= d.top ? ScreenEdge::bottom : ScreenEdge::top, screen};
    return TuckTarget{d.left < d.right ? ScreenEdge::left : ScreenEdge::right, screen};
}
