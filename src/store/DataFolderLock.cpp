#include "store/DataFolderLock.h"

#include "store/DataFolderLockedError.h"

#include <QLockFile>

DataFolderLock::DataFolderLock(const QString& folder)
    : folder_(folder),
      lock_(std::make_unique<QLockFile>(folder + QLatin1Char('/') + QLatin1String(fileName))) {
    // Held for the whole run: only a dead owner makes a lock stale, never its age.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0))
        return;
    if (lock_->error() == QLockFile::LockFailedError) {
        qint64 owner = 0;
        QString host;
        QString application;
        if (!lock_->getLockInfo(&owner, &host, &application))
            owner = 0;
        throw DataFolderLockedError(folder, owner);
    }
    throw StoreError(QStringLiteral("The data folder “%1” cannot be locked: %2")
                         .arg(folder, lock_->error() == QLockFile::PermissionError
                                          ? QStringLiteral("permission denied")
                                          : QStringLiteral("the lock file cannot be written")));
}

DataFolderLock::~DataFolderLock() = default;
