#include "model/ItemMetadata.h"

#include "model/JsonCoding.h"
#include "model/KippetError.h"
#include "model/SharedBytes.h"

#include <QJsonArray>

using namespace JsonCoding;

bool ItemMetadata::operator==(const ItemMetadata& other) const {
    const bool sameThumbnail = thumbnail.has_value() == other.thumbnail.has_value() &&
                               (!thumbnail || sameBytes(*thumbnail, *other.thumbnail));
    return name == other.name && fileExtension == other.fileExtension &&
           fileSize == other.fileSize && urlString == other.urlString &&
           mimeType == other.mimeType && aiTitle == other.aiTitle &&
           aiDescription == other.aiDescription && aiTags == other.aiTags && sameThumbnail;
}

namespace {
template <typename T, typename Encode>
void putOptional(QJsonObject& object, const QString& key, const std::optional<T>& value,
                 Encode encode) {
    if (value) {
        object.insert(key, encode(*value));
    }
}

QStringList decodeStringList(const QJsonValue& value, const QString& key) {
    if (!value.isArray()) {
        throw JsonDecodingError(QStringLiteral("The value of \"%1\" is not a list.").arg(key));
    }
    QStringList list;
    for (const QJsonValue& element : value.toArray()) {
        list.append(decodeString(element, key));
    }
    return list;
}
} // namespace

QJsonObject ItemMetadata::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("name"), name);
    const auto asText = [](const QString& text) { return QJsonValue(text); };
    putOptional(object, QStringLiteral("fileExtension"), fileExtension, asText);
    putOptional(object, QStringLiteral("fileSize"), fileSize,
                [](qint64 size) { return QJsonValue(size); });
    putOptional(object, QStringLiteral("thumbnail"), thumbnail,
                [](const QByteArray& bytes) { return QJsonValue(encodeBytes(bytes)); });
    putOptional(object, QStringLiteral("urlString"), urlString, asText);
    putOptional(object, QStringLiteral("mimeType"), mimeType, asText);
    putOptional(object, QStringLiteral("aiTitle"), aiTitle, asText);
    putOptional(object, QStringLiteral("aiDescription"), aiDescription, asText);
    putOptional(object, QStringLiteral("aiTags"), aiTags, [](const QStringList& tags) {
        return QJsonValue(QJsonArray::fromStringList(tags));
    });
    return object;
}

ItemMetadata ItemMetadata::fromJson(const QJsonObject& object) {
    ItemMetadata metadata;
    metadata.name = decodeString(required(object, QStringLiteral("name")), QStringLiteral("name"));
    metadata.fileExtension = decodeOptional(object, QStringLiteral("fileExtension"), decodeString);
    metadata.fileSize = decodeOptional(object, QStringLiteral("fileSize"), decodeInteger);
    metadata.thumbnail = decodeOptional(object, QStringLiteral("thumbnail"), decodeBytes);
    metadata.urlString = decodeOptional(object, QStringLiteral("urlString"), decodeString);
    metadata.mimeType = decodeOptional(object, QStringLiteral("mimeType"), decodeString);
    metadata.aiTitle = decodeOptional(object, QStringLiteral("aiTitle"), decodeString);
    metadata.aiDescription = decodeOptional(object, QStringLiteral("aiDescription"), decodeString);
    metadata.aiTags = decodeOptional(object, QStringLiteral("aiTags"), decodeStringList);
    return metadata;
}
