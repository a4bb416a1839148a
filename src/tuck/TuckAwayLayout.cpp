#include "tuck/TuckAwayLayout.h"

#include <algorithm>

QSize TuckAwayLayout::stackSize(ScreenEdge edge, QSize panelSize, bool expanded) {
    const QSize tab(pullTabWidth, pullTabHeight);
    if (!expanded)
        return tab;
    if (edge == ScreenEdge::top || edge == ScreenEdge::bottom)
        return {std::max(tab.width(), panelSize.width()), tab.height() + panelSize.height()};
    return {tab.width() + panelSize.width(), std::max(tab.height(), panelSize.height())};
}

TuckAwayLayout TuckAwayLayout::compute(ScreenEdge edge, QSize window, QSize panelSize,
                                       bool expanded) {
    const QSize stack = stackSize(edge, panelSize, expanded);
    TuckAwayLayout layout;
    QPoint origin;
    switch (edge) {
    case ScreenEdge::top:
        origin = {(window.width() - stack.width()) / 2, 0};
        break;
    case ScreenEdge::bottom:
        origin = {(window.width() - stack.width()) / 2, window.height() - stack.height()};
        break;
    case ScreenEdge::left:
        origin = {0, (window.height() - stack.height()) / 2};
        break;
    case ScreenEdge::right:
        origin = {window.width() - stack.width(), (window.height() - stack.height()) / 2};
        break;
    }
    layout.stack = QRect(origin, stack);
    // Tab and panel are each centred in the window across the edge, as the closed tab is: centred
    // on the stack's middle instead, the tab would step a pixel as the tray opens whenever the
    // panel (as tall as its texts) is an odd number of pixels across.
    const auto acrossX = [window](int width) { return (window.width() - width) / 2; };
    const auto acrossY = [window](int height) { return (window.height() - height) / 2; };
    const int tabW = pullTabWidth;
    const int tabH = pullTabHeight;
    if (!expanded) {
        layout.tab = QRect(origin, stack);
        return layout;
    }
    switch (edge) {
    case ScreenEdge::top:
        layout.panel =
            QRect(acrossX(panelSize.width()), origin.y(), panelSize.width(), panelSize.height());
        layout.tab = QRect(acrossX(tabW), layout.panel.bottom() + 1, tabW, tabH);
        break;
    case ScreenEdge::bottom:
        layout.tab = QRect(acrossX(tabW), origin.y(), tabW, tabH);
        layout.panel = QRect(acrossX(panelSize.width()), origin.y() + tabH, panelSize.width(),
                             panelSize.height());
        break;
    case ScreenEdge::left:
        layout.panel =
            QRect(origin.x(), acrossY(panelSize.height()), panelSize.width(), panelSize.height());
        layout.tab = QRect(origin.x() + panelSize.width(), acrossY(tabH), tabW, tabH);
        break;
    case ScreenEdge::right:
        layout.tab = QRect(origin.x(), acrossY(tabH), tabW, tabH);
        layout.panel = QRect(origin.x() + tabW, acrossY(panelSize.height()), panelSize.width(),
                             panelSize.height());
        break;
    }
    return layout;
}
