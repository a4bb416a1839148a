#pragma once

#include "model/KippetItem.h"
#include "store/DataFile.h"

#include <QSet>
#include <QString>
#include <QUrl>
#include <QUuid>
#include <functional>
#include <optional>

// A new item's file, written under an unfinished name (DurableFile) until its row commits.
struct StagedItemFile {
    QString unfinishedPath;
    QString path;
};

// The item files on disk: <root>/KippetData/<kippet id>/<item id>[.<extension>]. The intake
// writes a file item's bytes under its id; the first resolution of the file renames it to carry
// the item's extension. Other applications get another name of it that carries the item's own
// name: <kippet folder>/.names/<item id>/<name>.
//
// When the item's bytes are kept beside the store, the intake's file is a second name of that
// file rather than a second copy of the bytes. `fileURL` replaces such a file by a copy of its
// own, which its caller may change; what other applications get is a further name of the
// store's read-only bytes, so nothing they do to it can reach the store.
//
// Every file and folder here is reached through DataFile: whatever another program put in an
// item's place (a link to a file elsewhere, a pipe, a folder) is not the item's file. It is
// replaced by the item's bytes as a missing file would be, or the item has no file; nothing it
// leads to is ever changed, linked or handed out. Nor is an empty file the file of an item whose
// bytes are not empty (older versions wrote one where they could not read the bytes).
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
    // The file to open for the item, written on demand. Throws ItemFileError, and
    // UnreadableItemError, with nothing written, for an item whose stored bytes cannot be read.
    QUrl fileURL(const KippetItem& item, const QUuid& kippetId) const;
    // The item's file as other applications get it: named as the item, read-only, another name
    // of the item's file (of the store's bytes where the item's file shares them: no byte is
    // copied), alone in a folder of the item's own so that items of one name stay apart. A file
    // reference's own file as it is. Throws as fileURL does.
    QUrl handOutURL(const KippetItem& item, const QUuid& kippetId) const;
    // The name the handed-out file carries: the item's name with its extension, without the
    // characters a file name cannot hold.
    static QString handOutName(const KippetItem& item);
    // The intake's first copy of a file item, under an unfinished name: a second name of
    // `sameBytes` (a file holding the item's content) when given and the file system allows it,
    // else the item's bytes. Any thread. Throws ItemFileError with the system's reason.
    StagedItemFile stageNewItemFile(const KippetItem& item, const QUuid& kippetId,
                                    const QString& sameBytes = {}) const;
    // Gives the staged file its name, the item id without extension. A failure is dropped: the
    // file is written again when it is first asked for.
    void publish(const StagedItemFile& file) const;
    void discard(const StagedItemFile& file) const;
    // Removes what intake writes of stopped processes left unfinished, finishing those whose item
    // is stored.
    void sweepUnfinishedWrites(const std::function<QSet<QUuid>()>& storedItemIds) const;
    // Both names the item's file may have; errors are dropped.
    void removeItemFiles(const KippetItem& item, const QUuid& kippetId) const;
    void removeKippetFolder(const QUuid& kippetId) const;

    static QString idText(const QUuid& id);

private:
    // Writes the file anew under an unfinished name and renames it over `path`. Throws
    // ItemFileError.
    void writeReplacing(const QString& path, const QByteArray& bytes) const;
    // The item's file at `path`, logged when something else than a file of the app is there.
    DataFile openItemFile(const QString& path) const;
    // The kippet's folder, without creating it.
    QString folderPath(const QUuid& kippetId) const;
    QString handOutFolder(const QUuid& kippetId, const QUuid& itemId) const;
    // The file at `base` has a name besides the item's own and its handed-out one: the store's.
    bool sharesStoredBytes(const DataFile& file, const KippetItem& item,
                           const QUuid& kippetId) const;

    QString root_;
};
