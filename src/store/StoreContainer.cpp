#include "store/StoreContainer.h"

#include "platform/Log.h"
#include "platform/Preferences.h"
#include "platform/WorkerPool.h"
#include "store/ActiveKippetIDs.h"
#include "store/DataFolderLock.h"
#include "store/DataMigrationService.h"
#include "store/ExternalBytes.h"
#include "store/ItemStorage.h"
#include "store/StoreError.h"
#include "store/StoreFileStamp.h"
#include "store/StoreManager.h"
#include "store/StoreSchema.h"
#include "store/StoreTables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUrl>
#include <QUuid>
#include <QtConcurrent>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <sqlite3.h>

namespace {
QString nextConnectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("kippets-store-%1").arg(++counter);
}

// Refuses, before SQLite touches it, a file that is not a store or lost its tail: opening such a
// file for writing could change it, and the user's file must stay as it was for recovery.
void checkExistingFile(const QString& path) {
    QFile file(path);
    if (!file.exists() || file.size() == 0)
        return;
    if (!file.open(QIODevice::ReadOnly))
        throw StoreError(
            QStringLiteral("The store “%1” cannot be read: %2").arg(path, file.errorString()));
    const QByteArray header = file.read(100);
    if (header.size() < 100 || !header.startsWith(QByteArray("SQLite format 3\0", 16)))
        throw StoreError(
            QStringLiteral("The store “%1” is not a database; it was left unchanged").arg(path));
    const auto* bytes = reinterpret_cast<const uchar*>(header.constData());
    const quint32 rawPageSize = qFromBigEndian<quint16>(bytes + 16);
    const qint64 pageSize = rawPageSize == 1 ? 65536 : rawPageSize;
    const quint32 pageCount = qFromBigEndian<quint32>(bytes + 28);
    const bool countIsValid = pageCount != 0 && qFromBigEndian<quint32>(bytes + 24) ==
                                                    qFromBigEndian<quint32>(bytes + 92);
    const QFileInfo wal(path + QStringLiteral("-wal"));
    const bool walHasFrames = wal.exists() && wal.size() > 0;
    if (countIsValid && !walHasFrames && file.size() < pageSize * pageCount)
        throw StoreError(
            QStringLiteral("The store “%1” is truncated (%2 of %3 bytes); it was left "
                           "unchanged")
                .arg(path, QString::number(file.size()), QString::number(pageSize * pageCount)));
}

void execute(QSqlDatabase& database, const QString& statement, const QString& storeName) {
    QSqlQuery query(database);
    if (!query.exec(statement))
        throw StoreError(QStringLiteral("The store “%1” cannot be opened: %2")
                             .arg(storeName, query.lastError().text()));
}

// What a store file says of itself, read on a read-only connection of its own.
struct StoreIdentity {
    qint64 pageCount = 0;
    qint64 applicationId = 0;
    int schemaVersion = 0;
    QStringList statements; // CREATE statements of its tables and indexes
};

// Without a write-ahead log to read, the file is opened as immutable: even a read-only connection
// would otherwise leave a log and a shared-memory file beside a database in WAL mode. A log with
// frames (a store whose process died before copying it back) holds the newest pages, so it is
// read, on files that exist already.
StoreIdentity readIdentity(const QString& path, const QString& connectionName, bool hasLog) {
    StoreIdentity identity;
    QString failure;
    {
        QSqlDatabase database =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        if (hasLog) {
            database.setDatabaseName(path);
            database.setConnectOptions(
                QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
        } else {
            database.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) +
                                     QStringLiteral("?immutable=1"));
            database.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
        }
        if (!database.open()) {
            failure = database.lastError().text();
        } else {
            const auto pragma = [&](const char* name) -> qint64 {
                QSqlQuery query(database);
                if (!query.exec(QStringLiteral("PRAGMA ") + QLatin1String(name)) || !query.next()) {
                    failure = query.lastError().text();
                    return 0;
                }
                return query.value(0).toLongLong();
            };
            identity.pageCount = pragma("page_count");
            identity.applicationId = pragma("application_id");
            identity.schemaVersion = int(pragma("user_version"));
            QSqlQuery query(database);
            if (query.exec(QStringLiteral("SELECT sql FROM sqlite_master WHERE sql IS NOT NULL")))
                while (query.next())
                    identity.statements.append(query.value(0).toString());
        }
        database.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
    if (!failure.isNull())
        throw StoreError(
            QStringLiteral("The store “%1” cannot be opened: %2; it was left unchanged")
                .arg(path, failure));
    return identity;
}

