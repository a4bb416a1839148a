#include "store/DataMigrationService.h"

#include "model/JsonCoding.h"
#include "model/KippetError.h"
#include "model/KippetModel.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "platform/WorkerPool.h"
#include "store/ActiveKippetIDs.h"
#include "store/DataFile.h"
#include "store/DurableFile.h"
#include "store/StoreContainer.h"
#include "store/StoreError.h"
#include "store/StoreTables.h"
#include "store/StoreTransaction.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QtConcurrent>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <optional>
#include <vector>

namespace {
// The legacy file as read: its kippet lists still in JSON, so that each kippet decodes on its own.
struct LegacyDocument {
    QJsonArray activeKippets;
    QJsonArray allKippets;
};

// Throws KippetsError when the file cannot be read or is not the legacy object.
LegacyDocument readLegacyDocument(const QString& path) {
    QJsonParseError parseError;
    const QJsonDocument document =
        QJsonDocument::fromJson(DataMigrationService::readLegacyFile(path), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        throw KippetsError(QStringLiteral("%1 at offset %2")
                               .arg(parseError.errorString(), QString::number(parseError.offset)));
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

// The kippets of "allKippets" decode on the thread pool (Base64 of every item), each on its own,
// while the caller takes them in file order as they become ready: storing kippet N overlaps
// decoding N+1 and later. A kippet that does not decode yields nothing, and is logged with its
// place in the file, so one bad kippet cannot keep the others out.
class KippetDecoder {
public:
    explicit KippetDecoder(const QJsonArray& allKippets)
        : now_(Clock::shared().now()), results_(allKippets.size()), reasons_(allKippets.size()),
          indexes_(allKippets.size()) {
        objects_.reserve(allKippets.size());
        for (const QJsonValue& value : allKippets)
            objects_.push_back(value.isObject() ? std::optional(value.toObject()) : std::nullopt);
        std::iota(indexes_.begin(), indexes_.end(), 0);
        running_ = QtConcurrent::map(WorkerPool::shared(), indexes_,
                                     [this](qsizetype index) { decode(index); });
    }
    ~KippetDecoder() {
        running_.cancel();
        running_.waitForFinished();
    }
    KippetDecoder(const KippetDecoder&) = delete;
    KippetDecoder& operator=(const KippetDecoder&) = delete;

    qsizetype size() const { return qsizetype(results_.size()); }

    // Waits for kippet `index` and hands it over, or nothing when it did not decode; each index
    // is taken once.
    std::optional<KippetModel> take(qsizetype index) {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return results_[index].has_value(); });
        std::optional<KippetModel> row = std::move(*results_[index]);
        results_[index].reset();
        return row;
    }

    // Waits for every kippet; the lines of those that did not decode, in file order.
    QStringList skippedLines() {
        running_.waitForFinished();
        QStringList lines;
        for (qsizetype index = 0; index < size(); ++index)
            if (!reasons_[index].isNull())
                lines.append(QStringLiteral("⚠️ Skipped kippet %1 of %2 in the legacy data: %3")
                                 .arg(index + 1)
                                 .arg(size())
                                 .arg(reasons_[index]));
        return lines;
    }

private:
    void decode(qsizetype index) {
        std::optional<KippetModel> result;
        try {
            if (!objects_[index])
                throw KippetsError(QStringLiteral("not a JSON object"));
            const std::unique_ptr<Kippet> kippet = Kippet::fromJson(*objects_[index], now_);
            result = KippetModel::fromDomainWithContents(*kippet);
        } catch (const std::exception& error) {
            reasons_[index] = KippetsError::textOf(error);
        }
        {
            const std::lock_guard lock(mutex_);
            results_[index] = std::move(result);
        }
        ready_.notify_all();
    }

    const QDateTime now_;
    std::vector<std::optional<QJsonObject>> objects_;
    // Set once a kippet is done: holding its row, or an empty optional when it did not decode.
    std::vector<std::optional<std::optional<KippetModel>>> results_;
    std::vector<QString> reasons_;
    std::vector<qsizetype> indexes_;
    std::mutex mutex_;
    std::condition_variable ready_;
    QFuture<void> running_;
};

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

// The import connection's settings for one large write, restored afterwards: a cache that holds
// the whole import, so that no page is written to the log twice, and no checkpoint inside the
// commit, so that the commit returns once the rows are in the log.
class BulkWriteSettings {
public:
    explicit BulkWriteSettings(QSqlDatabase database) : database_(std::move(database)) {
        cacheSize_ = pragma(QStringLiteral("cache_size"));
        autoCheckpoint_ = pragma(QStringLiteral("wal_autocheckpoint"));
        pragma(QStringLiteral("cache_size = -131072"));
        pragma(QStringLiteral("wal_autocheckpoint = 0"));
    }
    ~BulkWriteSettings() {
        try {
            pragma(QStringLiteral("cache_size = %1").arg(cacheSize_));
            pragma(QStringLiteral("wal_autocheckpoint = %1").arg(autoCheckpoint_));
        } catch (const StoreError&) {
        }
    }
    BulkWriteSettings(const BulkWriteSettings&) = delete;
    BulkWriteSettings& operator=(const BulkWriteSettings&) = delete;

private:
    QString pragma(const QString& statement) {
        QSqlQuery query(database_);
        if (!query.exec(QStringLiteral("PRAGMA ") + statement))
            throw StoreError(query.lastError().text());
        return query.next() ? query.value(0).toString() : QString();
    }

