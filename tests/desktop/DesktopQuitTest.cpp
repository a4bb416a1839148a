#include "DesktopSession.h"
#include "support/DamagedPages.h"

#include <QImage>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <functional>
#include <optional>

namespace {
using WindowId = DesktopSession::WindowId;

QString storePathOf(const DesktopSession& desktop) {
    return desktop.home() + QStringLiteral("/.local/share/Kippets/Kippets.sqlite");
}

// Runs `use` on a connection of its own to the app's store, beside the running app; false when
// the store does not open.
bool withStore(const DesktopSession& desktop, const std::function<bool(QSqlDatabase&)>& use) {
    const QString connection = QStringLiteral("beside");
    bool used = false;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        database.setDatabaseName(storePathOf(desktop));
        database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        used = database.open() && use(database);
        database.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return used;
}

std::optional<QString> storedNote(const DesktopSession& desktop, const QString& kippet) {
    std::optional<QString> note;
    withStore(desktop, [&](QSqlDatabase& database) {
        QSqlQuery query(database);
        query.prepare(QStringLiteral("SELECT note_text FROM kippets WHERE name = ?"));
        query.addBindValue(kippet);
        if (query.exec() && query.next())
            note = query.value(0).toString();
        return true;
    });
    return note;
}

QStringList storedTodos(const DesktopSession& desktop) {
    QStringList texts;
    withStore(desktop, [&](QSqlDatabase& database) {
        QSqlQuery query(database);
        if (!query.exec(QStringLiteral("SELECT text FROM kippet_todos ORDER BY text")))
            return false;
        while (query.next())
            texts.append(query.value(0).toString());
        return true;
    });
    return texts;
}

// Damage the running app meets at its next write of a kippet row: the log is copied into the
// file, the page of the kippets' rows is overwritten there, and another program then writes to
// the store, so that the app's cache of the pages is dropped and its next write reads the file.
QString damageTheKippetRows(const DesktopSession& desktop) {
    const bool copied = withStore(desktop, [](QSqlDatabase& database) {
        QSqlQuery query(database);
        // The second value is -1 unless the store is in WAL mode; the first is 1 when busy.
        return query.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")) && query.next() &&
               query.value(0).toInt() == 0 && query.value(1).toInt() == 0;
    });
    if (!copied)
        return QStringLiteral("the log was not copied into the store");
    const QString damage =
        DamagedPages::overwriteRootPages(storePathOf(desktop), {QStringLiteral("kippets")}, false);
    if (!damage.isEmpty())
        return damage;
    const bool written = withStore(desktop, [](QSqlDatabase& database) {
        QSqlQuery query(database);
        return database.transaction() &&
               query.exec(QStringLiteral("CREATE TABLE other_program (x)")) &&
               query.exec(QStringLiteral("DROP TABLE other_program")) && database.commit();
    });
    return written ? QString() : QStringLiteral("the other program's write failed");
}

void hideDashboard(DesktopSession& desktop) {
    const WindowId dashboard = desktop.windowTitled(QStringLiteral("Kippets Dashboard"));
    QVERIFY(desktop.minimise(dashboard));
    QVERIFY(DesktopSession::waitUntil([&] { return !desktop.isViewable(dashboard); }));
}

// Opens the kippet's note or todo panel with its key and waits until it has the keyboard; 0
// when it does not open.
WindowId openPanel(DesktopSession& desktop, WindowId kippet, const QString& key) {
    desktop.clickGrabPoint(kippet);
    // A key typed before the window manager hands over the keyboard reaches nothing; typed
    // after, it opens the panel once.
    const QList<WindowId> before = desktop.stacking();
    WindowId panel = 0;
    desktop.keyUntil(kippet, key, [&] {
        const QList<WindowId> added = desktop.windowsSince(before);
        panel = added.isEmpty() ? 0 : added.constFirst();
        return panel && desktop.isViewable(panel);
    });
    if (!panel || !DesktopSession::waitUntil([&] { return desktop.activeWindow() == panel; }))
        return 0;
    return desktop.settle() ? panel : 0;
}

// The todo panel's add field, where the text shows: right of where the caret of an empty field
// blinks, in X's coordinates.
QRect addFieldText(const QRect& panel) {
    return QRect(panel.left() + 16 + 24, panel.top() + 18, 150, 16);
}
} // namespace

