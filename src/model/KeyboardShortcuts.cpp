#include "model/KeyboardShortcuts.h"

#include "model/JsonCoding.h"
#include "model/KippetError.h"

#include <QJsonDocument>

using namespace JsonCoding;

QJsonObject KeyboardShortcuts::toJson() const {
    return QJsonObject{{QStringLiteral("todos"), todos},        {QStringLiteral("notes"), notes},
                       {QStringLiteral("import"), import},      {QStringLiteral("paste"), paste},
                       {QStringLiteral("expand"), expand},      {QStringLiteral("mini"), mini},
                       {QStringLiteral("dashboard"), dashboard}};
}

KeyboardShortcuts KeyboardShortcuts::fromJson(const QJsonObject& object) {
    const auto key = [&object](const char* name) {
        const QString field = QString::fromLatin1(name);
        return decodeString(required(object, field), field);
    };
    KeyboardShortcuts shortcuts;
    shortcuts.todos = key("todos");
    shortcuts.notes = key("notes");
    shortcuts.import = key("import");
    shortcuts.paste = key("paste");
    shortcuts.expand = key("expand");
    shortcuts.mini = key("mini");
    shortcuts.dashboard = key("dashboard");
    return shortcuts;
}

QByteArray KeyboardShortcuts::toJsonBytes() const {
    return QJsonDocument(toJson()).toJson(QJsonDocument::Compact);
}

std::optional<KeyboardShortcuts> KeyboardShortcuts::fromJsonBytes(const QByteArray& bytes) {
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isObject()) {
        return std::nullopt;
    }
    try {
        return fromJson(document.object());
    } catch (const JsonDecodingError&) {
        return std::nullopt;
    }
}
