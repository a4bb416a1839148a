#include "tuck/DesktopTuckWindowFactory.h"

#include "tuck/TuckSingleWindow.h"

TuckTrayView* DesktopTuckWindowFactory::makeTray(ScreenEdge, const std::optional<ScreenInfo>&) {
    // No tray window yet: the group tuck hides the windows and keeps its state without one.
    return nullptr;
}

TuckTabView* DesktopTuckWindowFactory::makeTab(Kippet* kippet, ScreenEdge edge,
                                               const std::optional<ScreenInfo>& screen) {
    return new TuckSingleWindow(kippet, edge, screen);
}
