#pragma once

#include "app/TuckWindowFactory.h"

// The tuck windows of the desktop app; made only when something is tucked.
class DesktopTuckWindowFactory : public TuckWindowFactory {
public:
    TuckTrayView* makeTray(ScreenEdge edge, const std::optional<ScreenInfo>& screen) override;
    TuckTabView* makeTab(Kippet* kippet, ScreenEdge edge,
                         const std::optional<ScreenInfo>& screen) override;
};
