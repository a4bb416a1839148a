#pragma once

#include <QDateTime>
#include <QString>
#include <chrono>

// The time since a moment in its two largest units, as the list rows show it after "Created ":
// "2 hours, 5 minutes", "3 days", "1 minute, 4 seconds". A moment in the future reads as now.
namespace ElapsedTime {
QString text(const QDateTime& since, const QDateTime& now);
// How long until text() changes: the next whole smaller unit within the larger one, the next
// larger unit, or the next unit above them, whichever comes first.
std::chrono::milliseconds untilNextChange(const QDateTime& since, const QDateTime& now);
} // namespace ElapsedTime
