#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <sys/types.h>

// File operations for bytes that rows will name, each reporting a failure in the system's own
// words (strerror), never Qt's "Unknown error". Safe on any thread.
//
// A write that is not yet acknowledged lives under an unfinished name: the final name followed by
// the writer's process id and ".part". Once its row has committed it is renamed to the final name.
// So a file under a final name was always acknowledged, and an unfinished one can be told apart
// from it, and told to belong to a writer that still runs, by its name alone.
class DurableFile {
public:
    // The failure's text; empty on success.
    using Failure = std::optional<QString>;

    enum class Access { readOnly, ownerWrites };

    // Creates `path`, which must not exist, with the bytes. With `sync` the bytes are on the disk
    // when the call returns. A failed write leaves no file behind.
    static Failure write(const QString& path, const QByteArray& bytes, bool sync, Access access);
    // Makes the folder's entries (files created or renamed in it) survive a crash.
    static Failure syncFolder(const QString& folder);
    // Copies a file to `path`, which must not exist, inside the kernel (sharing the bytes on the
    // disk where the file system can). Not flushed: for copies whose original stays in place.
    // A failed copy leaves no file behind.
    static Failure copy(const QString& existing, const QString& path);
    // A second name for an existing file, sharing its bytes on the disk.
    static Failure link(const QString& existing, const QString& path);
    // Renames, replacing what is at `to`.
    static Failure rename(const QString& from, const QString& to);
    // The number of names the file has, 0 when it does not exist.
    static qint64 linkCount(const QString& path);
    // Both names exist and name the same bytes on the disk.
    static bool sameFile(const QString& first, const QString& second);

    // Writes everything to an open file, retrying partial writes and interruptions; the errno of
    // a failure, or 0.
    static int writeAll(int fd, const char* data, qint64 size);
    // Copies all of `from`, from its start, to `to` at its position: inside the kernel where it
    // can, else through a buffer. A copy that ends before the size `from` had at the start fails.
    static Failure copyBytes(int from, int to);
    // The kernel's copy, as copy_file_range(2) from `from` at `*offset` to `to` at its position.
    using KernelCopy = ssize_t (*)(int from, off_t* offset, int to, size_t length);
    // For tests: copies inside the kernel through `copy`; nullptr restores the system's.
    static void setKernelCopy(KernelCopy copy);

    // "<final name>.<this process id>.part".
    static QString unfinishedName(const QString& finalName);
    // For an unfinished name of a writer that no longer runs: the final name it was meant for.
    // Nothing for a final name, or for one whose writer is still running.
    static std::optional<QString> abandonedFinalName(const QString& name);
    static bool isUnfinished(const QString& name);
};
