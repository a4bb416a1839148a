#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <variant>

// Bytes written under an unfinished name, on the disk but not yet named by a committed row.
struct StagedFile {
    // The name the row stores, and the file's once published.
    QString name;
    QString unfinishedPath;
    qint64 size = 0;
};

// An item's large bytes, written before its row: content, and a thumbnail that differs from it.
struct StagedBytes {
    std::optional<StagedFile> content;
    std::optional<StagedFile> thumbnail;
    bool isEmpty() const { return !content && !thumbnail; }
};

// Large item bytes kept in files beside the store rather than inside it. SQLite writes every byte
// twice (log, then store) and its pages are the slowest place for megabytes; a file per value is
// written once, and read only when used (MappedBytes). An empty folder means "keep everything
// inline".
//
// A value is staged under an unfinished name (DurableFile) and flushed to the disk before the row
// that names it commits; once the row has committed it is published under its final name. A file
// under a final name is therefore never an orphan of a write in progress, whichever process made
// it: the sweep at open removes only unfinished files of writers that no longer run.
class ExternalBytes {
public:
    // Values from this size on go to a file.
    static constexpr qsizetype threshold = 64 * 1024;

    explicit ExternalBytes(QString folder);

    QString folder() const { return folder_; }
    bool isEnabled() const { return !folder_.isEmpty(); }
    bool keepsBeside(const QByteArray& bytes) const {
        return isEnabled() && bytes.size() >= threshold;
    }
    // The path of a file by its name; also the source a second name of it can be linked from.
    QString path(const QString& name) const;

    // Stages the bytes when they go to a file; nothing when they stay inline. The folder's entry
    // is not yet flushed (syncFolder). Any thread. Throws StoreError with the system's reason.
    std::optional<StagedFile> stage(const QByteArray& bytes) const;
    // Both values of an item, the thumbnail only when its bytes differ from the content's; with
    // the folder flushed. Any thread. Throws StoreError, leaving nothing staged.
    StagedBytes stageItem(const QByteArray& content,
                          const std::optional<QByteArray>& thumbnail) const;
    void syncFolder() const; // throws StoreError
    // After the row committed. A failure is left to the next load, which finishes the rename.
    void publish(const StagedFile& file) const;
    void discard(const StagedFile& file) const;

    // The bytes of a file, mapped, when it holds `size` bytes (any number when negative); else
    // why it cannot be used, in words that do not name it (path() does).
    std::variant<QByteArray, QString> load(const QString& name, qint64 size) const;
    void remove(const QStringList& names) const;
    // Removes the unfinished files of writers that no longer run, except those a row names: their
    // row committed before the rename, which is finished now.
    void sweepUnfinishedWrites(const std::function<QSet<QString>()>& referenced) const;

private:
    QString folder_;
};
