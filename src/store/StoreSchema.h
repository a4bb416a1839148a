#pragma once

#include <QSqlDatabase>
#include <QString>

// The tables of the store and the numbered steps that bring an older file to the current
// version (kept in PRAGMA user_version). A later version appends its step; steps never change.
namespace StoreSchema {
// Runs the missing steps in one transaction. Throws StoreError naming `storeName` when the file
// is from a newer version or a step fails; nothing is changed then.
void migrate(QSqlDatabase database, const QString& storeName);
int storedVersion(QSqlDatabase database);
} // namespace StoreSchema
