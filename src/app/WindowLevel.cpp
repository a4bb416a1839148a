#include "app/WindowLevel.h"

#include "ui/X11.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace {
const char* const levelProperty = "kippetsWindowLevel";
constexpr int floatingLevel = 1;
constexpr int modalLevel = 2;
constexpr int ordinaryLevel = 3;

// Written before the window is mapped, the window manager places it on every workspace from the
// start. Once it is mapped the window manager alone writes the property, and some ignore a client
// writing it: a window already mapped is moved there by a request to the window manager.
void joinAllWorkspaces(QWidget* window, bool mapped) {
    const X11::WindowId id = X11::idOf(window);
    if (id == X11::noWindow)
        return;
    if (!mapped) {
        X11::setProperty32(id, X11::atom("_NET_WM_DESKTOP"), X11::cardinalType(),
                           std::array{X11::everyDesktop});
    } else {
        X11::requestDesktop(id, X11::everyDesktop);
    }
    X11::flush();
}

// A floating window is part of the desktop's furniture, not a task: taskbars and pagers leave it
// out. Before the window is mapped the states go into its own property, beside those Qt puts
// there as it maps it; once mapped, the window manager is asked.
void stayOffTaskbars(QWidget* window, bool mapped) {
    const X11::WindowId id = X11::idOf(window);
    if (id == X11::noWindow)
        return;
    const X11::AtomId skipTaskbar = X11::atom("_NET_WM_STATE_SKIP_TASKBAR");
    const X11::AtomId skipPager = X11::atom("_NET_WM_STATE_SKIP_PAGER");
    if (mapped) {
        X11::requestState(id, true, skipTaskbar, skipPager);
        return;
    }
    const X11::AtomId state = X11::atom("_NET_WM_STATE");
    std::vector<X11::AtomId> states =
        X11::property32(id, state, X11::atomType()).value_or(std::vector<X11::AtomId>{});
    for (const X11::AtomId skip : {skipTaskbar, skipPager}) {
        if (std::find(states.begin(), states.end(), skip) == states.end())
            states.push_back(skip);
    }
    X11::setProperty32(id, state, X11::atomType(), states);
    X11::flush();
}

// KWin hides the utility windows of an application whenever none of its windows is active (its
// HideUtilityWindowsForInactive, on by default), and takes a window outside the app's window
// group (the dashboard, see makeOrdinary) for another application: with the dashboard in front,
// panels and editors vanished. Qt makes every tool window a utility window. For KWin alone a
// floating window is an ordinary one (_NET_WM_WINDOW_TYPE_NORMAL), which it never hides that
// way; above ordinary windows, off taskbars and undecorated all the same. Other window managers
// keep the utility type they place, focus and stack these windows by. Written before the window
// is mapped, where the window manager reads it.
void stayUpWhateverIsActive(QWidget* window) {
    const X11::WindowId id = X11::idOf(window);
    if (id == X11::noWindow)
        return;
    // Asked until a window manager has answered: the app may come up before it.
    static std::optional<bool> kwin;
    if (!kwin) {
        const QByteArray name = X11::windowManagerName();
        if (!name.isEmpty())
            kwin = name == "KWin";
    }
    if (!kwin.value_or(false))
        return;
    X11::setProperty32(id, X11::atom("_NET_WM_WINDOW_TYPE"), X11::atomType(),
                       std::array{X11::atom("_NET_WM_WINDOW_TYPE_NORMAL")});
}

// What makes a floating window part of the desktop rather than a task of the app: on every
// workspace and out of taskbars and pagers.
void standApart(QWidget* window, bool mapped) {
    if (!mapped)
        stayUpWhateverIsActive(window);
    joinAllWorkspaces(window, mapped);
    stayOffTaskbars(window, mapped);
    X11::flush();
}

