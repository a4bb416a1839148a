#pragma once

#include <functional>

class Kippet;

// The tuck commands the kippet context menu offers. The window registry does not tuck yet, so
// these start as no-ops with no pull tabs; whoever brings tucking installs the real ones.
struct TuckCommands {
    std::function<void()> tuckAwayKippets;
    std::function<void(Kippet*)> tuckSingleKippet;
    std::function<void()> tuckAllKippets;
    std::function<void()> untuckAllSingleKippets;
    // How many kippets are tucked into their own pull tab.
    std::function<int()> tuckSingleWindowCount;

    static TuckCommands& shared();
    static void install(TuckCommands commands);
};
