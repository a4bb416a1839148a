#pragma once

#include <QByteArray>
#include <QColor>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QPointF>
#include <QProcess>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

struct xcb_connection_t;

// A real desktop for one test case: a private X server on a free display, a window manager
// (openbox unless the case or the environment names another, optionally a compositor and a system
// tray), and the built app running on it with a fresh profile. The case reads what the window
// manager made of the app's windows from the X properties and drives the app with keys and clicks
// sent through XTest, as a user would, where the server says a click reaches the window meant.
// Everything the session starts ends with the case, however the case ends: a case killed or timed
// out leaves no desktop running (tests/support/OwnedProcesses.h).
//
// The environment picks the desktop, so that one case runs on several:
//   KIPPETS_WINDOW_MANAGER  openbox (the default), xfwm4, marco, metacity, icewm, fluxbox, jwm or
//                           kwin (KWin on X11);
//   KIPPETS_WM_COMPOSITOR   on or off: whether xfwm4, marco, metacity or KWin runs its own
//                           compositor (off unless on);
//   KIPPETS_COMPOSITOR      xcompmgr, picom or picom-fading (picom fading windows in and out):
//                           a compositor beside a window manager that does not composite itself,
//                           on every case; unset, a case that asks for a compositor gets xcompmgr
//                           there.
class ServerWatch;

class DesktopSession {
public:
    using WindowId = std::uint32_t;

    struct Options {
        QSize screen{1440, 900};
        // A compositor: the window manager's own where it runs one, else a program beside it.
        bool compositor = false;
        bool tray = false;
        // Empty: as KIPPETS_WINDOW_MANAGER says.
        QString windowManager;
        // Unset: as KIPPETS_WM_COMPOSITOR says.
        std::optional<bool> windowManagerCompositor;
        // The tour is seen unless asked for.
        bool tourSeen = true;
        QStringList appEnvironment;
    };

    // A kippet stored before the app starts.
    struct Seed {
        QString name;
        QPointF position;
        bool expanded = false;
        bool mini = false;
        bool tucked = false;
        // Files added as items, already sorted.
        QStringList files;
    };

    explicit DesktopSession(Options options);
    DesktopSession() : DesktopSession(Options{}) {}
    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    // Whether the server and the window manager run; the reason when not.
    bool isReady() const { return connection_ != nullptr; }
    QString failure() const { return failure_; }
    QString display() const { return display_; }
    QString home() const { return home_.path(); }
    // The window manager that runs: "openbox", "xfwm4", "marco", "metacity", "icewm", "fluxbox",
    // "jwm" or "kwin", for expectations that differ between them.
    QString windowManager() const { return windowManagerName_; }
    // Whether the window manager composites itself.
    bool windowManagerComposites() const { return windowManagerComposites_; }
    // Whether a compositor holds the compositing selection now.
    bool hasCompositor() const;

    // Stores the kippets in the profile's data folder, all open unless tucked.
    void seed(const QList<Seed>& kippets);
    void setPreference(const QString& key, const QVariant& value);

    // Starts the app (or another start of it) and waits until `windows` client windows show.
    bool launch(int windows, const QStringList& arguments = {});
    // Runs a second start to its end; its exit code.
    int launchAgain();
    QString appOutput() const;
    // Ends the app as the session does and waits for its end; false, with a warning saying so,
    // when it had to be killed or did not end.
    bool quitApp();
    bool isAppRunning() const { return app_.state() != QProcess::NotRunning; }
    qint64 appProcessId() const { return app_.processId(); }
    // The app's exit code once it ended by itself; -1 while it runs or after a crash.
    int appExitCode() const;

