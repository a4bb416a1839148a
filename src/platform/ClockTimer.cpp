#include "platform/ClockTimer.h"

#include <algorithm>

ClockTimer::ClockTimer(Clock& clock, QObject* parent) : QObject(parent), clock_(&clock) {}

ClockTimer::ClockTimer(QObject* parent) : ClockTimer(Clock::shared(), parent) {}

ClockTimer::~ClockTimer() {
    pending_.cancel();
}

void ClockTimer::start() {
    if (!isActive())
        schedule();
}

void ClockTimer::restart() {
    pending_.cancel();
    schedule();
}

void ClockTimer::start(std::chrono::milliseconds interval) {
    interval_ = interval;
    restart();
}

void ClockTimer::stop() {
    pending_.cancel();
    pending_ = ScheduledAction();
}

void ClockTimer::schedule() {
    // A repeating timer of no interval would fire forever within one step of a manual clock.
    const std::chrono::milliseconds period =
        singleShot_ ? interval_ : std::max(interval_, std::chrono::milliseconds(1));
    pending_ = clock_->schedule(period, this, [this] { fire(); });
}

void ClockTimer::fire() {
    // Settled before the signal, so a receiver may stop, start or restart the timer.
    pending_ = ScheduledAction();
    if (!singleShot_)
        schedule();
    emit timeout();
}
