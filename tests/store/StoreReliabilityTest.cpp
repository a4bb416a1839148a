#include "StoreFixtures.h"
#include "app/ContainerSetup.h"
#include "platform/Log.h"
#include "store/DataManagerError.h"
#include "store/ExternalBytes.h"
#include "store/StoreError.h"
#include "store/StoreManager.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <cstdio>

using namespace StoreFixtures;

namespace {
// Every other item's bytes are large enough to be kept beside the store.
QByteArray savedContent(int i) {
    return QByteArray(i % 2 ? ExternalBytes::threshold + 10 : 2048, char('a' + i % 26));
}

// The child side of the kill test: saves items one by one and reports each save that returned.
int runSaveLoop(const QString& folder) {
    StoreManager store;
    store.configure(StoreContainer::createLocalContainer(folder));
    KippetModel kippet = fullKippet(QStringLiteral("loop"));
    kippet.items.clear();
    store.insertKippet(kippet);
    for (int i = 0;; ++i) {
        KippetItemModel item = fullItem(QString::number(i), savedContent(i));
        store.addItem(item, kippet);
        std::printf("saved %d\n", i);
        std::fflush(stdout);
    }
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}
} // namespace

class StoreReliabilityTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

    void expectRefused(const QString& folder, const QString& path, const QByteArray& bytes) {
        try {
            StoreContainer::createLocalContainer(folder);
            QFAIL("the file was accepted");
        } catch (const StoreError& error) {
            QVERIFY2(error.errorDescription().contains(path), qPrintable(error.errorDescription()));
        }
        QCOMPARE(fileBytes(path), bytes);
        QVERIFY(!QFile::exists(path + QStringLiteral("-wal")));
    }

