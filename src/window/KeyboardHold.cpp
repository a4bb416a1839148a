#include "window/KeyboardHold.h"

void KeyboardHold::changeBegan(QPoint pointer, const QDateTime& at) {
    phase_ = Phase::holding;
    pointer_ = pointer;
    lastFrame_ = at;
    takenBack_ = 0;
    userActed_ = false;
}

void KeyboardHold::frameChanged(const QDateTime& at) {
    if (phase_ == Phase::holding)
        lastFrame_ = at;
}

void KeyboardHold::userActed() {
    // Keys typed while the keyboard is on its way back are the panel's still; only what the
    // keyboard does once there is the user's own doing.
    if (phase_ == Phase::takingBack)
        userActed_ = true;
    else
        phase_ = Phase::idle;
}

void KeyboardHold::pressedElsewhere() {
    phase_ = Phase::idle;
}

bool KeyboardHold::lost(QPoint pointer, Qt::MouseButtons buttons, bool panelShows, bool appTookIt,
                        bool changeUnderWay, const QDateTime& at) {
    if (phase_ == Phase::idle)
        return false;
    // A pointer that moved, or a button held down, is the user's going elsewhere; a panel hidden
    // or closed, or a popup or dialog the app opened, gives up the keyboard by itself.
    const bool inTime = changeUnderWay || lastFrame_.msecsTo(at) <= graceMs;
    if (pointer != pointer_ || buttons != Qt::NoButton || !panelShows || appTookIt || !inTime ||
        takenBack_ >= mostTakenBack) {
        phase_ = Phase::idle;
        return false;
    }
    ++takenBack_;
    phase_ = Phase::takingBack;
    lostAt_ = at;
    return true;
}

void KeyboardHold::regained() {
    if (phase_ != Phase::takingBack)
        return;
    phase_ = userActed_ ? Phase::idle : Phase::holding;
    userActed_ = false;
}

bool KeyboardHold::forwardsKeys(QPoint pointer, Qt::MouseButtons buttons, bool panelShows,
                                bool appTookIt, const QDateTime& at) {
    if (phase_ != Phase::takingBack)
        return false;
    if (pointer != pointer_ || buttons != Qt::NoButton || !panelShows || appTookIt ||
        lostAt_.msecsTo(at) > forwardMs) {
        phase_ = Phase::idle;
        return false;
    }
    return true;
}
