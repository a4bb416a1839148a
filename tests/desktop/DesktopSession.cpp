#include "DesktopSession.h"

#include "ServerWatch.h"

#include "analysis/ItemBuilders.h"
#include "app/RavorurOdu.h"
#include "model/Kippet.h"
#include "model/KippetColor.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"
#include "support/OwnedProcesses.h"
#include "support/TaskRunner.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QSettings>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <unistd.h>
#include <utility>
#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

namespace {
constexpr int startGuardMs = 30000;
// The app ends at SIGTERM once it has saved; past this it hangs.
constexpr int quitGuardMs = 20000;
// Rounds of catching up take a moment each; past this the desktop does not come to rest.
constexpr int settleGuardMs = 30000;
// A command run on the display (xdotool, xclip, xrandr) is quick; past this it hangs.
constexpr int runGuardMs = 20000;
// A window manager or compositor on a machine busy with builds may take long to start; past this
// it is not coming.
constexpr int windowManagerGuardMs = 60000;
// A window on its way off a point (a menu closing, a window the window manager moves) leaves it
// within moments; past this it stays.
constexpr int reachGuardMs = 20000;

// Whether the process has ended: gone, or a zombie its parent has yet to reap.
bool hasEnded(qint64 pid) {
    const char state = ServerWatch::stateOf(pid);
    return state == 0 || state == 'Z';
}

QString dataFolderOf(const QString& home) {
    return home + QStringLiteral("/.local/share/Kippets");
}

QString preferencesFileOf(const QString& home) {
    return home + QStringLiteral("/.config/Kippets/Kippets.conf");
}
} // namespace

DesktopSession::DesktopSession(Options options) : options_(std::move(options)) {
    if (!startServer())
        return;
    if (!startWindowManager())
        return;
    // A compositor named by the environment runs on every case of that desktop.
    const bool composited =
        options_.compositor ||
        QProcessEnvironment::systemEnvironment().contains(QStringLiteral("KIPPETS_COMPOSITOR"));
    if (composited && !windowManagerComposites_ && !startCompositor())
        return;
    if (options_.tray) {
        if (!startProgram(tray_, QStringLiteral("trayer"),
                          {QStringLiteral("--edge"), QStringLiteral("top"),
                           QStringLiteral("--align"), QStringLiteral("right"),
                           QStringLiteral("--widthtype"), QStringLiteral("pixel"),
                           QStringLiteral("--width"), QStringLiteral("200"),
                           QStringLiteral("--height"), QStringLiteral("24")}))
            return;
        // Ready once it holds the tray's selection: not every window manager lists its panel
        // among the windows it manages (xfwm4 leaves out a dock).
        if (!waitUntil([this] { return selectionOwner("_NET_SYSTEM_TRAY_S0") != 0; },
                       startGuardMs)) {
            failure_ = QStringLiteral("trayer took no tray within %1 s").arg(startGuardMs / 1000);
            xcb_disconnect(connection_);
            connection_ = nullptr;
            return;
        }
    }
    if (options_.tourSeen)
        setPreference(QStringLiteral("onboarding_completed"), true);
}

bool DesktopSession::startSessionBus() {
    // xfconf and GSettings keep the window managers' settings behind a session bus: a private one,
    // so that nothing of this desktop reaches the machine's.
    prepare(sessionBus_, environment());
    sessionBus_.setStandardErrorFile(QProcess::nullDevice());
    sessionBus_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    const bool named = sessionBus_.waitForStarted(startGuardMs) &&
                       waitUntil([this] { return sessionBus_.canReadLine(); }, startGuardMs);
    if (!named) {
        failure_ = QStringLiteral("the session bus named no address: ") + sessionBus_.errorString();
        return false;
    }
    sessionBusAddress_ = QString::fromLatin1(sessionBus_.readLine().trimmed());
    return true;
}

bool DesktopSession::startWindowManager() {
    const QProcessEnvironment outside = QProcessEnvironment::systemEnvironment();
    windowManagerName_ =
        options_.windowManager.isEmpty()
            ? outside.value(QStringLiteral("KIPPETS_WINDOW_MANAGER"), QStringLiteral("openbox"))
            : options_.windowManager;
    const bool ownCompositor =
        options_.windowManagerCompositor.value_or(
            outside.value(QStringLiteral("KIPPETS_WM_COMPOSITOR")) == QLatin1String("on")) ||
        // A case that asks for a compositor gets the window manager's own where it has one: a
        // second one would find the selection taken.
        options_.compositor;
    QStringList arguments;
    if (windowManagerName_ == QLatin1String("openbox")) {
        arguments = {QStringLiteral("--sm-disable")};
    } else if (windowManagerName_ == QLatin1String("xfwm4")) {
        windowManagerComposites_ = ownCompositor;
        arguments = {QStringLiteral("--sm-client-disable"),
                     QStringLiteral("--compositor=") +
                         (ownCompositor ? QStringLiteral("on") : QStringLiteral("off"))};
    } else if (windowManagerName_ == QLatin1String("marco") ||
               windowManagerName_ == QLatin1String("metacity")) {
        windowManagerComposites_ = ownCompositor;
        arguments = {QStringLiteral("--sm-disable"), ownCompositor
                                                         ? QStringLiteral("--composite")
                                                         : QStringLiteral("--no-composite")};
    } else if (windowManagerName_ == QLatin1String("icewm") ||
               windowManagerName_ == QLatin1String("fluxbox") ||
               windowManagerName_ == QLatin1String("jwm")) {
        // Its own settings folder in the fresh home: none of the machine's.
        arguments = {};
    } else if (windowManagerName_ == QLatin1String("kwin")) {
        windowManagerComposites_ = ownCompositor;
        writeKWinSettings();
    } else {
        failure_ =
            QStringLiteral("no such window manager for the desktop tests: ") + windowManagerName_;
        xcb_disconnect(connection_);
        connection_ = nullptr;
        return false;
    }
    if ((windowManagerName_ == QLatin1String("xfwm4") ||
         windowManagerName_ == QLatin1String("marco") ||
         windowManagerName_ == QLatin1String("metacity") ||
         windowManagerName_ == QLatin1String("kwin")) &&
        !startSessionBus()) {
        xcb_disconnect(connection_);
        connection_ = nullptr;
        return false;
    }
    QProcessEnvironment managerEnvironment = environment();
    if (!sessionBusAddress_.isEmpty())
        managerEnvironment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionBusAddress_);
    // Its toolkit needs neither the accessibility bus nor the virtual file systems, which the
    // bus would start and leave behind.
    managerEnvironment.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
    managerEnvironment.insert(QStringLiteral("GTK_A11Y"), QStringLiteral("none"));
    managerEnvironment.insert(QStringLiteral("GIO_USE_VFS"), QStringLiteral("local"));
    QString program = windowManagerName_;
    if (windowManagerName_ == QLatin1String("kwin")) {
        // Plasma's window manager on X11, a Qt program itself: not on the tests' offscreen
        // platform, and without compositing unless asked.
        program = QStringLiteral("kwin_x11");
        managerEnvironment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        if (!windowManagerComposites_)
            managerEnvironment.insert(QStringLiteral("KWIN_COMPOSE"), QStringLiteral("N"));
    }
    if (!startProgram(windowManager_, program, arguments, managerEnvironment))
        return false;
    // The window manager has taken the display once it names itself on the root window through a
    // window that names itself too; it sets up the workspaces and the work area after that.
    QString waitingFor;
    bool askedForWorkspaces = false;
    const bool managed = waitUntil(
        [this, &waitingFor, &askedForWorkspaces] {
            if (windowManager_.state() == QProcess::NotRunning)
                return true;
            const QList<std::uint32_t> check =
                cardinals(root(), "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW);
            if (check.isEmpty() || cardinals(check.constFirst(), "_NET_SUPPORTING_WM_CHECK",
                                             XCB_ATOM_WINDOW) != check) {
                waitingFor = QStringLiteral("_NET_SUPPORTING_WM_CHECK on the root window");
                return false;
            }
            if (desktopCount() < 2) {
                // Settings that left it one workspace are asked for more, as a pager asks.
                if (!askedForWorkspaces && desktopCount() == 1) {
                    askWindowManager(root(), "_NET_NUMBER_OF_DESKTOPS", 4);
                    askedForWorkspaces = true;
                }
                waitingFor = QStringLiteral("two workspaces or more in _NET_NUMBER_OF_DESKTOPS "
                                            "(%1 now)")
                                 .arg(desktopCount());
                return false;
            }
            // KWin names _NET_WORKAREA among what it supports but never sets it on a screen
            // of Xvfb's: the probe below tells when it is done starting.
            if (windowManagerName_ != QLatin1String("kwin") &&
                cardinals(root(), "_NET_WORKAREA", XCB_ATOM_CARDINAL).isEmpty()) {
                waitingFor = QStringLiteral("_NET_WORKAREA on the root window");
                return false;
            }
            if (windowManagerComposites_ && compositingSelectionOwner() == 0) {
                waitingFor = QStringLiteral("its compositor to own _NET_WM_CM_S0");
                return false;
            }
            return true;
        },
        windowManagerGuardMs);
    if (windowManager_.state() == QProcess::NotRunning) {
        failure_ = QStringLiteral("%1 ended (status %2) before it took the display")
                       .arg(windowManagerName_)
                       .arg(windowManager_.exitCode());
    } else if (!managed) {
        failure_ = QStringLiteral("%1 did not take the display within %2 s: waited for %3")
                       .arg(windowManagerName_)
                       .arg(windowManagerGuardMs / 1000)
                       .arg(waitingFor);
    }
    // It finishes its start (openbox shows its first workspace last) before it handles a
    // request: what a case asks comes after.
    // A request that reaches openbox before its start is over goes unanswered: the probe is
    // asked again until one is answered.
    const QDeadlineTimer answerGuard(windowManagerGuardMs);
    bool answers = false;
    while (failure_.isEmpty() && !answers && !answerGuard.hasExpired())
        answers = probeWindowManager(1000);
    if (failure_.isEmpty() && !answers)
        failure_ =
            QStringLiteral("%1 took the display but answers no request").arg(windowManagerName_);
    if (!failure_.isEmpty()) {
        xcb_disconnect(connection_);
        connection_ = nullptr;
        return false;
    }
    return true;
}