// How the app ends: at the user's Ctrl+Q, at a signal from the session, and at the alert that
// says it must stop; what the user entered just before is in the store afterwards.
class DesktopQuitTest : public QObject {
    Q_OBJECT
private slots:
    // The save of a note meets a damaged store while the user types. The alert that says the
    // app must quit shows and keeps the keyboard, but a space typed on does not close it before
    // it is read; Ctrl+Q then quits with the alert's status.
    void ctrlQQuitsAtTheFinalAlertThatTypingDoesNotClose() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed({{QStringLiteral("Receipts"), QPointF(100, 150)}});
        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        hideDashboard(desktop);
        const WindowId note = openPanel(desktop, desktop.windowTitled(QStringLiteral("Receipts")),
                                        QStringLiteral("n"));
        QVERIFY2(note, qPrintable(desktop.appOutput()));
        desktop.type(QStringLiteral("call"));
        QVERIFY(DesktopSession::waitUntil([&] {
            return storedNote(desktop, QStringLiteral("Receipts")) == QStringLiteral("call");
        }));
        const QString damage = damageTheKippetRows(desktop);
        QVERIFY2(damage.isEmpty(), qPrintable(damage));

        const QString title = QStringLiteral("Kippets Must Quit");
        // The next change is saved over the damage, which stops the app.
        QVERIFY(desktop.type(QStringLiteral("m")));
        QVERIFY2(DesktopSession::waitUntil([&] { return desktop.windowTitled(title) != 0; }, 60000),
                 qPrintable(desktop.appOutput()));
        const WindowId alert = desktop.windowTitled(title);
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == alert; }));
        QVERIFY2(desktop.appOutput().contains(
                     QStringLiteral("💀 Stopping over a store found damaged in use: The store “") +
                     storePathOf(desktop) + QStringLiteral("” is damaged")),
                 qPrintable(desktop.appOutput()));

        // The user types on before seeing it: the spaces reach the alert, which stays. Once the
        // app has handled them, and the window manager whatever the app asked on them, the alert
        // would be gone had they closed it.
        QVERIFY(desktop.type(QStringLiteral("   ")));
        QVERIFY2(desktop.appHasCaughtUp(alert), qPrintable(desktop.appOutput()));
        QVERIFY(desktop.windowManagerHasCaughtUp());
        QVERIFY2(desktop.appHasCaughtUp(alert), qPrintable(desktop.appOutput()));
        QVERIFY(desktop.isAppRunning());
        QCOMPARE(desktop.windowTitled(title), alert);
        QVERIFY(desktop.isViewable(alert));

        // Ctrl+Q, once the alert has the keyboard, quits.
        QVERIFY2(desktop.keyUntil(alert, QStringLiteral("ctrl+q"),
                                  [&] { return !desktop.isAppRunning(); }),
                 qPrintable(desktop.appOutput()));
        QCOMPARE(desktop.appExitCode(), 1);
    }

    // Return clears the todo panel's field at once and adds the todo a moment later; Ctrl+Q
    // typed right after Return, or the session's end, comes before that moment.
    void aTodoEnteredJustBeforeTheQuitIsStored() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed({{QStringLiteral("Receipts"), QPointF(100, 150)}});
        for (const QString& way : {QStringLiteral("ctrl+q"), QStringLiteral("SIGTERM")}) {
            QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
            hideDashboard(desktop);
            const WindowId todos = openPanel(
                desktop, desktop.windowTitled(QStringLiteral("Receipts")), QStringLiteral("t"));
            QVERIFY2(todos, qPrintable(way + QLatin1Char('\n') + desktop.appOutput()));
            const QRect field = addFieldText(desktop.geometry(todos));
            const QImage empty = desktop.grabScreen(field);
            QVERIFY(!empty.isNull());
            const QString text = QStringLiteral("bread before ") + way;
            desktop.type(text);
            QVERIFY(DesktopSession::waitUntil([&] { return desktop.grabScreen(field) != empty; }));

            if (way == QLatin1String("ctrl+q")) {
                // One burst: the app reads Ctrl+Q right after Return.
                desktop.keyWithoutWaiting(QStringLiteral("Return ctrl+q"));
            } else {
                desktop.keyWithoutWaiting(QStringLiteral("Return"));
                // The field shows its placeholder again: Return was taken.
                QVERIFY(DesktopSession::waitUntil(
                    [&] { return desktop.grabScreen(field) == empty; }, 20000));
                QVERIFY(desktop.quitApp());
            }
            QVERIFY2(DesktopSession::waitUntil([&] { return !desktop.isAppRunning(); }),
                     qPrintable(way + QLatin1Char('\n') + desktop.appOutput()));
            QCOMPARE(desktop.appExitCode(), 0);
            QVERIFY2(storedTodos(desktop).contains(text),
                     qPrintable(way + QLatin1Char(' ') + storedTodos(desktop).join(u',')));
            QVERIFY(DesktopSession::waitUntil([&] { return desktop.stacking().isEmpty(); }));
        }
    }
};

QTEST_GUILESS_MAIN(DesktopQuitTest)
#include "DesktopQuitTest.moc"
