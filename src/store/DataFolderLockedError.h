#pragma once

#include "store/StoreError.h"

// The data folder is held by another running Kippets process. A StoreError, so the start-up's
// fallbacks treat it like any store that cannot be opened.
class DataFolderLockedError : public StoreError {
public:
    // `ownerProcessId` 0: the other process could not be named (its lock file was being written).
    DataFolderLockedError(const QString& folder, qint64 ownerProcessId);

    QString folder() const { return folder_; }
    qint64 ownerProcessId() const { return ownerProcessId_; }

private:
    QString folder_;
    qint64 ownerProcessId_;
};
