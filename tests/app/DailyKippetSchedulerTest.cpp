#include "app/DailyKippetScheduler.h"
#include "app/MenuBarManager.h"
#include "model/Kippet.h"
#include "platform/Clock.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"
#include "window/FloatingKippetWindow.h"

#include <QLocale>
#include <QTest>

using namespace std::chrono_literals;

namespace {
const QString refuseKippets = QStringLiteral(
    "CREATE TRIGGER no_kippets BEFORE INSERT ON kippets BEGIN SELECT RAISE(ABORT, 'disk full'); "
    "END");

// The harness pins the time zone to UTC, so these are the user's local times too.
void setTime(QDate date, QTime time) {
    testClock().setNow(QDateTime(date, time, Qt::UTC));
}

const QDate saturday(2026, 12, 5);
} // namespace

class DailyKippetSchedulerTest : public QObject {
    Q_OBJECT
private:
    QStringList names(AppHarness& app) {
        QStringList result;
        for (Kippet* kippet : app.manager().allKippets())
            result.append(kippet->name());
        return result;
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void oneKippetADayAtTheChosenTime() {
        AppHarness app;
        app.start();
        DailyKippetScheduler& scheduler = app.dailyScheduler();
        QCOMPARE(scheduler.scheduledHour(), 8);
        QCOMPARE(scheduler.scheduledMinute(), 0);
        setTime(saturday, QTime(7, 58));
        scheduler.setIsEnabled(true);
        QVERIFY(app.preferences().boolOr(QStringLiteral("daily_kippet_enabled"), false));

        testClock().advance(60s);
        QCOMPARE(names(app), QStringList());
        testClock().advance(60s);
        QCOMPARE(names(app), QStringList{QStringLiteral("Saturday 5.12.")});
        Kippet* made = app.byName(QStringLiteral("Saturday 5.12."));
        QVERIFY(made->isDailyKippet());
        QCOMPARE(made->icon(), QStringLiteral("calendar"));
        QCOMPARE(app.preferences().stringOr(QStringLiteral("daily_kippet_last_created_date"), {}),
                 QStringLiteral("2026-12-05T08:00:00Z"));
        // The window follows in the next turn of the event loop, not inside the check.
        QVERIFY(!app.registry().registeredWindow(made->id()));
        AppHarness::settle();
        QVERIFY(app.registry().registeredWindow(made->id())->isVisible());

        testClock().advance(15h + 59min);
        QCOMPARE(names(app).size(), 1);
        testClock().advance(8h);
        QCOMPARE(names(app).size(), 1);
        testClock().advance(60s);
        QCOMPARE(names(app),
                 (QStringList{QStringLiteral("Saturday 5.12."), QStringLiteral("Sunday 6.12.")}));
    }

    void aChosenMidnightStaysMidnight() {
        AppHarness app;
        app.start();
        DailyKippetScheduler& scheduler = app.dailyScheduler();
        scheduler.setScheduledTime(QTime(0, 0));
        QCOMPARE(scheduler.scheduledHour(), 0);
        QCOMPARE(scheduler.scheduledTime(), QTime(0, 0));
        scheduler.setScheduledHour(21);
        QCOMPARE(scheduler.scheduledTime(), QTime(21, 0));
        scheduler.setScheduledTime(QTime(0, 30));
        QCOMPARE(scheduler.scheduledHour(), 0);
        QCOMPARE(scheduler.scheduledMinute(), 30);

        setTime(saturday, QTime(0, 29));
        app.preferences().setBool(QStringLiteral("daily_kippet_enabled"), true);
        scheduler.checkAndCreateIfNeeded();
        QCOMPARE(names(app), QStringList());
        setTime(saturday, QTime(0, 30));
        scheduler.checkAndCreateIfNeeded();
        QCOMPARE(names(app), QStringList{QStringLiteral("Saturday 5.12.")});
    }

    void switchedOffNothingRuns() {
        AppHarness app;
        app.start();
        DailyKippetScheduler& scheduler = app.dailyScheduler();
        setTime(saturday, QTime(7, 0));
        scheduler.setIsEnabled(true);
        scheduler.start();
        QVERIFY(scheduler.isRunning());
        scheduler.setIsEnabled(false);
        QVERIFY(!scheduler.isRunning());
        testClock().advance(2h);
        QCOMPARE(names(app), QStringList());
        // The switch is read at every check, even one that comes some other way.
        setTime(saturday, QTime(12, 0));
        scheduler.checkAndCreateIfNeeded();
        QCOMPARE(names(app), QStringList());
    }

    void aRefusedCreationIsRetriedAMinuteLater() {
        AppHarness app;
        app.start();
        DailyKippetScheduler& scheduler = app.dailyScheduler();
        setTime(saturday, QTime(8, 59));
        scheduler.setIsEnabled(true);
        QVERIFY(app.failStore(refuseKippets));
        {
            LogCapture log;
            testClock().advance(60s);
            QCOMPARE(names(app), QStringList());
            QVERIFY(!scheduler.lastCreatedDate());
            const QStringList lines = log.lines();
            QCOMPARE(lines.size(), 1);
            QVERIFY2(lines.first().startsWith(
                         QStringLiteral("❌ Failed to create daily kippet: Failed to save: ")),
                     qPrintable(lines.first()));
        }
        QVERIFY(app.failStore(QStringLiteral("DROP TRIGGER no_kippets")));
        testClock().advance(60s);
        QCOMPARE(names(app), QStringList{QStringLiteral("Saturday 5.12.")});
        QCOMPARE(scheduler.lastCreatedDate(),
                 std::optional(QDateTime(saturday, QTime(9, 1), Qt::UTC)));
    }

    void onDemandAlwaysMakesOne() {
        AppHarness app;
        app.start();
        DailyKippetScheduler& scheduler = app.dailyScheduler();
        setTime(saturday, QTime(6, 0));
        QVERIFY(scheduler.createDailyKippet());
        setTime(saturday, QTime(6, 5));
        QVERIFY(scheduler.createDailyKippet());
        QCOMPARE(names(app).count(QStringLiteral("Saturday 5.12.")), 2);
        QCOMPARE(scheduler.lastCreatedDate(),
                 std::optional(QDateTime(saturday, QTime(6, 5), Qt::UTC)));
        // Made today already, so the scheduled check leaves the day alone.
        app.preferences().setBool(QStringLiteral("daily_kippet_enabled"), true);
        setTime(saturday, QTime(9, 0));
        scheduler.checkAndCreateIfNeeded();
        QCOMPARE(names(app).size(), 2);
        // An unreadable date counts as never created.
        app.preferences().setString(QStringLiteral("daily_kippet_last_created_date"),
                                    QStringLiteral("yesterday"));
        QVERIFY(!scheduler.lastCreatedDate());
        scheduler.checkAndCreateIfNeeded();
        QCOMPARE(names(app).size(), 3);
    }

    void aLaunchAfterTheTimeMakesItWithoutAFailure() {
        AppHarness app;
        app.preferences().setBool(QStringLiteral("onboarding_completed"), true);
        app.preferences().setBool(QStringLiteral("daily_kippet_enabled"), true);
        setTime(saturday, QTime(15, 0));
        LogCapture log;
        app.launch();
        QCOMPARE(names(app), QStringList{QStringLiteral("Saturday 5.12.")});
        QVERIFY(!log.contains(QStringLiteral("❌ Failed to create daily kippet")));
        QVERIFY(log.lines().contains(QStringLiteral("✅ Daily kippet scheduler started")));
        QVERIFY(app.dailyScheduler().isRunning());
        AppHarness::settle();
        QVERIFY(app.windowOf(QStringLiteral("Saturday 5.12."))->isVisible());
    }

    void aLaunchBeforeTheTimeWaitsForTheTimer() {
        AppHarness app;
        app.preferences().setBool(QStringLiteral("onboarding_completed"), true);
        app.preferences().setBool(QStringLiteral("daily_kippet_enabled"), true);
        setTime(saturday, QTime(7, 30));
        app.launch();
        QCOMPARE(names(app), QStringList());
        testClock().advance(30min);
        QCOMPARE(names(app), QStringList{QStringLiteral("Saturday 5.12.")});
    }

    void aLaunchWithTheFeatureOffStartsNothing() {
        AppHarness app;
        app.preferences().setBool(QStringLiteral("onboarding_completed"), true);
        setTime(saturday, QTime(15, 0));
        LogCapture log;
        app.launch();
        QVERIFY(!app.dailyScheduler().isRunning());
        QCOMPARE(names(app), QStringList());
        QVERIFY(log.lines().contains(QStringLiteral("✅ Daily kippet scheduler started")));
    }
};

QTEST_MAIN(DailyKippetSchedulerTest)
#include "DailyKippetSchedulerTest.moc"
