#pragma once

#include "window/StateIndicator.h"

class KippetIconBadge;
class QLabel;

// The status of a collapsed kippet window: an animated symbol with a title and a caption while
// content is analysed, imported or failed its analysis; "Ready for Content" for an empty kippet
// in the active window; else the kippet's badge with its item count and its name. A click on it
// is reported as tapped().
class CollapsedStateIndicator : public StateIndicator {
    Q_OBJECT
public:
    CollapsedStateIndicator(Kippet* kippet, bool isActive, QWidget* parent = nullptr);

    // The count bubble beside the badge; null while none shows.
    QWidget* countBubble() const { return bubble_; }

signals:
    // A click on the status, with the time of its release.
    void tapped(ulong timestamp);

protected:
    void build(State state, QLayout* layout) override;
    void arranged() override;
    bool restyle() override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void buildStatus(QLayout* layout, QWidget* symbol, const QString& title, qreal titleOpacity,
                     const QString& caption, qreal captionOpacity);
    void buildIdle(QLayout* layout);
    void placeBubble();
    QColor nameColour() const;
    QColor bubbleColour(const QColor& colour) const;

    KippetIconBadge* badge_ = nullptr;
    QLabel* name_ = nullptr;
    QWidget* bubble_ = nullptr;
    bool pressed_ = false;
};
