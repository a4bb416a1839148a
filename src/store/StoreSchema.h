#pragma once

#include "store/StoreContainer.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

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
// `targetVersion` is the current one but for tests that make a store of an earlier version.
void migrate(QSqlDatabase database, const QString& storeName,
             int targetVersion = StoreContainer::schemaVersion);
int storedVersion(QSqlDatabase database);
// True when `storedStatements` (the CREATE statements of sqlite_master) hold every table and
// index that `version` creates, word for word: a store written before ids were stamped.
bool holdsSchemaOf(int version, const QStringList& storedStatements);
// Sets the application id on a store that lacks it (one written before ids were stamped).
void stampApplicationId(QSqlDatabase database, const QString& storeName);
} // namespace StoreSchema
