#include "DesktopSession.h"

#include <QTest>

namespace {
using WindowId = DesktopSession::WindowId;
constexpr std::uint32_t everyDesktop = 0xFFFFFFFFu;

const QString skipTaskbar = QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR");
const QString skipPager = QStringLiteral("_NET_WM_STATE_SKIP_PAGER");
const QString hidden = QStringLiteral("_NET_WM_STATE_HIDDEN");

// Left out of taskbars and pagers, as the window manager has it.
bool staysOffTaskbars(const DesktopSession& desktop, WindowId window) {
    const QStringList states = desktop.states(window);
    return states.contains(skipTaskbar) && states.contains(skipPager);
}

QString described(const DesktopSession& desktop, WindowId window) {
    return QStringLiteral("%1: desktop %2, viewable %3, states %4")
        .arg(desktop.title(window))
        .arg(desktop.desktopOf(window))
        .arg(desktop.isViewable(window))
        .arg(desktop.states(window).join(QLatin1Char(' ')));
}

// The note editor the panel opens on `n`, once the panel has the keyboard.
WindowId openNoteEditor(DesktopSession& desktop, WindowId panel) {
    desktop.clickGrabPoint(panel);
    if (!DesktopSession::waitUntil([&] { return desktop.activeWindow() == panel; }))
        return 0;
    const QList<WindowId> before = desktop.stacking();
    desktop.key(QStringLiteral("n"));
    WindowId editor = 0;
    DesktopSession::waitUntil([&] {
        const QList<WindowId> added = desktop.windowsSince(before);
        editor = added.isEmpty() ? 0 : added.constFirst();
        return editor != 0;
    });
    return editor;
}
} // namespace

// Panels, their editors, pull tabs and the tray belong to the desktop, not to the task list: on
// every workspace, out of taskbars and pagers, and still there when the dashboard is minimised.
class ShelfWindowTest : public QObject {
    Q_OBJECT
private slots:
    void shelfWindowsAreOnEveryWorkspaceAndOffTheTaskbar() {
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
        const WindowId editor = openNoteEditor(desktop, panel);
        QVERIFY(editor);

        for (const WindowId window : {panel, tab, editor}) {
            QVERIFY2(DesktopSession::waitUntil([&] {
                         return desktop.desktopOf(window) == everyDesktop &&
                                staysOffTaskbars(desktop, window);
                     }),
                     qPrintable(described(desktop, window)));
        }
        // The dashboard is an ordinary window: a task on the workspace it opened on.
        QVERIFY2(!desktop.states(dashboard).contains(skipTaskbar),
                 qPrintable(described(desktop, dashboard)));
        QCOMPARE(desktop.desktopOf(dashboard), 0u);

        // Judged the EWMH way: KWin with its compositor keeps the windows of other workspaces
        // mapped.
        QVERIFY(desktop.switchToDesktop(1));
        QVERIFY2(
            DesktopSession::waitUntil([&] { return !desktop.isShownOnCurrentDesktop(dashboard); }),
            qPrintable(described(desktop, dashboard)));
        QVERIFY(desktop.windowManagerHasCaughtUp());
        for (const WindowId window : {panel, tab, editor})
            QVERIFY2(desktop.isShownOnCurrentDesktop(window),
                     qPrintable(described(desktop, window)));
    }

    void theTrayIsOffTheTaskbar() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.setPreference(QStringLiteral("kippets_group_tucked_away"), true);
        desktop.seed({{QStringLiteral("Receipts"), QPointF(300, 400)},
                      {QStringLiteral("Travel"), QPointF(700, 400)}});
        // The tray and the dashboard.
        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        const WindowId tray = desktop.windowTitled(QStringLiteral("Tucked Kippets"));
        QVERIFY(tray);
        QVERIFY2(DesktopSession::waitUntil([&] {
                     return desktop.desktopOf(tray) == everyDesktop &&
                            staysOffTaskbars(desktop, tray);
                 }),
                 qPrintable(described(desktop, tray)));
    }

    void minimisingTheDashboardLeavesThePanelsInView() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed({{QStringLiteral("Receipts"), QPointF(300, 400)},
                      {QStringLiteral("Travel"), QPointF(700, 400), false, false, true}});
        QVERIFY2(desktop.launch(3), qPrintable(desktop.appOutput()));
        const WindowId panel = desktop.windowTitled(QStringLiteral("Receipts"));
        const WindowId tab = desktop.windowTitled(QStringLiteral("Travel"));
        const WindowId dashboard = desktop.windowTitled(QStringLiteral("Kippets Dashboard"));
        QVERIFY(panel && tab && dashboard);
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.isViewable(dashboard); }));

        desktop.minimise(dashboard);
        QVERIFY2(DesktopSession::waitUntil([&] {
                     return !desktop.isViewable(dashboard) &&
                            desktop.states(dashboard).contains(hidden);
                 }),
                 qPrintable(described(desktop, dashboard)));
        // Whatever the window manager does along with the minimise is done by now.
        QVERIFY(desktop.windowManagerHasCaughtUp());
        for (const WindowId window : {panel, tab}) {
            QVERIFY2(desktop.isViewable(window) && !desktop.states(window).contains(hidden),
                     qPrintable(described(desktop, window)));
        }
    }
};

QTEST_GUILESS_MAIN(ShelfWindowTest)
#include "ShelfWindowTest.moc"
