#include "dashboard/ElapsedTime.h"

#include <QStringList>
#include <array>

namespace ElapsedTime {

namespace {
struct Unit {
    qint64 seconds;
    const char* singular;
    const char* plural;
};

constexpr qint64 minute = 60;
constexpr qint64 hour = 60 * minute;
constexpr qint64 day = 24 * hour;
constexpr std::array<Unit, 7> units{{{365 * day, "year", "years"},
                                     {30 * day, "month", "months"},
                                     {7 * day, "week", "weeks"},
                                     {day, "day", "days"},
                                     {hour, "hour", "hours"},
                                     {minute, "minute", "minutes"},
                                     {1, "second", "seconds"}}};

qint64 elapsedSeconds(const QDateTime& since, const QDateTime& now) {
    return std::max<qint64>(0, since.secsTo(now));
}

std::size_t largestUnit(qint64 seconds) {
    for (std::size_t i = 0; i < units.size(); ++i)
        if (seconds >= units[i].seconds)
            return i;
    return units.size() - 1;
}

QString amount(qint64 count, const Unit& unit) {
    return QStringLiteral("%1 %2").arg(count).arg(
        QString::fromLatin1(count == 1 ? unit.singular : unit.plural));
}
} // namespace

QString text(const QDateTime& since, const QDateTime& now) {
    const qint64 seconds = elapsedSeconds(since, now);
    const std::size_t first = largestUnit(seconds);
    const qint64 firstCount = seconds / units[first].seconds;
    QStringList parts{amount(firstCount, units[first])};
    if (first + 1 < units.size()) {
        const Unit& second = units[first + 1];
        const qint64 secondCount = (seconds % units[first].seconds) / second.seconds;
        if (secondCount > 0)
            parts.append(amount(secondCount, second));
    }
    return parts.join(QStringLiteral(", "));
}

std::chrono::milliseconds untilNextChange(const QDateTime& since, const QDateTime& now) {
    const qint64 elapsed = std::max<qint64>(0, since.msecsTo(now));
    const std::size_t first = largestUnit(elapsed / 1000);
    const qint64 larger = units[first].seconds * 1000;
    const qint64 smaller = first + 1 < units.size() ? units[first + 1].seconds * 1000 : larger;
    // The smaller unit counts what is left over of the larger one, and a year is no whole number
    // of months, nor a month of weeks: the ticks start again at each larger unit.
    const qint64 leftOver = elapsed % larger;
    qint64 next = std::min((leftOver / smaller + 1) * smaller, larger) - leftOver;
    // The next larger unit takes over: "12 months" turns into "1 year" on the 365th day.
    if (first > 0)
        next = std::min(next, units[first - 1].seconds * 1000 - elapsed);
    return std::chrono::milliseconds(next);
}

} // namespace ElapsedTime
