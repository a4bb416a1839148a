#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <chrono>
#include <functional>

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
//
// What Qt hears of the window's place is no settled frame: the window system reports places the
// window only passes through (a window manager maps a window in a frame it has not put in place
// yet, and may never say where that frame went), and Qt takes for the window's place wherever the
// window stands when it reads such a report. A change counts once the server, asked then, has the
// window where Qt heard it is; a place Qt heard that the server does not hold is told to Qt again.
class WindowManagerMoves : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds settleTime{500};

    // `isChanging`: whether the app changes the window's frame itself right now (drawn frame by
    // frame): what the server shows is on its way meanwhile, and the count waits.
    explicit WindowManagerMoves(QWidget* window, std::function<bool()> isChanging = {});

    // The window's settled frame, in Qt's coordinates: where the app put it last, or where the
    // window manager moved it once that move came to rest.
    QRect placed() const { return placed_; }

signals:
    // The window stands where the window manager left it, away from where the app put it.
    void settled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void check();
    // Takes where the window stands now as settled; `closing`: the window goes, and nothing is
    // told to it any more.
    void settle(bool closing = false);

    QPointer<QWidget> window_;
    // Where the app put the window last, in Qt's coordinates.
    QRect placed_;
    ClockTimer* timer_;
    std::function<bool()> isChanging_;
    bool screensChanged_ = false;
};
