#include "DesktopSession.h"

#include <QProcess>
#include <QScopeGuard>
#include <QTest>

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
};

QTEST_GUILESS_MAIN(DesktopSessionTest)
#include "DesktopSessionTest.moc"
