#include "window/DepartingClick.h"

void DepartingClick::keyboardLeft(QPoint pointer, Qt::MouseButtons buttons, bool changeUnderWay,
                                  const QDateTime& at) {
    // A button already down: the click's press reached the app before the keyboard moved, and
    // went where the user clicked. Without a change under way, nothing stands where the user
    // clicked but what the user saw.
    if (buttons != Qt::NoButton || !changeUnderWay) {
        phase_ = Phase::idle;
        return;
    }
    phase_ = Phase::awaitingPress;
    pointer_ = pointer;
    leftAt_ = at;
}

void DepartingClick::keyboardBack() {
    phase_ = Phase::idle;
}

void DepartingClick::pressedElsewhere() {
    phase_ = Phase::idle;
}

bool DepartingClick::pressedOnPanel(QPoint at, const QDateTime& when) {
    if (phase_ != Phase::awaitingPress)
        return false;
    phase_ = Phase::idle;
    return at == pointer_ && leftAt_.msecsTo(when) <= graceMs;
}
