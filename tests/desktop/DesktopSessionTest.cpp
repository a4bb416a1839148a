#include "DesktopSession.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <memory>
#include <vector>

// The desktops the other cases run on: each window manager takes the display with workspaces to
// switch between, and a compositor asked for holds the compositing selection before a case
// starts. A desktop that came up half would fail those cases by chance instead of here.
class DesktopSessionTest : public QObject {
    Q_OBJECT
private slots:
    void everyWindowManagerTakesTheDisplay_data() {
        QTest::addColumn<QString>("windowManager");
        QTest::addColumn<bool>("ownCompositor");
        QTest::addColumn<bool>("compositor");
        // Beside the window manager: "" for xcompmgr where a compositor is asked.
        QTest::addColumn<QString>("program");
        QTest::newRow("openbox") << QStringLiteral("openbox") << false << false << QString();
        QTest::newRow("openbox, xcompmgr")
            << QStringLiteral("openbox") << false << true << QString();
        QTest::newRow("xfwm4") << QStringLiteral("xfwm4") << false << false << QString();
        QTest::newRow("xfwm4, its compositor")
            << QStringLiteral("xfwm4") << true << false << QString();
        QTest::newRow("marco") << QStringLiteral("marco") << false << false << QString();
        QTest::newRow("marco, its compositor")
            << QStringLiteral("marco") << true << false << QString();
        QTest::newRow("metacity") << QStringLiteral("metacity") << false << false << QString();
        QTest::newRow("metacity, its compositor")
            << QStringLiteral("metacity") << true << false << QString();
        QTest::newRow("icewm") << QStringLiteral("icewm") << false << false << QString();
        QTest::newRow("icewm, picom")
            << QStringLiteral("icewm") << false << true << QStringLiteral("picom");
        QTest::newRow("fluxbox") << QStringLiteral("fluxbox") << false << false << QString();
    }

    void everyWindowManagerTakesTheDisplay() {
        QFETCH(QString, windowManager);
        QFETCH(bool, ownCompositor);
        QFETCH(bool, compositor);
        QFETCH(QString, program);
        const QByteArray before = qgetenv("KIPPETS_COMPOSITOR");
        if (!program.isEmpty())
            qputenv("KIPPETS_COMPOSITOR", program.toLatin1());
        const auto restore = qScopeGuard([&] {
            if (before.isEmpty())
                qunsetenv("KIPPETS_COMPOSITOR");
            else
                qputenv("KIPPETS_COMPOSITOR", before);
        });
        DesktopSession::Options options;
        options.windowManager = windowManager;
        options.windowManagerCompositor = ownCompositor;
        options.compositor = compositor;
        DesktopSession desktop(options);
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        QCOMPARE(desktop.windowManager(), windowManager);
        QCOMPARE(desktop.windowManagerComposites(), ownCompositor);
        QCOMPARE(desktop.hasCompositor(), ownCompositor || compositor);
        QVERIFY2(desktop.desktopCount() >= 2, qPrintable(QString::number(desktop.desktopCount())));
        QVERIFY(desktop.switchToDesktop(1));
        QVERIFY(desktop.switchToDesktop(0));
        if (compositor)
            QVERIFY(desktop.stopCompositor());
        QVERIFY(!desktop.hasCompositor() || ownCompositor);
    }

