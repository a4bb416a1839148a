#include "model/KippetItemModel.h"

#include "platform/Clock.h"

KippetItemModel KippetItemModel::make(const QUuid& id, KippetItemType type,
                                      const QByteArray& content, const ItemMetadata& metadata,
                                      ItemCategory category) {
    KippetItemModel row;
    row.id = id;
    row.typeRaw = rawValue(type);
    row.content = content;
    row.setMetadata(metadata);
    row.categoryRaw = rawValue(category);
    row.addedDate = Clock::shared().now();
    return row;
}

KippetItemModel KippetItemModel::fromDomain(const KippetItem& item) {
    KippetItemModel row = make(item.id, item.type, item.content, item.metadata, item.category);
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

QString KippetItemModel::contentSignature() const {
    return QString::fromLatin1((content + metadataName.toUtf8()).toBase64());
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
    return item;
}