    // What the window manager knows.
    QList<WindowId> stacking() const; // bottom to top
    QString title(WindowId window) const;
    QList<WindowId> windowsTitled(const QString& title) const;
    WindowId windowTitled(const QString& title) const; // 0 when none
    std::uint32_t desktopOf(WindowId window) const;
    QStringList states(WindowId window) const;
    QStringList types(WindowId window) const;
    QStringList allowedActions(WindowId window) const;
    // The functions the app asks the window manager to offer (_MOTIF_WM_HINTS); all when unset.
    std::uint32_t motifFunctions(WindowId window) const;
    WindowId transientFor(WindowId window) const;
    WindowId activeWindow() const;
    // The window the server sends keys to.
    WindowId inputFocus() const;
    // Whether `inner` is `outer` or lies inside it.
    bool isWithin(WindowId inner, WindowId outer) const;
    // Waits until the window is active, has the server's keyboard focus and the app has heard of
    // it: a key sent then reaches it. Whether it got there, with a warning when not.
    bool hasTheKeyboard(WindowId window);
    // Types `keys` to `window` once it has the keyboard, until `done` holds: again only when the
    // keys before provably did nothing (the window manager, the app and the window manager again
    // have handled them and what they made the others ask, and `done` still does not hold), so a
    // slow key never acts twice. Whether `done` came to hold.
    bool keyUntil(WindowId window, const QString& keys, const std::function<bool()>& done);
    QRect geometry(WindowId window) const; // client area in root coordinates
    bool isViewable(WindowId window) const;
    // Whether the user sees the window on the workspace shown now, judged the EWMH way: on that
    // workspace or on every one, not hidden, and mapped. Mapped alone does not say it: KWin with
    // its compositor keeps the windows of other workspaces mapped.
    bool isShownOnCurrentDesktop(WindowId window) const;
    // What the window's bounding shape covers, in the window's coordinates: the whole window when
    // it has no shape; null when the server does not answer.
    QRect shapeExtents(WindowId window) const;
    // Whether the window still exists on the server.
    bool exists(WindowId window) const;
    int stackIndex(WindowId window) const;
    std::uint32_t currentDesktop() const;
    std::uint32_t desktopCount() const;
    // Windows shown without the window manager (override-redirect) that cover the screen.
    QList<WindowId> screenOverlays() const;
    // The menus open on the screen: windows shown without the window manager on a part of it,
    // tool tips, dragged images and other programs' windows excepted.
    QList<WindowId> openMenus() const;
    // The windows shown on the screen without the window manager (override-redirect, mapped),
    // the window manager's frames excepted.
    QList<WindowId> unmanagedWindows() const;
    // The client windows that are not in `before`.
    QList<WindowId> windowsSince(const QList<WindowId>& before) const;

    // A point on a panel's top strip, where a click only gives it the keyboard.
    static QPoint grabPoint(const QRect& panel) { return {panel.center().x(), panel.top() + 10}; }

    // Where a click lands is what the server finds at the point, not what the frames' rectangles
    // suggest: a window manager may keep windows of its own over and beside the frames (KWin's
    // invisible resize borders reach 14 px beyond every frame it decorates), and a window may
    // take no input where it shows (its input shape).
    // The deepest window a press at `point` reaches, where nobody holds the pointer; 0 off the
    // screen.
    WindowId windowAt(QPoint point) const;
    // Whether a press at `point` reaches `target`: the deepest window there is `target` or lies
    // inside it. For a client window that is the app's own; for a frame, its decoration, but
    // never an input-only window of the window manager's.
    bool reaches(QPoint point, WindowId target) const;
    // The point on the panel's top strip that a press reaches, nearest its middle (grabPoint())
    // along the strip and clear of its rounded ends; none while every one lies under another
    // window.
    std::optional<QPoint> grabPointOf(WindowId panel) const;
    // What a press at `point` reaches, for a failure's message: the window, its client's title,
    // its class and where it lies.
    QString describedAt(QPoint point) const;

