#pragma once

#include "model/ScreenEdge.h"
#include "tuck/TuckAwayLayout.h"

#include <QList>
#include <QPointF>
#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <chrono>
#include <functional>

class ClockAnimation;
class Kippet;
class QMenu;
class TuckAwayOutline;
class TuckAwayPanel;
class TuckAwayPullTab;

// The tray's content: the pull tab on the screen edge and, while open, the panel of open
// kippets beside it. The kippets shown are a copy of the manager's open kippets, taken when
// the tray shows and at each click of the tab. The edge it stands on comes from
// "TuckAwayEdgeChanged".
class TuckAwayView : public QWidget {
    Q_OBJECT
public:
    TuckAwayView(ScreenEdge edge, QWidget* parent = nullptr);

    std::function<void()> onUntuck;
    std::function<void(Kippet*)> onFocusKippet;
    // Each move of a tab drag, with the pointer in the app's screen coordinates.
    std::function<void(QPointF)> onPullTabDrag;

    // A click opens or closes the panel in this time; a drag that starts closes it faster.
    static constexpr std::chrono::milliseconds toggleSpan{200};
    static constexpr std::chrono::milliseconds dragCloseSpan{150};

    bool isExpanded() const { return isExpanded_; }
    // Slides the panel out from the edge, fading in, or back; with animations off at once.
    void setExpanded(bool expanded, std::chrono::milliseconds span = toggleSpan);
    // How far the panel is out: 0 gone behind the edge, 1 all out; between while it slides.
    qreal panelShown() const;
    // The panel is on the screen: open, or sliding in or out.
    bool isPanelShown() const;
    bool isDraggingTab() const;
    ScreenEdge currentEdge() const { return currentEdge_; }
    ScreenEdge initialEdge() const { return initialEdge_; }
    bool cutoutEnabled() const { return cutoutEnabled_; }
    QList<Kippet*> activeKippets() const;
    // A fresh copy of the manager's open kippets, and rows for them.
    void refreshKippets();

    TuckAwayPullTab* pullTab() const { return tab_; }
    TuckAwayPanel* panel() const { return panel_; }
    TuckAwayOutline* outline() const { return outline_; }
    TuckAwayLayout currentLayout() const { return layout_; }
    // The size tab and panel need together in the current state.
    QSize stackSize() const;
    // What is drawn: the tab, and the panel while open, with their shadows.
    QRegion drawnRegion() const;
    // What is drawn cut to its outlines, without the shadows: the tab, and the panel and the
    // outline's line while open.
    QRegion shapeRegion() const;
    // The tab's menu, built anew; it deletes itself when closed.
    QMenu* tabContextMenu();
    // Places tab and panel for the current size, edge and state.
    void relayout();

signals:
    // Something moved or changed size: the window fits its frame and input mask to it.
    void layoutChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void applyStyle();
    void edgeChanged(const QVariant& edge);
    void tabClicked();
    void tabDragStarted();
    void slideStepped();
    void slideFinished();
    // Tab and panel moved towards the edge by what the panel has still to slide out.
    TuckAwayLayout slid(TuckAwayLayout layout) const;

    bool isExpanded_ = false;
    QList<QPointer<Kippet>> activeKippets_;
    ScreenEdge currentEdge_;
    const ScreenEdge initialEdge_;
    bool cutoutEnabled_;
    TuckAwayPullTab* tab_;
    TuckAwayPanel* panel_;
    TuckAwayOutline* outline_;
    ClockAnimation* slide_;
    TuckAwayLayout layout_;
};
