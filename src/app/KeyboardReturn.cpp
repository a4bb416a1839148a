#include "app/KeyboardReturn.h"

#include "app/WindowLevel.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

namespace {
// The window manager's own choice comes within a few tens of milliseconds; a user's click on
// another window so soon after closing one is not to be expected, and a key or click the app
// sees ends the hold at once.
constexpr std::chrono::milliseconds holdFor(400);
// Asked again at most this often: a window manager that insists is not fought.
constexpr int mostAskedAgain = 2;
} // namespace

void KeyboardReturn::giveTo(QWidget* window) {
    if (!window)
        return;
    WindowLevel::giveKeyboardTo(window);
    if (window->isVisible())
        new KeyboardReturn(window);
}

KeyboardReturn::KeyboardReturn(QWidget* window) : QObject(window), window_(window) {
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, &KeyboardReturn::focusMoved);
    qGuiApp->installEventFilter(this);
    moment_ = Clock::shared().schedule(holdFor, this, [this] { momentPassed(); });
}

bool KeyboardReturn::eventFilter(QObject* watched, QEvent* event) {
    if (event->spontaneous()) {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::TabletPress:
        case QEvent::TouchBegin:
            userActed();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void KeyboardReturn::focusMoved(QWindow* window) {
    if (phase_ != Phase::holding)
        return;
    // Nowhere is a step on the way; the window itself, or a window of its own (an editor it
    // opens), is where the keyboard belongs.
    if (!window || !window_ || !window_->isVisible())
        return;
    const QWidget* holder = window_->window();
    if (window == holder->windowHandle() || window->transientParent() == holder->windowHandle())
        return;
    if (askedAgain_++ >= mostAskedAgain) {
        finish();
        return;
    }
    WindowLevel::giveKeyboardTo(window_);
}

void KeyboardReturn::userActed() {
    if (phase_ == Phase::holding)
        finish();
}

void KeyboardReturn::momentPassed() {
    if (phase_ == Phase::holding)
        finish();
}

void KeyboardReturn::finish() {
    phase_ = Phase::over;
    moment_.cancel();
    qGuiApp->removeEventFilter(this);
    disconnect(qGuiApp, nullptr, this, nullptr);
    deleteLater();
}
