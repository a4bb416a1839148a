#include "DesktopSession.h"
#include "support/DamagedPages.h"
#include "support/OwnedProcesses.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

namespace {
using WindowId = DesktopSession::WindowId;

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Closes the app's last alert with Return, as a user would, once it has the keyboard, and waits
// for the app to end. For its first moment the alert takes no key, so that keys typed on as it
// shows do not close it unread: a Return the app has handled while the alert stays open did
// nothing, and only then is Return typed again.
bool closeAndWaitForTheEnd(DesktopSession& desktop, WindowId alert) {
    if (!desktop.hasTheKeyboard(alert))
        return false;
    const QDeadlineTimer guard(60000);
    do {
        if (!desktop.key(QStringLiteral("Return")))
            return false;
    } while (!guard.hasExpired() && desktop.appHasCaughtUp(alert) && desktop.isAppRunning() &&
             desktop.isViewable(alert));
    return DesktopSession::waitUntil([&] { return !desktop.isAppRunning(); }, 60000);
}
} // namespace

class DesktopLaunchTest : public QObject {
    Q_OBJECT
private slots:
    void aSecondLaunchShowsTheDashboardWhilePanelsShow() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed({{QStringLiteral("Receipts"), QPointF(200, 500)}});
        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        const WindowId dashboard = desktop.windowTitled(QStringLiteral("Kippets Dashboard"));
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == dashboard; }));
        // The window manager hands the keyboard to the dashboard a moment after marking it
        // active; a close typed in between would reach nothing. Typed once it has the keyboard,
        // and again only when it provably did nothing, it closes the dashboard once.
        QVERIFY2(desktop.keyUntil(
                     dashboard, QStringLiteral("alt+F4"),
                     [&] { return !desktop.windowTitled(QStringLiteral("Kippets Dashboard")); }),
                 qPrintable(desktop.appOutput()));
        QVERIFY(desktop.windowTitled(QStringLiteral("Receipts")));

        QCOMPARE(desktop.launchAgain(), 0);
        QVERIFY2(DesktopSession::waitUntil([&] {
                     const WindowId shown =
                         desktop.windowTitled(QStringLiteral("Kippets Dashboard"));
                     return shown && desktop.isViewable(shown);
                 }),
                 qPrintable(desktop.appOutput()));
        // Once more with the dashboard already open behind another application's window that
        // has the keyboard: it comes forward.
        const WindowId shown = desktop.windowTitled(QStringLiteral("Kippets Dashboard"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), desktop.display());
        QProcess other;
        OwnedProcesses::tie(other, environment);
        other.start(QStringLiteral("xmessage"),
                    {QStringLiteral("-geometry"), QStringLiteral("500x300+470+300"),
                     QStringLiteral("-title"), QStringLiteral("Letter"),
                     QStringLiteral("Dear Sir or Madam")});
        QVERIFY(other.waitForStarted());
        const auto cleanUp = qScopeGuard([&] {
            other.kill();
            other.waitForFinished();
        });
        WindowId letter = 0;
        QVERIFY(DesktopSession::waitUntil([&] {
            letter = desktop.windowTitled(QStringLiteral("Letter"));
            return letter && desktop.isViewable(letter);
        }));
        if (desktop.activeWindow() != letter)
            QVERIFY(desktop.runChecked(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"),
                                                                   QString::number(letter)}));
        QVERIFY2(DesktopSession::waitUntil([&] {
                     return desktop.activeWindow() == letter &&
                            desktop.stackIndex(letter) > desktop.stackIndex(shown);
                 }),
                 qPrintable(desktop.title(desktop.activeWindow())));
        QVERIFY(desktop.settle());

        QCOMPARE(desktop.launchAgain(), 0);
        QVERIFY2(DesktopSession::waitUntil([&] {
                     return desktop.activeWindow() == shown &&
                            desktop.stackIndex(shown) > desktop.stackIndex(letter);
                 }),
                 qPrintable(QStringLiteral("active: %1, dashboard at %2, letter at %3")
                                .arg(desktop.title(desktop.activeWindow()))
                                .arg(desktop.stackIndex(shown))
                                .arg(desktop.stackIndex(letter))));
        QCOMPARE(desktop.windowsTitled(QStringLiteral("Kippets Dashboard")),
                 QList<WindowId>{shown});
    }

    // The store passes its start, and SQLite meets the damage only when "New Kippet" writes
    // into the damaged index: the user is told once, and the app ends when the alert is closed.
    void aStoreFoundDamagedInUseIsToldOnceAndTheAppQuitsLeavingItAsItWas() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed({{QStringLiteral("Receipts"), QPointF(200, 500)}});
        const QString store =
            desktop.home() + QStringLiteral("/.local/share/Kippets/Kippets.sqlite");
        const QString damage =
            DamagedPages::overwriteRootPages(store, {QStringLiteral("kippets_by_id")}, true);
        QVERIFY2(damage.isEmpty(), qPrintable(damage));
        const QByteArray before = bytesOf(store);

        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        const WindowId dashboard = desktop.windowTitled(QStringLiteral("Kippets Dashboard"));
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == dashboard; }));
        const QString question = QStringLiteral("Create New Kippet");
        QVERIFY(desktop.keyUntil(dashboard, QStringLiteral("ctrl+n"),
                                 [&] { return desktop.windowTitled(question) != 0; }));
        const WindowId sheet = desktop.windowTitled(question);
        QVERIFY2(sheet, qPrintable(desktop.appOutput()));
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == sheet; }));
        desktop.type(QStringLiteral("Travel"));
        desktop.key(QStringLiteral("Return"));

        const QString title = QStringLiteral("Kippets Must Quit");
        QVERIFY2(DesktopSession::waitUntil([&] { return desktop.windowTitled(title) != 0; }),
                 qPrintable(desktop.appOutput()));
        const WindowId alert = desktop.windowTitled(title);
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == alert; }));
        QCOMPARE(desktop.windowsTitled(title).size(), 1);
        QCOMPARE(desktop.windowsTitled(QStringLiteral("Error")).size(), 0);
        const QString refusal = QStringLiteral("The store “%1” is damaged (database disk image "
                                               "is malformed); it was left unchanged")
                                    .arg(store);
        QVERIFY2(desktop.appOutput().contains(
                     QStringLiteral("💀 Stopping over a store found damaged in use: ") + refusal),
                 qPrintable(desktop.appOutput()));
        QVERIFY(desktop.isAppRunning());

        QVERIFY2(closeAndWaitForTheEnd(desktop, alert), qPrintable(desktop.appOutput()));
        QCOMPARE(desktop.appExitCode(), 1);
        QCOMPARE(bytesOf(store), before);
    }

    // Started from the desktop's menu, a start over a damaged store would end without a word on
    // the screen: the refusal shows in one alert until it is closed, then the app ends with the
    // status of a refusal, leaving the file as it was.
    void aStoreRefusedAtTheStartIsShownInOneAlert() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed({{QStringLiteral("Receipts"), QPointF(200, 500)}});
        const QString store =
            desktop.home() + QStringLiteral("/.local/share/Kippets/Kippets.sqlite");
        const QString damage = DamagedPages::overwriteRootPages(
            store, {QStringLiteral("kippets"), QStringLiteral("kippet_items")}, false);
        QVERIFY2(damage.isEmpty(), qPrintable(damage));
        const QByteArray before = bytesOf(store);

        QVERIFY2(desktop.launch(1), qPrintable(desktop.appOutput()));
        const QString title = QStringLiteral("Kippets Cannot Start");
        QVERIFY2(DesktopSession::waitUntil([&] { return desktop.windowTitled(title) != 0; }),
                 qPrintable(desktop.appOutput()));
        const WindowId alert = desktop.windowTitled(title);
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == alert; }));
        QCOMPARE(desktop.windowsTitled(title).size(), 1);
        QVERIFY2(desktop.appOutput().contains(
                     QStringLiteral("[iCloud Sync] 💀 Could not create any container: The store "
                                    "“%1” is damaged (")
                         .arg(store)),
                 qPrintable(desktop.appOutput()));
        QVERIFY(desktop.isAppRunning());

        QVERIFY2(closeAndWaitForTheEnd(desktop, alert), qPrintable(desktop.appOutput()));
        QCOMPARE(desktop.appExitCode(), 1);
        QCOMPARE(bytesOf(store), before);
    }
};

QTEST_GUILESS_MAIN(DesktopLaunchTest)
#include "DesktopLaunchTest.moc"
