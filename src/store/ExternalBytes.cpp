#include "store/ExternalBytes.h"

#include "model/SharedBytes.h"
#include "store/DurableFile.h"
#include "store/MappedBytes.h"
#include "store/StoreError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <cerrno>
#include <cstring>

namespace {
// Names come from the store's rows; only our own UUID names may reach a path.
bool isOwnName(const QString& name) {
    return !QUuid::fromString(name).isNull() && !name.contains(QLatin1Char('/'));
}

StoreError writeFailure(const QString& path, const QString& reason) {
    return StoreError(QStringLiteral("The file “%1” cannot be written: %2").arg(path, reason));
}
} // namespace

ExternalBytes::ExternalBytes(QString folder) : folder_(std::move(folder)) {}

QString ExternalBytes::path(const QString& name) const {
    return folder_ + QLatin1Char('/') + name;
}

std::optional<StagedFile> ExternalBytes::stage(const QByteArray& bytes) const {
    if (!keepsBeside(bytes))
        return std::nullopt;
    StagedFile file;
    file.name = QUuid::createUuid().toString(QUuid::WithoutBraces);
    file.unfinishedPath = path(DurableFile::unfinishedName(file.name));
    file.size = bytes.size();
    auto write = [&] {
        return DurableFile::write(file.unfinishedPath, bytes, true, DurableFile::Access::readOnly);
    };
    // The folder is made when a write finds it missing, not looked for before every write. Items
    // are written on several workers at once: one that failed for want of the folder may find it
    // made by another already, so a failed write is tried once more either way.
    auto failure = write();
    if (failure) {
        if (!QFileInfo(folder_).isDir() && !QDir().mkpath(folder_))
            throw StoreError(QStringLiteral("The folder “%1” cannot be created: %2")
                                 .arg(folder_, QString::fromLocal8Bit(std::strerror(errno))));
        failure = write();
    }
    if (failure)
        throw writeFailure(file.unfinishedPath, *failure);
    return file;
}

StagedBytes ExternalBytes::stageItem(const QByteArray& content,
                                     const std::optional<QByteArray>& thumbnail) const {
    StagedBytes staged;
    try {
        staged.content = stage(content);
        // A thumbnail made from the content itself is stored once, as the content.
        if (thumbnail && !sameBytes(*thumbnail, content))
            staged.thumbnail = stage(*thumbnail);
        if (!staged.isEmpty())
            syncFolder();
    } catch (...) {
        for (const auto& file : {staged.content, staged.thumbnail})
            if (file)
                discard(*file);
        throw;
    }
    return staged;
}

void ExternalBytes::syncFolder() const {
    if (const auto failure = DurableFile::syncFolder(folder_))
        throw StoreError(
            QStringLiteral("The folder “%1” cannot be written: %2").arg(folder_, *failure));
}

void ExternalBytes::publish(const StagedFile& file) const {
    DurableFile::rename(file.unfinishedPath, path(file.name));
}

void ExternalBytes::discard(const StagedFile& file) const {
    QFile::remove(file.unfinishedPath);
}

std::variant<QByteArray, QString> ExternalBytes::load(const QString& name, qint64 size) const {
    if (!isOwnName(name))
        return QStringLiteral("the store names a file that is not one of its own");
    const QString file = path(name);
    if (!QFile::exists(file)) {
        // Committed, but cut short before its rename.
        const QStringList unfinished =
            QDir(folder_).entryList({name + QStringLiteral(".*.part")}, QDir::Files);
        if (!unfinished.isEmpty())
            DurableFile::rename(path(unfinished.first()), file);
    }
    return MappedBytes::map(file, size);
}

void ExternalBytes::remove(const QStringList& names) const {
    for (const QString& name : names)
        if (isOwnName(name))
            QFile::remove(path(name));
}

void ExternalBytes::sweepUnfinishedWrites(
    const std::function<QSet<QString>()>& readReferenced) const {
    if (!isEnabled())
        return;
    // The references are read only when an unfinished write is found.
    std::optional<QSet<QString>> referenced;
    const QStringList present = QDir(folder_).entryList({QStringLiteral("*.part")}, QDir::Files);
    for (const QString& name : present) {
        const std::optional<QString> finalName = DurableFile::abandonedFinalName(name);
        if (!finalName || !isOwnName(*finalName))
            continue;
        if (!referenced)
            referenced = readReferenced();
        if (referenced->contains(*finalName) && !QFile::exists(path(*finalName)))
            DurableFile::rename(path(name), path(*finalName));
        else
            QFile::remove(path(name));
    }
}
