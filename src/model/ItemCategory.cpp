#include "model/ItemCategory.h"

#include <QHash>

#include <array>

namespace {
struct CategoryInfo {
    ItemCategory category;
    const char* raw;
    const char* icon;
};

constexpr std::array<CategoryInfo, 15> kCategories{{
    {ItemCategory::notes, "Notes", "note.text"},
    {ItemCategory::links, "Links", "link.circle.fill"},
    {ItemCategory::images, "Images", "photo.stack"},
    {ItemCategory::pdfs, "PDFs", "doc.fill"},
    {ItemCategory::spreadsheets, "Spreadsheets", "tablecells"},
    {ItemCategory::presentations, "Presentations", "rectangle.on.rectangle.angled"},
    {ItemCategory::colors, "Colors", "paintpalette"},
    {ItemCategory::code, "Code", "chevron.left.forwardslash.chevron.right"},
    {ItemCategory::designAssets, "Design Assets", "square.on.circle"},
    {ItemCategory::documents, "Documents", "doc.text.fill"},
    {ItemCategory::media, "Media", "play.circle.fill"},
    {ItemCategory::archives, "Archives", "archivebox.fill"},
    {ItemCategory::references, "References", "bookmark.fill"},
    {ItemCategory::uncategorized, "Uncategorized", "tray.fill"},
    {ItemCategory::waitingForAnalysis, "Waiting for Analysis", "clock.arrow.circlepath"},
}};

const CategoryInfo& infoOf(ItemCategory category) {
    for (const auto& info : kCategories) {
        if (info.category == category) {
            return info;
        }
    }
    return kCategories[13]; // uncategorized
}
} // namespace

QString rawValue(ItemCategory category) {
    return QString::fromUtf8(infoOf(category).raw);
}

std::optional<ItemCategory> itemCategoryFromRaw(const QString& raw) {
    // Looked up for every item a store load reads: by hash, not by comparing each name.
    static const QHash<QString, ItemCategory> byRaw = [] {
        QHash<QString, ItemCategory> table;
        for (const auto& info : kCategories)
            table.insert(QString::fromLatin1(info.raw), info.category);
        return table;
    }();
    const auto found = byRaw.constFind(raw);
    if (found == byRaw.constEnd())
        return std::nullopt;
    return *found;
}

ItemCategory itemCategoryFromJson(const QString& raw) {
    // Older stores wrote these two names before the categories were renamed.
    if (raw == QLatin1String("Websites")) {
        return ItemCategory::links;
    }
    if (raw == QLatin1String("Research")) {
        return ItemCategory::documents;
    }
    return itemCategoryFromRaw(raw).value_or(ItemCategory::uncategorized);
}

QString categoryIcon(ItemCategory category) {
    return QString::fromLatin1(infoOf(category).icon);
}

const QList<ItemCategory>& allItemCategories() {
    static const QList<ItemCategory> all = [] {
        QList<ItemCategory> list;
        for (const auto& info : kCategories) {
            list.append(info.category);
        }
        return list;
    }();
    return all;
}
