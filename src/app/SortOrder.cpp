#include "app/SortOrder.h"

#include "ui/SymbolNames.h"

const QList<SortOrder>& allSortOrders() {
    static const QList<SortOrder> orders{SortOrder::recentlyClosed, SortOrder::recentlyCreated,
                                         SortOrder::alphabetical};
    return orders;
}

QString rawValue(SortOrder order) {
    switch (order) {
    case SortOrder::recentlyClosed:
        return QStringLiteral("Recently Closed");
    case SortOrder::recentlyCreated:
        return QStringLiteral("Recently Created");
    case SortOrder::alphabetical:
        return QStringLiteral("Alphabetical");
    }
    return {};
}

QString symbolName(SortOrder order) {
    switch (order) {
    case SortOrder::recentlyClosed:
        return SymbolNames::clockArrowCirclepath;
    case SortOrder::recentlyCreated:
        return SymbolNames::clock;
    case SortOrder::alphabetical:
        return SymbolNames::textformat;
    }
    return {};
}

std::optional<SortOrder> sortOrderFromRawValue(const QString& raw) {
    for (SortOrder order : allSortOrders())
        if (rawValue(order) == raw)
            return order;
    return std::nullopt;
}