StoreError damagedStore(const QString& storeName, const QString& verdict) {
    return StoreError(QStringLiteral("The store “%1” is damaged (%2); it was left unchanged")
                          .arg(storeName, verdict));
}

void checkIntegrity(QSqlDatabase& database, const QString& storeName) {
    QSqlQuery query(database);
    if (!query.exec(QStringLiteral("PRAGMA quick_check")) || !query.next())
        throw StoreError(
            QStringLiteral("The store “%1” cannot be opened: %2; it was left unchanged")
                .arg(storeName, query.lastError().text()));
    const QString verdict = query.value(0).toString();
    if (verdict != QLatin1String("ok"))
        throw damagedStore(storeName, verdict);
}

// Stores of this process given up as damaged while in use, by path, with their refusal: a later
// open of one of them in this process (the start-up's fallback) is refused the same way, though
// the stamp of its last clean close still matches the file.
struct RefusedStores {
    QMutex mutex;
    QHash<QString, QString> descriptions;
};

RefusedStores& refusedStores() {
    static RefusedStores* instance = new RefusedStores;
    return *instance;
}

std::optional<QString> refusalOf(const QString& path) {
    RefusedStores& refused = refusedStores();
    QMutexLocker lock(&refused.mutex);
    const auto found = refused.descriptions.constFind(path);
    if (found == refused.descriptions.cend())
        return std::nullopt;
    return *found;
}
} // namespace

StoreContainer::StoreContainer(Form form, QString storePath, QString dataFolder)
    : form_(form), storePath_(std::move(storePath)), dataFolder_(std::move(dataFolder)),
      connectionName_(nextConnectionName()) {}

StoreContainer::~StoreContainer() {
    close();
}

QString StoreContainer::defaultDataFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Kippets");
}

QString StoreContainer::temporaryDataFolder() {
    static const QString folder = [] {
        const QString path = QDir::tempPath() + QStringLiteral("/KippetsTestData-") +
                             QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        QDir().mkpath(path);
        return path;
    }();
    return folder;
}

QSqlDatabase StoreContainer::database() const {
    return QSqlDatabase::database(connectionName_, false);
}

