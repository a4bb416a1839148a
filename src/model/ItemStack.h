#pragma once

#include "model/ItemCategory.h"
#include "model/KippetItem.h"

#include <QList>
#include <QString>
#include <QUuid>

// One category section of a kippet window. Not coded.
struct ItemStack {
    QUuid id;
    ItemCategory category = ItemCategory::uncategorized;
    QList<KippetItem> items;

    bool operator==(const ItemStack&) const = default;

    // The first custom category found among the items, else the category's raw value.
    QString displayName() const;
};
