#pragma once

#include "model/ScreenEdge.h"
#include "platform/ScreenProvider.h"

#include <functional>
#include <optional>

// What the window registry uses of one kippet's pull tab. The tab window implements it; tests
// record the calls.
class TuckTabView {
public:
    virtual ~TuckTabView() = default;

    // Asked to bring its kippet back.
    std::function<void()> onUntuck;

    // Slot n places the tab on the n-th free place of the edge, the middle first; `keepClear`
    // is the group tray's tab when it stands on that edge, a place no tab may cover.
    virtual void moveToEdge(ScreenEdge edge, int slot, const std::optional<ScreenInfo>& screen,
                            const std::optional<RectD>& keepClear = std::nullopt) = 0;
    // The screens changed: back against its edge of the screen it stands on, in its slot (or
    // where it was dragged to along the edge), keeping clear of `keepClear`.
    virtual void followScreenChange(const std::optional<RectD>& keepClear) = 0;
    virtual void makeKeyAndOrderFront() = 0;
    virtual void orderFrontWithoutKey() = 0;
    // Closes and deletes the tab.
    virtual void close() = 0;
};
