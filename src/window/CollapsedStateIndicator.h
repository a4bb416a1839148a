#pragma once

#include "window/StateIndicator.h"

#include <optional>

class QPainter;

// The status of a collapsed kippet window: an animated symbol with a title and a caption while
// content is analysed, imported or failed its analysis; "Ready for Content" for an empty kippet
// in the active window; else the kippet's badge with its item count and its name. That last,
// resting look is what every panel shows at start, so it is drawn by the status itself rather
// than by child widgets. A click on it is reported as tapped().
class CollapsedStateIndicator : public StateIndicator {
    Q_OBJECT
public:
    CollapsedStateIndicator(Kippet* kippet, bool isActive, QWidget* parent = nullptr);

    // What the resting look shows: the badge, the name, and the count on its bubble (none
    // while the kippet is empty).
    bool showsBadge() const { return idle_; }
    QString shownName() const;
    std::optional<int> shownCount() const;
    // Where the resting look draws the badge's circle and the count's bubble, in the status's
    // own coordinates: badge and name stand centred as one block, so both follow the name
    // font's line height.
    QRectF badgeCircle() const;
    QRectF bubbleFrame() const;

signals:
    // A click on the status, with the time of its release.
    void tapped(ulong timestamp);

protected:
    void build(State state, QLayout* layout) override;
    QLayout* makeLayout() override;
    bool laysOut(State state) const override;
    bool restyle() override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void buildStatus(QLayout* layout, QWidget* symbol, const QString& title, qreal titleOpacity,
                     const QString& caption, qreal captionOpacity);
    void buildIdle();
    QFont nameFont() const;
    QColor nameColour() const;
    QColor bubbleColour(const QColor& colour) const;
    void paintName(QPainter& painter, const QRect& box, const QFont& font) const;
    QPointF badgeOrigin() const;
    void paintBubble(QPainter& painter, int count) const;

    bool idle_ = false;
    bool pressed_ = false;
};
