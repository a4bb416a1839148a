#pragma once

#include "platform/KippetsError.h"

class QSqlError;

// A failure of the SQLite store itself (a file that is not a store, a failed statement), with a
// description that names the file or the statement's reason, and SQLite's result code when
// SQLite gave one.
class StoreError : public KippetsError {
public:
    using KippetsError::KippetsError;
    StoreError(const QString& description, int resultCode);
    // The reason of a failed Qt Sql call, with SQLite's code.
    static StoreError from(const QSqlError& error);

    // SQLite's extended result code; 0 when the failure did not come from SQLite.
    int resultCode() const { return resultCode_; }
    // SQLite found pages that do not hold together (SQLITE_CORRUPT, SQLITE_NOTADB).
    bool namesDamage() const;
    // SQLite found no room left for the store (SQLITE_FULL).
    bool namesFullDisk() const;
    // The same for any error of the store: its own, or a failed save that carries SQLite's code.
    static bool meansFullDisk(const std::exception& error);

private:
    int resultCode_ = 0;
};