bool DesktopSession::startCompositor() {
    QString program = QProcessEnvironment::systemEnvironment().value(
        QStringLiteral("KIPPETS_COMPOSITOR"), QStringLiteral("xcompmgr"));
    QStringList arguments;
    // picom-fading: picom fading windows in and out as they map and unmap and as their opacity
    // changes, in the steps of its sample configuration.
    const bool fading = program == QLatin1String("picom-fading");
    if (fading)
        program = QStringLiteral("picom");
    if (program == QLatin1String("picom"))
        // Its shipped defaults, without a configuration file of the machine's; no vertical sync
        // on a virtual screen.
        arguments = {QStringLiteral("--config"), QStringLiteral("/dev/null"),
                     QStringLiteral("--backend"), QStringLiteral("xrender")};
    if (fading)
        arguments << QStringLiteral("-f") << QStringLiteral("-I") << QStringLiteral("0.03")
                  << QStringLiteral("-O") << QStringLiteral("0.03");
    if (!startProgram(compositor_, program, arguments))
        return false;
    // It composites once it holds the compositing selection.
    if (waitUntil(
            [this] {
                return compositingSelectionOwner() != 0 ||
                       compositor_.state() == QProcess::NotRunning;
            },
            windowManagerGuardMs) &&
        compositingSelectionOwner() != 0)
        return true;
    failure_ = compositor_.state() == QProcess::NotRunning
                   ? QStringLiteral("%1 ended (status %2) before it took _NET_WM_CM_S0")
                         .arg(program)
                         .arg(compositor_.exitCode())
                   : QStringLiteral("%1 did not take _NET_WM_CM_S0 within %2 s")
                         .arg(program)
                         .arg(windowManagerGuardMs / 1000);
    xcb_disconnect(connection_);
    connection_ = nullptr;
    return false;
}

DesktopSession::WindowId DesktopSession::selectionOwner(const char* selection) const {
    if (!connection_)
        return 0;
    xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
        connection_, xcb_get_selection_owner(connection_, atom(selection)), nullptr);
    const WindowId owner = reply ? reply->owner : 0;
    free(reply);
    return owner;
}

bool DesktopSession::isPointerGrabbed() const {
    if (!connection_)
        return false;
    // A grab of this session's own succeeds only while nobody else holds one; it is let go at
    // once.
    xcb_grab_pointer_reply_t* reply = xcb_grab_pointer_reply(
        connection_,
        xcb_grab_pointer(connection_, 0, root(), 0, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                         XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
        nullptr);
    const bool grabbed = reply && reply->status == XCB_GRAB_STATUS_ALREADY_GRABBED;
    if (reply && reply->status == XCB_GRAB_STATUS_SUCCESS) {
        xcb_ungrab_pointer(connection_, XCB_CURRENT_TIME);
        xcb_flush(connection_);
    }
    free(reply);
    return grabbed;
}

bool DesktopSession::isKeyboardGrabbed() const {
    if (!connection_)
        return false;
    // As for the pointer: a grab of this session's own succeeds only while nobody holds one.
    xcb_grab_keyboard_reply_t* reply =
        xcb_grab_keyboard_reply(connection_,
                                xcb_grab_keyboard(connection_, 0, root(), XCB_CURRENT_TIME,
                                                  XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                nullptr);
    const bool grabbed = reply && reply->status == XCB_GRAB_STATUS_ALREADY_GRABBED;
    if (reply && reply->status == XCB_GRAB_STATUS_SUCCESS) {
        xcb_ungrab_keyboard(connection_, XCB_CURRENT_TIME);
        xcb_flush(connection_);
    }
    free(reply);
    return grabbed;
}

bool DesktopSession::hasCompositor() const {
    return compositingSelectionOwner() != 0;
}

DesktopSession::~DesktopSession() {
    // A case that failed while the window manager or the app stood still must not leave it
    // stopped: it could not end.
    resumeWindowManager();
    resumeApp();
    finishKeys();
    quitApp();
    for (QProcess* process : {&tray_, &compositor_, &windowManager_, &sessionBus_}) {
        if (process == &sessionBus_ && process->state() != QProcess::NotRunning)
            endBusServices();
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(3000))
                process->kill();
            process->waitForFinished(3000);
        }
    }
    if (connection_)
        xcb_disconnect(connection_);
    watch_.reset();
    if (server_.state() != QProcess::NotRunning) {
        server_.terminate();
        if (!server_.waitForFinished(5000))
            server_.kill();
        server_.waitForFinished(3000);
    }
}

QList<qint64> DesktopSession::busClients() const {
    // Those the bus started for its names (xfconfd) are not its children: the bus names them.
    if (sessionBusAddress_.isEmpty())
        return {};
    QProcess ask;
    QProcessEnvironment environment = this->environment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionBusAddress_);
    const auto reply = [&](const QStringList& call) {
        prepare(ask, environment);
        ask.start(QStringLiteral("dbus-send"),
                  QStringList{QStringLiteral("--session"), QStringLiteral("--print-reply"),
                              QStringLiteral("--dest=org.freedesktop.DBus"),
                              QStringLiteral("/org/freedesktop/DBus")} +
                      call);
        if (!ask.waitForFinished(runGuardMs)) {
            ask.kill();
            ask.waitForFinished();
            return QByteArray();
        }
        return ask.readAllStandardOutput();
    };
    QList<qint64> clients;
    // "string ":1.4"" for each client's own name.
    const QByteArray names = reply({QStringLiteral("org.freedesktop.DBus.ListNames")});
    for (const QByteArray& line : names.split('\n')) {
        const QByteArray name = line.trimmed();
        if (!name.startsWith("string \":"))
            continue;
        const QByteArray id =
            reply({QStringLiteral("org.freedesktop.DBus.GetConnectionUnixProcessID"),
                   QStringLiteral("string:") + QString::fromLatin1(name.mid(8).chopped(1))})
                .trimmed();
        // "... uint32 4242" after the reply's header line.
        const qsizetype at = id.lastIndexOf("uint32 ");
        if (at >= 0)
            clients.append(id.mid(at + 7).trimmed().toLongLong());
    }
    return clients;
}

void DesktopSession::endBusServices() {
    // xfconfd writes the window manager's settings into the home as it ends, and it ends when
    // the bus does: after the home is gone, which it would make again and leave behind. So what
    // the bus started ends first, and the home goes once it has.
    const QList<qint64> services = busClients();
    for (const qint64 service : services)
        ::kill(pid_t(service), SIGTERM);
    const bool ended =
        waitUntil([&] { return std::all_of(services.cbegin(), services.cend(), hasEnded); }, 10000);
    if (!ended) {
        qWarning("a service of the session bus did not end within 10 s at SIGTERM: killed");
        for (const qint64 service : services)
            ::kill(pid_t(service), SIGKILL);
        waitUntil([&] { return std::all_of(services.cbegin(), services.cend(), hasEnded); }, 5000);
    }
}

bool DesktopSession::stopCompositor() {
    // The window manager's own compositor stays with it.
    if (compositor_.state() == QProcess::NotRunning)
        return false;
    compositor_.terminate();
    if (!compositor_.waitForFinished(10000)) {
        compositor_.kill();
        compositor_.waitForFinished(3000);
    }
    // The compositing selection goes with it; the app notices at its own pace.
    return compositor_.state() == QProcess::NotRunning &&
           waitUntil([this] { return compositingSelectionOwner() == 0; });
}

