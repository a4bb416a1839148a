#pragma once

#include <QDateTime>
#include <QString>
#include <chrono>

// The time since a moment in its two largest units, as the list rows show it after "Created ":
// "2 hours, 5 minutes", "3 days", "1 minute, 4 seconds". A moment in the future reads as now.
namespace ElapsedTime {
QString text(const QDateTime& since, const QDateTime& now);
// How long until text() changes: the smaller of its two units, less what has passed of it.
std::chrono::milliseconds untilNextChange(const QDateTime& since, const QDateTime& now);
} // namespace ElapsedTime
