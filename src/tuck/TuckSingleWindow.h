#pragma once

#include "app/TuckTabView.h"
#include "model/Kippet.h"
#include "model/ScreenEdge.h"
#include "platform/NotificationCenter.h"
#include "platform/RectD.h"

#include <QMargins>
#include <QPointer>
#include <QUuid>
#include <QWidget>

class TuckSingleView;
class WindowShapeMask;

// The pull tab of one singly tucked kippet: a small frameless panel on a screen edge that stays
// on top, takes the focus while selected so that the kippet's single keys reach its hidden
// window, moves to the edge nearest the pointer while dragged, and takes drops.
class TuckSingleWindow : public QWidget, public TuckTabView {
    Q_OBJECT
public:
    static constexpr qreal cornerRadius = 12;

    // Centred on the edge of the screen's visible frame; no screen: the main screen, else the
    // first, else a frame of 1440 × 900 at the origin.
    TuckSingleWindow(Kippet* kippet, ScreenEdge edge, const std::optional<ScreenInfo>& screen);
    ~TuckSingleWindow() override;

    Kippet* kippet() const { return kippet_; }
    ScreenEdge currentEdge() const { return currentEdge_; }
    bool isSelected() const { return isSelected_; }
    TuckSingleView* view() const { return view_; }
    // Where the tab stands, in the app's coordinates. The window is larger by the room it keeps
    // for the tab's shadow.
    RectD frame() const;

    // No screen: the one holding the tab's origin, else the main screen, else nothing happens.
    void moveToEdge(ScreenEdge edge, int slot, const std::optional<ScreenInfo>& screen,
                    const std::optional<RectD>& keepClear = std::nullopt) override;
    // The point in the app's coordinates; nothing happens when no screen holds it and there is
    // no main screen.
    void snapToNearestEdge(QPointF point);
    // On the screen that now holds the tab's origin (else the main one), in its slot of its
    // edge, or after a drag where the pointer left it along the edge. Nothing without a screen.
    void followScreenChange(const std::optional<RectD>& keepClear) override;
    void makeKeyAndOrderFront() override;
    void orderFrontWithoutKey() override;
    // Hides the tab at once and deletes it once the event that asked for it has ended.
    void close() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void handleSelectionChanged(const NotificationCenter::Notification& notification);
    // The tab's frame on an edge; the window grows by the shadow's room for that edge.
    void setFrame(const RectD& frame, ScreenEdge edge);
    QMargins shadowRoom(ScreenEdge edge) const;
    void changeEdge(ScreenEdge edge);
    void postSelection(bool selected);
    // True when the key is one of the tab's shortcuts (then it is used up, even when its action
    // has nothing to do).
    bool runShortcut(const QString& key);

    QPointer<Kippet> kippet_;
    QUuid kippetId_;
    ScreenEdge currentEdge_;
    // How the tab was placed last, so that a changed screen places it the same way: its slot,
    // or none after a drag, which left the tab's middle at `along_` along the edge.
    std::optional<int> slot_ = 0;
    double along_ = 0;
    bool isSelected_ = false;
    TuckSingleView* view_ = nullptr;
    WindowShapeMask* shapeMask_ = nullptr;
    // The room around the tab the window's geometry holds now.
    QMargins room_;
};
