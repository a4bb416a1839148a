#include "app/ContainerSetup.h"
#include "model/Kippet.h"
#include "platform/Clock.h"
#include "platform/Preferences.h"
#include "store/ActiveKippetIDs.h"
#include "store/DataMigrationService.h"
#include "store/DurableFile.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QJsonObject kippetJson(const QString& name, int items, const QUuid& id = QUuid::createUuid()) {
    Kippet kippet(id, name, KippetColor::standardBlue(), QStringLiteral("tray.fill"),
                  testClock().now());
    QList<KippetItem> list;
    for (int i = 0; i < items; ++i) {
        KippetItem item;
        item.id = QUuid::createUuid();
        item.type = KippetItemType::text;
        item.content = QByteArray("content ") + QByteArray::number(i);
        item.metadata.name = QStringLiteral("item %1").arg(i);
        item.addedDate = testClock().now();
        list.append(item);
    }
    kippet.setItems(list);
    KippetTodo todo{QUuid::createUuid(), QStringLiteral("todo"), false,
                    testClock().now(),   std::nullopt,           2};
    kippet.setTodos({todo});
    return kippet.toJson();
}

// Copies inside the kernel that end before the source's size: one that reports the end after
// its first bytes, as some file systems do, and one whose source is cut short on the way.
struct EarlyEnds {
    static constexpr off_t reported = 1000;
    static inline int calls = 0;
    static inline QString source;
    static ssize_t reportingTheEndEarly(int from, off_t* offset, int to, size_t length) {
        ++calls;
        if (*offset >= reported)
            return 0;
        char bytes[reported];
        const ssize_t read =
            ::pread(from, bytes, std::min<size_t>(length, size_t(reported - *offset)), *offset);
        if (read <= 0 || ::write(to, bytes, size_t(read)) != read)
            return -1;
        *offset += read;
        return read;
    }
    static ssize_t cuttingTheSourceShort(int, off_t*, int, size_t) {
        ++calls;
        return ::truncate(QFile::encodeName(source).constData(), reported) == 0 ? 0 : -1;
    }
};

QByteArray legacyFile(const QJsonArray& active, const QJsonArray& all) {
    return QJsonDocument(QJsonObject{{QStringLiteral("activeKippets"), active},
                                     {QStringLiteral("allKippets"), all}})
        .toJson();
}
} // namespace

