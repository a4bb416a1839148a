#include "analysis/ContentTypes.h"

#include <QMimeDatabase>

std::optional<QString> ContentTypes::mimeTypeForFile(const QString& path) {
    // By the name alone, as the desktop's file types go: sniffing the content would read every
    // dropped file once more, and a large import many times over.
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault())
        return std::nullopt;
    return type.name();
}

bool ContentTypes::isImageMimeType(const QString& mimeType) {
    return mimeType.startsWith(QLatin1String("image/"));
}

QString ContentTypes::pathExtension(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return {};
    return fileName.mid(dot + 1);
}

QString ContentTypes::imageMimeTypeForExtension(const QString& lowerCasedExtension) {
    if (lowerCasedExtension == QLatin1String("jpg") || lowerCasedExtension == QLatin1String("jpeg"))
        return QStringLiteral("image/jpeg");
    if (lowerCasedExtension == QLatin1String("gif"))
        return QStringLiteral("image/gif");
    if (lowerCasedExtension == QLatin1String("webp"))
        return QStringLiteral("image/webp");
    if (lowerCasedExtension == QLatin1String("heic"))
        return QStringLiteral("image/heic");
    return QStringLiteral("image/png");
}
