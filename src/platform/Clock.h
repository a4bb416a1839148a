#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <chrono>
#include <coroutine>
#include <functional>
#include <memory>

class ClockTimer;

// A handle to one scheduled action; cancel() keeps it from running. Copies share the state.
class ScheduledAction {
public:
    ScheduledAction() = default;
    explicit ScheduledAction(std::shared_ptr<bool> cancelled) : cancelled_(std::move(cancelled)) {}

    void cancel() {
        if (cancelled_)
            *cancelled_ = true;
    }
    bool isActive() const { return cancelled_ && !*cancelled_; }

private:
    std::shared_ptr<bool> cancelled_;
};

// Time as every timed behaviour sees it. The app runs on SystemClock; tests install a
// ManualClock and advance it, so nothing ever sleeps. GUI thread only.
class Clock : public QObject {
    Q_OBJECT
public:
    ~Clock() override = default;

    static Clock& shared();
    static void install(Clock* clock);

    virtual QDateTime now() const = 0;

    // Runs action on the context's thread after delay, unless the context was destroyed or the
    // returned handle cancelled first. Actions due at the same time run in scheduling order.
    virtual ScheduledAction schedule(std::chrono::milliseconds delay, QObject* context,
                                     std::function<void()> action) = 0;

    // A restartable timer on this clock, owned by parent.
    ClockTimer* createTimer(QObject* parent = nullptr);

    // `co_await clock.sleep(delay)` resumes the coroutine after delay, on this clock's time.
    struct SleepAwaiter {
        Clock* clock;
        std::chrono::milliseconds delay;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) {
            clock->schedule(delay, clock, [handle] { handle.resume(); });
        }
        void await_resume() const noexcept {}
    };
    SleepAwaiter sleep(std::chrono::milliseconds delay) { return SleepAwaiter{this, delay}; }
};

class SystemClock : public Clock {
    Q_OBJECT
public:
    QDateTime now() const override;
    ScheduledAction schedule(std::chrono::milliseconds delay, QObject* context,
                             std::function<void()> action) override;
};

// A clock whose time moves only when a test advances it.
class ManualClock : public Clock {
    Q_OBJECT
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2026, 1, 15), QTime(9, 30), Qt::UTC));

    QDateTime now() const override { return now_; }
    ScheduledAction schedule(std::chrono::milliseconds delay, QObject* context,
                             std::function<void()> action) override;

    // Moves time forward, running every action that falls due on the way, in time order,
    // including those that the actions themselves schedule within the span.
    void advance(std::chrono::milliseconds span);
    void setNow(const QDateTime& now) { now_ = now; }
    int pendingCount() const;

private:
    struct Entry {
        QDateTime due;
        quint64 sequence;
        QPointer<QObject> context;
        bool hasContext;
        std::shared_ptr<bool> cancelled;
        std::function<void()> action;
    };
    QDateTime now_;
    quint64 nextSequence_ = 0;
    std::vector<Entry> entries_;
};
