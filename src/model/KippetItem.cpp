#include "model/KippetItem.h"

#include "model/JsonCoding.h"
#include "model/KippetError.h"
#include "model/SharedBytes.h"
#include "model/Utf8.h"

using namespace JsonCoding;

QString KippetItem::displayTitle() const {
    if (metadata.aiTitle) {
        const QString trimmed = metadata.aiTitle->trimmed();
        if (!trimmed.isEmpty()) {
            return trimmed;
        }
    }
    return metadata.name;
}

bool KippetItem::isFileReference() const {
    if (type != KippetItemType::file) {
        return false;
    }
    // The prefix first: a file's own bytes are usually large and need no UTF-8 check.
    return content.startsWith("file://") && decodeUtf8(content).has_value();
}

bool KippetItem::operator==(const KippetItem& other) const {
    return id == other.id && type == other.type && category == other.category &&
           isProcessing == other.isProcessing && addedDate == other.addedDate &&
           customCategory == other.customCategory && metadata == other.metadata &&
           unreadableBecause == other.unreadableBecause && sameBytes(content, other.content);
}

bool KippetItem::isDuplicateOf(const KippetItem& other) const {
    // Content and name compared apart: joined into one text, content "ab" named "c" would
    // collide with content "a" named "bc". Names first: they are short and usually differ. As
    // views: their equality compares memory, where QString's own orders characters, which made
    // this scan a visible part of importing many files.
    return QStringView(metadata.name) == QStringView(other.metadata.name) &&
           sameBytes(content, other.content);
}

QJsonObject KippetItem::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("id"), encodeUuid(id));
    object.insert(QStringLiteral("type"), rawValue(type));
    object.insert(QStringLiteral("content"), encodeBytes(content));
    object.insert(QStringLiteral("metadata"), metadata.toJson());
    object.insert(QStringLiteral("category"), rawValue(category));
    if (customCategory) {
        object.insert(QStringLiteral("customCategory"), *customCategory);
    }
    object.insert(QStringLiteral("isProcessing"), isProcessing);
    object.insert(QStringLiteral("addedDate"), encodeDate(addedDate));
    return object;
}

namespace {
KippetItemType decodeType(const QJsonValue& value, const QString& key) {
    const QString raw = decodeString(value, key);
    const auto type = kippetItemTypeFromRaw(raw);
    if (!type) {
        throw JsonDecodingError(QStringLiteral("\"%1\" is not an item type.").arg(raw));
    }
    return *type;
}

QJsonObject decodeObject(const QJsonValue& value, const QString& key) {
    if (!value.isObject()) {
        throw JsonDecodingError(QStringLiteral("The value of \"%1\" is not an object.").arg(key));
    }
    return value.toObject();
}
} // namespace

KippetItem KippetItem::fromJson(const QJsonObject& object) {
    const auto field = [&object](const char* key, auto decode) {
        const QString name = QString::fromLatin1(key);
        return decode(required(object, name), name);
    };
    KippetItem item;
    item.id = field("id", decodeUuid);
    item.type = field("type", decodeType);
    item.content = field("content", decodeBytes);
    item.metadata = ItemMetadata::fromJson(field("metadata", decodeObject));
    item.category = itemCategoryFromJson(field("category", decodeString));
    item.customCategory = decodeOptional(object, QStringLiteral("customCategory"), decodeString);
    item.isProcessing = field("isProcessing", decodeBool);
    item.addedDate = field("addedDate", decodeDate);
    return item;
}
