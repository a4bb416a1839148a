#include "platform/Clock.h"

#include "platform/ClockTimer.h"

#include <QTimer>
#include <algorithm>

namespace {
QPointer<Clock>& installed() {
    static QPointer<Clock> instance;
    return instance;
}
} // namespace

Clock& Clock::shared() {
    if (!installed()) {
        static SystemClock system;
        installed() = &system;
    }
    return *installed();
}

void Clock::install(Clock* clock) {
    installed() = clock;
}

ClockTimer* Clock::createTimer(QObject* parent) {
    return new ClockTimer(*this, parent);
}

QDateTime SystemClock::now() const {
    return QDateTime::currentDateTimeUtc();
}

ScheduledAction SystemClock::schedule(std::chrono::milliseconds delay, QObject* context,
                                      std::function<void()> action) {
    auto cancelled = std::make_shared<bool>(false);
    QTimer::singleShot(std::max(delay, std::chrono::milliseconds(0)), context ? context : this,
                       [cancelled, action = std::move(action)] {
                           if (!*cancelled)
                               action();
                       });
    return ScheduledAction(cancelled);
}

ManualClock::ManualClock(QDateTime start) : now_(std::move(start)) {}

ScheduledAction ManualClock::schedule(std::chrono::milliseconds delay, QObject* context,
                                      std::function<void()> action) {
    auto cancelled = std::make_shared<bool>(false);
    entries_.push_back(Entry{now_.addMSecs(std::max<qint64>(delay.count(), 0)), nextSequence_++,
                             context, context != nullptr, cancelled, std::move(action)});
    return ScheduledAction(cancelled);
}

void ManualClock::advance(std::chrono::milliseconds span) {
    const QDateTime target = now_.addMSecs(span.count());
    for (;;) {
        auto next =
            std::min_element(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
                return a.due != b.due ? a.due < b.due : a.sequence < b.sequence;
            });
        if (next == entries_.end() || next->due > target)
            break;
        Entry entry = std::move(*next);
        entries_.erase(next);
        now_ = std::max(now_, entry.due);
        if (*entry.cancelled || (entry.hasContext && !entry.context))
            continue;
        entry.action();
    }
    now_ = target;
}

int ManualClock::pendingCount() const {
    return static_cast<int>(std::count_if(entries_.begin(), entries_.end(), [](const Entry& e) {
        return !*e.cancelled && (!e.hasContext || e.context);
    }));
}
