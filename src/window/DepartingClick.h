#pragma once

#include <QDateTime>
#include <QPoint>
#include <Qt>

// The click with which the user took the keyboard from a panel under way, on its way to the app.
// A window manager that gives the keyboard to the window clicked before it lets the press go on
// to that window (xfwm4 holds the press until it has) lets it go only once it gets round to it:
// on a busy machine the panel's change has gone on meanwhile, and the stage showing the panel on
// its way may by then stand where the user clicked. The server hands the press to whatever lies
// there now; yet the user clicked the window beside the panel, which has the keyboard already,
// and the press is not the panel's. It is told apart by coming first, at the very point the
// pointer stood as the keyboard went (the pointer's moves wait behind the held press).
//
//   idle ──keyboardLeft (the change under way, no button down yet)──▶ awaitingPress
//   awaitingPress ──a press anywhere, the keyboard back, the time is up──▶ idle
class DepartingClick {
public:
    enum class Phase { idle, awaitingPress };

    Phase phase() const { return phase_; }

    // Events.
    // The panel lost the keyboard and does not take it back: the user's doing.
    void keyboardLeft(QPoint pointer, Qt::MouseButtons buttons, bool changeUnderWay,
                      const QDateTime& at);
    // The panel has the keyboard again.
    void keyboardBack();
    // A press reached another window of the app: the click went where the user clicked.
    void pressedElsewhere();
    // A press reached the panel's picture on its way. Whether it is the click that took the
    // keyboard away, handed there late, which the panel leaves alone.
    bool pressedOnPanel(QPoint at, const QDateTime& when);

private:
    // How long after the loss the press may still come: the window manager lets it go as soon as
    // it has given the keyboard away, with room for a busy machine. Longer, and a press of the
    // user's own on the panel, at the same point, could be taken for it.
    static constexpr qint64 graceMs = 1000;

    Phase phase_ = Phase::idle;
    QPoint pointer_;
    QDateTime leftAt_;
};
