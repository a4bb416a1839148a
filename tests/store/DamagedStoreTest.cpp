#include "StoreFixtures.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "store/ActiveKippetIDs.h"
#include "store/KippetManager.h"
#include "store/StoreContainer.h"
#include "store/StoreError.h"
#include "store/StoreManager.h"
#include "store/StoreTables.h"
#include "support/AppHarness.h"
#include "support/DamagedPages.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QCoroTask>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>

using namespace StoreFixtures;

namespace {
const QString storeFile = QStringLiteral("/Kippets.sqlite");

// A store of twenty kippets with their items, closed cleanly.
void fillStore(const QString& folder) {
    StoreManager store;
    store.configure(StoreContainer::createLocalContainer(folder));
    for (int i = 0; i < 20; ++i) {
        KippetModel kippet = fullKippet(QString::number(i));
        kippet.items.first().content = QByteArray(6000, char('a' + i));
        store.insertKippet(kippet);
    }
}

// The first pages of the named tables or indexes overwritten in place; the file keeps its size,
// and with `keepTime` its time of change too.
void damagePages(const QString& path, const QStringList& names, bool keepTime) {
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);
    const QString failure = DamagedPages::overwriteRootPages(path, names, keepTime);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    struct stat after {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &after), 0);
    QCOMPARE(after.st_size, before.st_size);
    QCOMPARE(after.st_mtim.tv_nsec == before.st_mtim.tv_nsec, keepTime);
}

void damageTwoPages(const QString& path, bool keepTime) {
    damagePages(path, {QStringLiteral("kippets"), QStringLiteral("kippet_items")}, keepTime);
}

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What a launch of the app in `home` says and does, to its end.
struct ChildRun {
    int exitCode = 0;
    QString output;
    QString errors;
};

ChildRun runApp(const QString& home,
                const QProcessEnvironment& environment = QProcessEnvironment()) {
    QProcess app;
    app.setProcessEnvironment(environment.isEmpty() ? AppHarness::childEnvironment(home)
                                                    : environment);
    app.start(AppHarness::appPath(), {});
    ChildRun run;
    if (!app.waitForFinished(60000)) {
        app.kill();
        app.waitForFinished();
        run.exitCode = -1;
    } else {
        run.exitCode = app.exitStatus() == QProcess::NormalExit ? app.exitCode() : -1;
    }
    run.output = QString::fromUtf8(app.readAllStandardOutput());
    run.errors = QString::fromUtf8(app.readAllStandardError());
    return run;
}

bool isDamagedStoreRefusal(const QString& text, const QString& path) {
    return text.startsWith(QStringLiteral("The store “%1” is damaged (").arg(path)) &&
           text.endsWith(QStringLiteral("); it was left unchanged"));
}
} // namespace

class DamagedStoreTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void init() { TestEnvironment::resetPreferences(); }

    // The stamp of the last clean close still matches, so the open skips its check: the load
    // finds the damage, and the store is refused as the check at open would refuse it.
    void aStoreFoundDamagedWhileLoadingIsRefusedAsAtOpen() {
        const QString folder = dir_.filePath(QStringLiteral("at load"));
        const QString path = folder + storeFile;
        fillStore(folder);
        damageTwoPages(path, true);
        const QByteArray before = TestFiles::folderChecksum(folder);

        LogCapture log;
        QString refusal;
        {
            StoreManager store;
            StoreManager::install(&store);
            store.configure(StoreContainer::createLocalContainer(folder));
            KippetManager manager(&store, folder);
            KippetManager::install(&manager);
            QCoro::waitFor(manager.waitForInitialization());
            QVERIFY(log.contains(QStringLiteral("❌ Failed to load from the store: ")));
            QVERIFY(!log.contains(QStringLiteral("✅ KippetManager store integration ready")));
            QVERIFY(!store.hasContext());
            QVERIFY(!manager.isStoreReady());
            QVERIFY(manager.allKippets().isEmpty());
            refusal = store.refusal().value_or(QString());
            QVERIFY2(isDamagedStoreRefusal(refusal, path), qPrintable(refusal));
            QVERIFY(log.contains(QStringLiteral("❌ ") + refusal));
            // Nothing reaches the store any more.
            QVERIFY_THROWS_EXCEPTION(std::exception,
                                     manager.createKippet(QStringLiteral("New"),
                                                          KippetColor::standardBlue(),
                                                          QStringLiteral("tray.fill"), false));
            KippetManager::install(nullptr);
            StoreManager::install(nullptr);
        }
        // The start-up's fallback is refused with the same words.
        try {
            StoreContainer::createLocalContainer(folder);
            QFAIL("the damaged store was opened again");
        } catch (const StoreError& error) {
            QCOMPARE(error.errorDescription(), refusal);
        }
        QCOMPARE(TestFiles::folderChecksum(folder), before);
    }

    // A read row by row meets a damaged page after its first rows: it fails with the store's
    // error rather than passing for every row.
    void aReadCutShortByADamagedPageIsTheStoresError() {
        const QString folder = dir_.filePath(QStringLiteral("cut short"));
        {
            StoreManager store;
            store.configure(StoreContainer::createLocalContainer(folder));
            // Enough rows for every table and index to span pages of 16 KiB.
            for (int i = 0; i < 400; ++i) {
                KippetModel kippet = fullKippet(QString::number(i));
                // The first ones kept in files beside the store, which their rows name.
                kippet.items.first().content = QByteArray(i < 5 ? 70000 : 3000, char('a' + i % 26));
                store.insertKippet(kippet);
            }
        }
        const QString failure = DamagedPages::overwriteLastPages(
            folder + storeFile,
            {QStringLiteral("kippets"), QStringLiteral("kippets_by_id"),
             QStringLiteral("kippet_items"), QStringLiteral("kippet_item_contents")});
        QVERIFY2(failure.isEmpty(), qPrintable(failure));

        const QString connection = QStringLiteral("cut short");
        {
            QSqlDatabase database =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            database.setDatabaseName(folder + storeFile);
            QVERIFY(database.open());
            StoreTables tables(database);
            const QList<std::pair<const char*, std::function<qsizetype()>>> reads = {
                {"kippet ids", [&] { return tables.storedKippetIds().size(); }},
                {"item ids", [&] { return tables.storedItemIds().size(); }},
                {"item files", [&] { return tables.referencedFiles().size(); }},
            };
            for (const auto& [name, read] : reads) {
                try {
                    const qsizetype rows = read();
                    QFAIL(qPrintable(QStringLiteral("%1: %2 rows passed for all")
                                         .arg(QLatin1String(name))
                                         .arg(rows)));
                } catch (const StoreError& error) {
                    QVERIFY2(error.namesDamage(), qPrintable(error.errorDescription()));
                }
            }
        }
        QSqlDatabase::removeDatabase(connection);
    }

    void everyLaunchOverADamagedStoreIsRefusedAndChangesNothing_data() {
        QTest::addColumn<bool>("keepTime");
        QTest::newRow("time changed") << false;
        QTest::newRow("size and time kept") << true;
    }
    void everyLaunchOverADamagedStoreIsRefusedAndChangesNothing() {
        QFETCH(bool, keepTime);
        QTemporaryDir home;
        const QString folder = home.filePath(QStringLiteral(".local/share/Kippets"));
        const QString path = folder + storeFile;
        fillStore(folder);
        QVERIFY(QFile::exists(path + QStringLiteral("-clean")));
        damageTwoPages(path, keepTime);
        const QByteArray before = TestFiles::folderChecksum(folder);
        const QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);

        // The dialogs of the child are recorded and printed: a user would see the alert.
        QProcessEnvironment environment = AppHarness::childEnvironment(home.path());
        environment.insert(QStringLiteral("KIPPETS_DIALOGS"), QStringLiteral("record"));
        for (int launch = 1; launch <= 3; ++launch) {
            QProcess app;
            app.setProcessEnvironment(environment);
            app.start(AppHarness::appPath(), {});
            QVERIFY(app.waitForFinished(60000));
            const QString errors = QString::fromUtf8(app.readAllStandardError());
            const QString output = QString::fromUtf8(app.readAllStandardOutput());
            QCOMPARE(app.exitStatus(), QProcess::NormalExit);
            QVERIFY2(app.exitCode() != 0, qPrintable(output));
            const QString fatal =
                QStringLiteral("[iCloud Sync] 💀 Could not create any container: ");
            const qsizetype at = errors.indexOf(fatal);
            QVERIFY2(at >= 0, qPrintable(errors));
            const QString refusal = errors.mid(at + fatal.size()).section(QLatin1Char('\n'), 0, 0);
            QVERIFY2(refusal.startsWith(QStringLiteral("The store “%1” is damaged (").arg(path)),
                     qPrintable(refusal));
            QVERIFY(errors.contains(QStringLiteral("); it was left unchanged")));
            // Refused at open when its time changed, at load when the stamp still matched: the
            // user is told the same in one alert either way.
            QCOMPARE(output.count(QStringLiteral("🪟 [Dialogs] ")), 1);
            QVERIFY2(output.contains(QStringLiteral("🪟 [Dialogs] Kippets Cannot Start: ") +
                                     refusal + QLatin1Char('\n')),
                     qPrintable(output));
            QVERIFY(!output.contains(QStringLiteral("✅ KippetManager store integration ready")));
            QVERIFY(!output.contains(QStringLiteral("📦 Restoring")));
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), files);
            QCOMPARE(TestFiles::folderChecksum(folder), before);
        }
    }

    // SQLite meets the damage only when a write reaches the damaged index, long after the start:
    // the store is given up then as at the start, and the file stays as it was.
    void damageMetWhileRunningGivesTheStoreUpAndLeavesTheFileAsItWas() {
        const QString folder = dir_.filePath(QStringLiteral("in use"));
        const QString path = folder + storeFile;
        fillStore(folder);
        damagePages(path, {QStringLiteral("kippets_by_id")}, true);
        const QByteArray before = bytesOf(path);

        LogCapture log;
        QString refusal;
        {
            StoreManager store;
            StoreManager::install(&store);
            store.configure(StoreContainer::createLocalContainer(folder));
            KippetManager manager(&store, folder);
            KippetManager::install(&manager);
            QCoro::waitFor(manager.waitForInitialization());
            QVERIFY(manager.isStoreReady());
            QCOMPARE(manager.allKippets().size(), 20);
            // A write the damage does not meet stays committed in the log.
            manager.addTodo(QStringLiteral("kept in the log"), manager.allKippets().first());
            QSignalSpy refused(&store, &StoreManager::storeRefused);
            const auto create = [&manager] {
                manager.createKippet(QStringLiteral("New Kippet"), KippetColor::standardBlue(),
                                     QStringLiteral("tray.fill"), false);
            };
            try {
                create();
                QFAIL("a kippet was written into the damaged store");
            } catch (const std::exception& error) {
                QCOMPARE(KippetsError::textOf(error),
                         QStringLiteral("Failed to save: database disk image is malformed"));
            }
            QCOMPARE(refused.size(), 1);
            refusal = refused.first().first().toString();
            QCOMPARE(refusal, QStringLiteral("The store “%1” is damaged (database disk image is "
                                             "malformed); it was left unchanged")
                                  .arg(path));
            QCOMPARE(store.refusal(), std::optional<QString>(refusal));
            QVERIFY(log.contains(QStringLiteral("❌ ") + refusal));
            QVERIFY(!store.hasContext());
            // Nothing more reaches the store, and it is given up only once.
            QVERIFY_THROWS_EXCEPTION(std::exception, create());
            QCOMPARE(refused.size(), 1);
            KippetManager::install(nullptr);
            StoreManager::install(nullptr);
        }
        QCOMPARE(bytesOf(path), before);
        QVERIFY(QFileInfo(path + QStringLiteral("-wal")).size() > 0);
        try {
            StoreContainer::createLocalContainer(folder);
            QFAIL("the damaged store was opened again");
        } catch (const StoreError& error) {
            QCOMPARE(error.errorDescription(), refusal);
        }
    }

    // A header that does not vouch for its page count (as older SQLite versions leave it) cannot
    // tell a shortened file; the stamp of its last clean close still does.
    void aStoreShortenedInPlaceIsRefusedByItsStamp() {
        const QString folder = dir_.filePath(QStringLiteral("shortened"));
        const QString path = folder + storeFile;
        fillStore(folder);
        const qint64 size = QFileInfo(path).size();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek(92));
        QCOMPARE(file.write(QByteArray(4, '\0')), 4); // "version-valid-for" no longer matches
        QVERIFY(file.resize(size / 2));
        file.close();
        const QByteArray before = TestFiles::folderChecksum(folder);
        try {
            StoreContainer::createLocalContainer(folder);
            QFAIL("the shortened store was opened");
        } catch (const StoreError& error) {
            QCOMPARE(error.errorDescription(),
                     QStringLiteral("The store “%1” is damaged (%2 of the %3 bytes its last clean "
                                    "close left); it was left unchanged")
                         .arg(path)
                         .arg(size / 2)
                         .arg(size));
        }
        QCOMPARE(TestFiles::folderChecksum(folder), before);
    }

    // An emptied store file is run over as a new store only while nothing says it held data.
    void anEmptiedStoreIsRefusedWhileAnythingSaysItHeldData_data() {
        QTest::addColumn<bool>("stamp");
        QTest::addColumn<bool>("imported");
        QTest::addColumn<bool>("openKippets");
        QTest::addColumn<QString>("verdict");
        QTest::newRow("all three")
            << true << true << true
            << QStringLiteral("its last clean close left 131072 bytes, the preferences record its "
                              "import as done, the preferences list 5 open kippets");
        QTest::newRow("stamp") << true << false << false
                               << QStringLiteral("its last clean close left 131072 bytes");
        QTest::newRow("import") << false << true << false
                                << QStringLiteral("the preferences record its import as done");
        QTest::newRow("open kippets")
            << false << false << true << QStringLiteral("the preferences list 5 open kippets");
    }
    void anEmptiedStoreIsRefusedWhileAnythingSaysItHeldData() {
        QFETCH(bool, stamp);
        QFETCH(bool, imported);
        QFETCH(bool, openKippets);
        QFETCH(QString, verdict);
        QTemporaryDir home;
        const QString folder = home.filePath(QStringLiteral(".local/share/Kippets"));
        const QString path = folder + storeFile;
        QVERIFY(QDir().mkpath(folder));
        QFile empty(path);
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        if (stamp) {
            QFile clean(path + QStringLiteral("-clean"));
            QVERIFY(clean.open(QIODevice::WriteOnly));
            clean.write("2049 1234567 131072 1765000000 123456789\n");
        }
        const QString settings = home.filePath(QStringLiteral(".config/Kippets/Kippets.conf"));
        QVERIFY(QDir().mkpath(QFileInfo(settings).path()));
        {
            Preferences preferences(settings);
            if (imported)
                preferences.setBool(QStringLiteral("swiftdata_migration_completed_v1"), true);
            if (openKippets) {
                QSet<QUuid> ids;
                while (ids.size() < 5)
                    ids.insert(QUuid::createUuid());
                preferences.setData(QStringLiteral("active_kippet_ids_v2"),
                                    ActiveKippetIDs::encode(ids));
            }
        }
        const QByteArray before = TestFiles::folderChecksum(folder);

        for (int launch = 1; launch <= 3; ++launch) {
            const ChildRun run = runApp(home.path());
            QVERIFY2(run.exitCode > 0, qPrintable(run.output + run.errors));
            QVERIFY2(run.errors.contains(
                         QStringLiteral("[iCloud Sync] 💀 Could not create any container: The store "
                                        "“%1” is damaged (the file is empty, but %2); it was left "
                                        "unchanged")
                             .arg(path, verdict)),
                     qPrintable(run.errors));
            QVERIFY(!run.output.contains(QStringLiteral("📦 Loaded")));
            QCOMPARE(QFileInfo(path).size(), 0);
            QCOMPARE(TestFiles::folderChecksum(folder), before);
        }
    }

    // A deleted store file is an emptied one: while anything says a store was here, the start is
    // refused, nothing is made or changed, and the refusal names what to remove to start afresh.
    void aDeletedStoreIsRefusedWhileAnythingSaysItHeldData_data() {
        QTest::addColumn<QString>("sign");
        QTest::addColumn<QString>("said");
        // What to remove: %1 the data folder, %2 the preferences file.
        QTest::addColumn<QString>("remove");
        QTest::newRow("stamp") << QStringLiteral("stamp")
                               << QStringLiteral("its last clean close left 131072 bytes")
                               << QStringLiteral("“%1/Kippets.sqlite-clean”.");
        // Of the preferences only the keys that say so: every other setting stays.
        // A legacy file is said to come back only when there is one.
        QTest::newRow("import") << QStringLiteral("import")
                                << QStringLiteral("the preferences record its import as done")
                                << QStringLiteral("the key “swiftdata_migration_completed_v1” "
                                                  "from “%2”.");
        QTest::newRow("import, legacy file")
            << QStringLiteral("import, legacy file")
            << QStringLiteral("the preferences record its import as done")
            << QStringLiteral("the key “swiftdata_migration_completed_v1” from “%2”. A "
                              "“kippets.json” left in “%1” is then imported again.");
        QTest::newRow("open kippets")
            << QStringLiteral("open kippets")
            << QStringLiteral("the preferences list 2 open kippets")
            << QStringLiteral("the key “active_kippet_ids_v2” from “%2”.");
        QTest::newRow("one open kippet")
            << QStringLiteral("one open kippet")
            << QStringLiteral("the preferences list 1 open kippet")
            << QStringLiteral("the key “active_kippet_ids_v2” from “%2”.");
        QTest::newRow("import and open kippets, legacy file")
            << QStringLiteral("import and open kippets, legacy file")
            << QStringLiteral("the preferences record its import as done, the preferences list 2 "
                              "open kippets")
            << QStringLiteral("the keys “swiftdata_migration_completed_v1” and "
                              "“active_kippet_ids_v2” from “%2”. A “kippets.json” left in “%1” "
                              "is then imported again.");
        QTest::newRow("item bytes")
            << QStringLiteral("item bytes")
            << QStringLiteral("item bytes of a store are kept beside it in “%1-files”")
            << QStringLiteral("“%1/Kippets.sqlite-files”.");
        QTest::newRow("log") << QStringLiteral("log")
                             << QStringLiteral("a log of its writes is kept beside it in “%1-wal”")
                             << QStringLiteral("“%1/Kippets.sqlite-wal”.");
    }
    void aDeletedStoreIsRefusedWhileAnythingSaysItHeldData() {
        QFETCH(QString, sign);
        QFETCH(QString, said);
        QFETCH(QString, remove);
        QTemporaryDir home;
        const QString folder = home.filePath(QStringLiteral(".local/share/Kippets"));
        const QString path = folder + storeFile;
        const QString settings = home.filePath(QStringLiteral(".config/Kippets/Kippets.conf"));
        QVERIFY(QDir().mkpath(QFileInfo(settings).path()));
        {
            Preferences preferences(settings);
            preferences.setBool(QStringLiteral("onboarding_completed"), true);
            if (sign.startsWith(QLatin1String("import")))
                preferences.setBool(QStringLiteral("swiftdata_migration_completed_v1"), true);
            if (sign.contains(QLatin1String("open kippets")))
                preferences.setData(
                    QStringLiteral("active_kippet_ids_v2"),
                    ActiveKippetIDs::encode({QUuid::createUuid(), QUuid::createUuid()}));
            if (sign == QLatin1String("one open kippet"))
                preferences.setData(QStringLiteral("active_kippet_ids_v2"),
                                    ActiveKippetIDs::encode({QUuid::createUuid()}));
        }
        if (sign.endsWith(QLatin1String("legacy file"))) {
            QVERIFY(QDir().mkpath(folder));
            QFile legacy(folder + QStringLiteral("/kippets.json"));
            QVERIFY(legacy.open(QIODevice::WriteOnly));
            legacy.write(R"({"activeKippets":[],"allKippets":[]})");
        }
        if (sign == QLatin1String("stamp")) {
            QVERIFY(QDir().mkpath(folder));
            QFile clean(path + QStringLiteral("-clean"));
            QVERIFY(clean.open(QIODevice::WriteOnly));
            clean.write("2049 1234567 131072 1765000000 123456789\n");
        }
        if (sign == QLatin1String("log")) {
            QVERIFY(QDir().mkpath(folder));
            QFile log(path + QStringLiteral("-wal"));
            QVERIFY(log.open(QIODevice::WriteOnly));
            log.write(QByteArray(4152, 'w'));
        }
        if (sign == QLatin1String("item bytes")) {
            QVERIFY(QDir().mkpath(path + QStringLiteral("-files")));
            QFile bytes(path + QStringLiteral("-files/") +
                        QUuid::createUuid().toString(QUuid::WithoutBraces));
            QVERIFY(bytes.open(QIODevice::WriteOnly));
            bytes.write(QByteArray(70000, 'b'));
        }
        const bool hadFolder = QFileInfo::exists(folder);
        const QByteArray before = TestFiles::folderChecksum(folder);
        const QByteArray settingsBefore = bytesOf(settings);
        const QString removed = QString(remove)
                                    .replace(QStringLiteral("%1"), folder)
                                    .replace(QStringLiteral("%2"), settings);

        for (int launch = 1; launch <= 2; ++launch) {
            const ChildRun run = runApp(home.path());
            QVERIFY2(run.exitCode > 0, qPrintable(run.output + run.errors));
            const QString fatal =
                QStringLiteral("[iCloud Sync] 💀 Could not create any container: The store “%1” is "
                               "missing, but %2; nothing was changed. To start afresh on purpose, "
                               "remove %3\n")
                    .arg(path, said.arg(path), removed);
            QVERIFY2(run.errors.contains(fatal), qPrintable(run.errors));
            QVERIFY(!run.output.contains(QStringLiteral("📦 Loaded")));
            QVERIFY(!QFileInfo::exists(path));
            QCOMPARE(QFileInfo::exists(folder), hadFolder);
            QCOMPARE(TestFiles::folderChecksum(folder), before);
            QCOMPARE(bytesOf(settings), settingsBefore);
        }
        // Doing what the refusal says starts afresh, with the other settings as they were.
        if (sign.contains(QLatin1String("import")) || sign.contains(QLatin1String("open"))) {
            {
                Preferences preferences(settings);
                preferences.remove(QStringLiteral("swiftdata_migration_completed_v1"));
                preferences.remove(QStringLiteral("active_kippet_ids_v2"));
            }
            QProcess app;
            app.setProcessEnvironment(AppHarness::childEnvironment(home.path()));
            app.start(AppHarness::appPath(), {});
            QByteArray output;
            const QDeadlineTimer guard(120000);
            while (!output.contains("📦 KippetManager initialization complete") &&
                   app.state() != QProcess::NotRunning && !guard.hasExpired()) {
                app.waitForReadyRead(1000);
                output += app.readAllStandardOutput();
            }
            if (app.state() != QProcess::NotRunning)
                ::kill(pid_t(app.processId()), SIGINT);
            QVERIFY(app.waitForFinished(60000));
            const QString errors = QString::fromUtf8(app.readAllStandardError());
            QVERIFY2(output.contains("📦 KippetManager initialization complete"),
                     qPrintable(QString::fromUtf8(output) + errors));
            QVERIFY2(!errors.contains(QStringLiteral("💀")), qPrintable(errors));
            QVERIFY(QFileInfo::exists(path));
            QCOMPARE(Preferences(settings).boolOr(QStringLiteral("onboarding_completed"), false),
                     true);
        }
    }
};

QTEST_GUILESS_MAIN(DamagedStoreTest)
#include "DamagedStoreTest.moc"
