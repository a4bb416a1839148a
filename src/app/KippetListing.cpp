#include "app/KippetListing.h"

#include "app/DailyKippet.h"
#include "model/Kippet.h"

#include <QCollator>
#include <algorithm>

namespace KippetListing {

namespace {
bool closedBefore(const Kippet* a, const Kippet* b) {
    const std::optional<QDateTime> aClosed = a->lastClosedDate();
    const std::optional<QDateTime> bClosed = b->lastClosedDate();
    if (aClosed && bClosed)
        return *aClosed > *bClosed;
    if (aClosed || bClosed)
        return aClosed.has_value();
    return a->createdDate() > b->createdDate();
}
} // namespace

QCollator nameCollator(const QLocale& locale) {
    // The C locale (what LANG=C.UTF-8 gives) has no collation of its own: Qt would compare code
    // points, putting "Ärger" after "zulu". English uses the Unicode root collation unchanged.
    QCollator collator(locale.language() == QLocale::C ? QLocale(QLocale::English) : locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

QList<Kippet*> sorted(QList<Kippet*> kippets, SortOrder order, const QLocale& locale) {
    switch (order) {
    case SortOrder::recentlyClosed:
        std::stable_sort(kippets.begin(), kippets.end(), closedBefore);
        break;
    case SortOrder::recentlyCreated:
        std::stable_sort(kippets.begin(), kippets.end(), [](const Kippet* a, const Kippet* b) {
            return a->createdDate() > b->createdDate();
        });
        break;
    case SortOrder::alphabetical: {
        const QCollator collator = nameCollator(locale);
        // Each name's sort key once, not twice per comparison.
        QList<std::pair<QCollatorSortKey, Kippet*>> keyed;
        keyed.reserve(kippets.size());
        for (Kippet* kippet : kippets)
            keyed.append({collator.sortKey(kippet->name()), kippet});
        std::stable_sort(keyed.begin(), keyed.end(),
                         [](const auto& a, const auto& b) { return a.first.compare(b.first) < 0; });
        for (qsizetype i = 0; i < keyed.size(); ++i)
            kippets[i] = keyed[i].second;
        break;
    }
    }
    return kippets;
}

bool matches(const Kippet& kippet, const QString& searchText) {
    return searchText.isEmpty() || kippet.name().contains(searchText, Qt::CaseInsensitive);
}

QList<Kippet*> filtered(const QList<Kippet*>& kippets, const QString& searchText) {
    if (searchText.isEmpty())
        return kippets;
    QList<Kippet*> kept;
    for (Kippet* kippet : kippets)
        if (matches(*kippet, searchText))
            kept.append(kippet);
    return kept;
}

QString countLine(qsizetype shown, qsizetype total) {
    return QStringLiteral("%1 of %2 %3")
        .arg(shown)
        .arg(total)
        .arg(total == 1 ? QStringLiteral("kippet") : QStringLiteral("kippets"));
}

bool hasDailyKippet(const QList<Kippet*>& kippets, const QDateTime& now) {
    const QString name = dailyKippetName(now.toLocalTime().date());
    return std::any_of(kippets.begin(), kippets.end(),
                       [&name](const Kippet* kippet) { return kippet->name() == name; });
}

} // namespace KippetListing
