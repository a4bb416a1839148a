#include "model/JsonCoding.h"

#include "model/KippetError.h"

#include <QCborValue>
#include <cmath>

namespace JsonCoding {
namespace {
[[noreturn]] void fail(const QString& key, const QString& reason) {
    throw JsonDecodingError(QStringLiteral("The value of \"%1\" %2.").arg(key, reason));
}
} // namespace

QString encodeDate(const QDateTime& date) {
    // Whole seconds only: readers that expect the plain internet form reject fractions.
    QDateTime utc = date.toUTC();
    utc.setTime(QTime(utc.time().hour(), utc.time().minute(), utc.time().second()));
    return utc.toString(Qt::ISODate);
}

QString encodeUuid(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QString encodeBytes(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toBase64());
}

QDateTime decodeDate(const QJsonValue& value, const QString& key) {
    const QString text = decodeString(value, key);
    const QDateTime date = QDateTime::fromString(text, Qt::ISODateWithMs);
    // A time without a zone names no instant; refusing it beats guessing the reader's zone.
    if (!date.isValid() || date.timeSpec() == Qt::LocalTime) {
        fail(key, QStringLiteral("is not an ISO 8601 date with a time zone"));
    }
    return date.toUTC();
}

QUuid decodeUuid(const QJsonValue& value, const QString& key) {
    const QUuid id = QUuid::fromString(decodeString(value, key));
    if (id.isNull()) {
        fail(key, QStringLiteral("is not a UUID"));
    }
    return id;
}

QByteArray decodeBytes(const QJsonValue& value, const QString& key) {
    const QString text = decodeString(value, key);
    // Standard Base64 is always padded to whole groups of four; Qt alone would accept less.
    if (!QtPrivate::isAscii(text) || text.size() % 4 != 0) {
        fail(key, QStringLiteral("is not Base64 text"));
    }
    auto result =
        QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!result) {
        fail(key, QStringLiteral("is not Base64 text"));
    }
    return result.decoded;
}

QString decodeString(const QJsonValue& value, const QString& key) {
    if (!value.isString()) {
        fail(key, QStringLiteral("is not a string"));
    }
    return value.toString();
}

bool decodeBool(const QJsonValue& value, const QString& key) {
    if (!value.isBool()) {
        fail(key, QStringLiteral("is not a Boolean"));
    }
    return value.toBool();
}

double decodeNumber(const QJsonValue& value, const QString& key) {
    if (!value.isDouble()) {
        fail(key, QStringLiteral("is not a number"));
    }
    return value.toDouble();
}

qint64 decodeInteger(const QJsonValue& value, const QString& key) {
    // The parser keeps a number written without fraction or exponent that fits 64 bits as an
    // integer; taken as a double it would lose every value above 2^53.
    const QCborValue exact = QCborValue::fromJsonValue(value);
    if (exact.isInteger())
        return exact.toInteger();
    const double number = decodeNumber(value, key);
    // 2^63 itself is out of range; every double below it converts exactly.
    if (number != std::trunc(number) || number < -9223372036854775808.0 ||
        number >= 9223372036854775808.0) {
        fail(key, QStringLiteral("is not a whole number"));
    }
    return static_cast<qint64>(number);
}

QJsonValue required(const QJsonObject& object, const QString& key) {
    if (isAbsent(object, key)) {
        throw JsonDecodingError(QStringLiteral("The key \"%1\" is missing.").arg(key));
    }
    return object.value(key);
}

bool isAbsent(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    return value.isUndefined() || value.isNull();
}
} // namespace JsonCoding
