#include "store/ItemStorage.h"

#include "model/JsonCoding.h"
#include "store/DurableFile.h"
#include "store/ItemFileError.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>
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
    // A second name of the store's bytes is replaced by a copy rather than handed out.
    const bool sharesStoredBytes = DurableFile::linkCount(base) > 1;
    if (const auto extension = itemFileExtension(item)) {
        target = base + QLatin1Char('.') + *extension;
        if (!sharesStoredBytes && QFile::exists(base) && !QFile::exists(target)) {
            QFile::rename(base, target);
        }
    }
    if (!QFile::exists(target) || (sharesStoredBytes && target == base)) {
        writeReplacing(target, item.content);
    }
    if (sharesStoredBytes && target != base) {
        QFile::remove(base);
    }
    return QUrl::fromLocalFile(target);
}

void ItemStorage::writeReplacing(const QString& path, const QByteArray& bytes) {
    const QString unfinished = DurableFile::unfinishedName(path);
    QFile::remove(unfinished);
    // Handed to other applications, the file is the user's to change.
    if (const auto failure =
            DurableFile::write(unfinished, bytes, false, DurableFile::Access::ownerWrites)) {
        throw ItemFileError(*failure);
    }
    if (const auto failure = DurableFile::rename(unfinished, path)) {
        QFile::remove(unfinished);
        throw ItemFileError(*failure);
    }
}

StagedItemFile ItemStorage::stageNewItemFile(const KippetItem& item, const QUuid& kippetId,
                                             const QString& sameBytes) const {
    StagedItemFile file;
    const QString folder = folderPath(kippetId);
    file.path = folder + QLatin1Char('/') + idText(item.id);
    file.unfinishedPath = DurableFile::unfinishedName(file.path);
    auto write = [&] {
        if (!sameBytes.isEmpty() && !DurableFile::link(sameBytes, file.unfinishedPath)) {
            return DurableFile::Failure();
        }
        // Not flushed: the file is a copy of bytes the store keeps, written again on demand.
        return DurableFile::write(file.unfinishedPath, item.content, false,
                                  DurableFile::Access::ownerWrites);
    };
    // The folder is made when a write finds it missing, not looked for before every write; as
    // another worker may have made it meanwhile, a failed write is tried once more either way.
    auto failure = write();
    if (failure) {
        if (!QFileInfo(folder).isDir())
            QDir().mkpath(folder);
        failure = write();
    }
    if (failure) {
        throw ItemFileError(*failure);
    }
    return file;
}

void ItemStorage::publish(const StagedItemFile& file) const {
    DurableFile::rename(file.unfinishedPath, file.path);
}

void ItemStorage::discard(const StagedItemFile& file) const {
    QFile::remove(file.unfinishedPath);
}

void ItemStorage::sweepUnfinishedWrites(
    const std::function<QSet<QUuid>()>& readStoredItemIds) const {
    // The ids are read only when an unfinished write is found: a clean start skips the scan.
    std::optional<QSet<QUuid>> storedItemIds;
    const QDir data(root_ + QStringLiteral("/KippetData"));
    const QStringList kippets = data.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& kippet : kippets) {
        const QDir folder(data.filePath(kippet));
        for (const QString& name : folder.entryList({QStringLiteral("*.part")}, QDir::Files)) {
            const std::optional<QString> finalName = DurableFile::abandonedFinalName(name);
            if (!finalName) {
                continue;
            }
            const QUuid itemId = QUuid::fromString(*finalName);
            if (!itemId.isNull() && !storedItemIds)
                storedItemIds = readStoredItemIds();
            if (!itemId.isNull() && storedItemIds->contains(itemId) &&
                !QFile::exists(folder.filePath(*finalName))) {
                DurableFile::rename(folder.filePath(name), folder.filePath(*finalName));
            } else {
                QFile::remove(folder.filePath(name));
            }
        }
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
