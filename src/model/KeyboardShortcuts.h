#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMetaType>
#include <QString>
#include <optional>

// The single keys a kippet window answers to. Any text is held as given: no validation.
struct KeyboardShortcuts {
    // The preference that holds the user's choice as JSON bytes.
    static inline const QString preferenceKey = QStringLiteral("custom_keyboard_shortcuts");

    QString todos = QStringLiteral("t");
    QString notes = QStringLiteral("n");
    QString import = QStringLiteral("i");
    QString paste = QStringLiteral("v");
    QString expand = QStringLiteral("e");
    QString mini = QStringLiteral("m");
    QString dashboard = QStringLiteral("d");

    bool operator==(const KeyboardShortcuts&) const = default;

    QJsonObject toJson() const;
    // All seven keys as strings, or JsonDecodingError: no field falls back to its default.
    static KeyboardShortcuts fromJson(const QJsonObject& object);

    // The stored form under preferenceKey.
    QByteArray toJsonBytes() const;
    // Nothing when the bytes are not a JSON object that decodes.
    static std::optional<KeyboardShortcuts> fromJsonBytes(const QByteArray& bytes);
};

Q_DECLARE_METATYPE(KeyboardShortcuts)
