#include "DesktopSession.h"

#include <QTest>

namespace {
using WindowId = DesktopSession::WindowId;
constexpr std::uint32_t everyDesktop = 0xFFFFFFFFu;

// On every workspace and above ordinary windows, as the window manager sees it.
bool floatsEverywhere(const DesktopSession& desktop, WindowId window) {
    return desktop.desktopOf(window) == everyDesktop &&
           desktop.states(window).contains(QStringLiteral("_NET_WM_STATE_ABOVE"));
}

QString described(const DesktopSession& desktop, WindowId window) {
    return QStringLiteral("%1 on %2: workspace %3 (showing %4), states %5, viewable %6")
        .arg(desktop.title(window), desktop.windowManager())
        .arg(qint64(desktop.desktopOf(window)))
        .arg(qint64(desktop.currentDesktop()))
        .arg(desktop.states(window).join(u' '))
        .arg(desktop.isViewable(window));
}
} // namespace

class EveryWorkspaceTest : public QObject {
    Q_OBJECT
private slots:
    void panelsTabsAndEditorsShowOnEveryWorkspace() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        QVERIFY(desktop.desktopCount() >= 2);
        desktop.seed({{QStringLiteral("Receipts"), QPointF(300, 400)},
                      {QStringLiteral("Travel"), QPointF(700, 400), false, false, true}});
        // The panel, the tab of the tucked kippet and the dashboard.
        QVERIFY2(desktop.launch(3), qPrintable(desktop.appOutput()));
        const WindowId panel = desktop.windowTitled(QStringLiteral("Receipts"));
        const WindowId tab = desktop.windowTitled(QStringLiteral("Travel"));
        const WindowId dashboard = desktop.windowTitled(QStringLiteral("Kippets Dashboard"));
        QVERIFY(panel && tab && dashboard);

