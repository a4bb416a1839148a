#pragma once

#include "platform/Clock.h"

#include <QObject>
#include <chrono>

// A restartable timer on a Clock: what QTimer is, but on the clock every timed behaviour shares,
// so tests that advance a ManualClock fire it without waiting. Single-shot or repeating; a
// repeating timer's next period starts when the previous timeout fires. Stops firing once it is
// destroyed. GUI thread only.
class ClockTimer : public QObject {
    Q_OBJECT
public:
    explicit ClockTimer(Clock& clock, QObject* parent = nullptr);
    // On Clock::shared() as installed when the timer is made.
    explicit ClockTimer(QObject* parent = nullptr);
    ~ClockTimer() override;

    std::chrono::milliseconds interval() const { return interval_; }
    // Takes effect at the next start or restart; a running period keeps its length.
    void setInterval(std::chrono::milliseconds interval) { interval_ = interval; }
    bool isSingleShot() const { return singleShot_; }
    void setSingleShot(bool singleShot) { singleShot_ = singleShot; }
    bool isActive() const { return pending_.isActive(); }

    // Starts a period of the interval unless one is already running.
    void start();
    // Starts a new period now, dropping the one that was running: a debounce.
    void restart();
    void start(std::chrono::milliseconds interval);
    void stop();

signals:
    void timeout();

private:
    void schedule();
    void fire();

    Clock* clock_;
    std::chrono::milliseconds interval_{0};
    bool singleShot_ = false;
    ScheduledAction pending_;
};