// What says that the store held data, each with the file a user removes to start afresh on
// purpose: the stamp of its last clean close, the legacy import marked done (it is marked only
// once a store was configured), kippets listed as open, item bytes kept beside the file, and a
// log of writes kept beside a file that is gone.
QList<StoreContainer::SignOfData> StoreContainer::signsOfData() const {
    QList<SignOfData> signs;
    const std::optional<StoreFileStamp::Recorded> stamp = StoreFileStamp(storePath_).recorded();
    if (stamp && stamp->size > 0)
        signs.append({QStringLiteral("its last clean close left %1 bytes").arg(stamp->size),
                      storePath_ + QStringLiteral("-clean")});
    const Preferences& preferences = Preferences::shared();
    if (preferences.boolOr(QLatin1String(DataMigrationService::migrationCompletedKey), false))
        signs.append({QStringLiteral("the preferences record its import as done"),
                      preferences.fileName(),
                      QLatin1String(DataMigrationService::migrationCompletedKey)});
    const std::optional<QByteArray> listed =
        preferences.dataValue(QLatin1String(ActiveKippetIDs::key));
    const qsizetype open =
        listed ? ActiveKippetIDs::decode(*listed).value_or(QSet<QUuid>()).size() : 0;
    if (open > 0)
        signs.append({(open == 1 ? QStringLiteral("the preferences list %1 open kippet")
                                 : QStringLiteral("the preferences list %1 open kippets"))
                          .arg(open),
                      preferences.fileName(), QLatin1String(ActiveKippetIDs::key)});
    const QDir external(externalFolder());
    if (!external.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
        signs.append({QStringLiteral("item bytes of a store are kept beside it in “%1”")
                          .arg(externalFolder()),
                      externalFolder()});
    const QString log = storePath_ + QStringLiteral("-wal");
    if (!QFileInfo::exists(storePath_) && QFileInfo(log).size() > 0)
        signs.append(
            {QStringLiteral("a log of its writes is kept beside it in “%1”").arg(log), log});
    return signs;
}

// How a user who wants a new store gets one: the files that say a store was here go, and of the
// preferences only the keys that say so, so that every other setting stays.
QString StoreContainer::startAfreshHint(const QList<SignOfData>& signs) const {
    const auto quoted = [](const QString& text) {
        return QStringLiteral("“") + text + QStringLiteral("”");
    };
    const auto listed = [](QStringList parts) {
        const QString last = parts.takeLast();
        return parts.isEmpty() ? last : parts.join(u", ") + QStringLiteral(" and ") + last;
    };
    QStringList files;
    QStringList keyFiles;
    QHash<QString, QStringList> keysOf;
    for (const SignOfData& sign : signs) {
        if (!sign.key.isEmpty()) {
            if (!keyFiles.contains(sign.file))
                keyFiles.append(sign.file);
            if (!keysOf[sign.file].contains(quoted(sign.key)))
                keysOf[sign.file].append(quoted(sign.key));
        } else if (!files.contains(quoted(sign.file))) {
            files.append(quoted(sign.file));
        }
    }
    for (const QString& file : keyFiles) {
        const QStringList& keys = keysOf.value(file);
        files.append((keys.size() == 1 ? QStringLiteral("the key ") : QStringLiteral("the keys ")) +
                     listed(keys) + QStringLiteral(" from ") + quoted(file));
    }
    QString hint =
        QStringLiteral(" To start afresh on purpose, remove ") + listed(files) + QLatin1Char('.');
    const bool importsAgain = std::any_of(signs.cbegin(), signs.cend(), [](const SignOfData& s) {
        return s.key == QLatin1String(DataMigrationService::migrationCompletedKey);
    });
    // Said only of a legacy file that is there to be imported (the import follows no link).
    const QFileInfo legacy(dataFolder_ + QStringLiteral("/kippets.json"));
    if (importsAgain && !legacy.isSymLink() && legacy.isFile())
        hint += QStringLiteral(" A “kippets.json” left in “%1” is then imported again.")
                    .arg(dataFolder_);
    return hint;
}

// An empty or missing file may be a new store only while nothing says a store was here:
// otherwise the database was emptied or deleted, and writing a new one in its place would lose
// what is left to recover, or make the item bytes beside it look like leftovers.
void StoreContainer::requireNothingLost(bool missing) const {
    const QList<SignOfData> signs = signsOfData();
    if (signs.isEmpty())
        return;
    QStringList said;
    for (const SignOfData& sign : signs)
        said.append(sign.said);
    const QString hint = startAfreshHint(signs);
    if (missing)
        throw StoreError(QStringLiteral("The store “%1” is missing, but %2; nothing was changed.")
                             .arg(storePath_, said.join(u", ")) +
                         hint);
    if (signs.size() == 1 && signs.first().file == externalFolder())
        throw StoreError(QStringLiteral("The store “%1” is empty, but item bytes of a store are "
                                        "kept beside it in “%2”; both were left unchanged.")
                             .arg(storePath_, externalFolder()) +
                         hint);
    throw StoreError(
        damagedStore(storePath_, QStringLiteral("the file is empty, but ") + said.join(u", "))
            .errorDescription() +
        QLatin1Char('.') + hint);
}

// The same file as at its last clean close, now shorter: it lost its tail since.
void StoreContainer::requireNotShorterThanStamp(qint64 size) const {
    const std::optional<StoreFileStamp::Recorded> stamp = StoreFileStamp(storePath_).recorded();
    if (stamp && stamp->sameFile && size < stamp->size)
        throw damagedStore(storePath_, QStringLiteral("%1 of the %2 bytes its last clean close "
                                                      "left")
                                           .arg(size)
                                           .arg(stamp->size));
}

void StoreContainer::checkIdentity() const {
    const QFileInfo file(storePath_);
    if (!file.exists()) {
        requireNothingLost(true);
        return;
    }
    const QFileInfo wal(storePath_ + QStringLiteral("-wal"));
    const bool hasLog = wal.exists() && wal.size() > 0;
    if (file.size() == 0 && !hasLog) {
        requireNothingLost(false);
        return;
    }
    if (!hasLog)
        requireNotShorterThanStamp(file.size());
    const StoreIdentity identity =
        readIdentity(storePath_, connectionName_ + QStringLiteral("-identity"), hasLog);
    if (identity.pageCount == 0) {
        requireNothingLost(false);
        return;
    }
    // Stores written before the application id was stamped carry none; one is ours when its
    // version and every table of that version are ours, word for word.
    const bool earlierStore =
        identity.applicationId == 0 && identity.schemaVersion != 0 &&
        StoreSchema::holdsSchemaOf(identity.schemaVersion, identity.statements);
    if (identity.applicationId != StoreSchema::applicationId && !earlierStore)
        throw StoreError(QStringLiteral("The file “%1” is not a Kippets store (another program's "
                                        "database?); it was left unchanged")
                             .arg(storePath_));
    if (identity.schemaVersion > schemaVersion)
        throw StoreError(QStringLiteral("The store “%1” was written by a newer version of Kippets "
                                        "(schema %2) and was left unchanged")
                             .arg(storePath_, QString::number(identity.schemaVersion)));
    if (!StoreSchema::isKnownVersion(identity.schemaVersion))
        throw StoreError(QStringLiteral("The store “%1” has an unknown schema version (%2); it was "
                                        "left unchanged")
                             .arg(storePath_, QString::number(identity.schemaVersion)));
}

void StoreContainer::open() {
    const bool inMemory = form_ == Form::inMemory;
    if (!inMemory) {
        if (const auto refusal = refusalOf(storePath_))
            throw StoreError(*refusal);
        checkExistingFile(storePath_);
        checkIdentity();
    }
    {
        QSqlDatabase database =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName_);
        database.setDatabaseName(storePath_);
        database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!database.open())
            throw StoreError(QStringLiteral("The store “%1” cannot be opened: %2")
                                 .arg(storePath_, database.lastError().text()));
        if (!inMemory) {
            if (!StoreFileStamp(storePath_).isUnchangedSinceCleanClose())
                checkIntegrity(database, storePath_);
            // Item contents of a few KiB fit a 16 KiB page without overflow chains; SQLite takes
            // the size only while the file is still empty.
            execute(database, QStringLiteral("PRAGMA page_size = 16384"), storePath_);
            execute(database, QStringLiteral("PRAGMA journal_mode = WAL"), storePath_);
            // With WAL, NORMAL keeps every committed transaction across a crash of the process.
            execute(database, QStringLiteral("PRAGMA synchronous = NORMAL"), storePath_);
        }
        execute(database, QStringLiteral("PRAGMA foreign_keys = ON"), storePath_);
        StoreSchema::migrate(database, storePath_);
        if (!inMemory) {
            // Only what writes of stopped processes left unfinished goes: never a file that a
            // row could name, nor one that another process is still writing.
            StoreTables tables(database, externalFolder());
            ExternalBytes(externalFolder()).sweepUnfinishedWrites([&tables] {
                return tables.referencedFiles();
            });
            ItemStorage(dataFolder_).sweepUnfinishedWrites([&tables] {
                return tables.storedItemIds();
            });
        }
    }
}

