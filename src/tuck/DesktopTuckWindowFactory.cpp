#include "tuck/DesktopTuckWindowFactory.h"

#include "tuck/TuckAwayWindow.h"
#include "tuck/TuckSingleWindow.h"

TuckTrayView* DesktopTuckWindowFactory::makeTray(ScreenEdge edge,
                                                 const std::optional<ScreenInfo>& screen) {
    return new TuckAwayWindow(edge, screen);
}

TuckTabView* DesktopTuckWindowFactory::makeTab(Kippet* kippet, ScreenEdge edge,
                                               const std::optional<ScreenInfo>& screen) {
    return new TuckSingleWindow(kippet, edge, screen);
}
