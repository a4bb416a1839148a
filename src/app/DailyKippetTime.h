#pragma once

#include <QTime>

class Preferences;

// The time of day after which the daily kippet is made, as stored: "daily_kippet_hour" with its
// "daily_kippet_hour_set" flag (a chosen midnight stays 0, an hour never chosen reads 8) and
// "daily_kippet_minute".
namespace DailyKippetTime {
inline constexpr int defaultHour = 8;

int scheduledHour(const Preferences& preferences);
int scheduledMinute(const Preferences& preferences);
QTime scheduledTime(const Preferences& preferences);
// Stores the hour and marks it chosen.
void setScheduledHour(Preferences& preferences, int hour);
// Stores the hour, marks it chosen, and stores the minute.
void setScheduledTime(Preferences& preferences, const QTime& time);
} // namespace DailyKippetTime
