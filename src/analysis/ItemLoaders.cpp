#include "analysis/ItemLoaders.h"

#include "analysis/ContentTypes.h"
#include "analysis/IntakeError.h"
#include "platform/WorkerPool.h"

#include <QBuffer>
#include <QCoroFuture>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent>

namespace {
std::optional<QByteArray> readWholeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // One buffer of the file's size, filled by one read: readAll grows its buffer as it goes.
    QByteArray bytes(file.size(), Qt::Uninitialized);
    const qint64 read = file.read(bytes.data(), bytes.size());
    if (read < 0 || file.error() != QFileDevice::NoError)
        return std::nullopt;
    if (read < bytes.size())
        bytes.truncate(read);
    // A file that grew since its size was taken is read to its end.
    if (!file.atEnd())
        bytes += file.readAll();
    return bytes;
}

std::optional<QByteArray> encodePng(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return std::nullopt;
    return bytes;
}
} // namespace

QCoro::Task<std::optional<QByteArray>> ItemLoaders::readFile(QString path) {
    const QFileInfo info(path);
    // Only regular files: a device or a pipe reports no size and may never end.
    if (!info.isFile())
        co_return std::nullopt;
    if (info.size() > maximumItemBytes)
        throw IntakeError::itemTooLarge(info.fileName());
    // A small file reads faster than a trip to a worker thread and back.
    if (info.size() < inlineReadBytes)
        co_return readWholeFile(path);
    co_return co_await QtConcurrent::run(WorkerPool::shared(), readWholeFile, path);
}

std::optional<QByteArray> ItemLoaders::readFileNow(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile())
        return std::nullopt;
    if (info.size() > maximumItemBytes)
        throw IntakeError::itemTooLarge(info.fileName());
    return readWholeFile(path);
}

QCoro::Task<LoadedImageFile> ItemLoaders::loadImageFile(ItemProvider provider) {
    const std::optional<QString> path = provider.localFilePath();
    if (!path)
        throw IntakeError::noURLReturned();
    std::optional<QByteArray> bytes = co_await readFile(*path);
    if (!bytes)
        throw IntakeError::imageReadFailed();
    co_return LoadedImageFile{*bytes, QFileInfo(*path).fileName()};
}

QCoro::Task<LoadedFile> ItemLoaders::loadFileURL(ItemProvider provider) {
    const std::optional<QString> path = provider.localFilePath();
    if (!path)
        throw IntakeError::noURLReturned();
    std::optional<QByteArray> bytes = co_await readFile(*path);
    if (!bytes)
        throw IntakeError::fileReadFailed();
    const QString name = QFileInfo(*path).fileName();
    co_return LoadedFile{*bytes, name, ContentTypes::pathExtension(name),
                         ContentTypes::mimeTypeForFile(*path)};
}

QCoro::Task<std::optional<QByteArray>> ItemLoaders::loadImageData(ItemProvider provider) {
    if (provider.imageBytes())
        co_return provider.imageBytes();
    if (!provider.image())
        co_return std::nullopt;
    co_return co_await QtConcurrent::run(WorkerPool::shared(), encodePng, *provider.image());
}
