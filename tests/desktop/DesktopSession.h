#pragma once

#include <QByteArray>
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
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

struct xcb_connection_t;

// A real desktop for one test case: a private X server on a free display, the openbox window
// manager (optionally a compositor and a system tray), and the built app running on it with a
// fresh profile. The case reads what the window manager made of the app's windows from the
// X properties and drives the app with keys and clicks sent through XTest, as a user would.
class DesktopSession {
public:
    using WindowId = std::uint32_t;

    struct Options {
        QSize screen{1440, 900};
        bool compositor = false;
        bool tray = false;
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

    // Stores the kippets in the profile's data folder, all open unless tucked.
    void seed(const QList<Seed>& kippets);
    void setPreference(const QString& key, const QVariant& value);

    // Starts the app (or another start of it) and waits until `windows` client windows show.
    bool launch(int windows, const QStringList& arguments = {});
    // Runs a second start to its end; its exit code.
    int launchAgain();
    QString appOutput() const;
    void quitApp();
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
    QRect geometry(WindowId window) const; // client area in root coordinates
    bool isViewable(WindowId window) const;
    int stackIndex(WindowId window) const;
    std::uint32_t currentDesktop() const;
    std::uint32_t desktopCount() const;
    // Windows shown without the window manager (override-redirect) that cover the screen.
    QList<WindowId> screenOverlays() const;
    // The menus open on the screen: windows shown without the window manager on a part of it,
    // tool tips and dragged images excepted.
    QList<WindowId> openMenus() const;
    // The windows shown on the screen without the window manager (override-redirect, mapped).
    QList<WindowId> unmanagedWindows() const;
    // The client windows that are not in `before`.
    QList<WindowId> windowsSince(const QList<WindowId>& before) const;

    // A point on a panel's top strip, where a click only gives it the keyboard.
    static QPoint grabPoint(const QRect& panel) { return {panel.center().x(), panel.top() + 10}; }

    // Input through XTest.
    void click(QPoint at, int button = 1);
    void press(QPoint at, int button = 1);
    void moveTo(QPoint at);
    void release(int button = 1);
    void key(const QString& keys);
    // Sends the keys and returns at once, so the case can watch what they start; the next input
    // waits for them.
    void keyWithoutWaiting(const QString& keys);
    void type(const QString& text);
    // Whether the window manager shows that workspace now.
    bool switchToDesktop(int desktop);
    void minimise(WindowId window);
    // Runs a command on this display; its exit code.
    int run(const QString& program, const QStringList& arguments) const;
    // Runs a command on this display; what it wrote on its output, empty when it failed.
    QByteArray output(const QString& program, const QStringList& arguments) const;
    // Gives the screen another size, no larger than the one it started with, through RandR;
    // whether the server took it.
    bool resizeScreen(QSize size);

    // Processes events until the condition holds or the guard passes.
    static bool waitUntil(const std::function<bool()>& condition, int guardMs = 20000);

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

    // Waits until the window manager has stopped moving the keyboard and the stacking; whether
    // it did.
    bool settle();

    // Holds the window manager still, as a machine too busy to run it would: what the app and
    // the user ask meanwhile waits in its queue, in the order asked. Whether it stands still.
    bool pauseWindowManager();
    void resumeWindowManager();
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
    bool startProgram(QProcess& process, const QString& program, const QStringList& arguments);
    QProcessEnvironment environment() const;
    QProcessEnvironment appEnvironment() const;
    std::uint32_t atom(const char* name) const;
    QString atomName(std::uint32_t atom) const;
    QList<std::uint32_t> cardinals(WindowId window, const char* property, std::uint32_t type) const;
    QByteArray bytes(WindowId window, const char* property, std::uint32_t type) const;
    WindowId root() const;
    // Where the pointer is now, as the server says.
    std::optional<QPoint> pointer() const;
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
    QProcess compositor_;
    QProcess tray_;
    QProcess app_;
    QProcess keys_;
    bool windowManagerPaused_ = false;
    std::uint32_t pings_ = 0;
};
