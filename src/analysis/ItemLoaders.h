#pragma once

#include "analysis/ItemProvider.h"

#include <QByteArray>
#include <QCoroTask>
#include <QString>
#include <optional>

// An image file delivered by a provider: its bytes and its file name.
struct LoadedImageFile {
    QByteArray bytes;
    QString name;
};

// A file delivered by a provider, with what its name and content type tell.
struct LoadedFile {
    QByteArray bytes;
    QString name;
    QString pathExtension;
    std::optional<QString> mimeType;
};

// Reads what providers and chosen files hold. Files are read whole, off the GUI thread; one that
// is larger than a stored value may be is refused before it is read.
class ItemLoaders {
public:
    // SQLite keeps no value longer than this many bytes.
    static constexpr qint64 maximumItemBytes = 1'000'000'000;
    // Files below this size are read at once; larger ones on a worker thread.
    static constexpr qint64 inlineReadBytes = 1024 * 1024;

    // Throws IntakeError: noURLReturned without a file, imageReadFailed, itemTooLarge.
    static QCoro::Task<LoadedImageFile> loadImageFile(ItemProvider provider);
    // Throws IntakeError: noURLReturned without a file, fileReadFailed, itemTooLarge.
    static QCoro::Task<LoadedFile> loadFileURL(ItemProvider provider);
    // The provider's image as bytes: those it carries, or its decoded image encoded as PNG.
    // Nothing when it holds no image data.
    static QCoro::Task<std::optional<QByteArray>> loadImageData(ItemProvider provider);

    // The whole file, or nothing when it cannot be read. Throws IntakeError::itemTooLarge, naming
    // the file, when it is larger than maximumItemBytes.
    static QCoro::Task<std::optional<QByteArray>> readFile(QString path);
    // The same on the calling thread, whatever the file's size. Any thread.
    static std::optional<QByteArray> readFileNow(const QString& path);
};
