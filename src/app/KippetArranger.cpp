#include "app/KippetArranger.h"

#include "app/KippetSaveTask.h"
#include "app/MenuBarManager.h"
#include "app/ScreenClamp.h"
#include "model/Kippet.h"
#include "platform/ScreenProvider.h"
#include "store/KippetManager.h"
#include "ui/SymbolNames.h"
#include "ui/Symbols.h"
#include "window/FloatingKippetWindow.h"

#include <QAction>
#include <QMenu>
#include <algorithm>

namespace {
QList<Kippet*> untuckedOpenKippets() {
    QList<Kippet*> kippets;
    for (Kippet* kippet : KippetManager::shared().activeKippets()) {
        if (!kippet->isTucked())
            kippets.append(kippet);
    }
    return kippets;
}

std::optional<ScreenInfo> screenUnderCursor() {
    const ScreenProvider& provider = ScreenProvider::shared();
    const QList<ScreenInfo> screens = provider.screens();
    const QPointF cursor = provider.cursorPosition();
    for (const ScreenInfo& screen : screens) {
        if (screen.frame.contains(cursor))
            return screen;
    }
    if (std::optional<ScreenInfo> main = provider.mainScreen())
        return main;
    if (!screens.isEmpty())
        return screens.first();
    return std::nullopt;
}

// Each panel takes its step of the cascade, also where that reaches a little past the bottom or
// right edge of the screen: clamping every panel that does would pile them up along that edge.
// Only a panel that would leave the screen, its middle or its header off it, is brought back.
RectD cascadeFrame(const QList<ScreenInfo>& screens, const RectD& frame) {
    const bool onScreen =
        std::any_of(screens.cbegin(), screens.cend(), [&](const ScreenInfo& screen) {
            const RectD& visible = screen.visibleFrame;
            return visible.contains(frame.center()) && frame.maxY() <= visible.maxY() &&
                   frame.minX() >= visible.minX();
        });
    return onScreen ? frame : frameClampedToScreens(screens, frame);
}

// The system symbol of each edge's menu item.
QString edgeSymbol(ScreenEdge edge) {
    switch (edge) {
    case ScreenEdge::top:
        return SymbolNames::arrowUpToLine;
    case ScreenEdge::bottom:
        return SymbolNames::arrowDownToLine;
    case ScreenEdge::left:
        return SymbolNames::arrowLeftToLine;
    case ScreenEdge::right:
        return SymbolNames::arrowRightToLine;
    }
    return {};
}
} // namespace

QList<QPointF> KippetArranger::layoutOrigins(int count, ScreenEdge edge, QSizeF windowSize,
                                             const RectD& visibleFrame) {
    const double gaps = count > 0 ? (count - 1) * windowSpacing : 0;
    const bool alongWidth = edge == ScreenEdge::top || edge == ScreenEdge::bottom;
    const double w = windowSize.width();
    const double h = windowSize.height();
    const double stride = alongWidth ? w : h;
    const double total = stride * count + gaps;
    const double extent = alongWidth ? visibleFrame.width : visibleFrame.height;
    const double offset = std::max(0.0, (extent - total) * 0.5);
    QList<QPointF> origins;
    origins.reserve(count);
    for (int i = 0; i < count; ++i) {
        const double step = i * stride + i * windowSpacing;
        switch (edge) {
        case ScreenEdge::top:
            origins.append(
                {visibleFrame.minX() + offset + step, visibleFrame.maxY() - h - edgeMargin});
            break;
        case ScreenEdge::bottom:
            origins.append({visibleFrame.minX() + offset + step, visibleFrame.minY() + edgeMargin});
            break;
        case ScreenEdge::left:
            origins.append(
                {visibleFrame.minX() + edgeMargin, visibleFrame.maxY() - (h + offset + step)});
            break;
        case ScreenEdge::right:
            origins.append(
                {visibleFrame.maxX() - w - edgeMargin, visibleFrame.maxY() - (h + offset + step)});
            break;
        }
    }
    return origins;
}

void KippetArranger::arrangeKippets(ScreenEdge edge) {
    const std::optional<ScreenInfo> screen = screenUnderCursor();
    if (!screen)
        return;
    MenuBarManager& registry = MenuBarManager::shared();
    registry.moveTuckedKippets(edge, screen);
    // While anything is tucked only the tucked kippets move.
    if (registry.tuckAwayWindow() || registry.tuckSingleWindowCount() > 0)
        return;
    const QList<Kippet*> kippets = untuckedOpenKippets();
    if (kippets.isEmpty())
        return;
    const QList<QPointF> origins =
        layoutOrigins(static_cast<int>(kippets.size()), edge, miniViewSize, screen->visibleFrame);
    for (qsizetype i = 0; i < kippets.size(); ++i) {
        Kippet* kippet = kippets[i];
        kippet->setIsExpanded(false);
        kippet->setIsMiniView(true);
        kippet->setPosition(origins[i]);
        startSaveTask(kippet);
        FloatingKippetWindow* window = registry.windowForKippet(kippet);
        window->enterMiniView();
        window->setFrame(RectD(origins[i], miniViewSize), true);
        // Entering mini view wrote the tile's old place into the kippet; the row's place is the
        // one to keep.
        window->updateSavedPosition(origins[i]);
        registry.showWindow(kippet);
    }
}

void KippetArranger::gatherKippets(Kippet* anchor) {
    const QList<Kippet*> kippets = untuckedOpenKippets();
    if (kippets.isEmpty() || !anchor)
        return;
    MenuBarManager& registry = MenuBarManager::shared();
    const QPointF origin = registry.windowForKippet(anchor)->frame().origin();
    const QList<ScreenInfo> screens = ScreenProvider::shared().screens();
    for (qsizetype i = 0; i < kippets.size(); ++i) {
        Kippet* kippet = kippets[i];
        FloatingKippetWindow* window = registry.windowForKippet(kippet);
        const QPointF place(origin.x() + cascadeStep * i, origin.y() - cascadeStep * i);
        const RectD frame = cascadeFrame(screens, RectD(place, window->frame().size()));
        kippet->setPosition(frame.origin());
        startSaveTask(kippet);
        window->setFrame(frame, true);
        registry.showWindow(kippet);
    }
}

QMenu* MenuBarManager::moveToEdgeMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    for (const ScreenEdge edge : allScreenEdges()) {
        QAction* action = menu->addAction(
            Symbols::icon(edgeSymbol(edge), menu->palette().color(QPalette::WindowText)),
            QStringLiteral("Move to ") + rawValue(edge));
        action->setData(QVariant::fromValue(edge));
        connect(action, &QAction::triggered, this, [this, action] { moveKippetsToEdge(action); });
    }
    return menu;
}

void MenuBarManager::moveKippetsToEdge(QAction* sender) {
    if (!sender || sender->data().metaType() != QMetaType::fromType<ScreenEdge>())
        return;
    KippetArranger::arrangeKippets(sender->data().value<ScreenEdge>());
}
