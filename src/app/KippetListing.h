#pragma once

#include "app/SortOrder.h"

#include <QCollator>
#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>

class Kippet;

// What the dashboard lists, worked out from the manager's list of every kippet each time it
// changes: the sorted kippets, the ones the search keeps, the count line and the daily rule.
namespace KippetListing {
// Compares names as "Alphabetical" sorts them: case-insensitive, in the locale's collation, or in
// the Unicode root collation where the locale has none.
QCollator nameCollator(const QLocale& locale = QLocale());
// A stable sort: kippets that compare equal keep their order in `kippets`. "Recently Closed"
// puts kippets with a last-closed date first (latest first), then the rest newest first;
// "Alphabetical" compares names case-insensitively in the locale's collation.
QList<Kippet*> sorted(QList<Kippet*> kippets, SortOrder order, const QLocale& locale = QLocale());
// The kippets whose name holds `searchText` exactly as typed (case aside), in their order; all
// of them for an empty text.
QList<Kippet*> filtered(const QList<Kippet*>& kippets, const QString& searchText);
bool matches(const Kippet& kippet, const QString& searchText);
// "3 of 12 kippets", "1 of 1 kippet".
QString countLine(qsizetype shown, qsizetype total);
// Some kippet, open or closed, is named exactly like the daily kippet of `now`'s local date.
bool hasDailyKippet(const QList<Kippet*>& kippets, const QDateTime& now);
} // namespace KippetListing
