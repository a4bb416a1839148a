#include "model/KippetItemModel.h"

#include "platform/Clock.h"

namespace {
// The given values on a row of initial values; addedDate is the caller's.
KippetItemModel withValues(const QUuid& id, KippetItemType type, const QByteArray& content,
                           const ItemMetadata& metadata, ItemCategory category) {
    KippetItemModel row;
    row.id = id;
    row.typeRaw = rawValue(type);
    row.content = content;
    row.setMetadata(metadata);
    row.categoryRaw = rawValue(category);
    return row;
}
} // namespace

KippetItemModel KippetItemModel::make(const QUuid& id, KippetItemType type,
                                      const QByteArray& content, const ItemMetadata& metadata,
                                      ItemCategory category) {
    KippetItemModel row = withValues(id, type, content, metadata, category);
    row.addedDate = Clock::shared().now();
    return row;
}

// Reads no clock, like KippetModel::fromDomain.
KippetItemModel KippetItemModel::fromDomain(const KippetItem& item) {
    KippetItemModel row =
        withValues(item.id, item.type, item.content, item.metadata, item.category);
    row.addedDate = item.addedDate;
    row.customCategory = item.customCategory;
    row.isProcessing = item.isProcessing;
    return row;
}

KippetItemType KippetItemModel::type() const {
    return kippetItemTypeFromRaw(typeRaw).value_or(KippetItemType::unknown);
}

ItemCategory KippetItemModel::category() const {
    return itemCategoryFromRaw(categoryRaw).value_or(ItemCategory::uncategorized);
}

ItemMetadata KippetItemModel::metadata() const {
    ItemMetadata metadata;
    metadata.name = metadataName;
    metadata.fileExtension = metadataFileExtension;
    metadata.fileSize = metadataFileSize;
    metadata.thumbnail = metadataThumbnail;
    metadata.urlString = metadataUrlString;
    metadata.mimeType = metadataMimeType;
    metadata.aiTitle = metadataAiTitle;
    metadata.aiDescription = metadataAiDescription;
    metadata.aiTags = metadataAiTags;
    return metadata;
}

void KippetItemModel::setMetadata(const ItemMetadata& metadata) {
    metadataName = metadata.name;
    metadataFileExtension = metadata.fileExtension;
    metadataFileSize = metadata.fileSize;
    metadataThumbnail = metadata.thumbnail;
    metadataUrlString = metadata.urlString;
    metadataMimeType = metadata.mimeType;
    metadataAiTitle = metadata.aiTitle;
    metadataAiDescription = metadata.aiDescription;
    metadataAiTags = metadata.aiTags;
}

KippetItem KippetItemModel::toDomain() const {
    KippetItem item;
    item.id = id;
    item.type = type();
    item.content = content;
    item.metadata = metadata();
    item.category = category();
    item.customCategory = customCategory;
    item.isProcessing = isProcessing;
    item.addedDate = addedDate;
    item.unreadableBecause = contentUnreadableBecause;
    return item;
}