    QSqlDatabase database_;
    QString cacheSize_;
    QString autoCheckpoint_;
};

// Stores every kippet that decodes, in one transaction.
void insertNewKippets(StoreContainer& container, KippetDecoder& decoder) {
    {
        const BulkWriteSettings settings(container.database());
        StoreTables tables(container.database(), container.externalFolder());
        try {
            StoreTransaction transaction(container.database());
            // An import cut short and run again must not store a kippet twice; kippets that share
            // an id within the file are all stored, for the loader to resolve.
            const QSet<QUuid> stored = tables.storedKippetIds();
            for (qsizetype index = 0; index < decoder.size(); ++index) {
                std::optional<KippetModel> row = decoder.take(index);
                if (row && !stored.contains(row->id))
                    tables.insertKippet(*row);
            }
            tables.syncWrittenFiles();
            transaction.commit();
        } catch (...) {
            tables.discardWrittenFiles();
            throw;
        }
        tables.finishCommittedFiles();
    }
    container.checkpointInBackground();
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
    // The copy runs while the kippets decode and are stored; its line still comes first. Its name
    // is taken here: the clock belongs to this thread.
    QFuture<QString> backup =
        QtConcurrent::run(WorkerPool::shared(), [source = path, target = backupPath()] {
            return copyBackup(source, target);
        });
    const QSet<QUuid> open = activeIds(legacy.activeKippets);
    QString failure;
    KippetDecoder decoder(legacy.allKippets);
    try {
        insertNewKippets(container, decoder);
    } catch (const StoreError& error) {
        failure = error.errorDescription();
    }
    const QStringList skipped = decoder.skippedLines();
    if (const QString line = backup.result(); !line.isEmpty())
        Log::line(line);
    for (const QString& line : std::as_const(skipped))
        Log::line(line);
    if (!failure.isNull()) {
        Log::line(QStringLiteral("❌ Migration failed: ") + failure);
        return false;
    }
    saveActiveKippetIDs(open);
    preferences_.setBool(completedKey, true);
    preferences_.setInt(QLatin1String(migrationVersionKey), currentMigrationVersion);
    Log::line(QStringLiteral("✅ Store migration completed successfully!"));
    return true;
}

QByteArray DataMigrationService::readLegacyFile(const QString& path) {
    // The legacy file is one of the data folder's: a link in its place is left alone, like every
    // other name there, so what is imported is never a file elsewhere that the link names.
    const DataFile opened = DataFile::open(QFileInfo(path).absolutePath(), path);
    if (!opened.isOpen()) {
        const QString why = opened.refusal();
        if (why.startsWith(QLatin1String("it ")))
            throw KippetsError(QStringLiteral("“%1” %2; it was left unread").arg(path, why.mid(3)));
        throw KippetsError(QStringLiteral("“%1” cannot be read: %2").arg(path, why));
    }
    if (opened.size() >= legacyFileLimit)
        throw KippetsError(
            QStringLiteral("“%1” is larger than 2 GiB; it was left unread").arg(path));
    QFile file;
    if (!file.open(opened.descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        throw KippetsError(QStringLiteral("“%1” cannot be read: %2").arg(path, file.errorString()));
    // The file may grow after the check: what is read stays within the size seen.
    const QByteArray bytes = file.read(opened.size());
    if (file.error() != QFileDevice::NoError)
        throw KippetsError(QStringLiteral("“%1” cannot be read: %2").arg(path, file.errorString()));
    return bytes;
}

void DataMigrationService::createBackup() const {
    if (const QString line = copyBackup(legacyDataURL(), backupPath()); !line.isEmpty())
        Log::line(line);
}

QString DataMigrationService::backupPath() const {
    const QString stamp =
        Clock::shared().now().toLocalTime().toString(QStringLiteral("yyyyMMdd_HHmmss"));
    return dataFolder_ + QStringLiteral("/kippets_backup_") + stamp + QStringLiteral(".json");
}

QString DataMigrationService::copyBackup(const QString& source, const QString& target) {
    if (!QFileInfo::exists(source))
        return {};
    // The legacy file stays in place, so its copy need not wait for the disk (a flushed copy of a
    // large file took as long as the whole import).
    if (const auto failure = DurableFile::copy(source, target))
        return QStringLiteral("⚠️ Failed to create backup: ") + *failure;
    return QStringLiteral("📦 Created backup at: ") + target;
}

void DataMigrationService::saveActiveKippetIDs(const QSet<QUuid>& ids) const {
    preferences_.setData(QLatin1String(ActiveKippetIDs::key), ActiveKippetIDs::encode(ids));
    Log::line(QStringLiteral("💾 Saved %1 active kippet IDs for restoration").arg(ids.size()));
}
