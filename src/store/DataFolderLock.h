#pragma once

#include <QString>
#include <memory>

class QLockFile;

// One process per data folder: a lock file in the folder, held for as long as this object lives
// (the store's container keeps it for the life of the process). Two processes on one folder would
// sweep each other's uncommitted item bytes and fight over the database. A lock left by a process
// that has died (a crash, kill -9) is taken over.
class DataFolderLock {
public:
    static constexpr const char* fileName = "Kippets.lock";

    // Takes the folder's lock at once, without waiting. Throws DataFolderLockedError when a live
    // process holds it, StoreError when the lock file cannot be made; nothing is left behind then.
    explicit DataFolderLock(const QString& folder);
    ~DataFolderLock();
    DataFolderLock(const DataFolderLock&) = delete;
    DataFolderLock& operator=(const DataFolderLock&) = delete;

    QString folder() const { return folder_; }

private:
    QString folder_;
    std::unique_ptr<QLockFile> lock_;
};