        QVERIFY(desktop.clickGrabPoint(panel));
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == panel; }));
        const QList<WindowId> before = desktop.stacking();
        QVERIFY(desktop.key(QStringLiteral("n")));
        WindowId editor = 0;
        QVERIFY(DesktopSession::waitUntil([&] {
            const QList<WindowId> added = desktop.windowsSince(before);
            editor = added.isEmpty() ? 0 : added.constFirst();
            return editor != 0;
        }));
        QCOMPARE(desktop.transientFor(editor), panel);

        // The window manager takes a request for every workspace in its own time.
        for (WindowId window : {panel, tab, editor})
            QVERIFY2(DesktopSession::waitUntil([&] { return floatsEverywhere(desktop, window); }),
                     qPrintable(described(desktop, window)));
        // The dashboard is an ordinary window of the workspace it opened on.
        QCOMPARE(desktop.desktopOf(dashboard), 0u);

        QVERIFY(desktop.switchToDesktop(1));
        QVERIFY2(
            DesktopSession::waitUntil([&] { return !desktop.isShownOnCurrentDesktop(dashboard); }),
            qPrintable(described(desktop, dashboard)));
        // The window manager has shown the workspace; the app has heard of it, and the window
        // manager has handled whatever the app asked on it.
        QVERIFY(desktop.appHasCaughtUp(panel));
        QVERIFY(desktop.windowManagerHasCaughtUp());
        for (WindowId window : {panel, tab, editor})
            QVERIFY2(desktop.isShownOnCurrentDesktop(window),
                     qPrintable(described(desktop, window)));
    }

    // Panels and editors stay up whichever window has the keyboard: some window managers (KWin)
    // hide the utility windows of an application that is not active, and must not take the
    // dashboard for another application than its panels.
    void panelsStayUpWhicheverWindowIsActive() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed({{QStringLiteral("Receipts"), QPointF(300, 400)},
                      {QStringLiteral("Travel"), QPointF(700, 400)}});
        QVERIFY2(desktop.launch(3), qPrintable(desktop.appOutput()));
        const WindowId receipts = desktop.windowTitled(QStringLiteral("Receipts"));
        const WindowId travel = desktop.windowTitled(QStringLiteral("Travel"));
        const WindowId dashboard = desktop.windowTitled(QStringLiteral("Kippets Dashboard"));
        QVERIFY(receipts && travel && dashboard);
        QList<WindowId> floating{receipts, travel};
        // Shown on the workspace in view, and not hidden away by the window manager, once it and
        // the app have caught up.
        const auto checkUp = [&](const QString& when) {
            QVERIFY(desktop.windowManagerHasCaughtUp());
            QVERIFY(desktop.appHasCaughtUp(receipts));
            QVERIFY(desktop.windowManagerHasCaughtUp());
            for (const WindowId window : std::as_const(floating)) {
                QVERIFY2(desktop.isShownOnCurrentDesktop(window),
                         qPrintable(when + QStringLiteral(": ") + described(desktop, window) +
                                    QStringLiteral(", types ") + desktop.types(window).join(u' ') +
                                    QStringLiteral(", transient for %1 (the panels %2, %3)")
                                        .arg(desktop.transientFor(window))
                                        .arg(receipts)
                                        .arg(travel)));
            }
        };

        // The dashboard in front, as the user puts it there (not every window manager gives a
        // window the keyboard as it maps it): a click on it, clear of the panels.
        const QPoint onDashboard = desktop.geometry(dashboard).center() + QPoint(0, 150);
        QVERIFY(desktop.clickOn(dashboard, onDashboard));
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == dashboard; }));
        checkUp(QStringLiteral("the dashboard active"));
        if (QTest::currentTestFailed())
            return;
        QVERIFY(desktop.clickGrabPoint(travel));
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == travel; }));
        const QList<WindowId> before = desktop.stacking();
        QVERIFY(desktop.key(QStringLiteral("n")));
        WindowId editor = 0;
        QVERIFY(DesktopSession::waitUntil([&] {
            const QList<WindowId> added = desktop.windowsSince(before);
            editor = added.isEmpty() ? 0 : added.constFirst();
            return editor != 0 && desktop.isViewable(editor);
        }));
        floating.append(editor);
        checkUp(QStringLiteral("the note editor open"));
        if (QTest::currentTestFailed())
            return;
        // Back to the dashboard as the user goes there: a click on it.
        QVERIFY(desktop.clickOn(dashboard, onDashboard));
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == dashboard; }));
        checkUp(QStringLiteral("the dashboard clicked"));
        if (QTest::currentTestFailed())
            return;
        QVERIFY(desktop.switchToDesktop(1));
        checkUp(QStringLiteral("on the second workspace"));
        if (QTest::currentTestFailed())
            return;
        QVERIFY(desktop.switchToDesktop(0));
        QVERIFY(
            DesktopSession::waitUntil([&] { return desktop.isShownOnCurrentDesktop(dashboard); }));
        QVERIFY(desktop.minimise(dashboard));
        QVERIFY(
            DesktopSession::waitUntil([&] { return !desktop.isShownOnCurrentDesktop(dashboard); }));
        checkUp(QStringLiteral("the dashboard minimised"));
    }

    void theTrayAndTheTourShowOnEveryWorkspace() {
        DesktopSession::Options options;
        options.tourSeen = false;
        DesktopSession desktop(options);
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.setPreference(QStringLiteral("kippets_group_tucked_away"), true);
        desktop.seed({{QStringLiteral("Receipts"), QPointF(300, 400)},
                      {QStringLiteral("Travel"), QPointF(700, 400)}});
        // The tray, the dashboard and the tour.
        QVERIFY2(desktop.launch(3), qPrintable(desktop.appOutput()));
        QVERIFY(DesktopSession::waitUntil(
            [&] { return desktop.windowTitled(QStringLiteral("Kippets")) != 0; }));
        const WindowId tray = desktop.windowTitled(QStringLiteral("Tucked Kippets"));
        const WindowId tour = desktop.windowTitled(QStringLiteral("Kippets"));
        QVERIFY(tray && tour);
        for (WindowId window : {tray, tour})
            QVERIFY2(DesktopSession::waitUntil([&] { return floatsEverywhere(desktop, window); }),
                     qPrintable(described(desktop, window)));

        QVERIFY(desktop.switchToDesktop(2));
        QVERIFY(desktop.appHasCaughtUp(tour));
        QVERIFY(desktop.windowManagerHasCaughtUp());
        for (WindowId window : {tray, tour})
            QVERIFY2(desktop.isShownOnCurrentDesktop(window),
                     qPrintable(described(desktop, window)));
    }
};

QTEST_GUILESS_MAIN(EveryWorkspaceTest)
#include "EveryWorkspaceTest.moc"