// Asks the window manager for the keyboard on the window's behalf; whether it could ask. Qt asks
// only when the focus is not already in one of the window's children, and a closing child still
// holds it.
bool requestKeyboard(QWidget* window) {
    const X11::WindowId id = X11::idOf(window);
    if (id == X11::noWindow)
        return false;
    X11::requestActivation(id);
    return true;
}

// Watches the windows that have a level: keeps floating windows on every workspace and out of
// taskbars, keeps the ordinary ones out of the app's window group, puts the modal ones back on
// top whenever a floating window comes up, and gives the keyboard back to a floating window when
// the dashboard goes and the window manager leaves it nowhere.
class LevelKeeper : public QObject, public QAbstractNativeEventFilter {
public:
    static LevelKeeper& shared() {
        static auto* keeper = new LevelKeeper(qApp);
        return *keeper;
    }

    void watch(QWidget* window, int level) {
        window->setProperty(levelProperty, level);
        window->installEventFilter(this);
        if (level == modalLevel)
            modals_.append(window);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Every event of every panel passes here (paints, moves, the pointer): only four matter.
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::WindowActivate:
        case QEvent::WindowStateChange:
            break;
        default:
            return false;
        }
        auto* window = qobject_cast<QWidget*>(watched);
        if (!window || !window->isWindow())
            return false;
        const int level = window->property(levelProperty).toInt();
        switch (event->type()) {
        case QEvent::Show:
            if (level == ordinaryLevel) {
                X11::leaveWindowGroup(X11::idOf(window));
                X11::flush();
            } else if (level == floatingLevel) {
                standApart(window, false);
                joinAllWorkspacesOnceMapped(window);
                // A window the app brings up while a modal one is open is where the keyboard
                // goes next, not back to where it was.
                keyboardBefore_.clear();
                scheduleModalsOnTop(window);
            } else if (level == modalLevel) {
                rememberTheKeyboard(window);
                comeForward(window);
            }
            break;
        case QEvent::Hide:
            if (level == modalLevel)
                giveBackTheKeyboard(window);
            else if (level == ordinaryLevel)
                keyboardBackToTheShelf(window);
            break;
        case QEvent::WindowActivate:
            if (level == floatingLevel) {
                lastFloating_ = window;
                scheduleModalsOnTop(window);
            }
            break;
        case QEvent::WindowStateChange:
            // Window managers that ignore the missing minimise button still minimise: a
            // modal window out of sight would leave what it blocks with nothing to answer.
            if (level == modalLevel && (window->windowState() & Qt::WindowMinimized))
                comeBack(window);
            else if (level == ordinaryLevel && (window->windowState() & Qt::WindowMinimized))
                keyboardBackToTheShelf(window);
            break;
        default:
            break;
        }
        return false;
    }

