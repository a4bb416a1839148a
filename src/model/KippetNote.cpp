#include "model/KippetNote.h"

#include "model/JsonCoding.h"
#include "model/KippetError.h"

using namespace JsonCoding;

namespace {
QJsonObject frameToJson(const KippetNote::WindowFrame& frame) {
    return QJsonObject{{QStringLiteral("originX"), frame.originX},
                       {QStringLiteral("originY"), frame.originY},
                       {QStringLiteral("width"), frame.width},
                       {QStringLiteral("height"), frame.height}};
}

KippetNote::WindowFrame decodeFrame(const QJsonValue& value, const QString& key) {
    if (!value.isObject()) {
        throw JsonDecodingError(QStringLiteral("The value of \"%1\" is not an object.").arg(key));
    }
    const QJsonObject object = value.toObject();
    const auto number = [&object](const char* name) {
        const QString field = QString::fromLatin1(name);
        return decodeNumber(required(object, field), field);
    };
    return {number("originX"), number("originY"), number("width"), number("height")};
}
} // namespace

KippetNote KippetNote::empty(const QDateTime& now) {
    return KippetNote{QString(), now, std::nullopt};
}

QJsonObject KippetNote::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("text"), text);
    object.insert(QStringLiteral("updatedAt"), encodeDate(updatedAt));
    if (windowFrame) {
        object.insert(QStringLiteral("windowFrame"), frameToJson(*windowFrame));
    }
    return object;
}

KippetNote KippetNote::fromJson(const QJsonObject& object) {
    KippetNote note;
    note.text = decodeString(required(object, QStringLiteral("text")), QStringLiteral("text"));
    note.updatedAt =
        decodeDate(required(object, QStringLiteral("updatedAt")), QStringLiteral("updatedAt"));
    note.windowFrame = decodeOptional(object, QStringLiteral("windowFrame"), decodeFrame);
    return note;
}
