#pragma once

#include <QEasingCurve>
#include <QObject>
#include <QPointer>
#include <chrono>

class ClockTimer;

// A value eased from where it stands to a target over a span, in frames on the Clock: what a
// QVariantAnimation does, but on the clock every timed behaviour shares, so that tests step it
// by advancing a ManualClock. With animations switched off it takes its target at once. GUI
// thread only.
class ClockAnimation : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds frame{16};

    explicit ClockAnimation(QObject* parent = nullptr);

    qreal value() const { return value_; }
    bool isRunning() const;
    // Eases from the current value to `target`; a run under way is replaced. The value follows
    // the time the run has taken, except that with `fewestFrames` no frame goes further than that
    // share of the way past the one before: where frames come late (a busy machine, a slow
    // display), the run takes longer rather than leap over what lies between.
    void animateTo(qreal target, std::chrono::milliseconds span,
                   QEasingCurve curve = QEasingCurve::InOutQuad, int fewestFrames = 0);
    // Takes the value at once, stopping any run.
    void jumpTo(qreal target);

signals:
    // The value moved (each frame, and at the end).
    void valueChanged(qreal value);
    // The run reached its target.
    void finished();

private:
    void step();
    void scheduleFrame(qint64 elapsedMs);

    qreal value_ = 0;
    qreal from_ = 0;
    qreal target_ = 0;
    qint64 startedMs_ = 0;
    qint64 spanMs_ = 0;
    // How far through the run the last frame was, and the most a frame may add to it.
    qreal progress_ = 0;
    qreal mostPerFrame_ = 1;
    QEasingCurve curve_;
    ClockTimer* frames_;
};
