#pragma once

#include <QString>
#include <cerrno>
#include <optional>
#include <sys/stat.h>

// A file of the data folder, opened before anything is done to it. Names in the folder can be
// changed by other programs: a symbolic link in an item's place would have the app change or hand
// out a file elsewhere, and a pipe would have it wait for ever for a writer. So a file is opened
// without following a link (neither at its own name nor at a folder between the data folder and
// it), without waiting, and kept only when it is a regular file of the user's; what is done to it
// afterwards (another name, its mode, its length) is done to the file that was checked, through
// its descriptor. Safe on any thread.
class DataFile {
public:
    using Failure = std::optional<QString>;

    // Opens `path`, inside the data folder `root`, for reading.
    static DataFile open(const QString& root, const QString& path);
    // Where a file is opened: in the data folder, never through a link and only when it is the
    // user's; anywhere else, wherever its name leads.
    enum class Reach { dataFolder, anywhere };
    // Opens `name` in the folder open as `folder` (AT_FDCWD: from the working folder) for
    // reading, without waiting (opening a pipe would wait for a writer for ever), and keeps it
    // only when it is a regular file. Every file the app reads is opened so.
    static DataFile openAt(int folder, const QString& name, Reach reach);
    // Why the folder `folder` (inside `root`, or `root` itself) cannot take files of the app: a
    // symbolic link or something else than a folder on the way. Nothing when it can, or when
    // it does not exist yet.
    static Failure folderRefusal(const QString& root, const QString& folder);
    // Removes a folder of the app and what it holds, through the descriptors of the folders it
    // opened on the way down; a symbolic link in its place, on the way to it or inside it, also
    // one put there while it is removed, is removed as a link, never followed. What cannot be
    // removed (no permission, no descriptor left on a deep tree, a file another program adds
    // meanwhile) is left, and the failure is returned; nothing when the folder is gone, or was
    // not there.
    [[nodiscard]] static Failure removeFolder(const QString& root, const QString& folder);
    // For tests: called with the path of each folder removeFolder opened, before anything in it
    // goes; nullptr for none.
    using RemovalHook = void (*)(const QString& folder);
    static void setBeforeEmptying(RemovalHook hook);

    DataFile(DataFile&& other) noexcept;
    DataFile& operator=(DataFile&& other) noexcept;
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;
    ~DataFile();

    bool isOpen() const { return fd_ >= 0; }
    // Nothing is under the name: it is free for a file of the app.
    bool isMissing() const { return error_ == ENOENT; }
    // Why the file is not one of the app's; empty when it is open.
    QString refusal() const { return refusal_; }
    QString path() const { return path_; }
    int descriptor() const { return fd_; }
    qint64 size() const { return qint64(info_.st_size); }
    const struct stat& status() const { return info_; }
    qint64 linkCount() const { return isOpen() ? qint64(info_.st_nlink) : 0; }
    bool isSameFile(const DataFile& other) const;

    // Another name, `path` (which must not exist), of the very file that was checked, whatever
    // its own name leads to by now.
    Failure linkAs(const QString& path) const;
    // A copy of the file at `path`, which must not exist.
    Failure copyAs(const QString& path) const;
    Failure makeReadOnly() const;

private:
    DataFile() = default;
    void refuse(int error, QString reason);

    int fd_ = -1;
    int error_ = 0;
    QString path_;
    QString refusal_;
    struct stat info_ {};
};
