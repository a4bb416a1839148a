#include "model/Kippet.h"
#include "platform/Preferences.h"
#include "store/DataManagerError.h"
#include "store/DurableFile.h"
#include "store/ExternalBytes.h"
#include "store/KippetManager.h"
#include "store/MappedBytes.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"

#include <QCoroTask>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

namespace {
constexpr qsizetype MiB = 1024 * 1024;

// Bytes that differ at every offset from those of another seed, so a mix-up cannot pass.
QByteArray patterned(qsizetype size, int seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 2654435761u * quint32(seed + 1);
    auto* words = reinterpret_cast<quint32*>(bytes.data());
    for (qsizetype i = 0; i < size / 4; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        words[i] = state;
    }
    return bytes;
}

KippetItem newItem(KippetItemType type, const QString& name, const QByteArray& content) {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = type;
    item.content = content;
    item.metadata.name = name;
    item.metadata.fileSize = content.size();
    if (type == KippetItemType::image) {
        item.metadata.thumbnail = content;
        item.metadata.mimeType = QStringLiteral("image/png");
    }
    item.category = ItemCategory::documents;
    item.addedDate = testClock().now();
    return item;
}

qint64 residentBytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    return statm.readAll().split(' ').value(1).toLongLong() * qint64(::sysconf(_SC_PAGESIZE));
}

QStringList entries(const QString& folder, const QString& pattern = QStringLiteral("*")) {
    return QDir(folder).entryList({pattern}, QDir::Files, QDir::Name);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// The id of a process that has ended.
qint64 endedProcessId() {
    QProcess process;
    process.start(QStringLiteral("true"), {});
    process.waitForFinished();
    return process.processId() ? process.processId() : 999999;
}

// Lets writes beyond `bytes` per file fail with EFBIG, as a full disk fails them, for its life.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};
} // namespace

class ItemBytesTest : public QObject {
    Q_OBJECT

    static QString externalFolder(AppHarness& app) {
        return app.store().container()->externalFolder();
    }
    static Kippet* newKippet(AppHarness& app) {
        return app.manager().createKippet(QStringLiteral("K"), KippetColor::standardBlue(),
                                          QStringLiteral("tray.fill"), false);
    }

private slots:
    void largeItemsStartInLittleMemoryAndReadBackWhole() {
        AppHarness app;
        app.start();
        Kippet* kippet = newKippet(app);
        const QUuid kippetId = kippet->id();
        QList<QByteArray> contents;
        for (int i = 0; i < 6; ++i) {
            contents.append(patterned(40 * MiB, i));
            const auto type = i % 2 ? KippetItemType::image : KippetItemType::file;
            app.manager().addItem(newItem(type, QStringLiteral("item %1").arg(i), contents.last()),
                                  kippet);
        }
        // An image's thumbnail that is its content is kept once.
        QCOMPARE(entries(externalFolder(app)).size(), 6);
        app.stop();
        MappedBytes::releaseUnused();

        const qint64 before = residentBytes();
        app.start();
        const qint64 grown = residentBytes() - before;
        QVERIFY2(grown < 24 * MiB, qPrintable(QString::number(grown)));

        const QList<KippetItem> items = app.manager().kippet(kippetId)->items();
        QCOMPARE(items.size(), 6);
        for (int i = 0; i < 6; ++i) {
            QVERIFY(items[i].content == contents[i]);
            if (items[i].type == KippetItemType::image) {
                QCOMPARE(items[i].metadata.thumbnail->constData(), items[i].content.constData());
            }
        }
    }

    void aSmallThumbnailThatIsTheContentIsStoredOnce() {
        AppHarness app;
        app.start();
        Kippet* kippet = newKippet(app);
        app.manager().addItem(newItem(KippetItemType::image, QStringLiteral("dot.png"), "png"),
                              kippet);
        QSqlQuery stored(app.store().container()->database());
        QVERIFY(stored.exec(QStringLiteral(
            "SELECT thumbnail_is_content, length(metadata_thumbnail) FROM kippet_item_contents")));
        QVERIFY(stored.next());
        QCOMPARE(stored.value(0).toInt(), 1);
        QCOMPARE(stored.value(1).toInt(), 0);
        stored.finish();
        app.restart();
        const KippetItem item = app.manager().allKippets().first()->items().first();
        QCOMPARE(item.content, QByteArray("png"));
        QCOMPARE(item.metadata.thumbnail->constData(), item.content.constData());
    }

