#include "store/DataMigrationService.h"

#include "model/JsonCoding.h"
#include "model/KippetError.h"
#include "model/KippetModel.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "store/ActiveKippetIDs.h"
#include "store/StoreContainer.h"
#include "store/StoreError.h"
#include "store/StoreTables.h"
#include "store/StoreTransaction.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
// The legacy file as read: its kippet lists still in JSON, so that each kippet decodes on its own.
struct LegacyDocument {
    QJsonArray activeKippets;
    QJsonArray allKippets;
};

// Throws KippetsError when the file cannot be read or is not the legacy object.
LegacyDocument readLegacyDocument(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw KippetsError(file.errorString());
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        throw KippetsError(
            QStringLiteral("%1 at offset %2").arg(parseError.errorString()).arg(parseError.offset));
    if (!document.isObject())
        throw KippetsError(QStringLiteral("the file does not hold a JSON object"));
    const QJsonObject object = document.object();
    LegacyDocument legacy;
    for (const char* key : {"activeKippets", "allKippets"}) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isArray())
            throw KippetsError(
                QStringLiteral("the key \"%1\" is missing or not a list").arg(QLatin1String(key)));
    }
    legacy.activeKippets = object.value(QLatin1String("activeKippets")).toArray();
    legacy.allKippets = object.value(QLatin1String("allKippets")).toArray();
    return legacy;
}

QString reasonOf(const std::exception& error) {
    if (const auto* known = dynamic_cast<const KippetsError*>(&error))
        return known->errorDescription();
    return QString::fromUtf8(error.what());
}

// Every kippet of "allKippets" that decodes, in file order; each one that does not is logged
// with its place in the file and left out, so one bad kippet cannot keep the others out.
QList<KippetModel> decodeKippets(const QJsonArray& allKippets) {
    QList<KippetModel> rows;
    rows.reserve(allKippets.size());
    const QDateTime now = Clock::shared().now();
    for (qsizetype index = 0; index < allKippets.size(); ++index) {
        try {
            const QJsonValue value = allKippets.at(index);
            if (!value.isObject())
                throw KippetsError(QStringLiteral("not a JSON object"));
            const std::unique_ptr<Kippet> kippet = Kippet::fromJson(value.toObject(), now);
            rows.append(KippetModel::fromDomainWithContents(*kippet));
        } catch (const std::exception& error) {
            Log::line(QStringLiteral("⚠️ Skipped kippet %1 of %2 in the legacy data: %3")
                          .arg(index + 1)
                          .arg(allKippets.size())
                          .arg(reasonOf(error)));
        }
    }
    return rows;
}

// The open kippets need only their ids, which survive even where another field would not decode.
QSet<QUuid> activeIds(const QJsonArray& activeKippets) {
    QSet<QUuid> ids;
    for (const QJsonValue& value : activeKippets) {
        const QUuid id = QUuid::fromString(value.toObject().value(QLatin1String("id")).toString());
        if (!id.isNull())
            ids.insert(id);
    }
    return ids;
}

void insertNewKippets(StoreContainer& container, QList<KippetModel>& rows) {
    StoreTransaction transaction(container.database());
    {
        StoreTables tables(container.database());
        // An import cut short and run again must not store a kippet twice; kippets that share an
        // id within the file are all stored, for the loader to resolve.
        const QSet<QUuid> stored = tables.storedKippetIds();
        for (KippetModel& row : rows)
            if (!stored.contains(row.id))
                tables.insertKippet(row);
    }
    transaction.commit();
}
} // namespace

DataMigrationService::DataMigrationService(QString dataFolder, Preferences& preferences)
    : dataFolder_(std::move(dataFolder)), preferences_(preferences) {}

QString DataMigrationService::legacyDataURL() const {
    return dataFolder_ + QStringLiteral("/kippets.json");
}

bool DataMigrationService::migrateIfNeeded(StoreContainer& container) {
    const QString completedKey = QLatin1String(migrationCompletedKey);
    if (preferences_.boolOr(completedKey, false)) {
        Log::line(QStringLiteral("✅ Store migration already completed"));
        return false;
    }
    const QString path = legacyDataURL();
    if (!QFileInfo::exists(path)) {
        Log::line(QStringLiteral("ℹ️ No legacy JSON data found - fresh install"));
        preferences_.setBool(completedKey, true);
        preferences_.setInt(QLatin1String(migrationVersionKey), currentMigrationVersion);
        return false;
    }
    LegacyDocument legacy;
    try {
        legacy = readLegacyDocument(path);
    } catch (const KippetsError& error) {
        // Left unflagged: the file stays in place and the next start tries again.
        Log::line(QStringLiteral("⚠️ Failed to decode legacy data: ") +
                  error.errorDescription());
        return false;
    }
    Log::line(QStringLiteral("🔄 Starting store migration..."));
    Log::line(QStringLiteral("   Found %1 kippets to migrate").arg(legacy.allKippets.size()));
    createBackup();
    QList<KippetModel> rows = decodeKippets(legacy.allKippets);
    const QSet<QUuid> open = activeIds(legacy.activeKippets);
    legacy = {};
    try {
        insertNewKippets(container, rows);
    } catch (const StoreError& error) {
        Log::line(QStringLiteral("❌ Migration failed: ") + error.errorDescription());
        return false;
    }
    saveActiveKippetIDs(open);
    preferences_.setBool(completedKey, true);
    preferences_.setInt(QLatin1String(migrationVersionKey), currentMigrationVersion);
    Log::line(QStringLiteral("✅ Store migration completed successfully!"));
    return true;
}

void DataMigrationService::createBackup() const {
    const QString source = legacyDataURL();
    if (!QFileInfo::exists(source))
        return;
    const QString stamp =
        Clock::shared().now().toLocalTime().toString(QStringLiteral("yyyyMMdd_HHmmss"));
    const QString target =
        dataFolder_ + QStringLiteral("/kippets_backup_") + stamp + QStringLiteral(".json");
    QFile file(source);
    if (file.copy(target))
        Log::line(QStringLiteral("📦 Created backup at: ") + target);
    else
        Log::line(QStringLiteral("⚠️ Failed to create backup: ") + file.errorString());
}

void DataMigrationService::saveActiveKippetIDs(const QSet<QUuid>& ids) const {
    preferences_.setData(QLatin1String(ActiveKippetIDs::key), ActiveKippetIDs::encode(ids));
    Log::line(QStringLiteral("💾 Saved %1 active kippet IDs for restoration").arg(ids.size()));
}
