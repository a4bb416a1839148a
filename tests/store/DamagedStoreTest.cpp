#include "StoreFixtures.h"
#include "platform/Log.h"
#include "store/KippetManager.h"
#include "store/StoreContainer.h"
#include "store/StoreError.h"
#include "store/StoreManager.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QCoroTask>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <fcntl.h>
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

// The first pages of the kippet and item tables, read without changing anything beside the file.
QList<qint64> tableRootPages(const QString& path, qint64* pageSize) {
    QList<qint64> pages;
    const QString name = QStringLiteral("roots");
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) +
                                 QStringLiteral("?immutable=1"));
        database.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
        if (database.open()) {
            QSqlQuery query(database);
            if (query.exec(QStringLiteral("PRAGMA page_size")) && query.next())
                *pageSize = query.value(0).toLongLong();
            if (query.exec(QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name IN "
                                          "('kippets', 'kippet_items')")))
                while (query.next())
                    pages.append(query.value(0).toLongLong());
        }
        database.close();
    }
    QSqlDatabase::removeDatabase(name);
    return pages;
}

// Two pages overwritten in place, as a failing disk or another program would; the file keeps
// its size, and with `keepTime` its time of change too.
void damageTwoPages(const QString& path, bool keepTime) {
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);
    qint64 pageSize = 0;
    const QList<qint64> pages = tableRootPages(path, &pageSize);
    QCOMPARE(pages.size(), 2);
    QVERIFY(pageSize > 0);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    for (const qint64 page : pages) {
        QVERIFY(file.seek((page - 1) * pageSize));
        QCOMPARE(file.write(QByteArray(pageSize, '\xa5')), pageSize);
    }
    file.close();
    if (keepTime) {
        const timespec times[2] = {before.st_atim, before.st_mtim};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    }
    struct stat after {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &after), 0);
    QCOMPARE(after.st_size, before.st_size);
    QCOMPARE(after.st_mtim.tv_nsec == before.st_mtim.tv_nsec, keepTime);
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

        for (int launch = 1; launch <= 3; ++launch) {
            QProcess app;
            app.setProcessEnvironment(AppHarness::childEnvironment(home.path()));
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
            QVERIFY(!output.contains(QStringLiteral("✅ KippetManager store integration ready")));
            QVERIFY(!output.contains(QStringLiteral("📦 Restoring")));
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), files);
            QCOMPARE(TestFiles::folderChecksum(folder), before);
        }
    }
};

QTEST_GUILESS_MAIN(DamagedStoreTest)
#include "DamagedStoreTest.moc"
