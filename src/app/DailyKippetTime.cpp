#include "app/DailyKippetTime.h"

#include "platform/Preferences.h"

namespace {
const QString hourKey = QStringLiteral("daily_kippet_hour");
const QString hourSetKey = QStringLiteral("daily_kippet_hour_set");
const QString minuteKey = QStringLiteral("daily_kippet_minute");
} // namespace

namespace DailyKippetTime {

int scheduledHour(const Preferences& preferences) {
    const int hour = preferences.intOr(hourKey, 0);
    if (hour == 0 && !preferences.boolOr(hourSetKey, false))
        return defaultHour;
    return hour;
}

int scheduledMinute(const Preferences& preferences) {
    return preferences.intOr(minuteKey, 0);
}

QTime scheduledTime(const Preferences& preferences) {
    const QTime time(scheduledHour(preferences), scheduledMinute(preferences));
    return time.isValid() ? time : QTime(defaultHour, 0);
}

void setScheduledHour(Preferences& preferences, int hour) {
    preferences.setInt(hourKey, hour);
    preferences.setBool(hourSetKey, true);
}

void setScheduledTime(Preferences& preferences, const QTime& time) {
    setScheduledHour(preferences, time.isValid() ? time.hour() : defaultHour);
    preferences.setInt(minuteKey, time.isValid() ? time.minute() : 0);
}

} // namespace DailyKippetTime
