#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <optional>

// The category an analysis assigns; the raw value is both the stored form and the section title.
enum class ItemCategory {
    notes,
    links,
    images,
    pdfs,
    spreadsheets,
    presentations,
    colors,
    code,
    designAssets,
    documents,
    media,
    archives,
    references,
    uncategorized,
    waitingForAnalysis
};

QString rawValue(ItemCategory category);
// Exact, case-sensitive match of a raw value; nothing otherwise (no legacy names).
std::optional<ItemCategory> itemCategoryFromRaw(const QString& raw);
// The lenient reading used for JSON: "Websites" → links, "Research" → documents, else
// uncategorized.
ItemCategory itemCategoryFromJson(const QString& raw);
// The symbol name that represents the category.
QString categoryIcon(ItemCategory category);
// Every category in iteration order.
const QList<ItemCategory>& allItemCategories();

Q_DECLARE_METATYPE(ItemCategory)
