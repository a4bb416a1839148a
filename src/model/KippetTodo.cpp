#include "model/KippetTodo.h"

#include "model/JsonCoding.h"
#include "model/KippetError.h"

#include <limits>

using namespace JsonCoding;

namespace {
int decodeOrder(const QJsonValue& value, const QString& key) {
    const qint64 order = decodeInteger(value, key);
    if (order < std::numeric_limits<int>::min() || order > std::numeric_limits<int>::max()) {
        throw JsonDecodingError(QStringLiteral("The value of \"%1\" is out of range.").arg(key));
    }
    return static_cast<int>(order);
}
} // namespace

QJsonObject KippetTodo::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("id"), encodeUuid(id));
    object.insert(QStringLiteral("text"), text);
    object.insert(QStringLiteral("isDone"), isDone);
    object.insert(QStringLiteral("createdAt"), encodeDate(createdAt));
    if (completionTransitionDeadline) {
        object.insert(QStringLiteral("completionTransitionDeadline"),
                      encodeDate(*completionTransitionDeadline));
    }
    if (order) {
        object.insert(QStringLiteral("order"), *order);
    }
    return object;
}

KippetTodo KippetTodo::fromJson(const QJsonObject& object) {
    const auto field = [&object](const char* key, auto decode) {
        const QString name = QString::fromLatin1(key);
        return decode(required(object, name), name);
    };
    KippetTodo todo;
    todo.id = field("id", decodeUuid);
    todo.text = field("text", decodeString);
    todo.isDone = field("isDone", decodeBool);
    todo.createdAt = field("createdAt", decodeDate);
    todo.completionTransitionDeadline =
        decodeOptional(object, QStringLiteral("completionTransitionDeadline"), decodeDate);
    todo.order = decodeOptional(object, QStringLiteral("order"), decodeOrder);
    return todo;
}
