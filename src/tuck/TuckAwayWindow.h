#pragma once

#include "app/TuckTrayView.h"
#include "model/ScreenEdge.h"
#include "platform/RectD.h"
#include "platform/ScreenProvider.h"

#include <QPointF>
#include <QWidget>
#include <optional>

class TuckAwayView;
class WindowShapeMask;

// The group tray on a screen edge: a frameless, always-on-top tool window that never takes
// the focus, mostly transparent, its input limited to what it draws so that clicks elsewhere
// reach the windows below. Geometry in the app's screen coordinates.
//
// Closed, the tray has its edge frame: 276 × 400 at creation on every edge, 400 × 276 on the
// top and bottom edges after a move. Open, it grows where the panel and its tab need more
// room than that frame gives, and shrinks back when the panel closes.
class TuckAwayWindow : public QWidget, public TuckTrayView {
    Q_OBJECT
public:
    static constexpr double pullTabWidth = 28;
    static constexpr double pullTabHeight = 70;
    static constexpr double expandedWidth = 248;
    static constexpr double expandedHeight = 400;
    // The room the tray takes across and along its edge.
    static constexpr double depth = expandedWidth + pullTabWidth;
    static constexpr double length = expandedHeight;

    // While one of the tray's own controls calls out, the tray may be closed by what it calls:
    // it then goes once that call has returned.
    class CallbackScope {
    public:
        CallbackScope() { ++running; }
        ~CallbackScope() { --running; }
        CallbackScope(const CallbackScope&) = delete;
        CallbackScope& operator=(const CallbackScope&) = delete;
        static inline int running = 0;
    };

    // On the edge of the screen (else the main one; with none, a 1440 × 900 frame at the
    // origin). Hidden until ordered front.
    TuckAwayWindow(ScreenEdge edge, const std::optional<ScreenInfo>& screen);
    ~TuckAwayWindow() override;

    // Where the tray is made: always 276 × 400, against the edge, centred along it.
    static RectD creationFrame(ScreenEdge edge, const RectD& visibleFrame);
    // The tray's frame on an edge, centred on the anchor along it (else on the edge's middle)
    // and kept inside the visible frame; where that is too small, at its minimum side.
    static RectD frameForEdge(ScreenEdge edge, const ScreenInfo& screen,
                              std::optional<QPointF> anchor = std::nullopt);
    // The edge nearest the point by signed distance; ties go left, right, bottom, top.
    static ScreenEdge nearestEdge(QPointF point, const RectD& visibleFrame);

    // To the edge nearest the point, on the first screen holding it (else the main screen).
    void snapToNearestEdge(QPointF point);
    // Centred on the edge of the screen (else of the screen holding the tray's origin, else
    // the main one). Nothing without a screen.
    void moveToEdge(ScreenEdge edge, const std::optional<ScreenInfo>& screen) override;
    // On the screen that now holds the tray's middle (else the main one), by the rule that
    // placed it: the creation frame, centred on the edge after a move, at the pointer after a
    // drag. Nothing without a screen.
    void followScreenChange() override;
    void makeKeyAndOrderFront() override;
    // Hides the tray and deletes it, after the call under way when one of its controls called.
    void close() override;

    ScreenEdge currentEdge() const { return currentEdge_; }
    ScreenEdge edge() const override { return currentEdge_; }
    // Where the pull tab is drawn now.
    RectD tabFrame() const override;
    // Where the window is now.
    RectD frame() const { return frame_; }
    // The closed tray's frame.
    RectD trayFrame() const { return trayFrame_; }
    TuckAwayView* view() const { return view_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyFrame();
    RectD openFrame() const;
    void changeEdge(ScreenEdge edge);

    // How the tray was placed last, so that a changed screen places it the same way.
    enum class Placement { created, centred, anchored };

    ScreenEdge currentEdge_;
    Placement placement_ = Placement::created;
    // Where the pointer left the tray, with an anchored placement.
    QPointF anchor_;
    RectD trayFrame_;
    RectD frame_;
    // The visible frame of the screen the tray stands on, which an open tray stays inside.
    RectD visibleFrame_;
    TuckAwayView* view_;
    WindowShapeMask* shapeMask_ = nullptr;
    bool applyingFrame_ = false;
};
