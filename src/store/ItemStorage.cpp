#include "store/ItemStorage.h"

#include "model/JsonCoding.h"
#include "store/ItemFileError.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QMimeDatabase>
#include <QSaveFile>
#include <algorithm>

namespace {
bool isPlainExtension(const QString& extension) {
    if (extension.isEmpty()) {
        return false;
    }
    return std::all_of(extension.begin(), extension.end(),
                       [](QChar c) { return c.unicode() < 128 && c.isLetterOrNumber(); });
}

std::optional<QString> extensionOfMimeType(const QString& mimeType) {
    const QMimeType type = QMimeDatabase().mimeTypeForName(mimeType);
    if (!type.isValid() || type.preferredSuffix().isEmpty()) {
        return std::nullopt;
    }
    return type.preferredSuffix();
}

QString extensionOfImage(const QByteArray& content) {
    QBuffer buffer;
    buffer.setData(content);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    if (!reader.canRead() || format.isEmpty()) {
        return QStringLiteral("png");
    }
    return QString::fromLatin1(format).toLower();
}

std::optional<QString> declaredExtension(const KippetItem& item) {
    if (item.metadata.fileExtension) {
        const QString trimmed = item.metadata.fileExtension->trimmed();
        if (!trimmed.isEmpty()) {
            return trimmed;
        }
    }
    if (item.metadata.mimeType) {
        if (auto fromMime = extensionOfMimeType(*item.metadata.mimeType)) {
            return fromMime;
        }
    }
    if (item.type == KippetItemType::image) {
        return extensionOfImage(item.content);
    }
    return std::nullopt;
}

QUrl referencedLocation(const KippetItem& item) {
    const QString text = QString::fromUtf8(item.content);
    const QUrl url(text, QUrl::StrictMode);
    if (url.isValid() && !url.scheme().isEmpty()) {
        return url;
    }
    return QUrl::fromLocalFile(text);
}
} // namespace

ItemStorage::ItemStorage(QString root) : root_(std::move(root)) {}

QString ItemStorage::idText(const QUuid& id) {
    return JsonCoding::encodeUuid(id);
}

QString ItemStorage::folderPath(const QUuid& kippetId) const {
    return root_ + QStringLiteral("/KippetData/") + idText(kippetId);
}

QString ItemStorage::itemsDirectory(const QUuid& kippetId) const {
    const QString path = folderPath(kippetId);
    QDir().mkpath(path);
    return path;
}

std::optional<QString> ItemStorage::itemFileExtension(const KippetItem& item) {
    auto extension = declaredExtension(item);
    if (!extension || !isPlainExtension(*extension)) {
        return std::nullopt;
    }
    return extension;
}

QUrl ItemStorage::fileURL(const KippetItem& item, const QUuid& kippetId) const {
    if (item.isFileReference()) {
        return referencedLocation(item);
    }
    const QString base = itemsDirectory(kippetId) + QLatin1Char('/') + idText(item.id);
    QString target = base;
    if (const auto extension = itemFileExtension(item)) {
        target = base + QLatin1Char('.') + *extension;
        if (QFile::exists(base) && !QFile::exists(target)) {
            QFile::rename(base, target);
        }
    }
    if (!QFile::exists(target)) {
        QSaveFile file(target);
        if (!file.open(QIODevice::WriteOnly) || file.write(item.content) != item.content.size() ||
            !file.commit()) {
            throw ItemFileError(file.errorString());
        }
    }
    return QUrl::fromLocalFile(target);
}

void ItemStorage::writeNewItemFile(const KippetItem& item, const QUuid& kippetId) const {
    QFile file(itemsDirectory(kippetId) + QLatin1Char('/') + idText(item.id));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(item.content) != item.content.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.remove();
        throw ItemFileError(reason);
    }
}

void ItemStorage::removeItemFiles(const KippetItem& item, const QUuid& kippetId) const {
    // Removing needs no folder: a missing one is not created only to be emptied.
    const QString base = folderPath(kippetId) + QLatin1Char('/') + idText(item.id);
    QFile::remove(base);
    if (item.isFileReference()) {
        return;
    }
    if (const auto extension = itemFileExtension(item)) {
        QFile::remove(base + QLatin1Char('.') + *extension);
    }
}

void ItemStorage::removeKippetFolder(const QUuid& kippetId) const {
    QDir(folderPath(kippetId)).removeRecursively();
}