    void bytesOutliveTheStoreThatReadThemAndTheirMappingGoesAfter() {
        AppHarness app;
        app.start();
        Kippet* kippet = newKippet(app);
        const QByteArray content = patterned(MiB, 7);
        app.manager().addItem(newItem(KippetItemType::file, QStringLiteral("a.bin"), content),
                              kippet);
        app.restart();
        QByteArray held = app.manager().allKippets().first()->items().first().content;
        app.stop();
        MappedBytes::releaseUnused();
        const qsizetype mapped = MappedBytes::count();
        QVERIFY(mapped >= 1);
        QVERIFY(held == content);
        // A change copies the bytes rather than writing through to the file.
        QByteArray changed = held;
        changed[0] = char(~changed[0]);
        QVERIFY(held == content);
        held.clear();
        MappedBytes::releaseUnused();
        QCOMPARE(MappedBytes::count(), mapped - 1);
    }

    void externalBytesThatLostTheirLengthLoadAsLostBytes() {
        AppHarness app;
        app.start();
        Kippet* kippet = newKippet(app);
        const KippetItem cut = newItem(KippetItemType::file, QStringLiteral("cut.bin"),
                                       patterned(ExternalBytes::threshold * 2, 1));
        const KippetItem grown = newItem(KippetItemType::file, QStringLiteral("grown.bin"),
                                         patterned(ExternalBytes::threshold * 2, 2));
        const KippetItem whole = newItem(KippetItemType::file, QStringLiteral("whole.bin"),
                                         patterned(ExternalBytes::threshold * 2, 3));
        for (const KippetItem& item : {cut, grown, whole})
            app.manager().addItem(item, kippet);
        const QString folder = externalFolder(app);
        app.stop();
        MappedBytes::releaseUnused();

        // Find each item's file by its bytes.
        for (const QString& name : entries(folder)) {
            const QString path = folder + QLatin1Char('/') + name;
            const QByteArray bytes = readFile(path);
            if (bytes == cut.content)
                writeFile(path, bytes.left(100));
            else if (bytes == grown.content)
                writeFile(path, bytes + "tail");
        }
        LogCapture log;
        app.start();
        const QList<KippetItem> items = app.manager().allKippets().first()->items();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0].content, QByteArray());
        QCOMPARE(items[1].content, QByteArray());
        QVERIFY(items[2].content == whole.content);
        QVERIFY(log.contains(QStringLiteral("⚠️ Item \"cut.bin\" lost its stored bytes: ")));
        QVERIFY(log.contains(QStringLiteral("holds 100 bytes where 131072 were stored")));
        QVERIFY(log.contains(QStringLiteral("⚠️ Item \"grown.bin\" lost its stored bytes: ")));
    }

    void aFailingWriteNamesItsCauseAndLosesNothingAcknowledged() {
        AppHarness app;
        app.start();
        Kippet* kippet = newKippet(app);
        const KippetItem kept =
            newItem(KippetItemType::file, QStringLiteral("kept.bin"), patterned(3 * MiB, 4));
        app.manager().addItem(kept, kippet);
        const QString itemFolder = app.manager().itemsDirectory(kippet);
        {
            const FileSizeLimit full(2 * MiB);
            for (const auto type : {KippetItemType::file, KippetItemType::image}) {
                const KippetItem refused =
                    newItem(type, QStringLiteral("big"), patterned(3 * MiB, 5));
                try {
                    app.manager().addItem(refused, kippet);
                    QFAIL("the write did not fail");
                } catch (const KippetsError& error) {
                    QVERIFY2(error.errorDescription().contains(QStringLiteral("File too large")),
                             qPrintable(error.errorDescription()));
                    QVERIFY(!error.errorDescription().contains(QStringLiteral("Unknown error")));
                }
                QCOMPARE(kippet->items().size(), 1);
            }
            // A small item still fits.
            app.manager().addItem(newItem(KippetItemType::text, QStringLiteral("note"), "note"),
                                  kippet);
        }
        QCOMPARE(entries(externalFolder(app), QStringLiteral("*.part")), QStringList());
        QCOMPARE(entries(itemFolder, QStringLiteral("*.part")), QStringList());

        app.restart();
        const QList<KippetItem> items = app.manager().allKippets().first()->items();
        QCOMPARE(items.size(), 2);
        QVERIFY(items[0].content == kept.content);
        QCOMPARE(items[1].content, QByteArray("note"));
        QVERIFY(readFile(itemFolder + QLatin1Char('/') + ItemStorage::idText(kept.id)) ==
                kept.content);
    }

    void theSweepRemovesOnlyUnfinishedWritesOfStoppedProcesses() {
        AppHarness app;
        app.start();
        Kippet* kippet = newKippet(app);
        const KippetItem stored = newItem(KippetItemType::file, QStringLiteral("stored.bin"),
                                          patterned(ExternalBytes::threshold, 6));
        app.manager().addItem(stored, kippet);
        const QString folder = externalFolder(app);
        const QString itemFolder = app.manager().itemsDirectory(kippet);
        const QString storedName = entries(folder).first();
        app.stop();

        // Another process, still running, is writing into the same folders.
        QProcess other;
        other.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        QVERIFY(other.waitForStarted());
        const qint64 ended = endedProcessId();
        auto unfinished = [](const QString& finalName, qint64 pid) {
            return QStringLiteral("%1.%2.part").arg(finalName).arg(pid);
        };
        const QString otherItemId = ItemStorage::idText(QUuid::createUuid());
        const QStringList alive = {
            unfinished(QUuid::createUuid().toString(QUuid::WithoutBraces), other.processId())};
        const QString abandoned =
            unfinished(QUuid::createUuid().toString(QUuid::WithoutBraces), ended);
        const QString unnamed = QUuid::createUuid().toString(QUuid::WithoutBraces);
        for (const QString& name : alive + QStringList{abandoned, unnamed})
            writeFile(folder + QLatin1Char('/') + name, "bytes");
        writeFile(itemFolder + QLatin1Char('/') + unfinished(otherItemId, other.processId()),
                  "item");
        writeFile(itemFolder + QLatin1Char('/') + unfinished(otherItemId, ended), "item");
        // A committed row whose rename was cut short by a crash.
        QVERIFY(QFile::rename(folder + QLatin1Char('/') + storedName,
                              folder + QLatin1Char('/') + unfinished(storedName, ended)));

        app.start();
        QStringList expected = alive + QStringList{storedName, unnamed};
        expected.sort();
        QCOMPARE(entries(folder), expected);
        QCOMPARE(entries(itemFolder, QStringLiteral("*.part")),
                 QStringList{unfinished(otherItemId, other.processId())});
        QVERIFY(app.manager().allKippets().first()->items().first().content == stored.content);
        other.kill();
        other.waitForFinished();
    }

    void aLargeFileItemSharesItsStoredBytesUntilItIsHandedOut() {
        AppHarness app;
        app.start();
        Kippet* kippet = newKippet(app);
        KippetItem item =
            newItem(KippetItemType::file, QStringLiteral("movie.mp4"), patterned(2 * MiB, 8));
        item.metadata.fileExtension = QStringLiteral("mp4");
        app.manager().addItem(item, kippet);
        const QString base =
            app.manager().itemsDirectory(kippet) + QLatin1Char('/') + ItemStorage::idText(item.id);
        QCOMPARE(DurableFile::linkCount(base), qint64(2));

        const QString handedOut = app.manager().fileURL(item, kippet).toLocalFile();
        QCOMPARE(handedOut, base + QStringLiteral(".mp4"));
        QCOMPARE(DurableFile::linkCount(handedOut), qint64(1));
        QVERIFY(!QFile::exists(base));
        QVERIFY(QFileInfo(handedOut).permissions() & QFile::WriteOwner);
        writeFile(handedOut, "changed by another application");

        app.restart();
        QVERIFY(app.manager().allKippets().first()->items().first().content == item.content);
    }
};

QTEST_MAIN(ItemBytesTest)
#include "ItemBytesTest.moc"