    // A minimise counts once the window manager has minimised the window, not once asked: one
    // held still minimises nothing.
    void minimiseSaysWhetherTheWindowManagerDid() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        QProcess letter;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), desktop.display());
        letter.setProcessEnvironment(environment);
        letter.start(QStringLiteral("xmessage"),
                     {QStringLiteral("-title"), QStringLiteral("Letter"), QStringLiteral("Dear")});
        const auto end = qScopeGuard([&] {
            letter.kill();
            letter.waitForFinished();
        });
        DesktopSession::WindowId window = 0;
        QVERIFY(DesktopSession::waitUntil([&] {
            window = desktop.windowTitled(QStringLiteral("Letter"));
            return window && desktop.isViewable(window);
        }));
        QVERIFY(!desktop.isIconic(window));

        QVERIFY(desktop.pauseWindowManager());
        QVERIFY(!desktop.minimise(window));
        desktop.resumeWindowManager();
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.isIconic(window); }));
    }

    // xfconfd, which the private session bus starts for xfwm4, writes its settings into the home
    // as it ends: it has ended before the session has, and left no home behind.
    void xfwm4sSettingsEndBeforeTheHomeGoes() {
        QList<qint64> clients;
        QString home;
        qint64 held = 0;
        // A case that failed leaves nothing stopped behind.
        const auto release = qScopeGuard([&] {
            if (held > 0)
                ::kill(pid_t(held), SIGKILL);
        });
        {
            DesktopSession::Options options;
            options.windowManager = QStringLiteral("xfwm4");
            DesktopSession desktop(options);
            QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
            home = desktop.home();
            // xfwm4 and the settings service it asked the bus for.
            QVERIFY(DesktopSession::waitUntil([&] {
                clients = desktop.busClients();
                return clients.size() >= 2;
            }));
            // A setting changed, as the settings dialog changes it: xfconfd has it to write.
            QProcess change;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                               desktop.sessionBusAddress());
            change.setProcessEnvironment(environment);
            change.start(
                QStringLiteral("dbus-send"),
                {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                 QStringLiteral("--dest=org.xfce.Xfconf"), QStringLiteral("/org/xfce/Xfconf"),
                 QStringLiteral("org.xfce.Xfconf.SetProperty"), QStringLiteral("string:xfwm4"),
                 QStringLiteral("string:/general/title_font"),
                 QStringLiteral("variant:string:Sans 9")});
            QVERIFY(change.waitForFinished(20000));
            QCOMPARE(change.exitCode(), 0);
            // Held still, as a busy machine may hold it: it ends only when made to.
            for (const qint64 client : std::as_const(clients)) {
                QFile name(QStringLiteral("/proc/%1/comm").arg(client));
                if (name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == "xfconfd")
                    held = client;
            }
            QVERIFY(held > 0);
            QCOMPARE(::kill(pid_t(held), SIGSTOP), 0);
        }
        // Gone, or a zombie its parent has yet to reap.
        const auto ended = [](qint64 process) {
            QFile status(QStringLiteral("/proc/%1/stat").arg(process));
            const QByteArray line = status.open(QIODevice::ReadOnly) ? status.readAll() : "";
            return line.isEmpty() || line.mid(line.lastIndexOf(')') + 2, 1) == "Z";
        };
        QList<qint64> running;
        for (const qint64 client : std::as_const(clients)) {
            if (!ended(client))
                running.append(client);
        }
        // Whatever still ran has its chance to write where the home was.
        QVERIFY(DesktopSession::waitUntil(
            [&] { return std::all_of(running.cbegin(), running.cend(), ended); }));
        QVERIFY2(running.isEmpty(), "a client of the bus still ran as the session ended");
        QVERIFY2(!QFileInfo::exists(home), qPrintable(home));
    }

    void anUnknownWindowManagerIsRefusedByName() {
        DesktopSession::Options options;
        options.windowManager = QStringLiteral("twm");
        DesktopSession desktop(options);
        QVERIFY(!desktop.isReady());
        QCOMPARE(desktop.failure(),
                 QStringLiteral("no such window manager for the desktop tests: twm"));
    }

    // The script that runs the window tests of the test process on a desktop says what it
    // waited for instead of running the command on a display no window manager took.
    void theScriptSaysWhatItWaitedFor() {
        const QString script = QStringLiteral(KIPPETS_TESTS_DIR "/../scripts/with-window-manager");
        QProcess run;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // A window manager that never comes.
        environment.insert(QStringLiteral("KIPPETS_WM_COMMAND"), QStringLiteral("sleep 600"));
        environment.insert(QStringLiteral("KIPPETS_WM_GUARD_SECONDS"), QStringLiteral("2"));
        environment.remove(QStringLiteral("KIPPETS_IN_WM_SESSION"));
        run.setProcessEnvironment(environment);
        run.start(script, {QStringLiteral("--wm"), QStringLiteral("icewm"), QStringLiteral("--"),
                           QStringLiteral("true")});
        QVERIFY(run.waitForFinished(120000));
        const QByteArray said = run.readAllStandardError();
        QVERIFY2(run.exitCode() == 125, said.constData());
        QVERIFY2(said.contains(
                     "with-window-manager: icewm (sleep 600) did not come up within 2 s: waited "
                     "for _NET_SUPPORTING_WM_CHECK on the root window"),
                 "no word of what it waited for");

        environment.remove(QStringLiteral("KIPPETS_WM_COMMAND"));
        run.setProcessEnvironment(environment);
        run.start(script, {QStringLiteral("--wm"), QStringLiteral("twm"), QStringLiteral("--"),
                           QStringLiteral("true")});
        QVERIFY(run.waitForFinished(120000));
        QCOMPARE(run.exitCode(), 2);

        environment.insert(QStringLiteral("KIPPETS_WM_GUARD_SECONDS"), QStringLiteral("60"));
        run.setProcessEnvironment(environment);
        run.start(script,
                  {QStringLiteral("--wm"), QStringLiteral("marco"),
                   QStringLiteral("--wm-compositor"), QStringLiteral("on"), QStringLiteral("--"),
                   QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("exit 7")});
        QVERIFY(run.waitForFinished(120000));
        QCOMPARE(run.exitCode(), 7);
    }

    // A client that connects while the server resets, as its last client has just left, is
    // refused: the window manager, connecting as the script's own checks come and go, ended
    // with "Can't open display" and the script waited the whole guard for it.
    void theWindowManagerIsNotRefusedAsTheChecksComeAndGo() {
        const QString script = QStringLiteral(KIPPETS_TESTS_DIR "/../scripts/with-window-manager");
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        // Before the window manager, a client connects and leaves a hundred and fifty times in a
        // row, as the checks do, and gives up at the first refusal as the window manager would.
        // Before servers were kept from resetting about three connections in a hundred were
        // refused.
        const QString connects = folder.filePath(QStringLiteral("connects.py"));
        QFile program(connects);
        QVERIFY(program.open(QIODevice::WriteOnly));
        program.write(R"(
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XCloseDisplay.argtypes = [ctypes.c_void_p]
for attempt in range(150):
    display = x.XOpenDisplay(None)
    if not display:
        sys.exit("refused at connection %d" % (attempt + 1))
    x.XCloseDisplay(display)
)");
        program.close();
        QProcess run;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("KIPPETS_IN_WM_SESSION"));
        environment.remove(QStringLiteral("KIPPETS_COMPOSITOR"));
        environment.insert(QStringLiteral("KIPPETS_WM_COMMAND"),
                           QStringLiteral("python3 '%1' && exec icewm").arg(connects));
        run.setProcessEnvironment(environment);
        run.start(script, {QStringLiteral("--wm"), QStringLiteral("icewm"), QStringLiteral("--"),
                           QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("exit 7")});
        QVERIFY(run.waitForFinished(300000));
        const QByteArray said = run.readAllStandardError();
        QVERIFY2(run.exitCode() == 7, said.constData());
        QVERIFY2(said.isEmpty(), said.constData());
    }

    // Xvfb resets each time its last client leaves, as when the window manager ends with the
    // session, and signalled xvfb-run as it came back, which then took the signal for a failed
    // cleanup. The command's status is the script's
    // still, and the server ends with it, however clients come and go as sessions end side by
    // side on a busy machine.
    void theScriptEndsWithTheCommandsStatusAsClientsComeAndGo() {
        const QString script = QStringLiteral(KIPPETS_TESTS_DIR "/../scripts/with-window-manager");
        QTemporaryDir markers;
        QVERIFY(markers.isValid());
        // Ends with 7 once a client of its own, left behind, is connecting and leaving over and
        // over; that one notes when the display has gone, or gives up after two minutes.
        const QString command = QStringLiteral(R"(
import ctypes, os, sys, time
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XCloseDisplay.argtypes = [ctypes.c_void_p]
ready, tell = os.pipe()
if os.fork() == 0:
    os.close(ready)
    quiet = os.open(os.devnull, os.O_RDWR)
    for fd in (0, 1, 2):
        os.dup2(quiet, fd)
    # The server may go while connected to it.
    def gone(display):
        open(sys.argv[1], "w").close()
        os._exit(0)
    handler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p)(gone)
    x.XSetIOErrorHandler(handler)
    end = time.monotonic() + 120
    while time.monotonic() < end:
        display = x.XOpenDisplay(None)
        if not display:
            open(sys.argv[1], "w").close()
            break
        x.XCloseDisplay(display)
        if tell >= 0:
            os.close(tell)
            tell = -1
    os._exit(0)
os.close(tell)
os.read(ready, 1)
sys.exit(7)
)");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("KIPPETS_IN_WM_SESSION"));
        environment.remove(QStringLiteral("KIPPETS_WM_COMMAND"));
        environment.remove(QStringLiteral("KIPPETS_COMPOSITOR"));
        // Which run sees a reset as the session ends is chance: before servers were kept from
        // resetting about one in four did. Sixteen sessions starting at once also once had one
        // run its command on a display it had not started, as the display numbers were raced for.
        constexpr int rounds = 2;
        constexpr int runsAtOnce = 16;
        QStringList ended;
        for (int round = 0; round < rounds; ++round) {
            std::vector<std::unique_ptr<QProcess>> runs;
            for (int i = 0; i < runsAtOnce; ++i) {
                const QString marker = markers.filePath(QStringLiteral("%1-%2").arg(round).arg(i));
                ended.append(marker);
                auto run = std::make_unique<QProcess>();
                run->setProcessEnvironment(environment);
                run->start(script,
                           {QStringLiteral("--wm"), QStringLiteral("icewm"), QStringLiteral("--"),
                            QStringLiteral("python3"), QStringLiteral("-c"), command, marker});
                runs.push_back(std::move(run));
            }
            // Every run ends before any is judged: one failed leaves none killed half way.
            bool allEnded = true;
            for (const auto& run : runs)
                allEnded = (run->state() == QProcess::NotRunning || run->waitForFinished(300000)) &&
                           allEnded;
            QVERIFY(allEnded);
            for (const auto& run : runs) {
                const QByteArray said = run->readAllStandardError();
                QVERIFY2(run->exitStatus() == QProcess::NormalExit && run->exitCode() == 7,
                         qPrintable(QStringLiteral("%1: %2")
                                        .arg(run->exitCode())
                                        .arg(QString::fromLocal8Bit(said))));
                QVERIFY2(said.isEmpty(), said.constData());
            }
        }
        // No server was left running once its session ended.
        for (const QString& marker : std::as_const(ended))
            QVERIFY2(DesktopSession::waitUntil([&] { return QFileInfo::exists(marker); }, 120000),
                     qPrintable(marker));
    }
};

QTEST_GUILESS_MAIN(DesktopSessionTest)
#include "DesktopSessionTest.moc"
