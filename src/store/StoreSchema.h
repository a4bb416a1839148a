#pragma once

#include <QSqlDatabase>
#include <QString>

// The tables of the store and the numbered steps that bring an older file to the current
// version (kept in PRAGMA user_version). A later version appends its step; steps never change.
namespace StoreSchema {
// PRAGMA application_id of every Kippets store ("Kipp"), set when the store creates the file.
constexpr qint64 applicationId = 0x4B697070;

// True for the versions that a step of this build produces.
bool isKnownVersion(int version);
// Runs the missing steps in one transaction; a new database also gets the application id. Throws
// StoreError naming `storeName` when the file is from a newer version or a step fails; nothing is
// changed then.
void migrate(QSqlDatabase database, const QString& storeName);
int storedVersion(QSqlDatabase database);
} // namespace StoreSchema