private slots:
    // Each case starts from preferences of its own: an import marked done by an earlier case
    // says that a store was there, and a missing one would be refused.
    void init() { TestEnvironment::resetPreferences(); }

    void largeItemBytesLiveInFilesThatFollowTheirRows() {
        const QString folder = dir_.filePath(QStringLiteral("large"));
        const QByteArray big(ExternalBytes::threshold, 'x');
        KippetModel kippet = fullKippet(QStringLiteral("large"));
        kippet.items.clear();
        KippetItemModel picture = fullItem(QStringLiteral("photo.png"), big);
        picture.metadataThumbnail = QByteArray(ExternalBytes::threshold + 1, 't');
        QString files;
        {
            StoreManager store;
            store.configure(StoreContainer::createLocalContainer(folder));
            files = store.container()->externalFolder();
            store.insertKippet(kippet);
            store.addItem(picture, kippet);
            QCOMPARE(QDir(files).entryList(QDir::Files).size(), 2);

            // A save that fails leaves no file behind.
            QSqlQuery(store.container()->database())
                .exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON kippet_item_contents "
                                     "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
            KippetItemModel refused = fullItem(QStringLiteral("other.png"), big + "y");
            bool refusedSave = false;
            try {
                store.addItem(refused, kippet);
            } catch (const DataManagerError&) {
                refusedSave = true;
            }
            QVERIFY(refusedSave);
            QSqlQuery(store.container()->database()).exec(QStringLiteral("DROP TRIGGER refuse"));
            QCOMPARE(QDir(files).entryList(QDir::Files).size(), 2);
        }
        // A file under a final name that no row names stays: a row could name it (another
        // process's, committing now); only unfinished writes of stopped processes are swept.
        QFile unnamed(files + QStringLiteral("/") +
                      QUuid::createUuid().toString(QUuid::WithoutBraces));
        QVERIFY(unnamed.open(QIODevice::WriteOnly));
        unnamed.close();

        StoreManager store;
        store.configure(StoreContainer::createLocalContainer(folder));
        QVERIFY(unnamed.exists());
        QVERIFY(unnamed.remove());
        KippetModel loaded = *store.fetchKippet(kippet.id);
        QCOMPARE(loaded.items.size(), 1);
        QCOMPARE(loaded.items.first(), picture);

        // A file lost outside the app costs its item the bytes, not the whole store.
        const QStringList kept = QDir(files).entryList(QDir::Files);
        QVERIFY(QFile::remove(files + QStringLiteral("/") + kept.first()));
        {
            LogCapture log;
            const KippetModel damaged = *store.fetchKippet(kippet.id);
            QCOMPARE(damaged.items.size(), 1);
            QVERIFY(log.contains(QStringLiteral("lost its stored bytes")));
        }

        store.removeItem(loaded.items.first(), loaded);
        QVERIFY(QDir(files).entryList(QDir::Files).isEmpty());
        KippetItemModel again = fullItem(QStringLiteral("again.png"), big);
        store.addItem(again, loaded);
        store.deleteKippet(loaded);
        QVERIFY(QDir(files).entryList(QDir::Files).isEmpty());
    }

    void everyFieldSurvivesReopening() {
        const QString folder = dir_.filePath(QStringLiteral("reopen"));
        KippetModel kippet = fullKippet(QStringLiteral("Ä kippet"));
        KippetModel partialFrame = fullKippet(QStringLiteral("partial"));
        partialFrame.noteWindowHeight.reset();
        partialFrame.items.clear();
        partialFrame.project.reset();
        {
            StoreManager store;
            store.configure(StoreContainer::createLocalContainer(folder));
            store.insertKippet(kippet);
            store.insertKippet(partialFrame);
        }
        StoreManager store;
        store.configure(StoreContainer::createLocalContainer(folder));
        const KippetModel loaded = *store.fetchKippet(kippet.id);
        QCOMPARE(loaded, kippet);
        QCOMPARE(loaded.items.at(1).content, QByteArray());
        QCOMPARE(loaded.items.at(0).metadataAiDescription, std::optional<QString>(QString()));
        QCOMPARE(loaded.note().windowFrame,
                 std::optional(KippetNote::WindowFrame{1.5, -2.25, 300, 200}));
        const KippetModel partial = *store.fetchKippet(partialFrame.id);
        QCOMPARE(partial, partialFrame);
        QVERIFY(!partial.note().windowFrame.has_value());
        QVERIFY(!partial.project.has_value());
        QSqlQuery pragma(store.container()->database());
        pragma.exec(QStringLiteral("PRAGMA user_version"));
        pragma.next();
        QCOMPARE(pragma.value(0).toInt(), 10001);
    }

    void killedWhileSavingKeepsEveryReturnedSave() {
        const QString folder = dir_.filePath(QStringLiteral("kill"));
        QProcess child;
        child.setProgram(QCoreApplication::applicationFilePath());
        child.setArguments({QStringLiteral("--save-loop"), folder});
        child.start();
        QVERIFY(child.waitForStarted());
        QByteArray output;
        while (output.count('\n') < 300 && child.state() == QProcess::Running) {
            child.waitForReadyRead(5000);
            output += child.readAllStandardOutput();
        }
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(5000));
        output += child.readAllStandardOutput();
        const QList<QByteArray> lines = output.trimmed().split('\n');
        QVERIFY2(lines.size() >= 300, output.right(500).constData());
        const int lastSaved = lines.last().mid(6).toInt();

        StoreManager store;
        store.configure(StoreContainer::createLocalContainer(folder));
        QSqlQuery check(store.container()->database());
        QVERIFY(check.exec(QStringLiteral("PRAGMA integrity_check")) && check.next());
        QCOMPARE(check.value(0).toString(), QStringLiteral("ok"));
        const QList<KippetModel> all = store.fetchAllKippets();
        QCOMPARE(all.size(), 1);
        QVERIFY(all.first().items.size() >= lastSaved + 1);
        for (int i = 0; i <= lastSaved; ++i) {
            QCOMPARE(all.first().items.at(i).metadataName, QString::number(i));
            QVERIFY(all.first().items.at(i).content == savedContent(i));
        }
    }

    void fileThatIsNotAStoreIsRefusedAndKept() {
        const QString folder = dir_.filePath(QStringLiteral("garbage"));
        QDir().mkpath(folder);
        const QString path = folder + QStringLiteral("/Kippets.sqlite");
        const QByteArray bytes = QByteArray("{\"not\": \"a database\"}").repeated(200);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        expectRefused(folder, path, bytes);
    }

    void truncatedStoreIsRefusedAndKept() {
        const QString folder = dir_.filePath(QStringLiteral("truncated"));
        {
            StoreManager store;
            store.configure(StoreContainer::createLocalContainer(folder));
            for (int i = 0; i < 20; ++i) {
                KippetModel kippet = fullKippet(QString::number(i));
                kippet.items.first().content = QByteArray(20000, 'x');
                store.insertKippet(kippet);
            }
        }
        const QString path = folder + QStringLiteral("/Kippets.sqlite");
        QFile::remove(path + QStringLiteral("-wal"));
        QFile::remove(path + QStringLiteral("-shm"));
        QByteArray bytes = fileBytes(path);
        QVERIFY(bytes.size() > 100000);
        bytes.truncate(bytes.size() / 2);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        expectRefused(folder, path, bytes);
    }

    void aStoreChangedAfterItsCleanCloseIsCheckedWhole() {
        const QString folder = dir_.filePath(QStringLiteral("stamped"));
        const QString path = folder + QStringLiteral("/Kippets.sqlite");
        const auto fill = [&folder] {
            StoreManager store;
            store.configure(StoreContainer::createLocalContainer(folder));
            for (int i = 0; i < 20; ++i) {
                KippetModel kippet = fullKippet(QString::number(i));
                kippet.items.first().content = QByteArray(20000, 'x');
                store.insertKippet(kippet);
            }
        };
        fill();
        // Closed cleanly and untouched: it opens, and its rows are all there.
        {
            StoreManager store;
            store.configure(StoreContainer::createLocalContainer(folder));
            QCOMPARE(store.fetchAllKippets().size(), 20);
        }
        // A page overwritten in place, the size unchanged: the change is seen and checked.
        QByteArray bytes = fileBytes(path);
        constexpr qsizetype page = 16384;
        const qsizetype offset = (bytes.size() / 2) / page * page;
        bytes.replace(offset, page, QByteArray(page, '\xff'));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.seek(offset);
        file.write(bytes.mid(offset, page));
        file.close();
        const QByteArray stamp = fileBytes(path + QStringLiteral("-clean"));
        QVERIFY(!stamp.isEmpty());
        expectRefused(folder, path, bytes);
        // A refused open vouches for nothing: the next one checks, and refuses, again.
        QCOMPARE(fileBytes(path + QStringLiteral("-clean")), stamp);
        expectRefused(folder, path, bytes);
    }

    void launchWithAnUnusableStoreEndsWithTheFatalLine() {
        const QString folder = StoreContainer::defaultDataFolder();
        QDir().mkpath(folder);
        const QString path = folder + QStringLiteral("/Kippets.sqlite");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'z'));
        file.close();
        LogCapture log;
        try {
            createLaunchContainer(false);
            QFAIL("the launch went on without a store");
        } catch (const StartupFailure& failure) {
            QVERIFY(QString::fromUtf8(failure.what())
                        .startsWith(
                            QStringLiteral("[iCloud Sync] 💀 Could not create any container: The "
                                           "store “") +
                            path));
        }
        // The caller prints the fatal line, once.
        QVERIFY(!log.contains(QStringLiteral("💀")));
        QCOMPARE(fileBytes(path), QByteArray(4096, 'z'));
        QFile::remove(path);
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--save-loop") {
        Log::setSink([](const QString&) {});
        return runSaveLoop(QString::fromLocal8Bit(argv[2]));
    }
    StoreReliabilityTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "StoreReliabilityTest.moc"
