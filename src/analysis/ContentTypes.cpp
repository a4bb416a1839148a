#include "analysis/ContentTypes.h"

#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QMutex>
#include <algorithm>

namespace {
std::optional<QString> mimeTypeForName(const QString& fileName) {
    const QMimeType type = QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault())
        return std::nullopt;
    return type.name();
}
} // namespace

std::optional<QString> ContentTypes::mimeTypeForFile(const QString& path) {
    // By the name alone, as the desktop's file types go: sniffing the content would read every
    // dropped file once more, and a large import many times over.
    // The database crashes on some such names (a NUL before an extension).
    if (hasControlCharacters(path))
        return std::nullopt;
    const QString fileName = QFileInfo(path).fileName();
    const qsizetype dot = fileName.indexOf(QLatin1Char('.'), 1);
    if (dot < 0)
        return mimeTypeForName(fileName);
    // A named file's type follows its extensions, so each distinct extension is looked up once: the
    // database tries some of its patterns as regular expressions, built anew for every name, which
    // made type look-ups a large part of importing many files.
    const QString key = fileName.mid(dot).toLower();
    static QMutex mutex;
    static QHash<QString, std::optional<QString>> byExtensions;
    const QMutexLocker lock(&mutex);
    if (const auto known = byExtensions.constFind(key); known != byExtensions.cend())
        return *known;
    const std::optional<QString> type = mimeTypeForName(QStringLiteral("file") + key);
    byExtensions.insert(key, type);
    return type;
}

bool ContentTypes::hasControlCharacters(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(), [](QChar character) {
        const char16_t code = character.unicode();
        return code < 0x20 || (code >= 0x7f && code <= 0x9f);
    });
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
