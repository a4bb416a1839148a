#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <optional>

struct KippetNote {
    // Where the note editor window was last placed, in screen coordinates.
    struct WindowFrame {
        double originX = 0;
        double originY = 0;
        double width = 0;
        double height = 0;
        bool operator==(const WindowFrame&) const = default;
    };

    QString text;
    QDateTime updatedAt;
    std::optional<WindowFrame> windowFrame;

    bool operator==(const KippetNote&) const = default;

    static KippetNote empty(const QDateTime& now);
    QJsonObject toJson() const;
    static KippetNote fromJson(const QJsonObject& object); // throws JsonDecodingError
};
