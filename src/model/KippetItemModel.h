#pragma once

#include "model/ItemCategory.h"
#include "model/ItemMetadata.h"
#include "model/KippetItem.h"
#include "model/KippetItemType.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <optional>

// The stored form of one item: ItemMetadata flattened into nine columns. `rowId` is the SQLite
// row the value was read from or written to (0: not stored yet); `id` is not unique in the store.
struct KippetItemModel {
    // A new row gets a fresh id.
    KippetItemModel() = default;
    // A row read back from the store: making a random id only to overwrite it cost a start
    // over thousands of rows a noticeable share of its time.
    explicit KippetItemModel(const QUuid& storedId) : id(storedId) {}

    qint64 rowId = 0;
    QUuid id = QUuid::createUuid();
    QString typeRaw = QStringLiteral("unknown");
    QByteArray content;
    QString metadataName;
    std::optional<QString> metadataFileExtension;
    std::optional<qint64> metadataFileSize;
    std::optional<QByteArray> metadataThumbnail;
    std::optional<QString> metadataUrlString;
    std::optional<QString> metadataMimeType;
    std::optional<QString> metadataAiTitle;
    std::optional<QString> metadataAiDescription;
    // Absent and an empty list are different values and both survive the store.
    std::optional<QStringList> metadataAiTags;
    QString categoryRaw = QStringLiteral("Uncategorized");
    std::optional<QString> customCategory;
    QDateTime addedDate;
    // Stored, so that an analysis cut short by quitting can be resumed at the next start.
    bool isProcessing = false;
    // Why the content kept beside the store could not be read when the row was (the content is
    // then empty); never written.
    std::optional<QString> contentUnreadableBecause;

    bool operator==(const KippetItemModel&) const = default;

    // A new unattached row: the given values, addedDate now (Clock::shared()), no custom category.
    static KippetItemModel make(const QUuid& id, KippetItemType type, const QByteArray& content,
                                const ItemMetadata& metadata, ItemCategory category);
    // make() with the item's values, then its addedDate, customCategory and isProcessing.
    static KippetItemModel fromDomain(const KippetItem& item);

    // `unknown` when typeRaw is no raw value.
    KippetItemType type() const;
    // Exact raw value only (no legacy names); `uncategorized` otherwise.
    ItemCategory category() const;
    ItemMetadata metadata() const;
    void setMetadata(const ItemMetadata& metadata);
    KippetItem toDomain() const;
};
