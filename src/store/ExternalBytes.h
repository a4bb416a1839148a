#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

// Large item bytes kept in files beside the store rather than inside it. SQLite writes every byte
// twice (log, then store) and its pages are the slowest place for megabytes; a file per value is
// written once. Rows name their file; a file that no row names is an orphan of a write that did
// not commit, and goes at the next open. An empty folder means "keep everything inline".
class ExternalBytes {
public:
    // Values from this size on go to a file.
    static constexpr qsizetype threshold = 64 * 1024;

    explicit ExternalBytes(QString folder);

    bool isEnabled() const { return !folder_.isEmpty(); }
    // The new file's name when the value goes to a file; nothing when it stays inline.
    // Throws StoreError when the file cannot be written.
    std::optional<QString> store(const QByteArray& bytes) const;
    // The bytes of a file; throws StoreError naming the file when it cannot be read.
    QByteArray load(const QString& name) const;
    void remove(const QStringList& names) const;
    // Removes every file that none of the given names refers to.
    void removeAllBut(const QSet<QString>& referenced) const;

private:
    QString path(const QString& name) const;

    QString folder_;
};