bool DesktopSession::startServer() {
    // The server picks a free display itself and names it on its output, so cases running in
    // parallel never meet on one display.
    server_.setProgram(QStringLiteral("Xvfb"));
    server_.setArguments(
        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
         QStringLiteral("0"),
         QStringLiteral("%1x%2x24").arg(options_.screen.width()).arg(options_.screen.height()),
         QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    server_.setProcessChannelMode(QProcess::SeparateChannels);
    server_.setStandardErrorFile(QProcess::nullDevice());
    // Asked to end, rather than killed, as the case ends: it takes its lock and socket with it.
    OwnedProcesses::tie(server_, QProcessEnvironment::systemEnvironment(), SIGTERM);
    server_.start();
    if (!server_.waitForStarted(startGuardMs)) {
        failure_ = QStringLiteral("Xvfb does not start: ") + server_.errorString();
        return false;
    }
    const bool named = waitUntil([this] { return server_.canReadLine(); }, startGuardMs);
    if (!named) {
        failure_ = QStringLiteral("Xvfb named no display");
        return false;
    }
    display_ = QLatin1Char(':') + QString::fromLatin1(server_.readLine().trimmed());
    connection_ = xcb_connect(display_.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(connection_)) {
        xcb_disconnect(connection_);
        connection_ = nullptr;
        failure_ = QStringLiteral("cannot connect to ") + display_;
        return false;
    }
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    watch_ = std::make_unique<ServerWatch>(display_);
    followProcesses();
    return true;
}

void DesktopSession::followProcesses() {
    if (!watch_)
        return;
    const std::pair<const QProcess*, const char*> processes[] = {
        {&server_, "the server"},
        {&windowManager_, "the window manager"},
        {&compositor_, "the compositor"},
        {&tray_, "the tray"},
        {&app_, "the app"}};
    for (const auto& [process, name] : processes) {
        if (process->state() != QProcess::NotRunning)
            watch_->follow(QString::fromLatin1(name), process->processId());
    }
}

// KWin's settings in the fresh home: four workspaces in a row, as a new Plasma user has, and
// compositing as the case asks.
void DesktopSession::writeKWinSettings() const {
    QDir().mkpath(home() + QStringLiteral("/.config"));
    QFile file(home() + QStringLiteral("/.config/kwinrc"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write("[Desktops]\nNumber=4\nRows=1\n\n[Compositing]\nEnabled=");
    file.write(windowManagerComposites_ ? "true\n" : "false\n");
}

QProcessEnvironment DesktopSession::environment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display_);
    environment.insert(QStringLiteral("HOME"), home());
    for (const char* name :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "WAYLAND_DISPLAY", "XAUTHORITY"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

QProcessEnvironment DesktopSession::appEnvironment() const {
    QProcessEnvironment environment = this->environment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORMTHEME"));
    // The app is ended from outside; what it leaves then is not the case's concern.
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    for (const QString& pair : options_.appEnvironment) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        environment.insert(pair.left(equals), pair.mid(equals + 1));
    }
    return environment;
}

void DesktopSession::prepare(QProcess& process, const QProcessEnvironment& environment) const {
    // Whatever the case started ends with it, however the case ends: a case killed or timed out
    // leaves no desktop running.
    OwnedProcesses::tie(process, environment);
}

bool DesktopSession::startProgram(QProcess& process, const QString& program,
                                  const QStringList& arguments,
                                  std::optional<QProcessEnvironment> environment) {
    prepare(process, environment.value_or(this->environment()));
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (process.waitForStarted(startGuardMs)) {
        followProcesses();
        return true;
    }
    failure_ = program + QStringLiteral(" does not start: ") + process.errorString();
    xcb_disconnect(connection_);
    connection_ = nullptr;
    return false;
}

void DesktopSession::seed(const QList<Seed>& kippets) {
    const QString folder = dataFolderOf(home());
    // Which kippets are open is kept in the preferences: the app's own file this time.
    QDir().mkpath(QFileInfo(preferencesFileOf(home())).path());
    Preferences appPreferences(preferencesFileOf(home()));
    Preferences& testPreferences = Preferences::shared();
    Preferences::install(&appPreferences);
    {
        StoreManager store;
        store.configure(StoreContainer::createLocalContainer(folder));
        KippetManager manager(&store, folder);
        TaskRunner::finish(manager.waitForInitialization());
        for (const Seed& seed : kippets) {
            Kippet* kippet = manager.createKippet(seed.name, KippetColor::standardBlue(),
                                                  QStringLiteral("tray.fill"), false);
            kippet->setPosition(seed.position);
            kippet->setIsExpanded(seed.expanded);
            kippet->setIsMiniView(seed.mini);
            kippet->setIsTucked(seed.tucked);
            manager.saveKippet(kippet);
            for (const QString& path : seed.files) {
                KippetItem item = ItemBuilders::readFileItem(path);
                item.addedDate = QDateTime::currentDateTimeUtc();
                item.isProcessing = false;
                item.category = ItemCategory::documents;
                manager.addItem(item, kippet);
            }
        }
        RavorurOdu::finishPendingWork(manager);
    }
    appPreferences.sync();
    Preferences::install(&testPreferences);
}

void DesktopSession::setPreference(const QString& key, const QVariant& value) {
    QDir().mkpath(QFileInfo(preferencesFileOf(home())).path());
    QSettings settings(preferencesFileOf(home()), QSettings::NativeFormat);
    settings.setValue(key, value);
    settings.sync();
}

bool DesktopSession::launch(int windows, const QStringList& arguments) {
    if (!isReady())
        return false;
    prepare(app_, appEnvironment());
    app_.setStandardOutputFile(home() + QStringLiteral("/app-output.txt"), QIODevice::Append);
    app_.setStandardErrorFile(home() + QStringLiteral("/app-output.txt"), QIODevice::Append);
    app_.start(QStringLiteral(KIPPETS_APP_PATH), arguments);
    if (!app_.waitForStarted(startGuardMs))
        return false;
    followProcesses();
    const bool shown =
        waitUntil(
            [this, windows] {
                // The tray's panel, where the window manager lists it.
                const int tray = windowTitled(QStringLiteral("panel")) != 0 ? 1 : 0;
                return stacking().size() - tray >= windows || app_.state() == QProcess::NotRunning;
            },
            60000) &&
        app_.state() == QProcess::Running;
    return shown && settle();
}

bool DesktopSession::settle() {
    // On a slow machine the window manager may hand the keyboard to the last window shown a
    // moment after it is listed; a click sent before then would lose the keyboard again. What
    // the window manager does on a request it does in its turn, and what the app asks on hearing
    // of it, it asks in its turn: a round of both catching up that changes neither the keyboard
    // nor the stacking, twice in a row, leaves nothing on its way.
    const QDeadlineTimer guard(settleGuardMs);
    WindowId active = activeWindow();
    QList<WindowId> order = stacking();
    int quietRounds = 0;
    QString behind;
    while (quietRounds < 2) {
        if (guard.hasExpired()) {
            qWarning("settle: the desktop kept moving for %d s: %s", settleGuardMs / 1000,
                     qPrintable(behind));
            return false;
        }
        if (!windowManagerHasCaughtUp()) {
            behind = QStringLiteral("the window manager did not catch up");
            continue;
        }
        bool appCaughtUp = true;
        for (const WindowId window : appWindows()) {
            appCaughtUp = appHasCaughtUp(window);
            break;
        }
        if (!appCaughtUp) {
            behind = QStringLiteral("the app did not catch up");
            continue;
        }
        if (!windowManagerHasCaughtUp()) {
            behind = QStringLiteral("the window manager did not catch up");
            continue;
        }
        const WindowId nowActive = activeWindow();
        const QList<WindowId> nowOrder = stacking();
        if (nowActive != active || nowOrder != order) {
            behind = QStringLiteral("the active window went from %1 to %2, the stacking from %3 "
                                    "windows to %4")
                         .arg(title(active), title(nowActive))
                         .arg(order.size())
                         .arg(nowOrder.size());
            active = nowActive;
            order = nowOrder;
            quietRounds = 0;
        } else {
            ++quietRounds;
        }
    }
    return true;
}

QList<DesktopSession::WindowId> DesktopSession::appWindows() const {
    QList<WindowId> windows;
    const qint64 pid = app_.processId();
    if (pid <= 0)
        return windows;
    for (const WindowId window : stacking()) {
        const QList<std::uint32_t> owner = cardinals(window, "_NET_WM_PID", XCB_ATOM_CARDINAL);
        if (!owner.isEmpty() && qint64(owner.constFirst()) == pid)
            windows.append(window);
    }
    return windows;
}

int DesktopSession::launchAgain() {
    QProcess second;
    prepare(second, appEnvironment());
    second.setStandardOutputFile(QProcess::nullDevice());
    second.setStandardErrorFile(QProcess::nullDevice());
    second.start(QStringLiteral(KIPPETS_APP_PATH), {});
    const bool ended = second.waitForFinished(60000);
    return ended && second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
}

QString DesktopSession::appOutput() const {
    QFile file(home() + QStringLiteral("/app-output.txt"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

int DesktopSession::appExitCode() const {
    if (isAppRunning() || app_.exitStatus() != QProcess::NormalExit)
        return -1;
    return app_.exitCode();
}

bool DesktopSession::quitApp() {
    if (app_.state() == QProcess::NotRunning)
        return true;
    app_.terminate();
    if (app_.waitForFinished(quitGuardMs))
        return true;
    // An app that does not end at the session's request would lose what it had not saved: say
    // so, with what it said last.
    qWarning("the app did not end within %d s of SIGTERM and was killed; its last output:\n%s",
             quitGuardMs / 1000, qPrintable(appOutput().right(2000)));
    app_.kill();
    app_.waitForFinished(5000);
    return false;
}

std::uint32_t DesktopSession::atom(const char* name) const {
    const QByteArray key(name);
    if (const auto found = atoms_.constFind(key); found != atoms_.constEnd())
        return *found;
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection_,
        xcb_intern_atom(connection_, 0, static_cast<uint16_t>(key.size()), key.constData()),
        nullptr);
    const std::uint32_t value = reply ? reply->atom : std::uint32_t(XCB_ATOM_NONE);
    free(reply);
    atoms_.insert(key, value);
    return value;
}

QString DesktopSession::atomName(std::uint32_t value) const {
    xcb_get_atom_name_reply_t* reply =
        xcb_get_atom_name_reply(connection_, xcb_get_atom_name(connection_, value), nullptr);
    if (!reply)
        return {};
    const QString name =
        QString::fromLatin1(xcb_get_atom_name_name(reply), xcb_get_atom_name_name_length(reply));
    free(reply);
    return name;
}

QByteArray DesktopSession::bytes(WindowId window, const char* property, std::uint32_t type) const {
    if (!connection_ || !window)
        return {};
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, atom(property), type, 0, 4096),
        nullptr);
    if (!reply)
        return {};
    QByteArray value(static_cast<const char*>(xcb_get_property_value(reply)),
                     xcb_get_property_value_length(reply));
    free(reply);
    return value;
}

QList<std::uint32_t> DesktopSession::cardinals(WindowId window, const char* property,
                                               std::uint32_t type) const {
    const QByteArray value = bytes(window, property, type);
    QList<std::uint32_t> result;
    for (qsizetype at = 0; at + 4 <= value.size(); at += 4) {
        std::uint32_t item = 0;
        memcpy(&item, value.constData() + at, 4);
        result.append(item);
    }
    return result;
}

void DesktopSession::announceBlurBehind() {
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, root(),
                        atom("_KDE_NET_WM_BLUR_BEHIND_REGION"), XCB_ATOM_CARDINAL, 32, 0, nullptr);
    xcb_flush(connection_);
}

QList<QRect> DesktopSession::blurRegion(WindowId window) const {
    const QList<std::uint32_t> values =
        cardinals(window, "_KDE_NET_WM_BLUR_BEHIND_REGION", XCB_ATOM_CARDINAL);
    QList<QRect> rectangles;
    for (qsizetype at = 0; at + 4 <= values.size(); at += 4)
        rectangles.append(
            QRect(int(values[at]), int(values[at + 1]), int(values[at + 2]), int(values[at + 3])));
    return rectangles;
}

DesktopSession::WindowId DesktopSession::root() const {
    return root_;
}

QList<DesktopSession::WindowId> DesktopSession::stacking() const {
    QList<WindowId> clients = cardinals(root(), "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW);
    // As the server stacks them: JWM lists each of its layers top first, against EWMH. Each client
    // goes where its frame (or itself, without one) stands among the root's children.
    xcb_query_tree_reply_t* tree =
        connection_
            ? xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root()), nullptr)
            : nullptr;
    if (!tree)
        return clients;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    const QList<WindowId> onRoot(children, children + xcb_query_tree_children_length(tree));
    free(tree);
    std::stable_sort(clients.begin(), clients.end(), [&](WindowId a, WindowId b) {
        return onRoot.indexOf(frameOf(a)) < onRoot.indexOf(frameOf(b));
    });
    return clients;
}