private:
    explicit LevelKeeper(QObject* parent) : QObject(parent) {
        // The app taking the keyboard itself settles where it is; the window that went may still
        // hear late that it had it, which settles nothing.
        connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* focus) {
            if (focus && focus->isVisible() && X11::WindowId(focus->winId()) != keyboardAwaited_)
                keyboardAwaited_ = X11::noWindow;
        });
        if (X11::connection())
            qApp->installNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        // While a window of ours went and the window manager has not said yet where the
        // keyboard went, or when it leaves the keyboard with no window.
        if (eventType != "xcb_generic_event_t")
            return false;
        if (probe_ != X11::noWindow &&
            X11::isPropertyChange(message, probe_, X11::atom("_NET_FRAME_EXTENTS"))) {
            windowManagerAnswered();
            return false;
        }
        if (X11::isPropertyChange(message, X11::root(), X11::atom("_NET_CLIENT_LIST_STACKING"))) {
            modalsBackAboveFloating();
            return false;
        }
        if (QWidget* hidden = activeOrdinaryHidden(message)) {
            keyboardBackToTheShelf(hidden);
            return false;
        }
        if (!X11::isPropertyChange(message, X11::root(), X11::atom("_NET_ACTIVE_WINDOW")))
            return false;
        const X11::WindowId active = X11::activeWindow();
        if (active == X11::noWindow && keyboardAwaited_ == X11::noWindow) {
            if (QWidget* gone = minimisedUnheard())
                keyboardBackToTheShelf(gone);
            return false;
        }
        if (active == X11::noWindow)
            keyboardToLastFloating();
        else if (active != keyboardAwaited_)
            keyboardAwaited_ = X11::noWindow;
        return false;
    }

    // Some window managers raise a window clicked without giving it the keyboard while a modal
    // window holds it: no floating window comes up that the app hears of. The stacking the
    // window manager reports says so; a modal window below a floating one goes back above the
    // topmost. Asked once for each stacking: a window manager that keeps the order it chose
    // reports no new one, and is not asked again.
    void modalsBackAboveFloating() {
        modals_.removeAll(nullptr);
        // Most changes of stacking come while no modal window shows: nothing to ask then.
        if (std::none_of(modals_.cbegin(), modals_.cend(),
                         [](const QPointer<QWidget>& modal) { return modal->isVisible(); }))
            return;
        const std::vector<X11::WindowId> stacking = X11::stackingOrder();
        if (stacking == stackingActedOn_)
            return;
        const auto indexOf = [&stacking](const QWidget* window) {
            const auto found = std::find(stacking.begin(), stacking.end(), X11::idOf(window));
            return found == stacking.end() ? -1 : int(found - stacking.begin());
        };
        int topFloating = -1;
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (const QWidget* window : windows) {
            if (window->property(levelProperty).toInt() == floatingLevel && window->isVisible())
                topFloating = std::max(topFloating, indexOf(window));
        }
        if (topFloating < 0)
            return;
        for (const QPointer<QWidget>& modal : std::as_const(modals_)) {
            const int index = modal->isVisible() ? indexOf(modal) : -1;
            if (index >= 0 && index < topFloating) {
                stackingActedOn_ = stacking;
                X11::requestRaiseAbove(X11::idOf(modal), stacking[std::size_t(topFloating)]);
            }
        }
    }

    // The ordinary window whose states just changed to minimised while the window manager still
    // names it active, whether Qt heard of the minimise or not: where the window manager says
    // nothing more (JWM), the keyboard is nowhere.
    QWidget* activeOrdinaryHidden(const void* message) const {
        // Every event passes here; the states of a window change seldom.
        const X11::WindowId id = X11::propertyChangedOn(message, X11::atom("_NET_WM_STATE"));
        if (id == X11::noWindow || id == keyboardAwaited_)
            return nullptr;
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget* window : windows) {
            if (X11::idOf(window) != id || window->property(levelProperty).toInt() != ordinaryLevel)
                continue;
            if (X11::activeWindow() == id && X11::hasState(id, X11::atom("_NET_WM_STATE_HIDDEN")))
                return window;
        }
        return nullptr;
    }

    // An ordinary window the window manager minimised while the app had just shown it: Qt
    // then goes on taking it for shown, and no minimise reaches the event filter.
    static QWidget* minimisedUnheard() {
        const X11::AtomId hidden = X11::atom("_NET_WM_STATE_HIDDEN");
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget* window : windows) {
            if (window->property(levelProperty).toInt() == ordinaryLevel && window->isVisible() &&
                !(window->windowState() & Qt::WindowMinimized) &&
                X11::idOf(window) != X11::noWindow && X11::hasState(X11::idOf(window), hidden))
                return window;
        }
        return nullptr;
    }

    // Some window managers read a window's workspace as they map it but take "every workspace"
    // there for a number out of range, and place the window on the last one. The request to the
    // window manager, as for a mapped window, goes right after the request to map it, which Qt
    // sends once the show event has passed: the window manager handles the two in that order.
    // Others keep a window and the one it is transient for on one workspace, and move the parent
    // to the workspace they give a new transient: the floating windows it stands on are asked
    // back onto every workspace after it.
    static void joinAllWorkspacesOnceMapped(QWidget* window) {
        QMetaObject::invokeMethod(
            window,
            [window] {
                for (QWidget* each = window; each;
                     each = each->parentWidget() ? each->parentWidget()->window() : nullptr) {
                    if (each->isVisible() && each->property(levelProperty).toInt() == floatingLevel)
                        joinAllWorkspaces(each, true);
                }
            },
            Qt::QueuedConnection);
    }

    // After the window manager mapped the window: only then do raise and activation count.
    static void comeForward(QWidget* window) {
        QMetaObject::invokeMethod(
            window,
            [window] {
                if (!window->isVisible())
                    return;
                window->raise();
                window->activateWindow();
            },
            Qt::QueuedConnection);
    }

    static void comeBack(QWidget* window) {
        QMetaObject::invokeMethod(
            window, [window] { WindowLevel::bringToFront(window); }, Qt::QueuedConnection);
    }

    // Window managers give the keyboard on to another window when the active one is minimised or
    // closed, but pass over windows left out of the taskbar: with the dashboard gone, nothing
    // would have it. It goes back to the floating window the user was in last, unless the window
    // manager gave it to some other window.
    // The window manager may still be on its way there: whether it gave the keyboard to no
    // window shows once it says which window has it.
    void keyboardBackToTheShelf(QWidget* gone) {
        if (!lastFloating_ || X11::idOf(gone) == X11::noWindow)
            return;
        keyboardAwaited_ = X11::idOf(gone);
        const X11::WindowId active = X11::activeWindow();
        if (active == X11::noWindow)
            keyboardToLastFloating();
        else if (active == keyboardAwaited_)
            askWhetherTheKeyboardStays();
    }

    // Some window managers (JWM) look for the next window to give the keyboard to only in the
    // layers below the one that went, pass over the floating windows above it, give the keyboard
    // to the root and go on naming the minimised window as the active one: no change comes that
    // the app could hear. Whether the window manager has done with the window that went shows
    // once it answers a request sent after: the estimate of a frame for a window it does not
    // manage, which it gives in its turn (_NET_REQUEST_FRAME_EXTENTS).
    void askWhetherTheKeyboardStays() {
        if (probe_ != X11::noWindow)
            return;
        probe_ = X11::createHiddenWindow();
        if (probe_ == X11::noWindow)
            return;
        X11::askWindowManager(probe_, X11::atom("_NET_REQUEST_FRAME_EXTENTS"), {});
        X11::flush();
    }

    // The window manager has handled the window that went: still named active while it is
    // minimised, and with the server's keyboard on no window (another window manager may have
    // given it to another program's window already, and name that one later), it has the
    // keyboard no more.
    void windowManagerAnswered() {
        X11::destroyWindow(probe_);
        probe_ = X11::noWindow;
        X11::flush();
        if (keyboardAwaited_ != X11::noWindow && X11::activeWindow() == keyboardAwaited_ &&
            X11::hasState(keyboardAwaited_, X11::atom("_NET_WM_STATE_HIDDEN")) &&
            X11::keyboardOnNoWindow())
            keyboardToLastFloating();
    }

    // The wait goes on until the keyboard is somewhere: a window manager still falling back
    // after the window that went may leave it with no window once more, and is asked again.
    void keyboardToLastFloating() {
        QWidget* floating = lastFloating_;
        if (floating && floating->isVisible() && !(floating->windowState() & Qt::WindowMinimized))
            WindowLevel::giveKeyboardTo(floating);
    }

    // The window that had the keyboard when a modal window came up gets it back when that
    // closes; the window manager would give it to whichever ordinary window had it last.
    void rememberTheKeyboard(QWidget* modal) {
        QWidget* active = QApplication::activeWindow();
        if (active && active != modal)
            keyboardBefore_.insert(modal, active);
    }

    // At once, before whatever the answer makes the app do: a window it opens in response
    // asks for the keyboard after this and gets it.
    void giveBackTheKeyboard(QWidget* modal) {
        const QPointer<QWidget> previous = keyboardBefore_.take(modal);
        if (previous && previous->isVisible())
            WindowLevel::giveKeyboardTo(previous);
    }

    // Puts the modal windows back above the floating window that came up. Stacked right above
    // it, not raised: some window managers give the keyboard to a window the app raises, and it
    // stays with the floating window the user went to.
    void scheduleModalsOnTop(QWidget* floating) {
        modalsGoAbove_ = floating;
        if (pending_)
            return;
        pending_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                pending_ = false;
                modals_.removeAll(nullptr);
                const QPointer<QWidget> floating = std::exchange(modalsGoAbove_, nullptr);
                const X11::WindowId sibling =
                    floating && floating->isVisible() ? X11::idOf(floating) : X11::noWindow;
                for (const QPointer<QWidget>& modal : std::as_const(modals_)) {
                    if (!modal->isVisible())
                        continue;
                    if (sibling != X11::noWindow && X11::idOf(modal) != X11::noWindow)
                        X11::requestRaiseAbove(X11::idOf(modal), sibling);
                    else
                        modal->raise();
                }
            },
            Qt::QueuedConnection);
    }

    QList<QPointer<QWidget>> modals_;
    QHash<QWidget*, QPointer<QWidget>> keyboardBefore_;
    QPointer<QWidget> lastFloating_;
    // The floating window the modal windows go above next.
    QPointer<QWidget> modalsGoAbove_;
    // The window manager's stacking the modal windows were last sent back above the floating
    // ones in.
    std::vector<X11::WindowId> stackingActedOn_;
    // The window of ours that went while it may have had the keyboard; none when nothing waits.
    X11::WindowId keyboardAwaited_ = X11::noWindow;
    // The window whose frame the window manager is asked to estimate, to learn that it has
    // handled what came before; none while nothing is asked.
    X11::WindowId probe_ = X11::noWindow;
    bool pending_ = false;
};
} // namespace

