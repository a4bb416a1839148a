#pragma once

#include <functional>

class Kippet;

// The tuck commands the menus offer. They start as no-ops with no pull tabs, so menus built
// without a window registry still work; the app installs the registry's own
// (MenuBarManager::tuckCommands).
struct TuckCommands {
    std::function<void()> tuckAwayKippets;
    std::function<void(Kippet*)> tuckSingleKippet;
    std::function<void()> tuckAllKippets;
    std::function<void()> untuckAllSingleKippets;
    // How many kippets are tucked into their own pull tab.
    std::function<int()> tuckSingleWindowCount;
    // The group tray's way back, and one pull tab's.
    std::function<void()> untuckKippets = [] {};
    std::function<void(Kippet*)> untuckSingleKippet = [](Kippet*) {};
    // Whether the kippet sits in a pull tab of its own.
    std::function<bool(const Kippet*)> hasTuckSingleWindow = [](const Kippet*) { return false; };

    static TuckCommands& shared();
    static void install(TuckCommands commands);
};
