#pragma once

#include <QString>
#include <sys/types.h>
#include <utility>

// One process per data folder: an advisory lock on the folder's lock file, held through an open
// descriptor for as long as this object lives (the store's container keeps it for the life of the
// process). Two processes on one folder would sweep each other's uncommitted item bytes and fight
// over the database. The system releases the lock when its holder ends, however it ends, so the
// lock of a dead process needs no clean-up: the file stays, and taking the lock writes nothing.
class DataFolderLock {
public:
    static constexpr const char* fileName = "Kippets.lock";

    // Takes the folder's lock at once, without waiting. Throws DataFolderLockedError naming the
    // holder when another process holds it, StoreError with the system's reason when the lock
    // cannot be taken at all (no space for the file, a directory in its place, no permission).
    explicit DataFolderLock(const QString& folder);
    ~DataFolderLock();
    DataFolderLock(const DataFolderLock&) = delete;
    DataFolderLock& operator=(const DataFolderLock&) = delete;

    QString folder() const { return folder_; }
    // Removes the lock file again when this object made it, so that a start that was refused
    // leaves the folder as it found it. The lock is still released only when this object goes.
    void removeFileIfMade();

private:
    QString folder_;
    QString path_;
    int descriptor_ = -1;
    bool madeFile_ = false;
    std::pair<dev_t, ino_t> fileId_{};
};