QString DesktopSession::title(WindowId window) const {
    const QByteArray name = bytes(window, "_NET_WM_NAME", atom("UTF8_STRING"));
    if (!name.isEmpty())
        return QString::fromUtf8(name);
    return QString::fromLatin1(bytes(window, "WM_NAME", XCB_ATOM_STRING));
}

QList<DesktopSession::WindowId> DesktopSession::windowsTitled(const QString& wanted) const {
    QList<WindowId> found;
    for (WindowId window : stacking()) {
        if (title(window) == wanted)
            found.append(window);
    }
    return found;
}

DesktopSession::WindowId DesktopSession::windowTitled(const QString& wanted) const {
    const QList<WindowId> found = windowsTitled(wanted);
    return found.isEmpty() ? 0 : found.constLast();
}

std::uint32_t DesktopSession::desktopOf(WindowId window) const {
    const QList<std::uint32_t> value = cardinals(window, "_NET_WM_DESKTOP", XCB_ATOM_CARDINAL);
    return value.isEmpty() ? 0xFFFFFFFEu : value.constFirst();
}

QStringList DesktopSession::states(WindowId window) const {
    QStringList names;
    for (std::uint32_t value : cardinals(window, "_NET_WM_STATE", XCB_ATOM_ATOM))
        names.append(atomName(value));
    return names;
}

QStringList DesktopSession::types(WindowId window) const {
    QStringList names;
    for (std::uint32_t value : cardinals(window, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM))
        names.append(atomName(value));
    return names;
}

QStringList DesktopSession::allowedActions(WindowId window) const {
    QStringList names;
    for (std::uint32_t value : cardinals(window, "_NET_WM_ALLOWED_ACTIONS", XCB_ATOM_ATOM))
        names.append(atomName(value));
    return names;
}

std::uint32_t DesktopSession::motifFunctions(WindowId window) const {
    const QByteArray hints = "_MOTIF_WM_HINTS";
    const QList<std::uint32_t> value =
        cardinals(window, hints.constData(), atom(hints.constData()));
    constexpr std::uint32_t functionsGiven = 1;
    constexpr std::uint32_t allFunctions = 0x3F;
    if (value.size() < 2 || !(value[0] & functionsGiven) || (value[1] & 1))
        return allFunctions;
    return value[1];
}

DesktopSession::WindowId DesktopSession::transientFor(WindowId window) const {
    const QList<std::uint32_t> value = cardinals(window, "WM_TRANSIENT_FOR", XCB_ATOM_WINDOW);
    return value.isEmpty() ? 0 : value.constFirst();
}

DesktopSession::WindowId DesktopSession::activeWindow() const {
    const QList<std::uint32_t> value = cardinals(root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW);
    return value.isEmpty() ? 0 : value.constFirst();
}

DesktopSession::WindowId DesktopSession::inputFocus() const {
    xcb_get_input_focus_reply_t* reply =
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr);
    const WindowId focus = reply ? reply->focus : 0;
    free(reply);
    return focus;
}

bool DesktopSession::isWithin(WindowId inner, WindowId outer) const {
    for (WindowId at = inner; at != 0 && at != root();) {
        if (at == outer)
            return true;
        xcb_query_tree_reply_t* tree =
            xcb_query_tree_reply(connection_, xcb_query_tree(connection_, at), nullptr);
        at = tree ? tree->parent : 0;
        free(tree);
    }
    return false;
}

bool DesktopSession::hasTheKeyboard(WindowId window) {
    // The window manager marks a window active, then hands it the keyboard (or asks the app to
    // take it): a key typed in between reaches nothing. The keys land once the server's focus is
    // in the window and the app has heard of it.
    const bool focused = waitUntil(
        [&] { return activeWindow() == window && isWithin(inputFocus(), window); }, 30000);
    if (!focused) {
        qWarning("\"%s\" did not get the keyboard within 30 s: \"%s\" is active",
                 qPrintable(title(window)), qPrintable(title(activeWindow())));
        return false;
    }
    return appHasCaughtUp(window);
}

bool DesktopSession::keyUntil(WindowId window, const QString& keys,
                              const std::function<bool()>& done) {
    for (int attempt = 0; attempt < 5 && !done(); ++attempt) {
        if (!hasTheKeyboard(window) || !key(keys))
            return done();
        if (!windowManagerHasCaughtUp())
            return false;
        // False once the window is gone, which may be what the keys did.
        appHasCaughtUp(window);
        if (!windowManagerHasCaughtUp())
            return false;
    }
    return waitUntil(done);
}

std::uint32_t DesktopSession::currentDesktop() const {
    const QList<std::uint32_t> value = cardinals(root(), "_NET_CURRENT_DESKTOP", XCB_ATOM_CARDINAL);
    return value.isEmpty() ? 0 : value.constFirst();
}

std::uint32_t DesktopSession::desktopCount() const {
    const QList<std::uint32_t> value =
        cardinals(root(), "_NET_NUMBER_OF_DESKTOPS", XCB_ATOM_CARDINAL);
    return value.isEmpty() ? 0 : value.constFirst();
}

QRect DesktopSession::geometry(WindowId window) const {
    xcb_get_geometry_reply_t* size =
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr);
    xcb_translate_coordinates_reply_t* place = xcb_translate_coordinates_reply(
        connection_, xcb_translate_coordinates(connection_, window, root(), 0, 0), nullptr);
    QRect result;
    if (size && place)
        result = QRect(place->dst_x, place->dst_y, size->width, size->height);
    free(size);
    free(place);
    return result;
}

QRect DesktopSession::shapeExtents(WindowId window) const {
    xcb_shape_query_extents_reply_t* reply = xcb_shape_query_extents_reply(
        connection_, xcb_shape_query_extents(connection_, window), nullptr);
    QRect extents;
    if (reply)
        extents = QRect(reply->bounding_shape_extents_x, reply->bounding_shape_extents_y,
                        reply->bounding_shape_extents_width, reply->bounding_shape_extents_height);
    free(reply);
    return extents;
}

bool DesktopSession::exists(WindowId window) const {
    xcb_get_window_attributes_reply_t* reply = xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, window), nullptr);
    free(reply);
    return reply != nullptr;
}

bool DesktopSession::isViewable(WindowId window) const {
    xcb_get_window_attributes_reply_t* reply = xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, window), nullptr);
    const bool viewable = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    free(reply);
    return viewable;
}

bool DesktopSession::isShownOnCurrentDesktop(WindowId window) const {
    const std::uint32_t desktop = desktopOf(window);
    return (desktop == currentDesktop() || desktop == 0xFFFFFFFFu) &&
           !states(window).contains(QStringLiteral("_NET_WM_STATE_HIDDEN")) && isViewable(window);
}