void WindowLevel::makeFloating(QWidget* window) {
    if (!(window->windowFlags() & Qt::WindowStaysOnTopHint))
        window->setWindowFlag(Qt::WindowStaysOnTopHint);
    LevelKeeper::shared().watch(window, floatingLevel);
    if (window->isVisible())
        standApart(window, true);
}

void WindowLevel::makeModal(QWidget* window) {
    Qt::WindowFlags flags = window->windowFlags() | Qt::WindowStaysOnTopHint;
    if (qobject_cast<QDialog*>(window)) {
        flags &= ~(Qt::WindowMinMaxButtonsHint | Qt::WindowContextHelpButtonHint);
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    }
    if (flags != window->windowFlags())
        window->setWindowFlags(flags);
    LevelKeeper::shared().watch(window, modalLevel);
}

void WindowLevel::makeOrdinary(QWidget* window) {
    LevelKeeper::shared().watch(window, ordinaryLevel);
    if (window->isVisible())
        X11::leaveWindowGroup(X11::idOf(window));
}

void WindowLevel::giveKeyboardTo(QWidget* window) {
    window->activateWindow();
    if (window->isVisible())
        requestKeyboard(window);
}

void WindowLevel::showUnminimised(QWidget* window) {
    if (window->windowState() & Qt::WindowMinimized)
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
}

void WindowLevel::bringToFront(QWidget* window) {
    showUnminimised(window);
    window->raise();
    // Qt keeps the activation of a window that is not on the screen yet until the server reports
    // it mapped, and only then asks the window manager. On a busy machine that report comes late:
    // a window the user minimised again in the meantime came back by itself, and took the
    // keyboard from the window the user had moved on to. Asked now, the window manager handles
    // the request in its turn, before whatever the user does next.
    if (!window->testAttribute(Qt::WA_Mapped) && requestKeyboard(window))
        return;
    window->activateWindow();
}

bool WindowLevel::isModal(const QWidget* window) {
    return window && window->property(levelProperty).toInt() == modalLevel;
}
