#include "ui/WindowManagerMoves.h"

#include "platform/ClockTimer.h"
#include "platform/Log.h"
#include "platform/ScreenProvider.h"
#include "ui/TransitionStage.h"
#include "ui/X11.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <utility>

namespace {
// Whether a mouse button is down anywhere on the screen. The window manager holds the pointer
// during its move, so the app's own idea of the buttons never changes then; the server knows.
bool isMouseButtonHeld() {
#ifdef KIPPETS_HAVE_XCB
    const auto pointer = X11::ask(xcb_query_pointer, xcb_query_pointer_reply, X11::root());
    if (!pointer)
        return false;
    constexpr quint16 buttons =
        XCB_KEY_BUT_MASK_BUTTON_1 | XCB_KEY_BUT_MASK_BUTTON_2 | XCB_KEY_BUT_MASK_BUTTON_3;
    return pointer->mask & buttons;
#else
    return false;
#endif
}

// Whether the frame, in Qt's coordinates, lies whole on one of the screens.
bool isOnTheScreens(const QRect& frame) {
    const ScreenProvider& screens = ScreenProvider::shared();
    const RectD wanted = screens.space().fromQt(QRectF(frame));
    const QList<ScreenInfo> all = screens.screens();
    return std::any_of(all.cbegin(), all.cend(),
                       [&](const ScreenInfo& screen) { return screen.frame.contains(wanted); });
}
} // namespace

WindowManagerMoves::WindowManagerMoves(QWidget* window, std::function<bool()> isChanging)
    : QObject(window), window_(window), placed_(window->geometry()), timer_(new ClockTimer(this)),
      screensTimer_(new ClockTimer(this)), isChanging_(std::move(isChanging)) {
    timer_->setSingleShot(true);
    timer_->setInterval(settleTime);
    connect(timer_, &ClockTimer::timeout, this, &WindowManagerMoves::check);
    screensTimer_->setSingleShot(true);
    screensTimer_->setInterval(screenWatchTime);
    connect(screensTimer_, &ClockTimer::timeout, this, &WindowManagerMoves::screensSettled);
    connect(&ScreenProvider::shared(), &ScreenProvider::screensChanged, this,
            &WindowManagerMoves::screensChanged);
    window->installEventFilter(this);
}

void WindowManagerMoves::screensChanged() {
    // The window manager keeps windows on a screen that shrinks; those moves are its own.
    phase_ = Phase::ScreensChanging;
    asksLeft_ = screenAsks;
    screensTimer_->restart();
    timer_->restart();
}

void WindowManagerMoves::keepCurrentPlace() {
    if (!window_)
        return;
    placeKept_ = true;
    placed_ = window_->geometry();
}

void WindowManagerMoves::screensSettled() {
    // A frame still settling is judged as the window manager's first.
    if (timer_->isActive()) {
        screensTimer_->restart();
        return;
    }
    phase_ = Phase::UserMoves;
}

bool WindowManagerMoves::eventFilter(QObject* watched, QEvent* event) {
    // A move still settling when the window closes (the app quitting closes every window) is
    // where the user left the window all the same.
    if (watched == window_ && event->type() == QEvent::Close && timer_->isActive()) {
        timer_->stop();
        if (!isChanging_ || !isChanging_())
            settle(true);
        return false;
    }
    // Showing, the window stands where the app left it while it was hidden: Qt sends the moves
    // the app made meanwhile first, and any the app makes as it shows after.
    if (watched == window_ && event->type() == QEvent::Show && !event->spontaneous()) {
        placed_ = window_->geometry();
        return false;
    }
    // Every event of the window passes here: only moves and resizes matter.
    if ((event->type() != QEvent::Move && event->type() != QEvent::Resize) || watched != window_)
        return false;
    if (!event->spontaneous()) {
        // Sent by Qt while the app moves or sizes the window, or shows it after doing so.
        placed_ = window_->geometry();
    } else if (window_->geometry() != placed_ || timer_->isActive()) {
        // The server also confirms the app's own frames, late while they change quickly: only
        // where the window stands once it is still tells whose change it was.
        timer_->restart();
    }
    return false;
}

void WindowManagerMoves::check() {
    if (!window_)
        return;
    if (isChanging_ && isChanging_()) {
        timer_->restart();
        return;
    }
    if (isMouseButtonHeld()) {
        // A move held with the mouse is the user's, also while the screens change: where they
        // leave the window stays.
        phase_ = Phase::UserMoves;
        timer_->restart();
        return;
    }
    settle();
}

void WindowManagerMoves::settle(bool closing) {
    if (!window_)
        return;
    // Hidden, the window stands nowhere the user chose (a window manager that lets go of a window
    // puts it where its frame stood); not yet mapped again, its window manager has yet to place
    // it.
    if (!window_->isVisible() || !window_->testAttribute(Qt::WA_Mapped))
        return;
    const QRect heard = window_->geometry();
    const QRect shown = TransitionStage::shownGeometry(window_).value_or(heard);
    if (phase_ == Phase::ScreensChanging && shown != placed_) {
        // Moved by the window manager as the screens changed, away from the place the app
        // chose on them: asked again, and watched again.
        if (!closing && placeKept_ && asksLeft_ > 0 && isOnTheScreens(placed_)) {
            --asksLeft_;
            Log::line(QStringLiteral("🖥️ [WindowManagerMoves] The window manager moved \"%1\" "
                                     "as the screens changed: asking again for its place")
                          .arg(window_->windowTitle()));
            const QRect wanted = placed_;
            // Qt asks nothing for a frame it takes the window to have already: it learns
            // where the window stands first.
            if (heard == wanted)
                window_->setGeometry(shown);
            window_->setGeometry(wanted);
            timer_->restart();
            return;
        }
        // The window manager's place, not the user's.
        if (shown == heard) {
            placed_ = shown;
            return;
        }
    }
    if (shown != placed_ && shown == heard) {
        placed_ = shown;
        emit settled();
        return;
    }
    // Qt heard of a place the window only passed through, and never of the one it stands at:
    // asked to stand where it stands, the window manager tells it so (ICCCM), and drags by the
    // window's background, menus and the like start from the right place again.
    if (!closing && shown == placed_ && heard != placed_)
        window_->setGeometry(placed_);
}
