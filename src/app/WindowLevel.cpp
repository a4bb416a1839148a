#include "app/WindowLevel.h"

#include "ui/X11Connection.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QWidget>

#ifdef KIPPETS_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace {
const char* const levelProperty = "kippetsWindowLevel";
constexpr int floatingLevel = 1;
constexpr int modalLevel = 2;

#ifdef KIPPETS_HAVE_XCB
xcb_window_t rootOf(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

// A request about `window` to the window manager, which listens on the root window.
void askWindowManager(xcb_connection_t* connection, xcb_window_t window, const char* type,
                      quint32 first, quint32 second) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = x11Atom(type);
    message.data.data32[0] = first;
    message.data.data32[1] = second;
    xcb_send_event(connection, 0, rootOf(connection),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
}
#endif

// EWMH's "every workspace" desktop number.
constexpr quint32 allDesktops = 0xFFFFFFFFu;

// Written before the window is mapped, the window manager places it on every workspace from
// the start; a window already mapped is moved there by a request to the window manager.
void joinAllWorkspaces(QWidget* window, bool mapped) {
#ifdef KIPPETS_HAVE_XCB
    xcb_connection_t* connection = x11Connection();
    if (!connection)
        return;
    const auto id = static_cast<xcb_window_t>(window->winId());
    if (!mapped) {
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, x11Atom("_NET_WM_DESKTOP"),
                            XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
    } else {
        // From a pager-like source: always honoured.
        askWindowManager(connection, id, "_NET_WM_DESKTOP", allDesktops, 2);
    }
    xcb_flush(connection);
#else
    Q_UNUSED(window);
    Q_UNUSED(mapped);
#endif
}

// Asks the window manager for the keyboard on the window's behalf; whether it could ask. Qt asks
// only when the focus is not already in one of the window's children, and a closing child still
// holds it.
bool requestKeyboard(QWidget* window) {
#ifdef KIPPETS_HAVE_XCB
    xcb_connection_t* connection = x11Connection();
    if (!connection || !window->windowHandle())
        return false;
    // From the application, now.
    askWindowManager(connection, static_cast<xcb_window_t>(window->winId()), "_NET_ACTIVE_WINDOW",
                     1, XCB_CURRENT_TIME);
    xcb_flush(connection);
    return true;
#else
    Q_UNUSED(window);
    return false;
#endif
}

// Watches the windows that have a level: keeps floating windows on every workspace and puts
// the modal ones back on top whenever a floating window comes up.
class LevelKeeper : public QObject {
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
            if (level == floatingLevel) {
                joinAllWorkspaces(window, false);
                // A window the app brings up while a modal one is open is where the keyboard
                // goes next, not back to where it was.
                keyboardBefore_.clear();
                scheduleModalsOnTop();
            } else if (level == modalLevel) {
                rememberTheKeyboard(window);
                comeForward(window);
            }
            break;
        case QEvent::Hide:
            if (level == modalLevel)
                giveBackTheKeyboard(window);
            break;
        case QEvent::WindowActivate:
            if (level == floatingLevel)
                scheduleModalsOnTop();
            break;
        case QEvent::WindowStateChange:
            // Window managers that ignore the missing minimise button still minimise: a
            // modal window out of sight would leave what it blocks with nothing to answer.
            if (level == modalLevel && (window->windowState() & Qt::WindowMinimized))
                comeBack(window);
            break;
        default:
            break;
        }
        return false;
    }

private:
    explicit LevelKeeper(QObject* parent) : QObject(parent) {}

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

    void scheduleModalsOnTop() {
        if (pending_)
            return;
        pending_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                pending_ = false;
                modals_.removeAll(nullptr);
                for (const QPointer<QWidget>& modal : std::as_const(modals_)) {
                    if (modal->isVisible())
                        modal->raise();
                }
            },
            Qt::QueuedConnection);
    }

    QList<QPointer<QWidget>> modals_;
    QHash<QWidget*, QPointer<QWidget>> keyboardBefore_;
    bool pending_ = false;
};
} // namespace

void WindowLevel::makeFloating(QWidget* window) {
    if (!(window->windowFlags() & Qt::WindowStaysOnTopHint))
        window->setWindowFlag(Qt::WindowStaysOnTopHint);
    LevelKeeper::shared().watch(window, floatingLevel);
    if (window->isVisible())
        joinAllWorkspaces(window, true);
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
