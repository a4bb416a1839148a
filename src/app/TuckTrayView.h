#pragma once

#include "model/ScreenEdge.h"
#include "platform/ScreenProvider.h"

#include <functional>
#include <optional>

class Kippet;

// What the window registry uses of the group tray that stands in for every tucked kippet.
// The tray window implements it; tests record the calls.
class TuckTrayView {
public:
    virtual ~TuckTrayView() = default;

    // Asked to bring every kippet back, or one kippet (which is then shown).
    std::function<void()> onUntuck;
    std::function<void(Kippet*)> onFocusKippet;

    virtual void moveToEdge(ScreenEdge edge, const std::optional<ScreenInfo>& screen) = 0;
    // The screens changed: back against its edge of the screen it stands on, placed along it
    // as it was placed last.
    virtual void followScreenChange() = 0;
    // The edge the tray stands on, and where its tab is, in the app's screen coordinates: the
    // single tabs keep clear of it.
    virtual ScreenEdge edge() const = 0;
    virtual RectD tabFrame() const = 0;
    virtual void makeKeyAndOrderFront() = 0;
    // Closes and deletes the tray.
    virtual void close() = 0;
};
