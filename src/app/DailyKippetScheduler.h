#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QTime>
#include <chrono>
#include <optional>

class ClockTimer;
class Kippet;

// Makes one daily kippet per local calendar day, at the first check at or after the chosen time,
// and on demand. The settings live only in the preferences, so every read goes there; checks run
// once a minute on a repeating timer of the shared clock while the feature is on. GUI thread only.
class DailyKippetScheduler : public QObject {
    Q_OBJECT
public:
    static inline const QString enabledKey = QStringLiteral("daily_kippet_enabled");
    static inline const QString lastCreatedDateKey =
        QStringLiteral("daily_kippet_last_created_date");
    static constexpr std::chrono::seconds checkInterval{60};

    DailyKippetScheduler();
    ~DailyKippetScheduler() override;

    static DailyKippetScheduler& shared();
    static void install(DailyKippetScheduler* scheduler);
    static bool isInstalled();

    bool isEnabled() const;
    // Writes the switch; on starts the timer (no check at once), off stops it.
    void setIsEnabled(bool enabled);

    int scheduledHour() const;
    // Also marks the hour as chosen, so a chosen midnight stays 0.
    void setScheduledHour(int hour);
    int scheduledMinute() const;
    QTime scheduledTime() const;
    void setScheduledTime(const QTime& time);

    // Stored as text; anything unreadable there counts as never created.
    std::optional<QDateTime> lastCreatedDate() const;
    void setLastCreatedDate(const std::optional<QDateTime>& date);

    // Replaces the running timer, never adds one: the first timed check comes a minute later.
    void start();
    bool isRunning() const;
    void checkAndCreateIfNeeded();
    // Always makes one, whatever the switch or today's kippets; nullptr when the store refused
    // (logged), in which case no date is recorded and the next check tries again. The window is
    // shown after the caller's turn of the event loop and takes the keyboard: the user asked.
    Kippet* createDailyKippet();

private:
    enum class Keyboard { take, leave };

    void stop();
    Kippet* createDailyKippet(Keyboard keyboard);

    QPointer<ClockTimer> timer_;
};
