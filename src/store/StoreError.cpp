#include "store/StoreError.h"

#include "store/DataManagerError.h"

#include <QSqlError>
#include <sqlite3.h>

StoreError::StoreError(const QString& description, int resultCode)
    : KippetsError(description), resultCode_(resultCode) {}

StoreError StoreError::from(const QSqlError& error) {
    return StoreError(error.text(), error.nativeErrorCode().toInt());
}

bool StoreError::namesDamage() const {
    const int primary = resultCode_ & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

bool StoreError::namesFullDisk() const {
    return (resultCode_ & 0xff) == SQLITE_FULL;
}

bool StoreError::meansFullDisk(const std::exception& error) {
    if (const auto* store = dynamic_cast<const StoreError*>(&error))
        return store->namesFullDisk();
    const auto* save = dynamic_cast<const DataManagerError*>(&error);
    return save && (save->resultCode() & 0xff) == SQLITE_FULL;
}
