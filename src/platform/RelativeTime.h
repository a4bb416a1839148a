#pragma once

#include <QDateTime>
#include <QString>

// A moment against now in its largest whole unit, abbreviated: "2 min. ago", "1 hr. ago",
// "3 days ago", "in 5 sec."; the present, and less than a second ahead, reads "0 sec. ago".
namespace RelativeTime {
QString abbreviated(const QDateTime& date, const QDateTime& now);
}