int DesktopSession::stackIndex(WindowId window) const {
    return static_cast<int>(stacking().indexOf(window));
}

QList<DesktopSession::WindowId> DesktopSession::windowsSince(const QList<WindowId>& before) const {
    QList<WindowId> added;
    for (WindowId window : stacking()) {
        if (!before.contains(window))
            added.append(window);
    }
    return added;
}

QList<DesktopSession::WindowId> DesktopSession::unmanagedWindows() const {
    QList<WindowId> shown;
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root()), nullptr);
    if (!tree)
        return shown;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
        xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
            connection_, xcb_get_window_attributes(connection_, children[i]), nullptr);
        if (attributes && attributes->override_redirect &&
            attributes->map_state == XCB_MAP_STATE_VIEWABLE)
            shown.append(children[i]);
        free(attributes);
    }
    free(tree);
    // Some window managers (IceWM) make their frames override-redirect too.
    if (shown.isEmpty())
        return shown;
    QList<WindowId> frames;
    for (const WindowId managed : stacking())
        frames.append(frameOf(managed));
    shown.removeIf([&](WindowId window) { return frames.contains(window); });
    return shown;
}

QList<DesktopSession::WindowId> DesktopSession::screenOverlays() const {
    QList<WindowId> overlays;
    for (const WindowId window : unmanagedWindows())
        if (geometry(window).size() == options_.screen)
            overlays.append(window);
    return overlays;
}

QList<DesktopSession::WindowId> DesktopSession::openMenus() const {
    QList<WindowId> menus;
    const QRect screen(QPoint(0, 0), options_.screen);
    for (const WindowId window : unmanagedWindows()) {
        // The window manager keeps a window of its own off the screen; Qt names its menus
        // "normal" windows.
        const QRect frame = geometry(window);
        const QStringList kinds = types(window);
        // Some window managers (IceWM) show windows of their own beside the ones they manage;
        // Qt names the app's process on every window it makes.
        const QList<std::uint32_t> owner = cardinals(window, "_NET_WM_PID", XCB_ATOM_CARDINAL);
        const bool othersOwn = owner.isEmpty() || qint64(owner.constFirst()) != app_.processId();
        const bool other = othersOwn ||
                           kinds.contains(QStringLiteral("_NET_WM_WINDOW_TYPE_TOOLTIP")) ||
                           kinds.contains(QStringLiteral("_NET_WM_WINDOW_TYPE_DND")) ||
                           kinds.contains(QStringLiteral("_NET_WM_WINDOW_TYPE_NOTIFICATION"));
        if (!other && screen.contains(frame) && frame.size() != options_.screen)
            menus.append(window);
    }
    return menus;
}

bool DesktopSession::runChecked(const QString& program, const QStringList& arguments) const {
    QProcess process;
    prepare(process, environment());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    const QString command = program + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
    if (!process.waitForStarted(startGuardMs)) {
        fail(command + QStringLiteral(" does not start: ") + process.errorString());
        return false;
    }
    if (!process.waitForFinished(runGuardMs)) {
        process.kill();
        process.waitForFinished();
        fail(QStringLiteral("%1 did not end within %2 s").arg(command).arg(runGuardMs / 1000));
        return false;
    }
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    fail(QStringLiteral("%1 failed with status %2: %3")
             .arg(command)
             .arg(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1)
             .arg(QString::fromLocal8Bit(process.readAllStandardError()).trimmed()));
    return false;
}

void DesktopSession::fail(const QString& message) const {
    qWarning("%s", qPrintable(message));
    if (!QTest::currentTestFailed() && QTest::currentTestFunction())
        QTest::qFail(qPrintable(message), __FILE__, __LINE__);
}

DesktopSession::WindowId DesktopSession::frameOf(WindowId window) const {
    // The window manager puts a managed window into a frame of its own, a child of the root.
    WindowId current = window;
    for (int depth = 0; depth < 8 && connection_; ++depth) {
        xcb_query_tree_reply_t* tree =
            xcb_query_tree_reply(connection_, xcb_query_tree(connection_, current), nullptr);
        if (!tree)
            return window;
        const WindowId parent = tree->parent;
        free(tree);
        if (parent == root() || parent == 0)
            return current;
        current = parent;
    }
    return current;
}

DesktopSession::WindowId DesktopSession::topLevelAt(QPoint point) const {
    if (!connection_)
        return 0;
    xcb_translate_coordinates_reply_t* place = xcb_translate_coordinates_reply(
        connection_,
        xcb_translate_coordinates(connection_, root(), root(), qint16(point.x()),
                                  qint16(point.y())),
        nullptr);
    if (!place)
        return 0;
    const WindowId child = place->child;
    free(place);
    return child;
}

bool DesktopSession::isManagedAndShown(WindowId window) const {
    return stacking().contains(window) && isViewable(frameOf(window)) && isViewable(window);
}

int DesktopSession::run(const QString& program, const QStringList& arguments) const {
    QProcess process;
    prepare(process, environment());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QByteArray DesktopSession::output(const QString& program, const QStringList& arguments) const {
    QProcess process;
    prepare(process, environment());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    const bool succeeded = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return succeeded ? process.readAllStandardOutput() : QByteArray();
}

bool DesktopSession::resizeScreen(QSize size) {
    const QString name = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
    const QString width = QString::number(size.width());
    const QString height = QString::number(size.height());
    // The server offers its start size alone: a smaller mode is made and given to its one output
    // first (both fail harmlessly once they exist). The window manager keeps the server from
    // resetting, which would forget the mode.
    if (size != options_.screen) {
        run(QStringLiteral("xrandr"), {QStringLiteral("--newmode"), name, QStringLiteral("60"),
                                       width, width, width, width, height, height, height, height});
        run(QStringLiteral("xrandr"),
            {QStringLiteral("--addmode"), QStringLiteral("screen"), name});
    }
    const int resized = run(QStringLiteral("xrandr"),
                            {QStringLiteral("--output"), QStringLiteral("screen"),
                             QStringLiteral("--mode"), name, QStringLiteral("--fb"), name});
    if (resized != 0) {
        qWarning("xrandr did not give the screen %s: status %d", qPrintable(name), resized);
        return false;
    }
    // The server tells the root's new size as it takes it; on a busy machine that may be long
    // after xrandr returned. Past the guard it is not coming.
    const bool taken = waitUntil([&] { return geometry(root()).size() == size; }, 60000);
    if (!taken)
        qWarning("the root window did not take %s within 60 s: it is %s", qPrintable(name),
                 qPrintable(described(geometry(root()))));
    return taken;
}

bool DesktopSession::moveTo(QPoint at) {
    // "--sync" waits for the pointer to move, which one already there never does: the tool then
    // gives up only after its own long time-out.
    if (pointer() == at)
        return true;
    return runChecked(QStringLiteral("xdotool"),
                      {QStringLiteral("mousemove"), QStringLiteral("--sync"),
                       QString::number(at.x()), QString::number(at.y())}) &&
           waitUntil([&] { return pointer() == at; });
}

std::optional<QPoint> DesktopSession::pointer() const {
    if (!connection_)
        return std::nullopt;
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root()), nullptr);
    if (!reply)
        return std::nullopt;
    const QPoint at(reply->root_x, reply->root_y);
    std::free(reply);
    return at;
}

bool DesktopSession::click(QPoint at, int button) {
    return moveTo(at) && runChecked(QStringLiteral("xdotool"),
                                    {QStringLiteral("click"), QString::number(button)});
}

bool DesktopSession::pointAt(WindowId target, QPoint at) {
    // The pointer's move may itself change what lies there (a window manager's border that
    // shows as the pointer nears): what counts is what lies there once it has moved.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!waitUntil([&] { return reaches(at, target); }, reachGuardMs))
            break;
        if (!moveTo(at))
            return false;
        if (reaches(at, target))
            return true;
    }
    fail(QStringLiteral("a press at %1,%2 reaches %3, not \"%4\" at %5")
             .arg(at.x())
             .arg(at.y())
             .arg(describedAt(at), title(target), described(geometry(target))));
    return false;
}

bool DesktopSession::clickOn(WindowId target, QPoint at, int button) {
    return pointAt(target, at) && runChecked(QStringLiteral("xdotool"),
                                             {QStringLiteral("click"), QString::number(button)});
}

bool DesktopSession::pressOn(WindowId target, QPoint at, int button) {
    return pointAt(target, at) &&
           runChecked(QStringLiteral("xdotool"),
                      {QStringLiteral("mousedown"), QString::number(button)});
}

bool DesktopSession::clickGrabPoint(WindowId panel, int button) {
    std::optional<QPoint> at;
    if (!waitUntil(
            [&] {
                at = grabPointOf(panel);
                return at.has_value();
            },
            reachGuardMs)) {
        const QPoint middle = grabPoint(geometry(panel));
        fail(QStringLiteral("no point of the top strip of \"%1\" at %2 is clear: at its middle "
                            "a press reaches %3")
                 .arg(title(panel), described(geometry(panel)), describedAt(middle)));
        return false;
    }
    return clickOn(panel, *at, button);
}

