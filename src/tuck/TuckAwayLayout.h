#pragma once

#include "model/ScreenEdge.h"

#include <QRect>
#include <QSize>

// Where the pull tab and the panel go inside the tray window: in a box across the edge (top:
// panel over tab; bottom: tab over panel; left: panel, tab; right: tab, panel), centred across
// the box, the box against the screen edge and centred along it.
struct TuckAwayLayout {
    static constexpr int pullTabWidth = 28;
    static constexpr int pullTabHeight = 70;
    static constexpr int panelWidth = 220;

    QRect tab;
    // Empty while the panel is closed.
    QRect panel;
    // Tab and panel together.
    QRect stack;

    static TuckAwayLayout compute(ScreenEdge edge, QSize window, QSize panelSize, bool expanded);
    // The size of the box of tab and panel.
    static QSize stackSize(ScreenEdge edge, QSize panelSize, bool expanded);
};