class DataMigrationTest : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<StoreContainer> container_;

    QString folder() const { return dir_->path(); }
    void writeLegacy(const QByteArray& bytes) {
        QFile file(folder() + QStringLiteral("/kippets.json"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    bool migrate() {
        return DataMigrationService(folder(), Preferences::shared()).migrateIfNeeded(*container_);
    }
    bool completed() {
        return Preferences::shared().boolOr(
            QLatin1String(DataMigrationService::migrationCompletedKey), false);
    }
    QList<KippetModel> rows() {
        StoreManager store;
        auto own = std::move(container_);
        store.configure(std::move(own));
        const QList<KippetModel> all = store.fetchAllKippets();
        return all;
    }
    int kippetRows() {
        QSqlQuery query(container_->database());
        query.exec(QStringLiteral("SELECT COUNT(*) FROM kippets"));
        query.next();
        return query.value(0).toInt();
    }
    QStringList backups() {
        return QDir(folder()).entryList({QStringLiteral("kippets_backup_*.json")});
    }

private slots:
    void init() {
        TestEnvironment::resetPreferences();
        dir_ = std::make_unique<QTemporaryDir>();
        container_ = StoreContainer::createInMemoryContainer(folder());
    }
    void cleanup() {
        container_.reset();
        dir_.reset();
    }

    void missingFileMarksTheImportDone() {
        LogCapture log;
        QVERIFY(!migrate());
        QVERIFY(completed());
        QCOMPARE(Preferences::shared().intValue(
                     QLatin1String(DataMigrationService::migrationVersionKey)),
                 std::optional<int>(1));
        QVERIFY(log.contains(QStringLiteral("ℹ️ No legacy JSON data found - fresh install")));
        LogCapture second;
        QVERIFY(!migrate());
        QCOMPARE(second.lines(),
                 QStringList{QStringLiteral("✅ Store migration already completed")});
    }

    void importsKippetsWritesBackupAndActiveIdsOnce() {
        const QJsonObject first = kippetJson(QStringLiteral("one"), 2);
        const QJsonObject second = kippetJson(QStringLiteral("two"), 0);
        const QUuid closedOnly = QUuid::createUuid();
        writeLegacy(legacyFile({first, kippetJson(QStringLiteral("gone"), 0, closedOnly)},
                               {first, second, first}));
        LogCapture log;
        QVERIFY(migrate());
        QVERIFY(completed());
        QVERIFY(log.contains(QStringLiteral("   Found 3 kippets to migrate")));
        QVERIFY(log.contains(QStringLiteral("💾 Saved 2 active kippet IDs for restoration")));
        QCOMPARE(backups(), QStringList{QStringLiteral("kippets_backup_20260115_%1.json")
                                            .arg(testClock().now().toLocalTime().toString(
                                                QStringLiteral("HHmmss")))});
        QCOMPARE(kippetRows(), 3); // the id twice in the file is stored twice, for the loader
        const auto ids = ActiveKippetIDs::decode(
            *Preferences::shared().dataValue(QLatin1String(ActiveKippetIDs::key)));
        QCOMPARE(ids,
                 std::optional<QSet<QUuid>>(QSet<QUuid>{
                     QUuid::fromString(first.value(QStringLiteral("id")).toString()), closedOnly}));

        // Run again (as after an interruption before the flag was written): nothing is added.
        Preferences::shared().remove(QLatin1String(DataMigrationService::migrationCompletedKey));
        QVERIFY(migrate());
        QCOMPARE(kippetRows(), 3);
        const QList<KippetModel> stored = rows();
        const auto one = std::find_if(stored.begin(), stored.end(), [](const KippetModel& r) {
            return r.name == QStringLiteral("one");
        });
        QCOMPARE(one->items.size(), 2);
        QCOMPARE(one->items.at(1).metadataName, QStringLiteral("item 1"));
        QCOMPARE(one->todos.size(), 1);
        QCOMPARE(one->todos.first().order, std::optional<int>(2));
    }

    void undecodableFileIsKeptAndTriedAgain() {
        writeLegacy(QByteArray("{\"activeKippets\": []}"));
        LogCapture log;
        QVERIFY(!migrate());
        QVERIFY(!completed());
        QVERIFY(log.contains(QStringLiteral("⚠️ Failed to decode legacy data: ")));
        QVERIFY(QFile::exists(folder() + QStringLiteral("/kippets.json")));
        writeLegacy(legacyFile({}, {kippetJson(QStringLiteral("fixed"), 1)}));
        QVERIFY(migrate());
        QCOMPARE(kippetRows(), 1);
    }

    void oneBadKippetDoesNotKeepTheOthersOut() {
        QJsonObject bad = kippetJson(QStringLiteral("bad"), 1);
        QJsonArray items = bad.value(QStringLiteral("items")).toArray();
        QJsonObject item = items.at(0).toObject();
        item.insert(QStringLiteral("type"), QStringLiteral("hologram"));
        items[0] = item;
        bad.insert(QStringLiteral("items"), items);
        writeLegacy(legacyFile(
            {}, {kippetJson(QStringLiteral("a"), 1), bad, kippetJson(QStringLiteral("c"), 0)}));
        LogCapture log;
        QVERIFY(migrate());
        QVERIFY(completed());
        QVERIFY(log.contains(QStringLiteral("⚠️ Skipped kippet 2 of 3 in the legacy data: ")));
        QCOMPARE(kippetRows(), 2);
        QCOMPARE(backups().size(), 1);
        QVERIFY(QFile::exists(folder() + QStringLiteral("/kippets.json")));
    }

    void failedImportStoresNothingAndStaysPending() {
        writeLegacy(legacyFile(
            {}, {kippetJson(QStringLiteral("a"), 3), kippetJson(QStringLiteral("b"), 3)}));
        QSqlQuery(container_->database())
            .exec(QStringLiteral(
                "CREATE TEMP TRIGGER fail_here BEFORE INSERT ON kippet_todos WHEN "
                "(SELECT COUNT(*) FROM kippets) > 1 BEGIN SELECT RAISE(ABORT, 'full'); END"));
        LogCapture log;
        QVERIFY(!migrate());
        QVERIFY(log.contains(QStringLiteral("❌ Migration failed: ")));
        QCOMPARE(kippetRows(), 0);
        QVERIFY(!completed());
        QVERIFY(!Preferences::shared().contains(QLatin1String(ActiveKippetIDs::key)));
    }

    void existingBackupNameStillImports() {
        writeLegacy(legacyFile({}, {kippetJson(QStringLiteral("a"), 0)}));
        const QString stamp =
            testClock().now().toLocalTime().toString(QStringLiteral("yyyyMMdd_HHmmss"));
        QFile(folder() + QStringLiteral("/kippets_backup_") + stamp + QStringLiteral(".json"))
            .open(QIODevice::WriteOnly);
        LogCapture log;
        QVERIFY(migrate());
        QVERIFY(log.contains(QStringLiteral("⚠️ Failed to create backup: ")));
        QCOMPARE(kippetRows(), 1);
    }

    // The backup is the whole legacy file, also where the copy inside the kernel reports the end
    // early; a file that ends before its size while copied leaves no backup, and says so.
    void theBackupIsTheWholeFileOrNone() {
        writeLegacy(legacyFile({}, {kippetJson(QStringLiteral("a"), 200)}));
        const QString legacy = folder() + QStringLiteral("/kippets.json");
        QFile read(legacy);
        QVERIFY(read.open(QIODevice::ReadOnly));
        const QByteArray bytes = read.readAll();
        read.close();
        QVERIFY(bytes.size() > 10 * EarlyEnds::reported);

        EarlyEnds::calls = 0;
        DurableFile::setKernelCopy(&EarlyEnds::reportingTheEndEarly);
        LogCapture log;
        const bool migrated = migrate();
        DurableFile::setKernelCopy(nullptr);
        QVERIFY(migrated);
        QVERIFY(EarlyEnds::calls >= 2);
        QCOMPARE(backups().size(), 1);
        QFile backup(folder() + QLatin1Char('/') + backups().first());
        QVERIFY(backup.open(QIODevice::ReadOnly));
        QVERIFY(backup.readAll() == bytes);
        QVERIFY(log.contains(QStringLiteral("📦 Created backup at: ") + backup.fileName()));
        QVERIFY(backup.remove());

        Preferences::shared().remove(QLatin1String(DataMigrationService::migrationCompletedKey));
        EarlyEnds::calls = 0;
        EarlyEnds::source = legacy;
        DurableFile::setKernelCopy(&EarlyEnds::cuttingTheSourceShort);
        LogCapture cut;
        migrate();
        DurableFile::setKernelCopy(nullptr);
        QCOMPARE(EarlyEnds::calls, 1);
        QVERIFY(backups().isEmpty());
        QVERIFY(cut.contains(QStringLiteral("⚠️ Failed to create backup: the file ended after "
                                            "1000 of its %1 bytes")
                                 .arg(bytes.size())));
        QVERIFY(!cut.contains(QStringLiteral("📦 Created backup at: ")));
    }

    // A file store: the import is readable from another connection as soon as it returns, the
    // connection's cache and checkpoint settings are back to what they were, and the log is
    // copied into the store file by the time the store closes.
    void fileStoreImportIsCommittedAndLeavesSettingsAsTheyWere() {
        const QString storeFolder = folder() + QStringLiteral("/store");
        container_ = StoreContainer::createLocalContainer(storeFolder);
        const auto pragma = [this](const char* name) {
            QSqlQuery query(container_->database());
            query.exec(QStringLiteral("PRAGMA ") + QLatin1String(name));
            query.next();
            return query.value(0).toLongLong();
        };
        const qint64 cacheSize = pragma("cache_size");
        const qint64 autoCheckpoint = pragma("wal_autocheckpoint");
        QJsonArray all;
        for (int i = 0; i < 20; ++i)
            all.append(kippetJson(QStringLiteral("k%1").arg(i), 30));
        all.insert(7, QJsonValue(QStringLiteral("not a kippet")));
        writeLegacy(legacyFile({}, all));
        LogCapture log;
        QVERIFY(migrate());
        QVERIFY(log.contains(
            QStringLiteral("⚠️ Skipped kippet 8 of 21 in the legacy data: not a JSON object")));
        QCOMPARE(pragma("cache_size"), cacheSize);
        QCOMPARE(pragma("wal_autocheckpoint"), autoCheckpoint);
        {
            QSqlDatabase other =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
            other.setDatabaseName(container_->storePath());
            QVERIFY(other.open());
            QSqlQuery query(other);
            QVERIFY(query.exec(QStringLiteral("SELECT COUNT(*) FROM kippet_items")));
            QVERIFY(query.next());
            QCOMPARE(query.value(0).toInt(), 20 * 30);
        }
        QSqlDatabase::database(QStringLiteral("other"), false).close();
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
        container_.reset();
        const QFileInfo wal(storeFolder + QLatin1Char('/') +
                            QLatin1String(StoreContainer::storeFileName) + QStringLiteral("-wal"));
        QVERIFY(!wal.exists() || wal.size() == 0);
    }

    void fileSizesBeyondDoublePrecisionImportExactly() {
        QJsonObject kippet = kippetJson(QStringLiteral("sizes"), 2);
        QJsonArray items = kippet.value(QStringLiteral("items")).toArray();
        const qint64 sizes[] = {9007199254740993LL, 9223372036854775807LL};
        for (int i = 0; i < 2; ++i) {
            QJsonObject item = items.at(i).toObject();
            QJsonObject metadata = item.value(QStringLiteral("metadata")).toObject();
            metadata.insert(QStringLiteral("fileSize"), sizes[i]);
            item.insert(QStringLiteral("metadata"), metadata);
            items.replace(i, item);
        }
        kippet.insert(QStringLiteral("items"), items);
        const QByteArray file = legacyFile({}, {kippet});
        QVERIFY(file.contains("9223372036854775807"));
        writeLegacy(file);
        QVERIFY(migrate());
        const QList<KippetModel> stored = rows();
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.first().items.at(0).metadataFileSize, std::optional(sizes[0]));
        QCOMPARE(stored.first().items.at(1).metadataFileSize, std::optional(sizes[1]));
    }

    // A pipe would never end and a device would fill memory: neither is read, and the start goes
    // on with the import left for a later start. A link is left alone wherever it leads, also to
    // a good copy of the file: the data folder's files are never reached through a link.
    void aLegacyFileThatIsNoRegularFileIsLeftUnread_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("said");
        QTest::newRow("pipe") << QStringLiteral("pipe") << QStringLiteral("is not a regular file");
        QTest::newRow("link to /dev/zero")
            << QStringLiteral("device") << QStringLiteral("is a symbolic link");
        QTest::newRow("link to a copy")
            << QStringLiteral("copy") << QStringLiteral("is a symbolic link");
    }
    void aLegacyFileThatIsNoRegularFileIsLeftUnread() {
        QFETCH(QString, kind);
        QFETCH(QString, said);
        const QString path = folder() + QStringLiteral("/kippets.json");
        QTemporaryDir elsewhere;
        if (kind == QLatin1String("pipe")) {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == QLatin1String("device")) {
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        } else {
            const QString copy = elsewhere.path() + QStringLiteral("/kippets.json");
            QFile file(copy);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(legacyFile({}, {kippetJson(QStringLiteral("linked"), 0)}));
            file.close();
            QVERIFY(QFile::link(copy, path));
        }
        LogCapture log;
        QVERIFY(!migrate());
        QVERIFY(log.contains(
            QStringLiteral("⚠️ Failed to decode legacy data: “%1” %2; it was left unread")
                .arg(path, said)));
        QVERIFY(!log.contains(QStringLiteral("Found 1 kippets to migrate")));
        QVERIFY(!completed());
        QVERIFY(backups().isEmpty());
        QCOMPARE(kippetRows(), 0);
    }

    void temporaryStorageReadsOnlyItsOwnFolder() {
        const QString userFolder = StoreContainer::defaultDataFolder();
        QDir().mkpath(userFolder);
        QFile user(userFolder + QStringLiteral("/kippets.json"));
        QVERIFY(user.open(QIODevice::WriteOnly));
        user.write(legacyFile({}, {kippetJson(QStringLiteral("user's"), 0)}));
        user.close();
        writeLegacy(legacyFile({}, {kippetJson(QStringLiteral("test"), 0)}));
        StoreManager store;
        store.configure(std::move(container_));
        const QList<KippetModel> all = store.fetchAllKippets();
        QCOMPARE(all.size(), 1);
        QCOMPARE(all.first().name, QStringLiteral("test"));
        QVERIFY(QDir(userFolder).entryList({QStringLiteral("kippets_backup_*")}).isEmpty());
        QFile::remove(user.fileName());
    }

    void temporaryStorageUsesOneTestFolderPerProcess() {
        auto first = StoreContainer::createInMemoryContainer();
        auto launched = createLaunchContainer(true);
        const QString folder = StoreContainer::temporaryDataFolder();
        QCOMPARE(first->dataFolder(), folder);
        QCOMPARE(int(launched->form()), int(StoreContainer::Form::inMemory));
        QCOMPARE(launched->dataFolder(), folder);
        QVERIFY(QFileInfo(folder).isDir());
        QVERIFY(QFileInfo(folder).fileName().startsWith(QStringLiteral("KippetsTestData-")));
        QVERIFY(folder.startsWith(QDir::tempPath()));
        QDir(folder).removeRecursively();
    }
};

QTEST_GUILESS_MAIN(DataMigrationTest)
#include "DataMigrationTest.moc"
