#include "platform/RelativeTime.h"

namespace RelativeTime {

namespace {
struct Unit {
    qint64 seconds;
    const char* one;
    const char* many;
};

// Months and years by their average length: the wording needs only the whole count.
constexpr Unit units[] = {
    {365LL * 24 * 3600, "yr.", "yr."},
    {30LL * 24 * 3600, "mo.", "mo."},
    {7LL * 24 * 3600, "wk.", "wk."},
    {24LL * 3600, "day", "days"},
    {3600, "hr.", "hr."},
    {60, "min.", "min."},
    {1, "sec.", "sec."},
};
} // namespace

QString abbreviated(const QDateTime& date, const QDateTime& now) {
    const qint64 difference = date.secsTo(now);
    const qint64 magnitude = difference < 0 ? -difference : difference;
    for (const Unit& unit : units) {
        const qint64 count = magnitude / unit.seconds;
        if (count == 0 && unit.seconds > 1)
            continue;
        const QString amount = QStringLiteral("%1 %2").arg(count).arg(
            QString::fromLatin1(count == 1 ? unit.one : unit.many));
        // The moment itself reads as past: a note saved this second was not written "in 0 sec.".
        if (difference >= 0)
            return amount + QStringLiteral(" ago");
        return QStringLiteral("in ") + amount;
    }
    return {};
}

} // namespace RelativeTime
