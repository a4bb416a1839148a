#include "platform/ClockAnimation.h"
#include "platform/Animations.h"
#include "platform/Clock.h"
#include "support/TestEnvironment.h"

#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

// A value eased over a span on the test clock: on time it takes its span, and frames that come
// late never leap over the way between.
class ClockAnimationTest : public QObject {
    Q_OBJECT
private slots:
    void init() { Animations::setEnabled(true); }

    void framesOnTimeTakeTheSpan() {
        ClockAnimation animation;
        QList<qreal> values;
        connect(&animation, &ClockAnimation::valueChanged, this,
                [&](qreal value) { values.append(value); });
        QSignalSpy finished(&animation, &ClockAnimation::finished);
        animation.animateTo(1, 200ms, QEasingCurve::Linear, 10);
        testClock().advance(199ms);
        QCOMPARE(finished.size(), 0);
        QVERIFY(!values.isEmpty() && values.constLast() < 1);
        testClock().advance(1ms);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(values.constLast(), 1.0);
        // A frame every 16 ms: twelve on the way, and the end.
        QCOMPARE(values.size(), 13);
    }

    void lateFramesStretchTheRunInsteadOfLeapingOverTheWay() {
        // Each frame takes 60 ms to draw: in a run of 200 ms, time alone would show three frames
        // on the way.
        ClockAnimation animation;
        QList<qreal> values;
        connect(&animation, &ClockAnimation::valueChanged, this, [&](qreal value) {
            values.append(value);
            testClock().setNow(testClock().now().addMSecs(60));
        });
        QSignalSpy finished(&animation, &ClockAnimation::finished);
        const QDateTime started = testClock().now();
        animation.animateTo(1, 200ms, QEasingCurve::Linear, 10);
        testClock().advance(400ms);
        // Still on its way, a tenth of it at a time.
        QCOMPARE(finished.size(), 0);
        testClock().advance(2s);
        QCOMPARE(finished.size(), 1);
        QVERIFY(started.msecsTo(testClock().now()) > 700);
        QVERIFY2(values.size() >= 10, qPrintable(QString::number(values.size())));
        qreal before = 0;
        for (const qreal value : std::as_const(values)) {
            QVERIFY2(value - before <= 0.1 + 1e-9, qPrintable(QString::number(value - before)));
            before = value;
        }
        QCOMPARE(values.constLast(), 1.0);
    }

    void withoutFewestFramesLateFramesFollowTheTime() {
        ClockAnimation animation;
        QList<qreal> values;
        connect(&animation, &ClockAnimation::valueChanged, this, [&](qreal value) {
            values.append(value);
            testClock().setNow(testClock().now().addMSecs(60));
        });
        QSignalSpy finished(&animation, &ClockAnimation::finished);
        animation.animateTo(1, 200ms, QEasingCurve::Linear);
        testClock().advance(400ms);
        QCOMPARE(finished.size(), 1);
        QVERIFY2(values.size() <= 5, qPrintable(QString::number(values.size())));
    }
};

QTEST_GUILESS_MAIN(ClockAnimationTest)
#include "ClockAnimationTest.moc"