DesktopSession::WindowId DesktopSession::windowAt(QPoint point) const {
    if (!connection_)
        return 0;
    // Down from the root, through the child that holds the point at each level, as the server
    // finds the window a press goes to: the topmost mapped child whose shape and input shape
    // hold the point.
    WindowId deepest = 0;
    WindowId at = root();
    for (int depth = 0; depth < 32; ++depth) {
        xcb_translate_coordinates_reply_t* place = xcb_translate_coordinates_reply(
            connection_,
            xcb_translate_coordinates(connection_, root(), at, qint16(point.x()),
                                      qint16(point.y())),
            nullptr);
        if (!place)
            return deepest;
        const WindowId child = place->child;
        free(place);
        if (child == XCB_WINDOW_NONE)
            break;
        deepest = child;
        at = child;
    }
    return deepest;
}

bool DesktopSession::reaches(QPoint point, WindowId target) const {
    const WindowId deepest = windowAt(point);
    if (!deepest || !target || !isWithin(deepest, target))
        return false;
    // Inside a client, it is the client's own.
    if (cardinals(root(), "_NET_CLIENT_LIST", XCB_ATOM_WINDOW).contains(target))
        return true;
    xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, deepest), nullptr);
    const bool seen = attributes && attributes->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT;
    free(attributes);
    return seen;
}

std::optional<QPoint> DesktopSession::grabPointOf(WindowId panel) const {
    const QRect strip = geometry(panel);
    if (strip.isEmpty())
        return std::nullopt;
    const QPoint middle = grabPoint(strip);
    // Clear of the strip's rounded ends.
    constexpr int margin = 16;
    for (int offset = 0; offset <= std::max(0, strip.width() / 2 - margin); offset += 4) {
        for (const int x : {middle.x() - offset, middle.x() + offset}) {
            if (reaches(QPoint(x, middle.y()), panel))
                return QPoint(x, middle.y());
        }
    }
    return std::nullopt;
}

QString DesktopSession::describedAt(QPoint point) const {
    const WindowId deepest = windowAt(point);
    if (!deepest)
        return QStringLiteral("the root window");
    QString whose = QStringLiteral("of no client");
    for (const WindowId client : cardinals(root(), "_NET_CLIENT_LIST", XCB_ATOM_WINDOW)) {
        if (isWithin(deepest, client)) {
            whose = QStringLiteral("of \"%1\"").arg(title(client));
            break;
        }
        if (isWithin(deepest, frameOf(client))) {
            whose = QStringLiteral("of the frame of \"%1\"").arg(title(client));
            break;
        }
    }
    xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, deepest), nullptr);
    const bool inputOnly = attributes && attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY;
    free(attributes);
    return QStringLiteral("window 0x%1 %2 (%3, at %4)")
        .arg(deepest, 0, 16)
        .arg(whose, inputOnly ? QStringLiteral("input only") : QStringLiteral("input and output"),
             described(geometry(deepest)));
}

bool DesktopSession::press(QPoint at, int button) {
    return moveTo(at) && runChecked(QStringLiteral("xdotool"),
                                    {QStringLiteral("mousedown"), QString::number(button)});
}

bool DesktopSession::release(int button) {
    return runChecked(QStringLiteral("xdotool"),
                      {QStringLiteral("mouseup"), QString::number(button)});
}

bool DesktopSession::keyDown(const QString& key) {
    return finishKeys() && runChecked(QStringLiteral("xdotool"), {QStringLiteral("keydown"), key});
}

bool DesktopSession::keyUp(const QString& key) {
    return finishKeys() && runChecked(QStringLiteral("xdotool"), {QStringLiteral("keyup"), key});
}

bool DesktopSession::isKeyDown(const QString& keysym) const {
    // The keyboard's state as the server keeps it: a bit for each key code.
    if (!connection_)
        return false;
    const QByteArray codes = output(QStringLiteral("xmodmap"), {QStringLiteral("-pke")});
    QList<int> wanted;
    for (const QByteArray& line : codes.split('\n')) {
        // "keycode  64 = Alt_L Meta_L ..."
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() >= 4 && words[0] == "keycode" && words[3] == keysym.toLatin1())
            wanted.append(words[1].toInt());
    }
    xcb_query_keymap_reply_t* reply =
        xcb_query_keymap_reply(connection_, xcb_query_keymap(connection_), nullptr);
    if (!reply)
        return false;
    bool down = false;
    for (const int code : std::as_const(wanted))
        down = down || (reply->keys[code / 8] & (1 << (code % 8)));
    free(reply);
    return down;
}

bool DesktopSession::finishKeys() {
    if (keys_.state() == QProcess::NotRunning && keys_.program().isEmpty())
        return true;
    const QString sent = keys_.arguments().join(QLatin1Char(' '));
    if (keys_.state() != QProcess::NotRunning && !keys_.waitForFinished(20000)) {
        keys_.kill();
        keys_.waitForFinished();
        keys_.setProgram({});
        fail(QStringLiteral("xdotool %1 did not end within 20 s").arg(sent));
        return false;
    }
    const bool sentWell = keys_.exitStatus() == QProcess::NormalExit && keys_.exitCode() == 0;
    const int status = keys_.exitCode();
    keys_.setProgram({});
    if (!sentWell)
        fail(QStringLiteral("xdotool %1 failed with status %2").arg(sent).arg(status));
    return sentWell;
}

bool DesktopSession::keysSent() {
    // Polled: the case spins no event loop that would tell the process it has ended.
    return keys_.state() == QProcess::NotRunning || keys_.waitForFinished(0);
}

bool DesktopSession::key(const QString& keys) {
    if (!finishKeys())
        return false;
    QStringList arguments{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("40")};
    arguments.append(keys.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    return runChecked(QStringLiteral("xdotool"), arguments);
}

bool DesktopSession::keyWithoutWaiting(const QString& keys) {
    if (!finishKeys())
        return false;
    prepare(keys_, environment());
    keys_.setStandardOutputFile(QProcess::nullDevice());
    keys_.setStandardErrorFile(QProcess::nullDevice());
    QStringList arguments{QStringLiteral("key")};
    arguments.append(keys.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    keys_.start(QStringLiteral("xdotool"), arguments);
    if (keys_.waitForStarted(20000))
        return true;
    fail(QStringLiteral("xdotool does not start: ") + keys_.errorString());
    keys_.setProgram({});
    return false;
}

bool DesktopSession::keyAtOnce(const QString& keysym) {
    if (!finishKeys() || !connection_)
        return false;
    // The key's code, from the server's own map of the keyboard.
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* map = xcb_get_keyboard_mapping_reply(
        connection_, xcb_get_keyboard_mapping(connection_, setup->min_keycode, count), nullptr);
    if (!map)
        return false;
    const QByteArray name = keysym.toLatin1();
    // Keysyms of the Latin-1 letters and digits are their own codes.
    const std::uint32_t wanted = name.size() == 1 ? std::uint32_t(name.at(0)) : 0;
    const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(map);
    int code = 0;
    for (int index = 0; index < count * map->keysyms_per_keycode && !code; ++index) {
        if (wanted && symbols[index] == wanted)
            code = setup->min_keycode + index / map->keysyms_per_keycode;
    }
    free(map);
    if (!code) {
        fail(QStringLiteral("no key sends \"%1\"").arg(keysym));
        return false;
    }
    // XTest's FakeInput, sent as its wire form: the case links no XTest library of its own.
    static xcb_extension_t xtest = {"XTEST", 0};
    const xcb_query_extension_reply_t* present = xcb_get_extension_data(connection_, &xtest);
    if (!present || !present->present) {
        fail(QStringLiteral("the server has no XTest"));
        return false;
    }
    struct FakeInput {
        std::uint8_t majorOpcode;
        std::uint8_t minorOpcode;
        std::uint16_t length;
        std::uint8_t type;
        std::uint8_t detail;
        std::uint8_t pad0[2];
        std::uint32_t time;
        std::uint32_t root;
        std::uint8_t pad1[8];
        std::int16_t rootX;
        std::int16_t rootY;
        std::uint8_t pad2[7];
        std::uint8_t deviceId;
    };
    static_assert(sizeof(FakeInput) == 36);
    const xcb_protocol_request_t request = {1, &xtest, 2, 1};
    for (const std::uint8_t type : {std::uint8_t(XCB_KEY_PRESS), std::uint8_t(XCB_KEY_RELEASE)}) {
        FakeInput input{};
        input.type = type;
        input.detail = std::uint8_t(code);
        struct iovec parts[3];
        parts[2].iov_base = &input;
        parts[2].iov_len = sizeof(input);
        xcb_send_request(connection_, 0, parts + 2, &request);
    }
    xcb_flush(connection_);
    return xcb_connection_has_error(connection_) == 0;
}

bool DesktopSession::type(const QString& text) {
    return finishKeys() &&
           runChecked(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"),
                                                  QStringLiteral("40"), text});
}

bool DesktopSession::scrollToEnd(WindowId window, QPoint at) {
    // A list filled after the window shows scrolls only once it is there: a turn that changes
    // nothing before any did is no end.
    constexpr int mostTurns = 40;
    const QRect area = geometry(window);
    if (!moveTo(at) || !appHasCaughtUp(window))
        return false;
    const QImage start = grabScreen(area);
    QImage last = start;
    for (int turn = 0; turn < mostTurns; ++turn) {
        if (!runChecked(QStringLiteral("xdotool"),
                        {QStringLiteral("click"), QStringLiteral("5")}) ||
            !appHasCaughtUp(window))
            return false;
        const QImage now = grabScreen(area);
        if (now == last && now != start)
            return true;
        last = now;
    }
    qWarning("the window did not scroll to an end in %d turns of the wheel", mostTurns);
    return false;
}

bool DesktopSession::switchToDesktop(int desktop) {
    // As a pager asks: a client message to the root window.
    askWindowManager(root(), "_NET_CURRENT_DESKTOP", std::uint32_t(desktop), XCB_CURRENT_TIME);
    const bool switched = waitUntil(
        [this, desktop] { return currentDesktop() == static_cast<std::uint32_t>(desktop); });
    if (!switched)
        qWarning("the window manager did not show workspace %d: it shows %u", desktop,
                 currentDesktop());
    // The window manager shows and hides the windows as it switches; it has done so once it
    // has handled what came after.
    return switched && windowManagerHasCaughtUp();
}

void DesktopSession::askToMinimise(WindowId window) {
    // As a task bar asks: WM_CHANGE_STATE with IconicState to the root window.
    constexpr std::uint32_t iconic = 3;
    askWindowManager(window, "WM_CHANGE_STATE", iconic);
}

bool DesktopSession::isIconic(WindowId window) const {
    const QList<std::uint32_t> state = cardinals(window, "WM_STATE", atom("WM_STATE"));
    constexpr std::uint32_t iconic = 3;
    return (!state.isEmpty() && state.constFirst() == iconic) ||
           states(window).contains(QStringLiteral("_NET_WM_STATE_HIDDEN"));
}

bool DesktopSession::minimise(WindowId window) {
    // The app may show a window again the moment it is minimised (one that must stay open), so
    // the state read afterwards proves nothing: what does is the window manager's doing as it
    // happens, heard on a listener of its own. A minimised window is unmapped, and marked Iconic.
    xcb_connection_t* listener = xcb_connect(display_.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(listener)) {
        xcb_disconnect(listener);
        return false;
    }
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(listener, window, XCB_CW_EVENT_MASK, &mask);
    // The listener hears everything from here on once the server has answered it.
    free(xcb_get_input_focus_reply(listener, xcb_get_input_focus(listener), nullptr));
    askToMinimise(window);
    const std::uint32_t wmState = atom("WM_STATE");
    const std::uint32_t netState = atom("_NET_WM_STATE");
    const bool minimised = waitUntil([&] {
        bool seen = false;
        while (xcb_generic_event_t* event = xcb_poll_for_event(listener)) {
            const auto type = event->response_type & 0x7f;
            if (type == XCB_UNMAP_NOTIFY)
                seen = seen || reinterpret_cast<xcb_unmap_notify_event_t*>(event)->window == window;
            if (type == XCB_PROPERTY_NOTIFY) {
                const auto* change = reinterpret_cast<xcb_property_notify_event_t*>(event);
                seen = seen ||
                       ((change->atom == wmState || change->atom == netState) && isIconic(window));
            }
            free(event);
        }
        return seen || isIconic(window) || xcb_connection_has_error(listener);
    });
    const bool heard = minimised && !xcb_connection_has_error(listener);
    xcb_disconnect(listener);
    if (!heard)
        qWarning("the window manager did not minimise \"%s\" within 20 s: states %s",
                 qPrintable(title(window)), qPrintable(states(window).join(QLatin1Char(' '))));
    return heard;
}

bool DesktopSession::screenshot(const QString& path) const {
    return run(QStringLiteral("import"),
               {QStringLiteral("-window"), QStringLiteral("root"), path}) == 0;
}

QImage DesktopSession::grabScreen(const QRect& area) const {
    if (!connection_ || area.isEmpty())
        return {};
    xcb_get_image_reply_t* reply = xcb_get_image_reply(
        connection_,
        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root(), int16_t(area.x()),
                      int16_t(area.y()), uint16_t(area.width()), uint16_t(area.height()), ~0u),
        nullptr);
    if (!reply)
        return {};
    // A screen of depth 24 comes as 32 bits a pixel, blue first: Qt's RGB32 on this machine.
    QImage image;
    const int length = xcb_get_image_data_length(reply);
    if (reply->depth == 24 && length == area.width() * area.height() * 4)
        image = QImage(xcb_get_image_data(reply), area.width(), area.height(), area.width() * 4,
                       QImage::Format_RGB32)
                    .copy();
    free(reply);
    return image;
}

