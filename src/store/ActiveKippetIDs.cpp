#include "store/ActiveKippetIDs.h"
#include "model/JsonCoding.h"

#include <QJsonArray>
#include <QJsonDocument>

QByteArray ActiveKippetIDs::encode(const QSet<QUuid>& ids) {
    QJsonArray array;
    for (const QUuid& id : ids)
        array.append(JsonCoding::encodeUuid(id));
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QSet<QUuid>> ActiveKippetIDs::decode(const QByteArray& data) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QSet<QUuid> ids;
    for (const QJsonValue& value : document.array()) {
        const QString text = value.toString();
        // Only the 36-character form counts, as the list was written.
        const QUuid id = QUuid::fromString(text);
        if (!value.isString() || text.size() != 36 || id.isNull())
            return std::nullopt;
        ids.insert(id);
    }
    return ids;
}
