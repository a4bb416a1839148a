#include "DesktopSession.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <optional>

namespace {
using WindowId = DesktopSession::WindowId;

// The tucked flag the store holds for the kippet, read beside the app; -1 when there is no row.
int storedTucked(const DesktopSession& desktop, const QString& kippet) {
    const QString connection = QStringLiteral("tuck-restart");
    int tucked = -1;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        database.setDatabaseName(desktop.home() +
                                 QStringLiteral("/.local/share/Kippets/Kippets.sqlite"));
        database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (database.open()) {
            QSqlQuery query(database);
            query.prepare(QStringLiteral("SELECT is_tucked FROM kippets WHERE name = ?"));
            query.addBindValue(kippet);
            if (query.exec() && query.next())
                tucked = query.value(0).toInt();
        }
        database.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return tucked;
}

// The windows that show the kippet by its name: its panel and its pull tab are both named so.
QList<QRect> shownAs(const DesktopSession& desktop, const QString& kippet) {
    QList<QRect> shown;
    for (WindowId window : desktop.windowsTitled(kippet)) {
        if (desktop.isViewable(window))
            shown.append(desktop.geometry(window));
    }
    return shown;
}

QString described(const QList<QRect>& frames) {
    QStringList parts;
    for (const QRect& frame : frames)
        parts.append(DesktopSession::described(frame));
    return parts.join(QStringLiteral("; "));
}

// A pull tab is a narrow strip against the screen's edge (with room for its shadow); a panel
// is a tile of 220 × 200 or larger.
bool isPullTab(const QRect& frame) {
    return std::min(frame.width(), frame.height()) < 100;
}

// The tray icon: the app's small window that the tray embeds in its panel. It is named only in
// _NET_WM_NAME, which xdotool's search by name does not read: it is found by the app's class.
std::optional<WindowId> trayIcon(const DesktopSession& desktop) {
    const QByteArray found = desktop.output(
        QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                    QStringLiteral("--class"), QStringLiteral("^Kippets$")});
    for (const QByteArray& line : found.split('\n')) {
        bool isNumber = false;
        const WindowId window = line.trimmed().toUInt(&isNumber);
        if (!isNumber)
            continue;
        // Smaller than any tab or panel, and on the screen: the tray places it where it
        // stands, trayer at the top, a window manager's own tray in its taskbar.
        const QRect frame = desktop.geometry(window);
        if (!frame.isEmpty() && frame.width() <= 48 && frame.height() <= 48 &&
            QRect(0, 0, 1440, 900).contains(frame))
            return window;
    }
    return std::nullopt;
}

// Opens the tray icon's menu with a click, as a user does; whether it opened. One click must do:
// right after the app hid its windows too, the user's first click opens the menu.
bool openTrayMenu(DesktopSession& desktop) {
    std::optional<WindowId> icon;
    if (!DesktopSession::waitUntil([&] { return (icon = trayIcon(desktop)).has_value(); }))
        return false;
    return desktop.clickOn(*icon, desktop.geometry(*icon).center()) &&
           DesktopSession::waitUntil([&] { return !desktop.openMenus().isEmpty(); });
}
} // namespace