bool DesktopSession::paintRoot(const QColor& colour) {
    if (!connection_)
        return false;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    // The root's own depth is 24 bits, red in the highest byte.
    const std::uint32_t pixel = (std::uint32_t(colour.red()) << 16) |
                                (std::uint32_t(colour.green()) << 8) | std::uint32_t(colour.blue());
    const xcb_pixmap_t picture = xcb_generate_id(connection_);
    xcb_create_pixmap(connection_, screen->root_depth, picture, root_, screen->width_in_pixels,
                      screen->height_in_pixels);
    const xcb_gcontext_t pen = xcb_generate_id(connection_);
    xcb_create_gc(connection_, pen, picture, XCB_GC_FOREGROUND, &pixel);
    const xcb_rectangle_t whole{0, 0, screen->width_in_pixels, screen->height_in_pixels};
    xcb_poly_fill_rectangle(connection_, picture, pen, 1, &whole);
    xcb_free_gc(connection_, pen);
    // The picture lives as long as this connection, which is the session's.
    for (const char* property : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"})
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, root_, atom(property),
                            XCB_ATOM_PIXMAP, 32, 1, &picture);
    xcb_change_window_attributes(connection_, root_, XCB_CW_BACK_PIXMAP, &picture);
    xcb_clear_area(connection_, 0, root_, 0, 0, 0, 0);
    // KWin's compositor paints neither the root's background nor its picture: the desktop shows
    // only where a desktop window (Plasma's) lies, and black elsewhere. A window of the colour
    // stands in for it, below every other, and never takes the keyboard.
    if (windowManagerName_ == QLatin1String("kwin") && windowManagerComposites_) {
        if (desktopWindow_ == 0) {
            desktopWindow_ = xcb_generate_id(connection_);
            const std::uint32_t values[] = {pixel};
            xcb_create_window(connection_, XCB_COPY_FROM_PARENT, desktopWindow_, root_, 0, 0,
                              screen->width_in_pixels, screen->height_in_pixels, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                              XCB_CW_BACK_PIXEL, values);
            const std::uint32_t type = atom("_NET_WM_WINDOW_TYPE_DESKTOP");
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, desktopWindow_,
                                atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1, &type);
            // WM_HINTS: the input field given (1), and false.
            const std::uint32_t hints[9] = {1, 0, 0, 0, 0, 0, 0, 0, 0};
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, desktopWindow_,
                                XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9, hints);
            xcb_map_window(connection_, desktopWindow_);
        } else {
            xcb_change_window_attributes(connection_, desktopWindow_, XCB_CW_BACK_PIXEL, &pixel);
            xcb_clear_area(connection_, 0, desktopWindow_, 0, 0, 0, 0);
        }
    }
    xcb_generic_error_t* error = nullptr;
    free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), &error));
    const bool taken = error == nullptr;
    free(error);
    return taken;
}

namespace {
// Stops a process as SIGSTOP does; whether the kernel shows it stopped.
bool stopped(qint64 pid) {
    if (pid <= 0 || ::kill(pid_t(pid), SIGSTOP) != 0)
        return false;
    // The signal takes effect on its own time: the state the kernel shows says when it has.
    // Looked at closely, so the pause comes where it was asked for.
    const QDeadlineTimer guard(20000);
    for (;;) {
        const char state = ServerWatch::stateOf(pid);
        if (state == 'T')
            return true;
        if (state == 0 || guard.hasExpired())
            return false;
        QThread::msleep(1);
    }
}

void resumed(bool& paused, qint64 pid) {
    if (!std::exchange(paused, false))
        return;
    if (pid > 0)
        ::kill(pid_t(pid), SIGCONT);
}
} // namespace

bool DesktopSession::pauseWindowManager() {
    // Window managers hold the server while they take on a window or give it a frame.
    return pauseHoldingNothing(windowManager_.processId(), windowManagerPaused_);
}

void DesktopSession::resumeWindowManager() {
    resumed(windowManagerPaused_, windowManager_.processId());
}

bool DesktopSession::serverAnswersWithin(std::chrono::milliseconds patience) const {
    if (!connection_)
        return false;
    const xcb_get_input_focus_cookie_t cookie = xcb_get_input_focus(connection_);
    xcb_flush(connection_);
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_poll_for_reply(connection_, cookie.sequence, &reply, &error)) {
            free(reply);
            free(error);
            return true;
        }
        if (xcb_connection_has_error(connection_) || waited.elapsed() >= patience.count()) {
            // The reply is still owed: it is taken, whenever it comes, by the next look.
            xcb_discard_reply(connection_, cookie.sequence);
            return false;
        }
        QThread::msleep(1);
    }
}

bool DesktopSession::pauseApp() {
    // The app sends the few steps of a change of form that must reach the screen together inside
    // a hold of the server.
    return pauseHoldingNothing(app_.processId(), appPaused_);
}

