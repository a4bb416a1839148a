#include "store/ItemStorage.h"

#include "analysis/ImageDecoder.h"
#include "model/JsonCoding.h"
#include "platform/Log.h"
#include "store/DataFile.h"
#include "store/DurableFile.h"
#include "store/ItemFileError.h"
#include "store/UnreadableItemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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
    // Told by the signature alone: asking every reader would let a compressed drawing inflate.
    const std::optional<QByteArray> format = ImageDecoder::formatOf(content);
    return format ? QString::fromLatin1(*format).toLower() : QStringLiteral("png");
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

// Older versions wrote an empty file in place of bytes they could not read: it is not the file
// of an item whose bytes are not empty, which is written from them now that they can be read.
bool isEmptyInPlaceOfBytes(const DataFile& file, const KippetItem& item) {
    return file.isOpen() && file.size() == 0 && !item.content.isEmpty();
}

// An item whose stored bytes cannot be read has nothing to hand out; an empty file in their
// place would look like the item's file.
void refuseUnreadable(const KippetItem& item) {
    if (item.unreadableBecause)
        throw UnreadableItemError(QStringLiteral("The file of “%1” cannot be read: %2")
                                      .arg(item.metadata.name, *item.unreadableBecause));
}

// A folder of the item files that could not be removed stays; the log says why.
void logUnremoved(const DataFile::Failure& failure) {
    if (failure)
        Log::line(QStringLiteral("⚠️ [ItemStorage] Not removed: ") + *failure);
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
    // Never through a link in the place of the item folders: nothing is made outside.
    if (!DataFile::folderRefusal(root_, QFileInfo(path).path()))
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
    refuseUnreadable(item);
    const QString base = itemsDirectory(kippetId) + QLatin1Char('/') + idText(item.id);
    const DataFile baseFile = openItemFile(base);
    const bool baseIsItemsFile = baseFile.isOpen() && !isEmptyInPlaceOfBytes(baseFile, item);
    // A second name of the store's bytes is replaced by a copy rather than handed out.
    const bool sharesStoredBytes =
        baseIsItemsFile && this->sharesStoredBytes(baseFile, item, kippetId);
    QString target = base;
    bool targetIsItemsFile = baseIsItemsFile;
    if (const auto extension = itemFileExtension(item)) {
        target = base + QLatin1Char('.') + *extension;
        DataFile targetFile = openItemFile(target);
        if (!sharesStoredBytes && baseIsItemsFile && targetFile.isMissing() &&
            !DurableFile::rename(base, target)) {
            targetFile = DataFile::open(root_, target);
        }
        targetIsItemsFile = targetFile.isOpen() && !isEmptyInPlaceOfBytes(targetFile, item);
    }
    // Whatever else is under the name is not the item's: it is replaced like a missing file.
    if (!targetIsItemsFile || (sharesStoredBytes && target == base)) {
        writeReplacing(target, item.content);
    }
    // Neither the store's bytes nor the item's: nothing to keep under the item's first name.
    if ((sharesStoredBytes || (!baseIsItemsFile && !baseFile.isMissing())) && target != base) {
        QFile::remove(base);
    }
    return QUrl::fromLocalFile(target);
}

DataFile ItemStorage::openItemFile(const QString& path) const {
    DataFile file = DataFile::open(root_, path);
    if (!file.isOpen() && !file.isMissing())
        Log::line(QStringLiteral("⚠️ [ItemStorage] “%1” is not the item's file: %2")
                      .arg(path, file.refusal()));
    return file;
}

bool ItemStorage::sharesStoredBytes(const DataFile& file, const KippetItem& item,
                                    const QUuid& kippetId) const {
    qint64 names = file.linkCount();
    if (names > 1 &&
        file.isSameFile(DataFile::open(root_, handOutFolder(kippetId, item.id) + QLatin1Char('/') +
                                                  handOutName(item))))
        --names;
    return names > 1;
}

QString ItemStorage::handOutFolder(const QUuid& kippetId, const QUuid& itemId) const {
    // Hidden, so that the kippet's folder still lists only the item files.
    return folderPath(kippetId) + QStringLiteral("/.names/") + idText(itemId);
}

