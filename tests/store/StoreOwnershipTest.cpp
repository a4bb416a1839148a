#include "platform/Log.h"
#include "store/DataFolderLock.h"
#include "store/DataFolderLockedError.h"
#include "store/StoreContainer.h"
#include "store/StoreError.h"
#include "store/StoreSchema.h"
#include "support/FullDisk.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>

namespace {
const QString storeName = QStringLiteral("/Kippets.sqlite");

// The child side: opens the folder's store, leaves a file as a write that has not committed yet
// would, reports, and keeps the store open until its input closes.
int holdStore(const QString& folder) {
    std::unique_ptr<StoreContainer> container;
    try {
        container = StoreContainer::createLocalContainer(folder);
    } catch (const StoreError& error) {
        std::printf("refused %s\n", error.what());
        std::fflush(stdout);
        return 3;
    }
    QDir().mkpath(container->externalFolder());
    QFile pending(container->externalFolder() + QLatin1Char('/') +
                  QUuid::createUuid().toString(QUuid::WithoutBraces));
    pending.open(QIODevice::WriteOnly);
    pending.write("bytes whose row has not committed yet");
    pending.close();
    std::printf("opened %s\n", qPrintable(pending.fileName()));
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return 0;
}

// Runs SQL on a connection of its own to the file, as another program would.
void runOn(const QString& path, const QStringList& statements) {
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(path);
        QVERIFY(database.open());
        for (const QString& statement : statements)
            QVERIFY2(QSqlQuery(database).exec(statement), qPrintable(statement));
        database.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

class Holder {
public:
    explicit Holder(const QString& folder) {
        process.setProgram(QCoreApplication::applicationFilePath());
        process.setArguments({QStringLiteral("--hold"), folder});
        process.start();
    }
    ~Holder() {
        if (process.state() != QProcess::NotRunning) {
            process.closeWriteChannel();
            process.waitForFinished(10000);
        }
    }
    // The child's first line: "opened <file>" or "refused <reason>".
    QString firstLine() {
        while (!process.canReadLine() && process.state() != QProcess::NotRunning)
            process.waitForReadyRead(1000);
        return QString::fromUtf8(process.readLine()).trimmed();
    }
    qint64 pid() const { return process.processId(); }

    QProcess process;
};
} // namespace

class StoreOwnershipTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

    QString refusal(const QString& folder) {
        try {
            StoreContainer::createLocalContainer(folder);
        } catch (const StoreError& error) {
            return error.errorDescription();
        }
        return {};
    }

private slots:
    void aSecondProcessIsRefusedAndChangesNothing() {
        const QString folder = dir_.filePath(QStringLiteral("shared"));
        Holder first(folder);
        const QString opened = first.firstLine();
        QVERIFY2(opened.startsWith(QStringLiteral("opened ")), qPrintable(opened));
        const QString pending = opened.mid(7);
        const QByteArray before = TestFiles::folderChecksum(folder);

        try {
            StoreContainer::createLocalContainer(folder);
            QFAIL("a second process opened the folder");
        } catch (const DataFolderLockedError& error) {
            QCOMPARE(error.errorDescription(),
                     QStringLiteral("The data folder “%1” is in use by another Kippets process "
                                    "(process id %2); nothing was changed")
                         .arg(folder)
                         .arg(first.pid()));
            QCOMPARE(error.ownerProcessId(), first.pid());
        }
        Holder third(folder);
        QVERIFY(third.firstLine().startsWith(QStringLiteral("refused The data folder “")));
        QVERIFY(QFile::exists(pending));
        QCOMPARE(TestFiles::folderChecksum(folder), before);

        // Once the first one quits, the folder is free.
        first.process.closeWriteChannel();
        QVERIFY(first.process.waitForFinished(10000));
        QCOMPARE(first.process.exitCode(), 0);
        // The lock file stays; nothing is ever written into it.
        const QFileInfo lockFile(folder + QLatin1Char('/') +
                                 QLatin1String(DataFolderLock::fileName));
        QVERIFY(lockFile.exists());
        QCOMPARE(lockFile.size(), 0);
        auto container = StoreContainer::createLocalContainer(folder);
        QVERIFY(container);
    }

    void theLockOfADeadProcessIsTakenOver() {
        const QString folder = dir_.filePath(QStringLiteral("crashed"));
        {
            Holder crashed(folder);
            QVERIFY(crashed.firstLine().startsWith(QStringLiteral("opened ")));
            ::kill(pid_t(crashed.pid()), SIGKILL);
            QVERIFY(crashed.process.waitForFinished(10000));
        }
        QVERIFY(QFile::exists(folder + QLatin1Char('/') + QLatin1String(DataFolderLock::fileName)));
        auto container = StoreContainer::createLocalContainer(folder);
        QVERIFY(container);
        Holder later(folder);
        QCOMPARE(later.firstLine(),
                 QStringLiteral("refused The data folder “%1” is in use by another Kippets "
                                "process (process id %2); nothing was changed")
                     .arg(folder)
                     .arg(QCoreApplication::applicationPid()));
    }

