#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

struct ItemMetadata {
    QString name;
    std::optional<QString> fileExtension;
    std::optional<qint64> fileSize;
    std::optional<QByteArray> thumbnail;
    std::optional<QString> urlString;
    std::optional<QString> mimeType;
    std::optional<QString> aiTitle;
    std::optional<QString> aiDescription;
    std::optional<QStringList> aiTags;

    // The thumbnail compared by its shared buffer first (see KippetItem).
    bool operator==(const ItemMetadata& other) const;

    QJsonObject toJson() const;
    // Throws JsonDecodingError when a required key is missing or a present value has the wrong
    // form.
    static ItemMetadata fromJson(const QJsonObject& object);
};