QString ItemStorage::handOutName(const KippetItem& item) {
    QString name = item.metadata.name.trimmed();
    for (QChar& c : name) {
        // A slash would make a folder of the name; control characters break the tools that
        // read lists of names.
        if (c == QLatin1Char('/') || c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char('-');
    }
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = idText(item.id);
    QString suffix;
    if (const auto extension = itemFileExtension(item)) {
        if (!name.endsWith(QLatin1Char('.') + *extension, Qt::CaseInsensitive))
            suffix = QLatin1Char('.') + *extension;
    }
    // File systems take 255 bytes of a name; the stem gives way, whole characters at a time.
    constexpr qsizetype maximumBytes = 255;
    while (!name.isEmpty() && (name + suffix).toUtf8().size() > maximumBytes) {
        name.chop(name.size() >= 2 && name.back().isLowSurrogate() ? 2 : 1);
    }
    return name + suffix;
}

QUrl ItemStorage::handOutURL(const KippetItem& item, const QUuid& kippetId) const {
    if (item.isFileReference())
        return fileURL(item, kippetId);
    refuseUnreadable(item);
    // A file that is a second name of the store's bytes is handed out as a third: read-only, it
    // needs no copy of its own.
    const QString base = folderPath(kippetId) + QLatin1Char('/') + idText(item.id);
    DataFile stored = DataFile::open(root_, base);
    if (!stored.isOpen() || isEmptyInPlaceOfBytes(stored, item) ||
        !sharesStoredBytes(stored, item, kippetId))
        stored = openItemFile(fileURL(item, kippetId).toLocalFile());
    if (!stored.isOpen())
        throw ItemFileError(stored.refusal());
    const QString folder = handOutFolder(kippetId, item.id);
    const QString path = folder + QLatin1Char('/') + handOutName(item);
    DataFile named = DataFile::open(root_, path);
    if (!named.isSameFile(stored)) {
        // Whatever the folder held names an older file of the item, or another name of it; a
        // link in the place of either folder goes before anything is made under it.
        const QString allNames = QFileInfo(folder).path();
        if (DataFile::folderRefusal(root_, allNames))
            logUnremoved(DataFile::removeFolder(root_, allNames));
        logUnremoved(DataFile::removeFolder(root_, folder));
        if (const auto refusal = DataFile::folderRefusal(root_, folder))
            throw ItemFileError(*refusal);
        QDir().mkpath(folder);
        if (const auto failure = stored.linkAs(path)) {
            if (stored.copyAs(path))
                throw ItemFileError(*failure);
        }
        named = DataFile::open(root_, path);
    }
    // Other applications read the item; a change of theirs must not reach it.
    if (const auto failure = named.makeReadOnly())
        throw ItemFileError(*failure);
    return QUrl::fromLocalFile(path);
}

void ItemStorage::writeReplacing(const QString& path, const QByteArray& bytes) const {
    if (const auto refusal = DataFile::folderRefusal(root_, QFileInfo(path).path()))
        throw ItemFileError(*refusal);
    const QString unfinished = DurableFile::unfinishedName(path);
    QFile::remove(unfinished);
    // Writable by its owner like any file of the user's; once handed out it is read-only.
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
    if (const auto refusal = DataFile::folderRefusal(root_, folder))
        throw ItemFileError(*refusal);
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
    const QStringList kippets =
        data.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
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
    // Removing needs no folder: a missing one is not created only to be emptied. Through a link
    // in the folder's place the names would be another folder's.
    if (DataFile::folderRefusal(root_, folderPath(kippetId)))
        return;
    const QString base = folderPath(kippetId) + QLatin1Char('/') + idText(item.id);
    QFile::remove(base);
    if (item.isFileReference()) {
        return;
    }
    if (const auto extension = itemFileExtension(item)) {
        QFile::remove(base + QLatin1Char('.') + *extension);
    }
    const QString names = handOutFolder(kippetId, item.id);
    logUnremoved(DataFile::removeFolder(root_, names));
    // The folder of names goes with the last of them.
    QDir().rmdir(QFileInfo(names).absolutePath());
}

void ItemStorage::removeKippetFolder(const QUuid& kippetId) const {
    logUnremoved(DataFile::removeFolder(root_, folderPath(kippetId)));
}
