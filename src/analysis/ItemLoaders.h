#pragma once

#include "analysis/ItemProvider.h"

#include <QByteArray>
#include <QCoroTask>
#include <QFuture>
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
    // Files up to this size may be read before their turn: a larger one read early would hold
    // its bytes in memory beside the one being added.
    static constexpr qint64 readAheadBytes = 16 * 1024 * 1024;

    // A whole file being read on a worker thread; nothing when it could not be read.
    using FileRead = QFuture<std::optional<QByteArray>>;

    // Throws IntakeError: noURLReturned without a file, imageReadFailed, itemTooLarge.
    static QCoro::Task<LoadedImageFile> loadImageFile(ItemProvider provider);
    // Throws IntakeError: noURLReturned without a file, fileReadFailed, itemTooLarge.
    static QCoro::Task<LoadedFile> loadFileURL(ItemProvider provider);
    // The provider's image as bytes: those it carries, or its decoded image encoded as PNG.
    // Nothing when it holds no image data.
    static QCoro::Task<std::optional<QByteArray>> loadImageData(ItemProvider provider);

    // The whole file, or nothing when it cannot be read. Throws IntakeError::itemTooLarge, naming
    // the file, when it is larger than maximumItemBytes. `ahead`: the same file's read started
    // earlier by readAhead, taken instead of reading it again.
    static QCoro::Task<std::optional<QByteArray>> readFile(QString path,
                                                           std::optional<FileRead> ahead = {});
    // Starts reading a regular file of at most readAheadBytes on a worker thread, so that its
    // bytes are ready when readFile asks for them; nothing for any other path. Any thread.
    static std::optional<FileRead> readAhead(const QString& path);
};
