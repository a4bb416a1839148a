#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUuid>
#include <optional>

// The shared rules of Kippets' JSON: dates as ISO 8601 with whole seconds in UTC
// ("2026-01-15T09:30:00Z"), UUIDs as upper-case text, bytes as strict standard Base64.
// Readers throw JsonDecodingError naming the key.
namespace JsonCoding {
QString encodeDate(const QDateTime& date);
QString encodeUuid(const QUuid& id);
QString encodeBytes(const QByteArray& bytes);

QDateTime decodeDate(const QJsonValue& value, const QString& key);
QUuid decodeUuid(const QJsonValue& value, const QString& key);
QByteArray decodeBytes(const QJsonValue& value, const QString& key);
QString decodeString(const QJsonValue& value, const QString& key);
bool decodeBool(const QJsonValue& value, const QString& key);
double decodeNumber(const QJsonValue& value, const QString& key);
// A number without a fractional part that fits 64 bits.
qint64 decodeInteger(const QJsonValue& value, const QString& key);

// The value under key; throws when it is absent or null.
QJsonValue required(const QJsonObject& object, const QString& key);
// True when the key is absent or null (an optional key then reads as absent).
bool isAbsent(const QJsonObject& object, const QString& key);

// An optional key: absent or null reads as nothing, a present value goes through decode (which
// throws when its form is wrong).
template <typename Decode>
auto decodeOptional(const QJsonObject& object, const QString& key, Decode decode)
    -> std::optional<decltype(decode(QJsonValue(), key))> {
    if (isAbsent(object, key)) {
        return std::nullopt;
    }
    return decode(object.value(key), key);
}
} // namespace JsonCoding