    // Input through XTest. Each returns whether the server took it; one it did not take also
    // fails the running case, naming the command.
    bool click(QPoint at, int button = 1);
    bool press(QPoint at, int button = 1);
    // A click (a press) at `at` once a press there reaches `target` as the server says; when it
    // does not within the guard, the running case fails naming what lies there instead.
    bool clickOn(WindowId target, QPoint at, int button = 1);
    bool pressOn(WindowId target, QPoint at, int button = 1);
    // A click on the panel's top strip where it reaches the panel (grabPointOf()), which gives
    // the panel the keyboard; the running case fails when none does within the guard.
    bool clickGrabPoint(WindowId panel, int button = 1);
    bool moveTo(QPoint at);
    bool release(int button = 1);
    bool keyDown(const QString& key);
    bool keyUp(const QString& key);
    bool key(const QString& keys);
    // Sends the keys and returns at once, so the case can watch what they start; the next input
    // waits for them and checks how they went.
    bool keyWithoutWaiting(const QString& keys);
    // Whether the keys sent without waiting have all reached the server: xdotool has ended.
    // Does not wait.
    bool keysSent();
    // Presses and lets go of one key (a keysym such as "e") straight through XTest on the case's
    // own connection: no program starts between what the case saw and the key, which reaches the
    // server within a fraction of a millisecond. Whether the server has it.
    bool keyAtOnce(const QString& keysym);
    bool type(const QString& text);
    // Whether the modifier (for example "Alt_L") is held down, as the server says.
    bool isKeyDown(const QString& keysym) const;
    // Turns the wheel over `at` in the window until what the window shows there scrolls no
    // further: after each turn the app has handled it and painted, and the end is a turn that
    // changes nothing after turns that did. Whether it got there.
    bool scrollToEnd(WindowId window, QPoint at);
    // Whether the window manager shows that workspace now.
    bool switchToDesktop(int desktop);
    // Minimises the window as a task bar asks, and waits until the window manager has: it
    // unmapped the window or marked it minimised (the app may show it again at once). Whether it
    // did, with a warning when not.
    bool minimise(WindowId window);
    // Asks the same and returns at once: for a window manager held still meanwhile.
    void askToMinimise(WindowId window);
    // Whether the window is minimised now: Iconic in WM_STATE, or hidden in _NET_WM_STATE.
    bool isIconic(WindowId window) const;
    // Runs a command on this display; its exit code, -1 when it did not end by itself.
    int run(const QString& program, const QStringList& arguments) const;
    // Runs a command on this display; whether it ended with 0. When not, the running case fails
    // with the command, its status and what it wrote on its error output.
    bool runChecked(const QString& program, const QStringList& arguments) const;
    // The window manager's frame around `window` (the window itself when it has none: marco and
    // xfwm4 give none to a window without decorations), and whether the window manager lists the
    // window as one it manages and shows it, in its frame where it gave one.
    WindowId frameOf(WindowId window) const;
    // The window on the root that a press at `point` reaches now, as the server says: where a
    // window takes no input (its input shape), the one beneath. None beside every window.
    WindowId topLevelAt(QPoint point) const;
    bool isManagedAndShown(WindowId window) const;
    // Where the pointer is now, as the server says.
    std::optional<QPoint> pointer() const;
    // Whether another client holds the pointer grabbed now (a window manager's move, a drag).
    bool isPointerGrabbed() const;
    // Whether another client holds the keyboard grabbed now (an open menu). The probe takes the
    // keyboard for a moment when nobody holds it: ask once the app has done grabbing, not while.
    bool isKeyboardGrabbed() const;
    // The owner of the selection (for example "XdndSelection" while a drag is under way), 0 when
    // none.
    WindowId selectionOwner(const char* selection) const;
    // Runs a command on this display; what it wrote on its output, empty when it failed.
    QByteArray output(const QString& program, const QStringList& arguments) const;
    // Gives the screen another size, no larger than the one it started with, through RandR;
    // whether the server took it.
    bool resizeScreen(QSize size);

    // Processes events until the condition holds or the guard passes.
    static bool waitUntil(const std::function<bool()>& condition, int guardMs = 20000);

    // The processes connected to the private session bus (the window manager, and what the bus
    // started for it: xfconfd); none without a bus.
    QList<qint64> busClients() const;
    // Its address, for a client of the case's own; empty without a bus.
    QString sessionBusAddress() const { return sessionBusAddress_; }

    // Ends the compositor of the options, as a user who stops it; whether it ended.
    bool stopCompositor();

    // Poses as a compositor that blurs behind windows, as KWin announces it: the blur property on
    // the root window. The compositor of the options owns the compositing selection.
    void announceBlurBehind();
    // The rectangles the window asks to have blurred behind it; empty when it asks for none.
    QList<QRect> blurRegion(WindowId window) const;

    // A screenshot of the whole screen.
    bool screenshot(const QString& path) const;
    // What the server shows in `area` of the screen right now, read straight from the root window:
    // quick enough to catch every frame of an animation. Null when the server refused.
    QImage grabScreen(const QRect& area) const;

    // Waits until the window manager has stopped moving the keyboard and the stacking: rounds of
    // asking the window manager and the app to catch up, until two rounds in a row change
    // neither. Whether it came to rest; a warning says what kept moving when not.
    bool settle();

    // Paints the desktop one colour, as a desktop's background setter does: the root window's
    // background and the picture a compositor paints the desktop with (_XROOTPMAP_ID). Whether
    // the server took it.
    bool paintRoot(const QColor& colour);