QString StoreContainer::externalFolder() const {
    return form_ == Form::inMemory ? QString() : storePath_ + QStringLiteral("-files");
}

void StoreContainer::checkpointInBackground() {
    if (form_ == Form::inMemory)
        return;
    checkpoint_.waitForFinished();
    const QString path = storePath_;
    const QString name = connectionName_ + QStringLiteral("-checkpoint");
    auto run = std::make_shared<CheckpointRun>();
    checkpointRun_ = run;
    checkpoint_ = QtConcurrent::run(WorkerPool::shared(), [path, name, run] {
        run->begun = true;
        {
            QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            database.setDatabaseName(path);
            database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
            // A copy that fails leaves the data in the log, where the next checkpoint finds it.
            if (database.open()) {
                QSqlQuery query(database);
                query.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"));
            }
            database.close();
        }
        QSqlDatabase::removeDatabase(name);
        run->ended.release();
    });
}

bool StoreContainer::checkpointEndedWithin(std::chrono::milliseconds patience) {
    if (!checkpointRun_)
        return true;
    // A copy that no worker has begun (all of them busy) is run here and now by the wait.
    if (!checkpointRun_->begun || checkpointRun_->ended.tryAcquire(1, int(patience.count()))) {
        checkpoint_.waitForFinished();
        checkpointRun_.reset();
        return true;
    }
    return false;
}

void StoreContainer::close() {
    // A copy that hangs in the file system must not hold the quit for good: what it copies is
    // committed in the log, where the next start finds it.
    const bool checkpointEnded = checkpointEndedWithin(checkpointPatience);
    if (!checkpointEnded)
        Log::line(
            QStringLiteral("⚠️ [Store] The log of “%1” is still being copied into it; "
                           "closing without waiting (the log keeps every write)")
                .arg(storePath_));
    if (!QSqlDatabase::contains(connectionName_))
        return;
    {
        QSqlDatabase database = QSqlDatabase::database(connectionName_, false);
        database.close();
    }
    QSqlDatabase::removeDatabase(connectionName_);
    // Only a store that passed its check and was taken into use is vouched for; the stamp of a
    // refused one would let the next start skip the check that refused it.
    // Nor is a file that a copy may still be writing.
    if (form_ != Form::inMemory && accepted_ && checkpointEnded)
        StoreFileStamp(storePath_).recordCleanClose();
}