    // The system releases a dead holder's lock: taking it over needs no write, so a full disk
    // does not stand in the way. The small file system is mounted by root, or by anyone in user
    // and mount namespaces of the case's own (tests/support/FullDisk.h); the holders share them.
    void theLockOfADeadProcessIsTakenOverOnAFullFileSystem() {
        if (::geteuid() != 0)
            KIPPETS_RUN_ON_A_FULL_DISK();
        QTemporaryDir mountPoint;
        const bool mounted = QProcess::execute(QStringLiteral("mount"),
                                               {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                                QStringLiteral("-o"), QStringLiteral("size=1m"),
                                                QStringLiteral("tmpfs"), mountPoint.path()}) == 0;
        // Namespaces made for the case that cannot mount are a fault, not a machine without them.
        if (!mounted && FullDisk::isChild())
            QFAIL("no tmpfs could be mounted in the case's own namespaces");
        if (!mounted)
            QSKIP("no small file system can be mounted here (needs root, or unshare and user and "
                  "mount namespaces)");
        const auto unmount = qScopeGuard([&mountPoint] {
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), mountPoint.path()});
        });
        const QString folder = mountPoint.filePath(QStringLiteral("Kippets"));
        {
            Holder crashed(folder);
            QVERIFY(crashed.firstLine().startsWith(QStringLiteral("opened ")));
            ::kill(pid_t(crashed.pid()), SIGKILL);
            QVERIFY(crashed.process.waitForFinished(10000));
        }
        QFile filler(mountPoint.filePath(QStringLiteral("filler")));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(64 * 1024, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        filler.close();
        QFile probe(mountPoint.filePath(QStringLiteral("probe")));
        QVERIFY(!probe.open(QIODevice::WriteOnly) || probe.write(block) < block.size() ||
                !probe.flush());
        probe.close();

        Holder next(folder);
        const QString line = next.firstLine();
        QVERIFY2(line.startsWith(QStringLiteral("opened ")), qPrintable(line));
    }

    void aDirectoryInPlaceOfTheLockFileIsRefusedByName() {
        const QString folder = dir_.filePath(QStringLiteral("blocked"));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/Kippets.lock")));
        QCOMPARE(refusal(folder), QStringLiteral("The data folder “%1” cannot be locked: "
                                                 "“%1/Kippets.lock” cannot be opened: Is a "
                                                 "directory")
                                      .arg(folder));
        QVERIFY(!QFile::exists(folder + storeName));
    }

    void twoFirstStartsAtOnceGiveOneStoreAndOneRefusal() {
        const QString folder = dir_.filePath(QStringLiteral("first start"));
        Holder one(folder);
        Holder two(folder);
        QStringList lines{one.firstLine(), two.firstLine()};
        const qint64 pids[] = {one.pid(), two.pid()};
        const int opened = lines.at(0).startsWith(QStringLiteral("opened ")) ? 0 : 1;
        QVERIFY2(lines.at(opened).startsWith(QStringLiteral("opened ")), qPrintable(lines.at(0)));
        QCOMPARE(lines.at(1 - opened),
                 QStringLiteral("refused The data folder “%1” is in use by another Kippets "
                                "process (process id %2); nothing was changed")
                     .arg(folder)
                     .arg(pids[opened]));
        one.process.closeWriteChannel();
        two.process.closeWriteChannel();
        QVERIFY(one.process.waitForFinished(10000) && two.process.waitForFinished(10000));
        auto container = StoreContainer::createLocalContainer(folder);
        QSqlQuery query(container->database());
        QVERIFY(query.exec(QStringLiteral("PRAGMA application_id")) && query.next());
        QCOMPARE(query.value(0).toLongLong(), StoreSchema::applicationId);
    }

    void anotherProgramsDatabaseIsRefusedUntouched_data() {
        QTest::addColumn<QStringList>("statements");
        QTest::newRow("its own tables")
            << QStringList{QStringLiteral("CREATE TABLE notes (id INTEGER PRIMARY KEY, body TEXT)"),
                           QStringLiteral("INSERT INTO notes (body) VALUES ('keep me')")};
        QTest::newRow("a kippets table and our schema version")
            << QStringList{QStringLiteral("CREATE TABLE kippets (row_id INTEGER PRIMARY KEY, "
                                          "id TEXT NOT NULL)"),
                           QStringLiteral("INSERT INTO kippets (id) VALUES ('theirs')"),
                           QStringLiteral("PRAGMA user_version = 10000")};
    }
    void anotherProgramsDatabaseIsRefusedUntouched() {
        QFETCH(QStringList, statements);
        const QString folder =
            dir_.filePath(QStringLiteral("foreign %1").arg(QTest::currentDataTag()));
        QDir().mkpath(folder);
        runOn(folder + storeName, statements);
        writeFile(folder + storeName + QStringLiteral("-files/") +
                      QUuid::createUuid().toString(QUuid::WithoutBraces),
                  "their bytes");
        const QByteArray before = TestFiles::folderChecksum(folder);
        QCOMPARE(refusal(folder), QStringLiteral("The file “%1” is not a Kippets store (another "
                                                 "program's database?); it was left unchanged")
                                      .arg(folder + storeName));
        QCOMPARE(TestFiles::folderChecksum(folder), before);
    }

    // Stores written before the application id existed are still ours: opened, and stamped.
    void aStoreWithoutTheApplicationIdButWithOurTablesIsOpened() {
        const QString folder = dir_.filePath(QStringLiteral("earlier"));
        QDir().mkpath(folder);
        {
            // A store as the first version wrote it: schema 1.0.0, no application id.
            QSqlDatabase database =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("earlier"));
            database.setDatabaseName(folder + storeName);
            QVERIFY(database.open());
            StoreSchema::migrate(database, QStringLiteral("earlier"), 10000);
            QSqlQuery query(database);
            QVERIFY(query.exec(QStringLiteral("PRAGMA application_id = 0")));
            QVERIFY(query.exec(QStringLiteral("INSERT INTO kippets (id, name) VALUES "
                                              "('0F3C2B9E-1111-4222-8333-944455556666', 'Kept')")));
            database.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("earlier"));
        auto container = StoreContainer::createLocalContainer(folder);
        QSqlQuery query(container->database());
        QVERIFY(query.exec(QStringLiteral("PRAGMA application_id")) && query.next());
        QCOMPARE(query.value(0).toLongLong(), StoreSchema::applicationId);
        QVERIFY(query.exec(QStringLiteral("PRAGMA user_version")) && query.next());
        QCOMPARE(query.value(0).toInt(), 10001);
        QVERIFY(query.exec(QStringLiteral("SELECT content_size, thumbnail_is_content FROM "
                                          "kippet_item_contents")));
        QVERIFY(query.exec(QStringLiteral("SELECT name FROM kippets")) && query.next());
        QCOMPARE(query.value(0).toString(), QStringLiteral("Kept"));
    }

    void anEmptyStoreBesideItemBytesIsRefusedUntouched() {
        const QString folder = dir_.filePath(QStringLiteral("emptied"));
        writeFile(folder + storeName, {});
        writeFile(folder + storeName + QStringLiteral("-files/") +
                      QUuid::createUuid().toString(QUuid::WithoutBraces),
                  QByteArray(70000, 'b'));
        const QByteArray before = TestFiles::folderChecksum(folder);
        QCOMPARE(refusal(folder),
                 QStringLiteral("The store “%1” is empty, but item bytes of a store are kept "
                                "beside it in “%2”; both were left unchanged. To start afresh on "
                                "purpose, remove “%2”.")
                     .arg(folder + storeName, folder + storeName + QStringLiteral("-files")));
        QCOMPARE(TestFiles::folderChecksum(folder), before);

        // Without item bytes beside it, an empty file is a new store, and becomes ours.
        const QString fresh = dir_.filePath(QStringLiteral("fresh"));
        writeFile(fresh + storeName, {});
        auto container = StoreContainer::createLocalContainer(fresh);
        QSqlQuery query(container->database());
        QVERIFY(query.exec(QStringLiteral("PRAGMA application_id")) && query.next());
        QCOMPARE(query.value(0).toLongLong(), StoreSchema::applicationId);
    }

    void aStoreOfANewerVersionIsRefusedUntouched() {
        const QString folder = dir_.filePath(QStringLiteral("newer"));
        StoreContainer::createLocalContainer(folder).reset();
        runOn(folder + storeName, {QStringLiteral("PRAGMA user_version = 20000")});
        writeFile(folder + storeName + QStringLiteral("-files/") +
                      QUuid::createUuid().toString(QUuid::WithoutBraces),
                  "newer bytes");
        const QByteArray before = TestFiles::folderChecksum(folder);
        QCOMPARE(refusal(folder), QStringLiteral("The store “%1” was written by a newer version "
                                                 "of Kippets (schema 20000) and was left "
                                                 "unchanged")
                                      .arg(folder + storeName));
        QCOMPARE(TestFiles::folderChecksum(folder), before);
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--hold") {
        Log::setSink([](const QString&) {});
        return holdStore(QString::fromLocal8Bit(argv[2]));
    }
    StoreOwnershipTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "StoreOwnershipTest.moc"