    // Holds the window manager still, as a machine too busy to run it would: what the app and
    // the user ask meanwhile waits in its queue, in the order asked. Never while it holds the
    // server. Whether it stands still.
    bool pauseWindowManager();
    void resumeWindowManager();
    // Whether the server answers this session within `patience`: not while another client
    // holds it (a server grab).
    bool serverAnswersWithin(std::chrono::milliseconds patience) const;
    // Holds the app still the same way: what the user does meanwhile waits at the server, in the
    // order done, until the app reads it all at once. Never while the app holds the server.
    bool pauseApp();
    void resumeApp();
    // Holds another client of this desktop (`pid`) still the same way; resumeClient() lets it go.
    bool pauseClient(qint64 pid);
    static void resumeClient(qint64 pid);
    // Plays the window manager in the moment between giving a window's frame its new geometry and
    // giving the window inside it its new size: the frame and what the window manager keeps in it
    // beside the window (its own background) take `frame`, the window keeps its size. Meant while
    // the window manager is paused. Whether the window has a frame that took it.
    bool growFrameAhead(WindowId window, const QRect& frame);
    // Whether the compositor has painted every change that reached the server before.
    bool compositorHasCaughtUp();
    // Whether the window manager has handled every request that reached the server before.
    bool windowManagerHasCaughtUp();
    // Whether the app, which owns `window`, has handled every event the server sent it before,
    // and so has sent every request those events made it send.
    bool appHasCaughtUp(WindowId window);
    // A rectangle as failure messages show it: "x,y w×h".
    static QString described(const QRect& rect);

private:
    bool startServer();
    bool startProgram(QProcess& process, const QString& program, const QStringList& arguments,
                      std::optional<QProcessEnvironment> environment = std::nullopt);
    QProcessEnvironment environment() const;
    QProcessEnvironment appEnvironment() const;
    std::uint32_t atom(const char* name) const;
    QString atomName(std::uint32_t atom) const;
    QList<std::uint32_t> cardinals(WindowId window, const char* property, std::uint32_t type) const;
    QByteArray bytes(WindowId window, const char* property, std::uint32_t type) const;
    WindowId root() const;
    bool startWindowManager();
    // Names the session's running processes to the watch on its server.
    void followProcesses();
    // Stops the process `pid` at a moment it does not hold the server; `paused` says it is
    // stopped, for the resume.
    bool pauseHoldingNothing(qint64 pid, bool& paused);
    bool startCompositor();
    bool startSessionBus();
    void writeKWinSettings() const;
    // Ends what the session bus started for its names, and waits until each has ended.
    void endBusServices();
    WindowId compositingSelectionOwner() const { return selectionOwner("_NET_WM_CM_S0"); }
    // Windows of the app, which answer its pings.
    QList<WindowId> appWindows() const;
    // Fails the running case with `message`, once.
    void fail(const QString& message) const;
    bool finishKeys();
    // Waits until a press at `at` reaches `target` and moves the pointer there; fails the case
    // naming what lies there when it does not within the guard.
    bool pointAt(WindowId target, QPoint at);
    // Gives the process the case's environment, and ties its life to the case's.
    void prepare(QProcess& process, const QProcessEnvironment& environment) const;
    // Whether the window manager answers a request for a frame's extents within the guard.
    bool probeWindowManager(int guardMs);
    // Sends a request about `window` to the window manager, which listens on the root window.
    void askWindowManager(WindowId window, const char* type, std::uint32_t first = 0,
                          std::uint32_t second = 0);

    Options options_;
    QTemporaryDir home_;
    QString failure_;
    QString display_;
    xcb_connection_t* connection_ = nullptr;
    WindowId root_ = 0;
    mutable QHash<QByteArray, std::uint32_t> atoms_;
    QProcess server_;
    QProcess windowManager_;
    QProcess sessionBus_;
    QString sessionBusAddress_;
    QString windowManagerName_;
    bool windowManagerComposites_ = false;
    QProcess compositor_;
    QProcess tray_;
    QProcess app_;
    QProcess keys_;
    bool windowManagerPaused_ = false;
    bool appPaused_ = false;
    std::uint32_t pings_ = 0;
    std::unique_ptr<ServerWatch> watch_;
    // The desktop window painted in the colour of paintRoot() where the compositor paints no root
    // (KWin's); 0 until then.
    WindowId desktopWindow_ = 0;
};