namespace {

// Whether the X server has read everything the process sent it: the server's end of each of the
// process's connections to it holds no unread bytes (ss's receive queue of that end). Requests
// still in the socket reach the server after the process stopped, a grab among them maybe.
bool serverHasReadAllOf(qint64 pid) {
    QSet<QByteArray> ends;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
        // Read as it is: Qt would make the target a path beside the link.
        char target[64] = {};
        const ssize_t length = ::readlink(QFile::encodeName(fd.absoluteFilePath()).constData(),
                                          target, sizeof target - 1);
        const QByteArray link(target, length > 0 ? length : 0);
        if (link.startsWith("socket:["))
            ends.insert(link.mid(8, link.size() - 9));
    }
    if (ends.isEmpty())
        return true;
    QProcess ss;
    ss.start(QStringLiteral("ss"), {QStringLiteral("-xnH")});
    if (!ss.waitForFinished(10000) || ss.exitCode() != 0)
        return true;
    // Netid State Recv-Q Send-Q Local-Address Local-Port Peer-Address Peer-Port
    QHash<QByteArray, QList<QByteArray>> byPort;
    for (const QByteArray& line : ss.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 8)
            byPort.insert(fields.at(5), fields);
    }
    for (const QByteArray& end : std::as_const(ends)) {
        const auto own = byPort.constFind(end);
        if (own == byPort.constEnd())
            continue;
        const auto server = byPort.constFind(own->at(7));
        if (server == byPort.constEnd() || !server->at(4).contains("X11-unix"))
            continue;
        if (server->at(2) != "0")
            return false;
    }
    return true;
}

} // namespace

bool DesktopSession::pauseHoldingNothing(qint64 pid, bool& paused) {
    // A client stopped while it holds the server holds every other client still, this session
    // among them: each of its requests would wait for good. Such a pause is let go, and taken
    // again once the server answers. One answer is not enough: what the client sent before it
    // stopped may still wait at the server behind this session's request, a grab among it, and
    // the server reads a busy client's requests over several of its rounds. Answers in a row, each
    // asked after the last came, leave the server rounds to take in the rest.
    const auto answersInARow = [this, pid] {
        // First, until the server has read all the client sent: on a busy machine a busy client's
        // requests may wait in the socket longer than a few answers take.
        QDeadlineTimer read(std::chrono::seconds(5));
        while (!serverHasReadAllOf(pid)) {
            if (read.hasExpired() || !serverAnswersWithin(std::chrono::milliseconds(300)))
                return false;
            QThread::msleep(10);
        }
        // Then answers in a row over a quarter of a second, the server reading nothing more of
        // the client meanwhile: requests it read but has not yet carried out wait for the
        // client's turn, which a busy server gives it in rounds between this session's.
        for (int answer = 0; answer < 8; ++answer) {
            if (!serverAnswersWithin(std::chrono::milliseconds(300)) || !serverHasReadAllOf(pid))
                return false;
            QThread::msleep(30);
        }
        return true;
    };
    for (int attempt = 0; attempt < 50; ++attempt) {
        paused = true;
        if (!stopped(pid))
            return false;
        if (answersInARow())
            return true;
        resumed(paused, pid);
        if (!serverAnswersWithin(std::chrono::seconds(20)))
            return false;
    }
    return false;
}

void DesktopSession::resumeApp() {
    resumed(appPaused_, app_.processId());
}

bool DesktopSession::pauseClient(qint64 pid) {
    bool paused = false;
    return pauseHoldingNothing(pid, paused);
}

void DesktopSession::resumeClient(qint64 pid) {
    bool paused = true;
    resumed(paused, pid);
}

bool DesktopSession::growFrameAhead(WindowId window, const QRect& frame) {
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr);
    if (!tree)
        return false;
    const WindowId parent = tree->parent;
    free(tree);
    if (parent == root())
        return false;
    tree = xcb_query_tree_reply(connection_, xcb_query_tree(connection_, parent), nullptr);
    if (!tree)
        return false;
    QList<WindowId> changed;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
        if (children[i] != window)
            changed.append(children[i]);
    }
    free(tree);
    changed.append(parent);
    // The window manager asked to see every change of its windows first: for the moment of the
    // change they are left to this session, as its own changes are to it.
    const auto configure = [this](WindowId target, std::uint16_t mask,
                                  const QList<std::uint32_t>& values) {
        const std::uint32_t on = 1;
        const std::uint32_t off = 0;
        xcb_change_window_attributes(connection_, target, XCB_CW_OVERRIDE_REDIRECT, &on);
        xcb_configure_window(connection_, target, mask, values.constData());
        xcb_change_window_attributes(connection_, target, XCB_CW_OVERRIDE_REDIRECT, &off);
    };
    const auto width = std::uint32_t(frame.width());
    const auto height = std::uint32_t(frame.height());
    for (const WindowId child : std::as_const(changed).first(changed.size() - 1))
        configure(child, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, {width, height});
    configure(parent,
              XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                  XCB_CONFIG_WINDOW_HEIGHT,
              {std::uint32_t(frame.x()), std::uint32_t(frame.y()), width, height});
    return geometry(parent) == frame;
}

bool DesktopSession::compositorHasCaughtUp() {
    // A pixel of a colour of its own in the screen's corner: a compositor paints what changed in
    // the order it heard of it, so once the pixel shows, every earlier change shows too.
    constexpr std::uint32_t magenta = 0xff00ff;
    const auto cornerShows = [this](bool marker) {
        const QImage corner = grabScreen(QRect(0, 0, 1, 1));
        return !corner.isNull() && (corner.pixel(0, 0) == qRgb(255, 0, 255)) == marker;
    };
    const xcb_window_t marker = xcb_generate_id(connection_);
    const std::uint32_t values[] = {magenta, 1};
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, marker, root(), 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(connection_, marker);
    xcb_flush(connection_);
    const bool shown = waitUntil([&] { return cornerShows(true); });
    xcb_destroy_window(connection_, marker);
    xcb_flush(connection_);
    return waitUntil([&] { return cornerShows(false); }) && shown;
}

void DesktopSession::askWindowManager(WindowId window, const char* type, std::uint32_t first,
                                      std::uint32_t second) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = atom(type);
    message.data.data32[0] = first;
    message.data.data32[1] = second;
    xcb_send_event(connection_, 0, root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection_);
}

bool DesktopSession::windowManagerHasCaughtUp() {
    return isReady() && probeWindowManager(20000);
}

bool DesktopSession::probeWindowManager(int guardMs) {
    // The window manager estimates the frame of a window not yet shown when asked, in its turn:
    // after every request that reached it before. Fluxbox does so only for windows it manages;
    // it, as any, gives a window it does not manage the size it asks for, also in its turn.
    const xcb_window_t probe = xcb_generate_id(connection_);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, probe, root(), -10, -10, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    askWindowManager(probe, "_NET_REQUEST_FRAME_EXTENTS");
    const std::uint32_t askedWidth = 2;
    xcb_configure_window(connection_, probe, XCB_CONFIG_WINDOW_WIDTH, &askedWidth);
    xcb_flush(connection_);
    const bool answered = waitUntil(
        [&] {
            if (!cardinals(probe, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL).isEmpty())
                return true;
            xcb_get_geometry_reply_t* size =
                xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, probe), nullptr);
            const bool sized = size && size->width == askedWidth;
            free(size);
            return sized;
        },
        guardMs);
    xcb_destroy_window(connection_, probe);
    xcb_flush(connection_);
    return answered;
}

bool DesktopSession::appHasCaughtUp(WindowId window) {
    if (!isReady())
        return false;
    // The app answers a ping to the root window when its event loop meets it. A listener of its
    // own sees the answers without filling this connection with the root's events.
    xcb_connection_t* listener = xcb_connect(display_.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(listener)) {
        xcb_disconnect(listener);
        return false;
    }
    // Qt sends its answers for those that watch the root's structure.
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(listener, root(), XCB_CW_EVENT_MASK, &mask);
    const std::uint32_t protocols = atom("WM_PROTOCOLS");
    const std::uint32_t ping = atom("_NET_WM_PING");
    bool answered = true;
    bool gone = false;
    // What the loop met before a ping may still wait for its delivery in the pass that answers
    // it; a second ping, sent once the first came back, is met in a later pass.
    for (int round = 0; round < 2 && answered; ++round) {
        // Far from the server's times, which the window manager's own pings carry.
        const std::uint32_t stamp = 0xC0DE0000u + ++pings_;
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = protocols;
        message.data.data32[0] = ping;
        message.data.data32[1] = stamp;
        message.data.data32[2] = window;
        xcb_send_event(listener, 0, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&message));
        xcb_flush(listener);
        answered =
            waitUntil([&] {
                bool back = false;
                while (xcb_generic_event_t* event = xcb_poll_for_event(listener)) {
                    if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                        const auto* reply =
                            reinterpret_cast<const xcb_client_message_event_t*>(event);
                        back = back || (reply->type == protocols && reply->data.data32[0] == ping &&
                                        reply->data.data32[1] == stamp);
                    }
                    free(event);
                }
                // A window gone meanwhile answers no ping.
                gone = !back && !exists(window);
                return back || gone || xcb_connection_has_error(listener);
            }) &&
            !gone && !xcb_connection_has_error(listener);
    }
    xcb_disconnect(listener);
    return answered;
}

bool DesktopSession::waitUntil(const std::function<bool()>& condition, int guardMs) {
    // The app runs in another process: its windows arrive in their own time, so this polls.
    const QDeadlineTimer guard(guardMs);
    while (!condition()) {
        if (guard.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(40);
    }
    return true;
}

QString DesktopSession::described(const QRect& rect) {
    return QStringLiteral("%1,%2 %3×%4")
        .arg(rect.x())
        .arg(rect.y())
        .arg(rect.width())
        .arg(rect.height());
}
