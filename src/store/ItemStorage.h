#pragma once

#include "model/KippetItem.h"

#include <QString>
#include <QUrl>
#include <QUuid>
#include <optional>

// The item files on disk: <root>/KippetData/<kippet id>/<item id>[.<extension>]. The intake
// writes a file item's bytes under its id; the first resolution of the file renames it to carry
// the item's extension, so other applications can open it.
class ItemStorage {
public:
    // `root` is the folder of the legacy store file.
    explicit ItemStorage(QString root);

    QString root() const { return root_; }
    // The kippet's folder, created (with its parents) on every call; a creation error is dropped.
    QString itemsDirectory(const QUuid& kippetId) const;
    // Only a plain extension of letters and digits: anything else would let the item's metadata
    // choose a path outside the kippet's folder, so it counts as no extension.
    static std::optional<QString> itemFileExtension(const KippetItem& item);
    // The file to open for the item, written on demand. Throws ItemFileError.
    QUrl fileURL(const KippetItem& item, const QUuid& kippetId) const;
    // The intake's first copy of a file item: its bytes under its id, without extension. Throws
    // ItemFileError.
    void writeNewItemFile(const KippetItem& item, const QUuid& kippetId) const;
    // Both names the item's file may have; errors are dropped.
    void removeItemFiles(const KippetItem& item, const QUuid& kippetId) const;
    void removeKippetFolder(const QUuid& kippetId) const;

    static QString idText(const QUuid& id);

private:
    // The kippet's folder, without creating it.
    QString folderPath(const QUuid& kippetId) const;

    QString root_;
};
