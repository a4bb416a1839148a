#pragma once

#include <QList>
#include <QString>
#include <optional>

// The dashboard's orders of its kippets, in the order the sort menu lists them.
enum class SortOrder { recentlyClosed, recentlyCreated, alphabetical };

const QList<SortOrder>& allSortOrders();
// "Recently Closed", "Recently Created", "Alphabetical".
QString rawValue(SortOrder order);
QString symbolName(SortOrder order);
std::optional<SortOrder> sortOrderFromRawValue(const QString& raw);
