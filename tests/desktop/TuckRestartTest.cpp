#include "DesktopSession.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

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
        for (int start = 1; start <= 2; ++start) {
            QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
            QVERIFY2(DesktopSession::waitUntil([&] {
                         return shownTitles().contains(QStringLiteral("Kippets Dashboard"));
                     }),
                     qPrintable(shownTitles().join(QStringLiteral(", "))));
            QCOMPARE(shownTitles(), (QStringList{QStringLiteral("Kippets Dashboard"),
                                                 QStringLiteral("Tucked Kippets")}));
            QVERIFY(desktop.quitApp());
            QCOMPARE(storedTucked(desktop, QStringLiteral("Tucked")), 1);
        }
    }
};

QTEST_GUILESS_MAIN(TuckRestartTest)
#include "TuckRestartTest.moc"
