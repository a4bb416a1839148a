#pragma once

#include "model/ScreenEdge.h"

#include <QWidget>

// The line around the open tray, over tab and panel and never in the way of the pointer: one
// outline of panel and tab, the tab bulging from the panel's side away from the screen edge.
// Only what is drawn is outlined, never the empty room beside the tab. It follows the app's
// appearance even over the cut-out.
class TuckAwayOutline : public QWidget {
    Q_OBJECT
public:
    static constexpr double lineWidth = 2;

    explicit TuckAwayOutline(QWidget* parent = nullptr);

    void setEdge(ScreenEdge edge);
    QPainterPath shape() const;
    // The shape inset by half the line, so that all of the line lies on the tray: where the
    // line runs.
    QPainterPath drawnPath() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ScreenEdge edge_ = ScreenEdge::right;
};
