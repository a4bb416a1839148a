#pragma once

#include "app/TuckTabView.h"
#include "app/TuckTrayView.h"

class Kippet;

// Makes the tuck windows, on an edge of a screen (no screen when there is none); the views
// delete themselves when closed.
class TuckWindowFactory {
public:
    virtual ~TuckWindowFactory() = default;
    virtual TuckTrayView* makeTray(ScreenEdge edge, const std::optional<ScreenInfo>& screen) = 0;
    virtual TuckTabView* makeTab(Kippet* kippet, ScreenEdge edge,
                                 const std::optional<ScreenInfo>& screen) = 0;
};