std::optional<StoreError> StoreContainer::damage() const {
    if (form_ == Form::inMemory)
        return std::nullopt;
    QSqlDatabase connection = database();
    QSqlQuery query(connection);
    if (!query.exec(QStringLiteral("PRAGMA quick_check")) || !query.next()) {
        if (StoreError::from(query.lastError()).namesDamage())
            return damagedStore(storePath_, query.lastError().text());
        return std::nullopt;
    }
    const QString verdict = query.value(0).toString();
    if (verdict != QLatin1String("ok"))
        return damagedStore(storePath_, verdict);
    return std::nullopt;
}

StoreError StoreContainer::damaged(const QString& verdict) const {
    return damagedStore(storePath_, verdict);
}

// Closing the last connection copies the log's pages into the file; over a damaged file that
// would write into the pages that cannot be trusted. The log stays beside it instead, with
// whatever was committed, for recovery.
void StoreContainer::keepLogOnClose() const {
    const QFileInfo wal(storePath_ + QStringLiteral("-wal"));
    if (!wal.exists() || wal.size() == 0)
        return;
    QSqlDatabase connection = database();
    const QVariant handle = connection.driver() ? connection.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return;
    if (sqlite3* const* sqlite = static_cast<sqlite3* const*>(handle.constData());
        sqlite && *sqlite)
        sqlite3_db_config(*sqlite, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
}

void StoreContainer::refuse(const StoreError& damage) {
    accepted_ = false;
    if (form_ == Form::inMemory)
        return;
    checkpoint_.waitForFinished();
    keepLogOnClose();
    if (lock_)
        lock_->removeFileIfMade();
    RefusedStores& refused = refusedStores();
    QMutexLocker lock(&refused.mutex);
    refused.descriptions.insert(storePath_, damage.errorDescription());
}

std::unique_ptr<StoreContainer> StoreContainer::accept(std::unique_ptr<StoreContainer> container) {
    try {
        container->open();
    } catch (...) {
        // A refused store leaves the folder as it was: no stamp, and no lock file made for it.
        container->close();
        if (container->lock_)
            container->lock_->removeFileIfMade();
        throw;
    }
    container->accepted_ = true;
    return container;
}

std::unique_ptr<StoreContainer> StoreContainer::createModelContainer() {
    const bool iCloud = StoreManager::isICloudSyncEnabled();
    Log::line(QStringLiteral("[iCloud Sync] createModelContainer() — iCloud enabled: ") +
              (iCloud ? QStringLiteral("true") : QStringLiteral("false")));
    return iCloud ? createCloudKitContainer() : createLocalContainer();
}

std::unique_ptr<StoreContainer> StoreContainer::createCloudKitContainer() {
    Log::line(QStringLiteral("[iCloud Sync] Creating CloudKit container..."));
    Log::line(QStringLiteral("[iCloud Sync]   CloudKit container ID: ") +
              QLatin1String(iCloudContainerIdentifier));
    Log::line(QStringLiteral("[iCloud Sync]   Database scope: private"));
    Log::line(QStringLiteral("[iCloud Sync]   Store URL: ") + defaultDataFolder() +
              QLatin1Char('/') + QLatin1String(storeFileName));
    throw StoreError(QStringLiteral("iCloud synchronisation is not available on this system"));
}

std::unique_ptr<StoreContainer> StoreContainer::createLocalContainer(const QString& dataFolder) {
    const QString folder = dataFolder.isEmpty() ? defaultDataFolder() : dataFolder;
    const QString path = folder + QLatin1Char('/') + QLatin1String(storeFileName);
    Log::line(QStringLiteral("[iCloud Sync] Creating local-only container (no CloudKit)..."));
    Log::line(QStringLiteral("[iCloud Sync]   Store URL: ") + path);
    const bool folderExisted = QFileInfo::exists(folder);
    if (!QDir().mkpath(folder))
        throw StoreError(QStringLiteral("The folder “%1” cannot be created").arg(folder));
    std::unique_ptr<StoreContainer> container;
    try {
        auto lock = std::make_unique<DataFolderLock>(folder);
        container.reset(new StoreContainer(Form::local, path, folder));
        container->lock_ = std::move(lock);
        container = accept(std::move(container));
    } catch (...) {
        // A refused start leaves no trace, not even the folder it made (rmdir: only while empty).
        if (!folderExisted)
            QDir().rmdir(folder);
        throw;
    }
    Log::line(QStringLiteral("[iCloud Sync] ✅ Local-only container created successfully"));
    return container;
}

std::unique_ptr<StoreContainer> StoreContainer::createInMemoryContainer(const QString& dataFolder) {
    const QString folder = dataFolder.isEmpty() ? temporaryDataFolder() : dataFolder;
    std::unique_ptr<StoreContainer> container(
        new StoreContainer(Form::inMemory, QStringLiteral(":memory:"), folder));
    return accept(std::move(container));
}
