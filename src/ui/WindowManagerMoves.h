#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <chrono>

class ClockTimer;
class QWidget;

// Tells when the window manager has moved or resized a window and the change has settled. On X11
// a move with Alt and the mouse, or one from the window menu with the keys, is carried out by the
// window manager: the window never sees the press or the release, only its frame changing, one
// step per pointer motion. Frames the app gives the window itself (placements, mode changes and
// their animations, screen clamps, arrangements, drags by its background) never count: they
// reach the window as moves the app sent, the window manager's as moves the window system
// reported. Changes while the screens change or the window is hidden are not the user's either.
// A change is told once, after nothing has changed for `settleTime` with no mouse button held,
// or at once when the window closes before that.
class WindowManagerMoves : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds settleTime{500};

    explicit WindowManagerMoves(QWidget* window);

signals:
    // The window stands where the window manager left it, away from where the app put it.
    void settled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void check();
    // Takes where the window stands now as settled.
    void settle();

    QPointer<QWidget> window_;
    // Where the app put the window last, in Qt's coordinates.
    QRect placed_;
    ClockTimer* timer_;
    bool screensChanged_ = false;
};
