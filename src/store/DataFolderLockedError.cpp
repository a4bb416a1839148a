#include "store/DataFolderLockedError.h"

namespace {
QString describe(const QString& folder, qint64 ownerProcessId) {
    const QString owner =
        ownerProcessId > 0 ? QString::number(ownerProcessId) : QStringLiteral("unknown");
    return QStringLiteral("The data folder “%1” is in use by another Kippets process (process id "
                          "%2); nothing was changed")
        .arg(folder, owner);
}
} // namespace

DataFolderLockedError::DataFolderLockedError(const QString& folder, qint64 ownerProcessId)
    : StoreError(describe(folder, ownerProcessId)), folder_(folder),
      ownerProcessId_(ownerProcessId) {}
