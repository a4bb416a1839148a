#include "store/StoreError.h"

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
