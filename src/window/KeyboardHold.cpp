#include "window/KeyboardHold.h"

void KeyboardHold::changeBegan(QPoint pointer, const QDateTime& at) {
    phase_ = Phase::holding;
    pointer_ = pointer;
    lastFrame_ = at;
    takenBack_ = 0;
}

void KeyboardHold::frameChanged(const QDateTime& at) {
    if (phase_ == Phase::holding)
        lastFrame_ = at;
}

void KeyboardHold::userActed() {
    phase_ = Phase::idle;
}

bool KeyboardHold::lost(QPoint pointer, Qt::MouseButtons buttons, bool panelShows, bool appTookIt,
                        bool changeUnderWay, const QDateTime& at) {
    if (phase_ != Phase::holding)
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
    return true;
}
