#pragma once

#include "platform/Clock.h"

#include <QObject>
#include <QPointer>

class QWidget;
class QWindow;

// Gives the keyboard back to a window of the app, and holds it there for a moment. A window
// manager that finds the window holding the keyboard gone (a closed editor) may pass the keyboard
// on by its own choice a moment after the app asked for it, to whichever ordinary window had it
// last (xfwm4: the dashboard): the app asks again, unless the user did something meanwhile.
class KeyboardReturn : public QObject {
    Q_OBJECT
public:
    // Gives `window` the keyboard now, and again whenever it goes to another window of the app
    // within a moment, before any key or click of the user's.
    static void giveTo(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Phase { holding, over };

    explicit KeyboardReturn(QWidget* window);
    // The app's focus went to `window` (none: no window of the app's has it).
    void focusMoved(QWindow* window);
    // A key or a click of the user's: where the keyboard goes next is the user's choice.
    void userActed();
    void momentPassed();
    void finish();

    Phase phase_ = Phase::holding;
    QPointer<QWidget> window_;
    ScheduledAction moment_;
    int askedAgain_ = 0;
};
