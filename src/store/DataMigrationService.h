#pragma once

#include "model/Kippet.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>
#include <memory>
#include <vector>

class Preferences;
class StoreContainer;

// The one-time import of the legacy JSON store ("kippets.json": "activeKippets" and "allKippets")
// into the store. It reads the legacy file of the folder it is given (the container's data folder,
// so test mode reads its temporary folder) and writes the flags into the given preferences.
class DataMigrationService {
public:
    static constexpr const char* migrationCompletedKey = "swiftdata_migration_completed_v1";
    static constexpr const char* migrationVersionKey = "swiftdata_migration_version";
    static constexpr int currentMigrationVersion = 1;

    DataMigrationService(QString dataFolder, Preferences& preferences);

    // True only when an import ran and committed. Never throws; every failure is logged. An
    // undecodable file is left unflagged so the next start tries again; kippets that do not decode
    // are logged one by one and the others are imported; kippet ids already stored are not added
    // again, so an import cut short and repeated never duplicates rows.
    bool migrateIfNeeded(StoreContainer& container);

    QString legacyDataURL() const;
    // The bytes of a legacy file, read only when it is a regular file (a link to one counts) under
    // legacyFileLimit: a pipe or a device would hang or exhaust the start. Throws KippetsError
    // naming the file and the reason; nothing is read then.
    static QByteArray readLegacyFile(const QString& path);
    static constexpr qint64 legacyFileLimit = qint64(2) * 1024 * 1024 * 1024;
    // "kippets_backup_yyyyMMdd_HHmmss.json" beside the legacy file; never fails.
    void createBackup() const;
    // Stores the ids under "active_kippet_ids_v2", with its log line.
    void saveActiveKippetIDs(const QSet<QUuid>& ids) const;

private:
    // "kippets_backup_" + the current local time + ".json" beside the legacy file.
    QString backupPath() const;
    // Copies the legacy file without overwriting; returns the line to log (none when there is no
    // file). Touches no shared service, so it may run on any thread.
    static QString copyBackup(const QString& source, const QString& target);

    QString dataFolder_;
    Preferences& preferences_;
};
