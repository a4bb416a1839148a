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
// The screens changing, the window manager moves windows on its own, and not only before the app
// places them anew: KWin puts a window back where it stood on these screens before, or keeps the
// app's request inside the screens it had a moment ago, after the app asked for its place. For a
// while after a change the window is watched: once its frame settles away from the place the app
// asked for (see keepCurrentPlace), and that place lies on the screens, the place is asked for
// again, a few times at most. A move the user holds the mouse for is the user's all the same.
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
    // How long after the screens last changed the window manager's moves are taken for its own
    // (KWin's come within a tenth of a second, later on a busy machine), and how many times the
    // app asks again for the window's place meanwhile.
    static constexpr std::chrono::milliseconds screenWatchTime{3000};
    static constexpr int screenAsks = 3;

    // `isChanging`: whether the app changes the window's frame itself right now (drawn frame by
    // frame): what the server shows is on its way meanwhile, and the count waits.
    explicit WindowManagerMoves(QWidget* window, std::function<bool()> isChanging = {});

    // The window's settled frame, in Qt's coordinates: where the app put it last, or where the
    // window manager moved it once that move came to rest.
    QRect placed() const { return placed_; }
    // The app chose the frame Qt has for the window now as the screens changed, also where Qt
    // asked the server for nothing (the frame was Qt's already, or the app left the window where
    // it stood): the window manager moving the window away from it meanwhile is asked to bring
    // it back. A window whose place the app never chooses so takes the window manager's.
    void keepCurrentPlace();

signals:
    // The window stands where the window manager left it, away from where the app put it.
    void settled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Whose changes of the window's frame are waited for.
    enum class Phase {
        // The user's, carried out by the window manager.
        UserMoves,
        // The screens changed a moment ago: the window manager's own.
        ScreensChanging,
    };

    void screensChanged();
    void screensSettled();
    void check();
    // Takes where the window stands now as settled; `closing`: the window goes, and nothing is
    // told to it any more.
    void settle(bool closing = false);

    QPointer<QWidget> window_;
    // Where the app put the window last, in Qt's coordinates.
    QRect placed_;
    ClockTimer* timer_;
    // Ends the watch after the screens changed.
    ClockTimer* screensTimer_;
    std::function<bool()> isChanging_;
    Phase phase_ = Phase::UserMoves;
    // Whether the app chooses the window's place as the screens change.
    bool placeKept_ = false;
    // How many times more the app asks for its place while the screens change.
    int asksLeft_ = 0;
};
