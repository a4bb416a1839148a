#include "platform/ClockTimer.h"
#include "platform/Clock.h"
#include "support/TestEnvironment.h"

#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

class ClockTimerTest : public QObject {
    Q_OBJECT
private slots:
    void singleShotFiresOnceAtItsInterval() {
        ManualClock clock;
        ClockTimer timer(clock);
        timer.setSingleShot(true);
        timer.setInterval(500ms);
        QSignalSpy fired(&timer, &ClockTimer::timeout);
        QVERIFY(!timer.isActive());
        timer.start();
        QVERIFY(timer.isActive());
        clock.advance(499ms);
        QCOMPARE(fired.size(), 0);
        clock.advance(1ms);
        QCOMPARE(fired.size(), 1);
        QVERIFY(!timer.isActive());
        clock.advance(10s);
        QCOMPARE(fired.size(), 1);
    }

    void restartPostponesWhileStartKeepsTheRunningPeriod() {
        ManualClock clock;
        ClockTimer timer(clock);
        timer.setSingleShot(true);
        timer.setInterval(500ms);
        QSignalSpy fired(&timer, &ClockTimer::timeout);
        timer.start();
        clock.advance(400ms);
        timer.start(); // already running: the period is not lengthened
        clock.advance(100ms);
        QCOMPARE(fired.size(), 1);

        // A debounce: every restart moves the deadline; only the last one fires.
        for (int keystroke = 0; keystroke < 5; ++keystroke) {
            timer.restart();
            clock.advance(300ms);
        }
        QCOMPARE(fired.size(), 1);
        clock.advance(199ms);
        QCOMPARE(fired.size(), 1);
        clock.advance(1ms);
        QCOMPARE(fired.size(), 2);
    }

    void repeatingFiresEveryIntervalUntilStopped() {
        ManualClock clock;
        ClockTimer timer(clock);
        timer.setInterval(1s);
        QSignalSpy fired(&timer, &ClockTimer::timeout);
        timer.start();
        clock.advance(3500ms);
        QCOMPARE(fired.size(), 3);
        QVERIFY(timer.isActive());
        timer.stop();
        QVERIFY(!timer.isActive());
        clock.advance(10s);
        QCOMPARE(fired.size(), 3);
        timer.start(250ms); // a new interval applies at once
        clock.advance(1s);
        QCOMPARE(fired.size(), 7);
    }

    void receiversMayStopOrRestartFromTheTimeout() {
        ManualClock clock;
        ClockTimer timer(clock);
        timer.setInterval(1s);
        int count = 0;
        connect(&timer, &ClockTimer::timeout, this, [&] {
            if (++count == 2)
                timer.stop();
        });
        timer.start();
        clock.advance(10s);
        QCOMPARE(count, 2);

        ClockTimer once(clock);
        once.setSingleShot(true);
        once.setInterval(1s);
        int rearmed = 0;
        connect(&once, &ClockTimer::timeout, this, [&] {
            if (++rearmed < 3)
                once.restart();
        });
        once.start();
        clock.advance(10s);
        QCOMPARE(rearmed, 3);
        QVERIFY(!once.isActive());
    }

    void aDestroyedTimerNeverFires() {
        ManualClock clock;
        int fired = 0;
        {
            auto* timer = clock.createTimer(this);
            timer->setInterval(1s);
            connect(timer, &ClockTimer::timeout, this, [&] { ++fired; });
            timer->start();
            delete timer;
        }
        clock.advance(5s);
        QCOMPARE(fired, 0);
        QCOMPARE(clock.pendingCount(), 0);
    }

    void timersOfTheSharedClockFollowTheTestClock() {
        // The windows make their timers on the shared clock; tests advance the installed one.
        ClockTimer* timer = Clock::shared().createTimer(this);
        timer->setSingleShot(true);
        timer->setInterval(24h);
        QSignalSpy fired(timer, &ClockTimer::timeout);
        timer->start();
        testClock().advance(24h);
        QCOMPARE(fired.size(), 1);
        delete timer;
    }

    void aRepeatingTimerOfNoIntervalStillLetsTimeMove() {
        ManualClock clock;
        ClockTimer timer(clock);
        QSignalSpy fired(&timer, &ClockTimer::timeout);
        timer.start();
        clock.advance(5ms);
        QCOMPARE(fired.size(), 5);
    }
};

QTEST_GUILESS_MAIN(ClockTimerTest)
#include "ClockTimerTest.moc"