class TuckRestartTest : public QObject {
    Q_OBJECT
private slots:
    // A kippet the user tucked stays tucked, however often the app is started again.
    void aTuckedKippetComesBackAsItsPullTab() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        // Tucked in any mode, and also one never placed.
        desktop.seed({{QStringLiteral("Tucked"), QPointF(300, 400), true, false, true, {}},
                      {QStringLiteral("Plain"), QPointF(800, 400), false, false, false, {}},
                      {QStringLiteral("Unplaced"), QPointF(0, 0), false, true, true, {}}});
        for (int start = 1; start <= 2; ++start) {
            // Two tabs, the other kippet's panel and the dashboard.
            QVERIFY2(desktop.launch(4), qPrintable(desktop.appOutput()));
            QVERIFY2(DesktopSession::waitUntil(
                         [&] { return shownAs(desktop, QStringLiteral("Plain")).size() == 1; }),
                     qPrintable(desktop.appOutput()));
            for (const QString& name : {QStringLiteral("Tucked"), QStringLiteral("Unplaced")}) {
                const QList<QRect> tucked = shownAs(desktop, name);
                QVERIFY2(tucked.size() == 1 && isPullTab(tucked.constFirst()),
                         qPrintable(QStringLiteral("start %1, %2: %3")
                                        .arg(start)
                                        .arg(name, described(tucked))));
            }
            QVERIFY(!isPullTab(shownAs(desktop, QStringLiteral("Plain")).constFirst()));
            QVERIFY(desktop.quitApp());
            QCOMPARE(storedTucked(desktop, QStringLiteral("Tucked")), 1);
            QCOMPARE(storedTucked(desktop, QStringLiteral("Unplaced")), 1);
            QCOMPARE(storedTucked(desktop, QStringLiteral("Plain")), 0);
        }
    }

    // Tucked as a user does it, one kippet from the tray's "Tuck Away" submenu and one from its
    // panel's own menu, and ended with the tray's "Quit Kippets": both come back as their pull
    // tabs, and stay tucked over the next quit too.
    void kippetsTuckedFromTheMenusStayTuckedOverTheTraysQuit() {
        DesktopSession::Options options;
        options.tray = true;
        DesktopSession desktop(options);
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed({{QStringLiteral("Leftish"), QPointF(100, 400), false, false, false, {}},
                      {QStringLiteral("Rightish"), QPointF(1000, 400), false, false, false, {}}});
        QVERIFY2(desktop.launch(3), qPrintable(desktop.appOutput()));
        const auto isShownAsTab = [&desktop](const QString& name) {
            const QList<QRect> shown = shownAs(desktop, name);
            return shown.size() == 1 && isPullTab(shown.constFirst());
        };

        // The tray's menu, led by its kippets; its fourth command after them is "Tuck Away",
        // whose submenu lists the open kippets in the same order.
        QVERIFY2(openTrayMenu(desktop), qPrintable(desktop.appOutput()));
        QVERIFY(desktop.key(QStringLiteral("Down Down Down Down Down Down Right")));
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.openMenus().size() == 2; }));
        QVERIFY(desktop.key(QStringLiteral("Return")));
        QVERIFY2(DesktopSession::waitUntil([&] { return isShownAsTab(QStringLiteral("Leftish")); }),
                 qPrintable(described(shownAs(desktop, QStringLiteral("Leftish")))));

        // The panel's menu: "Tuck Away" is its eleventh command.
        const QList<QRect> panel = shownAs(desktop, QStringLiteral("Rightish"));
        QCOMPARE(panel.size(), 1);
        QVERIFY(desktop.clickGrabPoint(desktop.windowTitled(QStringLiteral("Rightish")), 3));
        QVERIFY(DesktopSession::waitUntil([&] { return !desktop.openMenus().isEmpty(); }));
        QVERIFY(desktop.key(
            QStringLiteral("Down Down Down Down Down Down Down Down Down Down Down Return")));
        QVERIFY2(
            DesktopSession::waitUntil([&] { return isShownAsTab(QStringLiteral("Rightish")); }),
            qPrintable(described(shownAs(desktop, QStringLiteral("Rightish")))));

        for (int start = 1; start <= 2; ++start) {
            // "Quit Kippets" closes the tray's menu.
            QVERIFY2(openTrayMenu(desktop), qPrintable(desktop.appOutput()));
            QVERIFY(desktop.key(QStringLiteral("Up Return")));
            QVERIFY2(DesktopSession::waitUntil([&] { return !desktop.isAppRunning(); }),
                     qPrintable(desktop.appOutput()));
            QCOMPARE(desktop.appExitCode(), 0);
            QCOMPARE(storedTucked(desktop, QStringLiteral("Leftish")), 1);
            QCOMPARE(storedTucked(desktop, QStringLiteral("Rightish")), 1);

            // Two tabs and the dashboard, and no panel.
            QVERIFY2(desktop.launch(3), qPrintable(desktop.appOutput()));
            for (const QString& name : {QStringLiteral("Leftish"), QStringLiteral("Rightish")})
                QVERIFY2(DesktopSession::waitUntil([&] { return isShownAsTab(name); }),
                         qPrintable(QStringLiteral("start %1, %2: %3")
                                        .arg(start)
                                        .arg(name, described(shownAs(desktop, name)))));
        }
    }

    // Tucked from the tray while Ctrl+H hid every window: a second start, which shows the hidden
    // windows again, leaves the kippet in its pull tab and stored as tucked.
    void aKippetTuckedWhileHiddenStaysTuckedOverASecondStart() {
        DesktopSession::Options options;
        options.tray = true;
        DesktopSession desktop(options);
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed({{QStringLiteral("Solo"), QPointF(600, 400), false, false, false, {}}});
        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        const WindowId dashboard = desktop.windowTitled(QStringLiteral("Kippets Dashboard"));
        QVERIFY(dashboard);
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == dashboard; }));
        QVERIFY(desktop.key(QStringLiteral("ctrl+h")));
        QVERIFY2(DesktopSession::waitUntil([&] {
                     return !desktop.isViewable(dashboard) &&
                            shownAs(desktop, QStringLiteral("Solo")).isEmpty();
                 }),
                 qPrintable(described(shownAs(desktop, QStringLiteral("Solo")))));

        // The tray's "Tuck Away" submenu, its kippet.
        QVERIFY2(openTrayMenu(desktop), qPrintable(desktop.appOutput()));
        QVERIFY(desktop.key(QStringLiteral("Down Down Down Down Down Right")));
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.openMenus().size() == 2; }));
        QVERIFY(desktop.key(QStringLiteral("Return")));
        const auto isShownAsTab = [&desktop] {
            const QList<QRect> shown = shownAs(desktop, QStringLiteral("Solo"));
            return shown.size() == 1 && isPullTab(shown.constFirst());
        };
        QVERIFY2(DesktopSession::waitUntil(isShownAsTab),
                 qPrintable(described(shownAs(desktop, QStringLiteral("Solo")))));

        QCOMPARE(desktop.launchAgain(), 0);
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.isViewable(dashboard); }));
        QVERIFY(desktop.settle());
        QVERIFY2(isShownAsTab(), qPrintable(described(shownAs(desktop, QStringLiteral("Solo")))));
        QVERIFY(desktop.quitApp());
        QCOMPARE(storedTucked(desktop, QStringLiteral("Solo")), 1);
    }

    // Tucked together at the last quit: the tray alone, also for the kippets tucked singly.
    void aGroupTuckComesBackAsTheTrayAlone() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.setPreference(QStringLiteral("kippets_group_tucked_away"), true);
        desktop.seed({{QStringLiteral("Tucked"), QPointF(300, 400), false, false, true, {}},
                      {QStringLiteral("Plain"), QPointF(800, 400), false, false, false, {}}});
        const auto shownTitles = [&desktop] {
            QStringList titles;
            for (WindowId window : desktop.stacking()) {
                if (desktop.isViewable(window))
                    titles.append(desktop.title(window));
            }
            titles.sort();
            return titles;
        };
        const QStringList expected{QStringLiteral("Kippets Dashboard"),
                                   QStringLiteral("Tucked Kippets")};
        // The account status is said from a task queued during the launch's own steps, which
        // show every window the launch shows: once it is said, and the app and the window manager
        // have handled all the app asked for by then, a window the launch shows has been mapped.
        const QString launched = QStringLiteral("[iCloud Sync] ── End Account Status Check ──");
        for (int start = 1; start <= 2; ++start) {
            QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
            QVERIFY2(DesktopSession::waitUntil([&] { return shownTitles() == expected; }),
                     qPrintable(shownTitles().join(QStringLiteral(", "))));
            QVERIFY2(DesktopSession::waitUntil(
                         [&] { return desktop.appOutput().count(launched) == start; }),
                     qPrintable(desktop.appOutput()));
            QVERIFY(desktop.settle());
            QCOMPARE(shownTitles(), expected);
            QVERIFY(desktop.quitApp());
            QCOMPARE(storedTucked(desktop, QStringLiteral("Tucked")), 1);
        }
    }
};

QTEST_GUILESS_MAIN(TuckRestartTest)
#include "TuckRestartTest.moc"
