#pragma once

#include <QDateTime>
#include <QPoint>
#include <Qt>

// A panel that had the keyboard keeps it through a change of form the user asked of it. Where the
// window manager hands the keyboard to whatever window the pointer rests on (JWM's default), a
// panel that shrinks from under a still pointer loses it to the window beneath -- often the
// dashboard -- and the next key meant for the panel goes there. The window manager takes the
// crossing for the user's; the hold tells it apart: the pointer has not moved, no button is down
// and the user has pressed nothing since the change began, which is under way or has only just
// put the panel at its new frame.
//
// Taking the keyboard back is a round trip through the window manager: a key typed meanwhile
// reaches the window that took it. Until the panel has it again, such keys are the panel's.
//
//   idle ──changeBegan──▶ holding ──lost (the change's doing)──▶ takingBack ──regained──▶ holding
//   holding ──a key or a press on the panel, the pointer moved, the time is up──▶ idle
//   takingBack ──a press elsewhere, the pointer moved, a popup or dialog, the time is up──▶ idle
// A key or a press on the panel while taking back ends the hold once the panel has the keyboard.
class KeyboardHold {
public:
    enum class Phase { idle, holding, takingBack };

    Phase phase() const { return phase_; }

    // Events.
    // A change of form the user asked of the panel began while the panel had the keyboard.
    void changeBegan(QPoint pointer, const QDateTime& at);
    // The panel took another frame: the crossing that takes the keyboard away follows it.
    void frameChanged(const QDateTime& at);
    // The user pressed a key or a button on the panel: what happens to the keyboard from here is
    // the user's own doing.
    void userActed();
    // The user pressed a button on another window of the app.
    void pressedElsewhere();
    // The panel lost the keyboard. Whether to take it back: only a loss that the change brought
    // about, while the panel still shows and no popup or dialog of the app took it.
    bool lost(QPoint pointer, Qt::MouseButtons buttons, bool panelShows, bool appTookIt,
              bool changeUnderWay, const QDateTime& at);
    // The panel has the keyboard again.
    void regained();
    // A key reached another window of the app. Whether it is the panel's: typed while the panel
    // takes back the keyboard that its change lost, with the pointer where it was and nothing of
    // the app's in between.
    bool forwardsKeys(QPoint pointer, Qt::MouseButtons buttons, bool panelShows, bool appTookIt,
                      const QDateTime& at);

private:
    // How long after the panel last took a frame a loss may still be the change's: the window
    // manager's answer to the crossing, with room for a busy machine. Longer, and a switch the
    // user makes with the window manager's own keys would be undone.
    static constexpr qint64 graceMs = 1000;
    // How long after the loss keys still go to the panel while the window manager has not given
    // it back: a window manager that refuses does not keep the keys from the window it shows
    // active for longer.
    static constexpr qint64 forwardMs = 500;
    // Taken back this often at most in one hold: a window manager that gives the keyboard away
    // again each time is not fought for ever.
    static constexpr int mostTakenBack = 3;

    Phase phase_ = Phase::idle;
    QPoint pointer_;
    QDateTime lastFrame_;
    QDateTime lostAt_;
    int takenBack_ = 0;
    // Taking back: the user typed or pressed on the panel meanwhile.
    bool userActed_ = false;
};
