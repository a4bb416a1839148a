#pragma once

#include "model/ItemCategory.h"
#include "model/ItemMetadata.h"
#include "model/KippetItemType.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QUuid>
#include <optional>

// One thing saved in a kippet. id, type, content, metadata and addedDate are fixed once made.
struct KippetItem {
    QUuid id;
    KippetItemType type = KippetItemType::unknown;
    QByteArray content;
    ItemMetadata metadata;
    ItemCategory category = ItemCategory::uncategorized;
    std::optional<QString> customCategory;
    bool isProcessing = false;
    QDateTime addedDate;
    // Why the item's stored bytes cannot be read, when they cannot: its content is then empty and
    // it has no file to hand out. Known to the running app only; never stored or coded.
    std::optional<QString> unreadableBecause = std::nullopt;

    // Bytes compared by their shared buffer first: an item's bytes are fixed and shared, and
    // reading megabytes to compare an item with its own copy would stall every update.
    bool operator==(const KippetItem& other) const;

    // The trimmed AI title when it has text, else the name unchanged.
    QString displayTitle() const;
    // A file item whose content is UTF-8 text beginning with "file://".
    bool isFileReference() const;
    // Same content bytes and same name: the duplicate rule of the whole system.
    bool isDuplicateOf(const KippetItem& other) const;

    QJsonObject toJson() const;
    static KippetItem fromJson(const QJsonObject& object); // throws JsonDecodingError
};
