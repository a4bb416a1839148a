#pragma once

#include "model/ScreenEdge.h"

#include <QPainterPath>
#include <QSizeF>

// The outline of the open tray as one closed path: the panel with the pull tab bulging from its
// side, the tab centred along the panel's height. On the right edge the tab sits left of the
// panel, on every other edge right of it. In the rectangle's own coordinates (top left origin,
// y down); the rectangle's position is ignored.
class TuckAwayUnifiedShape {
public:
    TuckAwayUnifiedShape(double pullTabWidth, double pullTabHeight, double panelCornerRadius,
                         double tabCornerRadius, ScreenEdge edge)
        : pullTabWidth_(pullTabWidth), pullTabHeight_(pullTabHeight),
          panelCornerRadius_(panelCornerRadius), tabCornerRadius_(tabCornerRadius), edge_(edge) {}

    QPainterPath path(QSizeF size) const;

private:
    QPainterPath tabOnTheLeft(double width, double height) const;
    QPainterPath tabOnTheRight(double width, double height) const;

    double pullTabWidth_;
    double pullTabHeight_;
    double panelCornerRadius_;
    double tabCornerRadius_;
    ScreenEdge edge_;
};
