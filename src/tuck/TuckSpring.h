#pragma once

#include <QObject>
#include <chrono>
#include <utility>

class ClockTimer;

// A value pulled towards its target by a damped spring, given as the time of one undamped swing
// (response) and the damping fraction (below 1 it overshoots), stepped in frames on the Clock so
// that tests move it by advancing a ManualClock. Unlike an eased run it keeps its speed when the
// target changes half-way, so a quick second change swings back smoothly instead of restarting
// from rest. With animations switched off it takes its target at once. GUI thread only.
class TuckSpring : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds frame{16};

    TuckSpring(double response, double dampingFraction, qreal value, QObject* parent = nullptr);

    qreal value() const { return value_; }
    qreal target() const { return target_; }
    bool isRunning() const;
    void setTarget(qreal target);

signals:
    void valueChanged(qreal value);

private:
    void step();
    // Position relative to the target and speed, `seconds` after the current swing began.
    std::pair<double, double> stateAt(double seconds) const;
    double secondsSinceStart() const;

    double omega_;
    double damping_;
    qreal value_;
    qreal target_;
    double velocity_ = 0;
    // The swing under way: where it started relative to the target, and how fast.
    double startOffset_ = 0;
    double startVelocity_ = 0;
    qint64 startedMs_ = 0;
    ClockTimer* frames_;
};
