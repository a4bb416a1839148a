#include "model/Kippet.h"
#include "platform/Preferences.h"
#include "store/DataFile.h"
#include "store/DataManagerError.h"
#include "store/DurableFile.h"
#include "store/ExternalBytes.h"
#include "store/KippetManager.h"
#include "store/MappedBytes.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"
#include "store/UnreadableItemError.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"

#include <QCoroTask>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Files outside the data folder that a link in an item's place leads to: a file, a folder with a
// file in it. Nothing the app does may change them.
class Decoys {
public:
    Decoys() {
        QVERIFY(dir_.isValid());
        writeFile(file(), "foreign bytes that are not the item's");
        QVERIFY(QDir().mkdir(folder()));
        writeFile(folder() + QStringLiteral("/inside"), "foreign");
        saved_ = state();
    }
    QString file() const { return dir_.filePath(QStringLiteral("decoy")); }
    QString folder() const { return dir_.filePath(QStringLiteral("decoys")); }
    QString listed() const { return state(); }
    // Mode, content and the names in the folder, as they were at the start.
    bool unchanged() const { return state() == saved_; }

private:
    static QString modeOf(const QString& path) {
        struct stat info {};
        ::lstat(QFile::encodeName(path).constData(), &info);
        return QString::number(info.st_mode, 8);
    }
    QString state() const {
        return QStringList{modeOf(file()),
                           QString::fromLatin1(readFile(file())),
                           modeOf(folder()),
                           QDir(folder())
                               .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                               .join(','),
                           modeOf(folder() + QStringLiteral("/inside")),
                           QString::fromLatin1(readFile(folder() + QStringLiteral("/inside")))}
            .join('|');
    }

    QTemporaryDir dir_;
    QString saved_;
};

// Every file under `folder`, hidden ones too, with its length.
QStringList filesWithLengths(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        files.append(QStringLiteral("%1 %2").arg(it.filePath()).arg(it.fileInfo().size()));
    }
    files.sort();
    return files;
}

// What KippetManager hands out of the item, or the text of why it hands out nothing.
QString handedOutOrRefused(AppHarness& app, const KippetItem& item, Kippet* kippet, bool named) {
    try {
        const QUrl file =
            named ? app.manager().handOutURL(item, kippet) : app.manager().fileURL(item, kippet);
        return QStringLiteral("handed out ") + file.toLocalFile();
    } catch (const UnreadableItemError& error) {
        return error.errorDescription();
    }
}

// Another program at work while the app removes a folder: once the folder named here has been
// opened, it is moved aside and a link to `linkTarget` takes its name.
struct FolderSwap {
    static inline QString folder;
    static inline QString linkTarget;
    static void run(const QString& opened) {
        if (opened != folder)
            return;
        folder.clear();
        QVERIFY(QFile::rename(opened, opened + QStringLiteral(" aside")));
        QVERIFY(QFile::link(linkTarget, opened));
    }
};

// Another writer at work while the app removes a folder: once a folder below the one named
// here has been opened (the names of the one named were read already), it adds a file there.
struct LateWriter {
    static inline QString folder;
    static void run(const QString& opened) {
        if (folder.isEmpty() || !opened.startsWith(folder + QLatin1Char('/')))
            return;
        QFile late(folder + QStringLiteral("/late.bin"));
        QVERIFY(late.open(QIODevice::WriteOnly));
        folder.clear();
    }
};

// Lets the process hold at most `spare` more descriptors than it holds now, for its life.
class DescriptorLimit {
public:
    explicit DescriptorLimit(rlim_t spare) {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit limit = saved_;
        limit.rlim_cur = rlim_t(QDir(QStringLiteral("/proc/self/fd")).count()) + spare;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

private:
    rlimit saved_{};
};

void linkInPlace(const QString& path, const QString& target) {
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(path);
    QVERIFY(QFile::link(target, path));
}
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

    void otherApplicationsGetTheStoredBytesUnderTheItemsNameReadOnly() {
        AppHarness app;
        app.start();
        Kippet* kippet = newKippet(app);
        KippetItem item =
            newItem(KippetItemType::file, QStringLiteral("movie.mp4"), patterned(2 * MiB, 9));
        item.metadata.fileExtension = QStringLiteral("mp4");
        app.manager().addItem(item, kippet);
        const QString base =
            app.manager().itemsDirectory(kippet) + QLatin1Char('/') + ItemStorage::idText(item.id);

        const QString named = app.manager().handOutURL(item, kippet).toLocalFile();
        QCOMPARE(QFileInfo(named).fileName(), QStringLiteral("movie.mp4"));
        // A third name of the store's bytes: nothing was copied, and nobody may write them.
        QVERIFY(DurableFile::sameFile(named, base));
        QCOMPARE(DurableFile::linkCount(named), qint64(3));
        QVERIFY(!(QFileInfo(named).permissions() &
                  (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther)));
        QCOMPARE(app.manager().handOutURL(item, kippet).toLocalFile(), named);
        QCOMPARE(DurableFile::linkCount(named), qint64(3));

        // The names never reach the kippet's own list of files, and go with the item.
        QCOMPARE(QDir(app.manager().itemsDirectory(kippet)).entryList(QDir::Files),
                 QStringList{ItemStorage::idText(item.id)});
        app.manager().removeItem(item, kippet);
        QVERIFY(!QFile::exists(named));
        QCOMPARE(QDir(app.manager().itemsDirectory(kippet))
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
    }

    void theHandedOutNameIsOneAFileSystemTakes() {
        KippetItem item;
        item.id = QUuid::createUuid();
        item.type = KippetItemType::file;
        item.metadata.fileExtension = QStringLiteral("pdf");
        item.metadata.name = QStringLiteral("  Plans\nfor 2025/26.PDF ");
        QCOMPARE(ItemStorage::handOutName(item), QStringLiteral("Plans-for 2025-26.PDF"));
        item.metadata.name = QStringLiteral("..");
        QCOMPARE(ItemStorage::handOutName(item), ItemStorage::idText(item.id) + ".pdf");
        item.metadata.name = QString(300, QChar(0x00e9)); // two bytes each in UTF-8
        const QString longName = ItemStorage::handOutName(item);
        QVERIFY(longName.toUtf8().size() <= 255);
        QCOMPARE(longName, QString(125, QChar(0x00e9)) + ".pdf");
        // Without an extension, the name as it is.
        item.metadata.fileExtension.reset();
        item.type = KippetItemType::text;
        item.metadata.name = QStringLiteral("notes");
        QCOMPARE(ItemStorage::handOutName(item), QStringLiteral("notes"));
    }

    // A link in the place of an item's file, of the folder of its handed-out names or of the
    // kippet's folder leads elsewhere: the app changes nothing there and hands nothing of it out.
    void aLinkInAnItemsPlaceIsNeverFollowed() {
        AppHarness app;
        app.start();
        Kippet* kippet = newKippet(app);
        Decoys decoys;
        const QString folder = app.manager().itemsDirectory(kippet);
        const QStringList targets = {decoys.file(), decoys.folder(), QStringLiteral("/dev/zero")};
        for (const QString& target : targets) {
            const QByteArray content = "the item's own bytes, not " + QFile::encodeName(target);
            KippetItem item = newItem(KippetItemType::file, QStringLiteral("report.txt"), content);
            item.metadata.fileExtension = QStringLiteral("txt");
            app.manager().addItem(item, kippet);
            const QString base = folder + QLatin1Char('/') + ItemStorage::idText(item.id);
            // Before its first use, under its id; after it, under its name with the extension.
            for (const QString& place : {base, base + QStringLiteral(".txt")}) {
                linkInPlace(place, target);
                LogCapture log;
                const QString handed = app.manager().handOutURL(item, kippet).toLocalFile();
                QVERIFY2(decoys.unchanged(), qPrintable(target + " at " + place));
                QCOMPARE(readFile(handed), content);
                QVERIFY(!DurableFile::sameFile(handed, decoys.file()));
                QCOMPARE(QFileInfo(handed).path(),
                         folder + QStringLiteral("/.names/") + ItemStorage::idText(item.id));
                QVERIFY(log.contains(QStringLiteral("is not the item's file: ")));
            }
        }

        // The folder of an item's names, then the kippet's own folder, as links to a folder
        // elsewhere.
        KippetItem item = newItem(KippetItemType::file, QStringLiteral("plan.txt"), "a plan");
        app.manager().addItem(item, kippet);
        const QString names = folder + QStringLiteral("/.names");
        QDir(names).removeRecursively();
        QVERIFY(QFile::link(decoys.folder(), names));
        const QString handed = app.manager().handOutURL(item, kippet).toLocalFile();
        QVERIFY(decoys.unchanged());
        QCOMPARE(readFile(handed), QByteArray("a plan"));
        QVERIFY(!QFileInfo(names).isSymLink());

        QDir(folder).removeRecursively();
        QVERIFY(QFile::link(decoys.folder(), folder));
        QVERIFY_THROWS_EXCEPTION(std::exception, app.manager().handOutURL(item, kippet));
        app.manager().removeItem(item, kippet);
        app.manager().deleteKippet(kippet);
        QVERIFY(decoys.unchanged());
    }

    // A folder the app removes is swapped for a link to a folder elsewhere meanwhile, and holds
    // a link of its own: the links go, and nothing they lead to.
    void aFolderSwappedForALinkWhileItIsRemovedLeavesWhatTheLinkLeadsTo() {
        AppHarness app;
        app.start();
        Kippet* kippet = newKippet(app);
        const KippetItem item = newItem(KippetItemType::file, QStringLiteral("plan.txt"), "plan");
        app.manager().addItem(item, kippet);
        app.manager().handOutURL(item, kippet);
        const QString folder = app.manager().itemsDirectory(kippet);
        Decoys decoys;
        QVERIFY(QFile::link(decoys.folder(), folder + QStringLiteral("/elsewhere")));
        FolderSwap::folder = folder;
        FolderSwap::linkTarget = decoys.folder();
        DataFile::setBeforeEmptying(&FolderSwap::run);
        app.manager().deleteKippet(kippet);
        DataFile::setBeforeEmptying(nullptr);
        QVERIFY(FolderSwap::folder.isEmpty());
        QVERIFY2(decoys.unchanged(), qPrintable(decoys.listed()));
        QVERIFY(!QFileInfo(folder).isSymLink());
        QVERIFY(!QFileInfo::exists(folder));
        // What was opened was emptied where it went.
        QCOMPARE(
            QDir(folder + QStringLiteral(" aside"))
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
            QStringList());
    }

    // A folder that cannot be removed says why, and what could not go stays: a file another
    // writer adds meanwhile, a tree deeper than the descriptors left, a folder of no permission.
    void aFolderThatCannotBeRemovedSaysWhy() {
        AppHarness app;
        app.start();
        Kippet* kippet = newKippet(app);
        const KippetItem item = newItem(KippetItemType::file, QStringLiteral("plan.txt"), "plan");
        app.manager().addItem(item, kippet);
        app.manager().handOutURL(item, kippet);
        const QString folder = app.manager().itemsDirectory(kippet);
        LateWriter::folder = folder;
        DataFile::setBeforeEmptying(&LateWriter::run);
        LogCapture log;
        app.manager().deleteKippet(kippet);
        DataFile::setBeforeEmptying(nullptr);
        QVERIFY(LateWriter::folder.isEmpty());
        QVERIFY2(log.contains(QStringLiteral("⚠️ [ItemStorage] Not removed: “%1” cannot be "
                                             "removed: %2")
                                  .arg(folder, QString::fromLocal8Bit(std::strerror(ENOTEMPTY)))),
                 qPrintable(log.lines().join('\n')));
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList({QStringLiteral("late.bin")}));

        // Every folder of the way holds a descriptor while the folders below it go.
        const QString root = app.folder();
        QString deep = root + QStringLiteral("/deep");
        const QString top = deep;
        for (int level = 0; level < 48; ++level)
            deep += QStringLiteral("/d");
        QVERIFY(QDir().mkpath(deep));
        {
            DescriptorLimit limit(16);
            const DataFile::Failure failure = DataFile::removeFolder(root, top);
            QVERIFY(failure);
            QVERIFY2(failure->contains(QString::fromLocal8Bit(std::strerror(EMFILE))),
                     qPrintable(*failure));
        }
        QVERIFY(QFileInfo::exists(top));
        QCOMPARE(DataFile::removeFolder(root, top), std::nullopt);
        QVERIFY(!QFileInfo::exists(top));
        // Gone already: nothing failed.
        QCOMPARE(DataFile::removeFolder(root, top), std::nullopt);

        if (::geteuid() != 0) {
            const QString locked = root + QStringLiteral("/locked");
            QVERIFY(QDir().mkpath(locked + QStringLiteral("/inner")));
            writeFile(locked + QStringLiteral("/inner/kept"), "kept");
            QVERIFY(QFile::setPermissions(locked + QStringLiteral("/inner"),
                                          QFile::ReadOwner | QFile::ExeOwner));
            const DataFile::Failure failure = DataFile::removeFolder(root, locked);
            QFile::setPermissions(locked + QStringLiteral("/inner"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QCOMPARE(failure, std::optional(
                                  QStringLiteral("“%1/inner/kept” cannot be removed: %2")
                                      .arg(locked, QString::fromLocal8Bit(std::strerror(EACCES)))));
            QVERIFY(QFileInfo::exists(locked + QStringLiteral("/inner/kept")));
        }
    }

    // Stored bytes are read only from the store's own files: a link there, even to a file of
    // the right length, costs the item its bytes and hands out nothing foreign.
    void aLinkInPlaceOfStoredBytesIsLostBytes() {
        AppHarness app;
        app.start();
        Kippet* kippet = newKippet(app);
        const KippetItem item = newItem(KippetItemType::file, QStringLiteral("large.bin"),
                                        patterned(ExternalBytes::threshold * 2, 30));
        app.manager().addItem(item, kippet);
        const QString folder = externalFolder(app);
        const QString stored = folder + QLatin1Char('/') + entries(folder).value(0);
        app.stop();
        MappedBytes::releaseUnused();

        Decoys decoys;
        writeFile(decoys.file(), patterned(ExternalBytes::threshold * 2, 31));
        const QString decoyBefore = decoys.listed();
        linkInPlace(stored, decoys.file());
        LogCapture log;
        app.start();
        Kippet* loaded = app.manager().allKippets().first();
        QCOMPARE(loaded->items().first().content, QByteArray());
        QVERIFY(log.contains(QStringLiteral("⚠️ Item \"large.bin\" lost its stored bytes: ")));
        QVERIFY(log.contains(QStringLiteral("it is a symbolic link")));
        QVERIFY_THROWS_EXCEPTION(UnreadableItemError,
                                 app.manager().handOutURL(loaded->items().first(), loaded));
        QCOMPARE(decoys.listed(), decoyBefore);
    }

    // Stored bytes that cannot be read leave the item without a file: it says why, and nothing
    // is written in place of its file. Once the bytes are back, its file is theirs again, also
    // where an older version had left an empty file in its place.
    void storedBytesThatCannotBeReadAreNeverHandedOutAsAnEmptyFile() {
        AppHarness app;
        app.start();
        Kippet* kippet = newKippet(app);
        const bool root = ::geteuid() == 0;
        const QStringList names = {QStringLiteral("linked.bin"), QStringLiteral("piped.bin"),
                                   QStringLiteral("foreign.bin"), QStringLiteral("cut.bin"),
                                   QStringLiteral("folder.bin")};
        const QStringList causes = {
            QStringLiteral("it is a symbolic link"), QStringLiteral("it is not a regular file"),
            // Files of another user need root to be made; without, one that cannot be opened.
            root ? QStringLiteral("it belongs to another user")
                 : QString::fromLocal8Bit(std::strerror(EACCES)),
            QStringLiteral("it holds 100 bytes where 131072 were stored"),
            QStringLiteral("it is not a regular file")};
        QList<KippetItem> items;
        for (int i = 0; i < names.size(); ++i) {
            KippetItem item = newItem(KippetItemType::file, names[i],
                                      patterned(ExternalBytes::threshold * 2, 40 + i));
            item.metadata.fileExtension = QStringLiteral("bin");
            app.manager().addItem(item, kippet);
            items.append(item);
        }
        // One was handed out while whole.
        app.manager().handOutURL(items[0], kippet);
        const QString external = externalFolder(app);
        const QString folder = app.manager().itemsDirectory(kippet);
        app.stop();
        MappedBytes::releaseUnused();

        Decoys decoys;
        QHash<QString, QByteArray> saved;
        for (const QString& name : entries(external)) {
            const QString path = external + QLatin1Char('/') + name;
            const QByteArray bytes = readFile(path);
            saved.insert(path, bytes);
            const QByteArray native = QFile::encodeName(path);
            if (bytes == items[0].content) {
                linkInPlace(path, decoys.file());
            } else if (bytes == items[1].content) {
                QVERIFY(QFile::remove(path));
                QCOMPARE(::mkfifo(native.constData(), 0600), 0);
            } else if (bytes == items[2].content) {
                QCOMPARE(root ? ::chown(native.constData(), 65534, 65534)
                              : ::chmod(native.constData(), 0),
                         0);
            } else if (bytes == items[3].content) {
                QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
                QCOMPARE(::truncate(native.constData(), 100), 0);
            } else if (bytes == items[4].content) {
                QVERIFY(QFile::remove(path));
                QVERIFY(QDir().mkdir(path));
            }
        }
        QCOMPARE(saved.size(), items.size());
        const QString decoysBefore = decoys.listed();
        app.start();
        Kippet* loaded = app.manager().allKippets().first();
        const QStringList filesBefore = filesWithLengths(folder);
        for (int i = 0; i < items.size(); ++i) {
            const KippetItem item = *loaded->item(items[i].id);
            const QString refusal =
                QStringLiteral("The file of “%1” cannot be read: %2").arg(names[i], causes[i]);
            for (const bool named : {false, true})
                QCOMPARE(handedOutOrRefused(app, item, loaded, named), refusal);
        }
        // Nothing written, nothing removed, nothing of another's changed.
        QCOMPARE(filesWithLengths(folder), filesBefore);
        QCOMPARE(decoys.listed(), decoysBefore);

        // What older versions left of the first item: an empty file under its name, handed out.
        const QString base = folder + QLatin1Char('/') + ItemStorage::idText(items[0].id);
        const QString names0 =
            folder + QStringLiteral("/.names/") + ItemStorage::idText(items[0].id);
        QDir(names0).removeRecursively();
        QVERIFY(QDir().mkpath(names0));
        QFile::remove(base);
        writeFile(base + QStringLiteral(".bin"), QByteArray());
        QVERIFY(QFile::link(base + QStringLiteral(".bin"), names0 + QStringLiteral("/linked.bin")));

        app.stop();
        MappedBytes::releaseUnused();
        // Each file as it was: in place where it is still a file of the user's (the one cut short
        // shares it with the item's own name), written anew where something else took its name.
        for (auto it = saved.cbegin(); it != saved.cend(); ++it) {
            const QFileInfo info(it.key());
            if (info.isDir())
                QVERIFY(QDir().rmdir(it.key()));
            else if (!info.isFile() || info.isSymLink() || info.ownerId() != ::geteuid() ||
                     !info.isReadable())
                QVERIFY(QFile::remove(it.key()));
            writeFile(it.key(), it.value());
        }
        app.start();
        loaded = app.manager().allKippets().first();
        for (const KippetItem& original : items) {
            const KippetItem item = *loaded->item(original.id);
            QVERIFY(!item.unreadableBecause);
            for (const bool named : {false, true}) {
                const QString handed = named ? app.manager().handOutURL(item, loaded).toLocalFile()
                                             : app.manager().fileURL(item, loaded).toLocalFile();
                QVERIFY2(readFile(handed) == original.content, qPrintable(original.metadata.name));
            }
        }
    }

    // Every hand-out looks at the stored bytes anew: once the file is back, missing, cut short,
    // a link or a pipe before, or cut short while in use, the next hand-out gives the item's
    // bytes, in the same run, also to a caller holding the item as it was when refused.
    void storedBytesRestoredWhileTheAppRunsAreHandedOutAtOnce() {
        AppHarness app;
        app.start();
        Kippet* kippet = newKippet(app);
        const QStringList names = {QStringLiteral("missing.bin"), QStringLiteral("cut.bin"),
                                   QStringLiteral("linked.bin"), QStringLiteral("piped.bin"),
                                   QStringLiteral("in use.bin")};
        QList<KippetItem> items;
        for (int i = 0; i < names.size(); ++i) {
            KippetItem item = newItem(KippetItemType::file, names[i],
                                      patterned(ExternalBytes::threshold * 2, 60 + i));
            item.metadata.fileExtension = QStringLiteral("bin");
            app.manager().addItem(item, kippet);
            // Handed out once while whole, as a user would have done before.
            app.manager().handOutURL(item, kippet);
            items.append(item);
        }
        const QString external = externalFolder(app);
        QHash<QString, QString> storedOf;
        for (const QString& name : entries(external)) {
            const QString path = external + QLatin1Char('/') + name;
            const QByteArray bytes = readFile(path);
            for (const KippetItem& item : items)
                if (bytes == item.content)
                    storedOf.insert(item.metadata.name, path);
        }
        QCOMPARE(storedOf.size(), items.size());
        app.stop();
        MappedBytes::releaseUnused();

        Decoys decoys;
        const auto native = [](const QString& path) { return QFile::encodeName(path); };
        QVERIFY(QFile::remove(storedOf[names[0]]));
        QFile::setPermissions(storedOf[names[1]], QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(::truncate(native(storedOf[names[1]]).constData(), 100), 0);
        linkInPlace(storedOf[names[2]], decoys.file());
        QVERIFY(QFile::remove(storedOf[names[3]]));
        QCOMPARE(::mkfifo(native(storedOf[names[3]]).constData(), 0600), 0);
        app.start();
        Kippet* loaded = app.manager().allKippets().first();
        QList<KippetItem> refused;
        for (const KippetItem& item : items)
            refused.append(*loaded->item(item.id));
        // Cut short while the app has it in use.
        QFile::setPermissions(storedOf[names[4]], QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(::truncate(native(storedOf[names[4]]).constData(), 1000), 0);
        const QStringList causes = {QString::fromLocal8Bit(std::strerror(ENOENT)),
                                    QStringLiteral("it holds 100 bytes where 131072 were stored"),
                                    QStringLiteral("it is a symbolic link"),
                                    QStringLiteral("it is not a regular file"),
                                    QStringLiteral("it holds 1000 bytes where 131072 were stored")};
        for (int i = 0; i < items.size(); ++i) {
            QCOMPARE(
                handedOutOrRefused(app, refused[i], loaded, true),
                QStringLiteral("The file of “%1” cannot be read: %2").arg(names[i], causes[i]));
            refused[i] = *loaded->item(items[i].id);
            QVERIFY(refused[i].unreadableBecause);
        }

        // Restored as a copy from a backup restores a file: written back over a file cut short,
        // a new file where none is, or where a link or a pipe took its name.
        for (const KippetItem& item : items) {
            const QString path = storedOf[item.metadata.name];
            const QFileInfo info(path);
            if (info.isSymLink() || (info.exists() && !info.isFile()))
                QVERIFY(QFile::remove(path));
            else
                QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
            writeFile(path, item.content);
            QVERIFY(QFileInfo(path).isFile() && !QFileInfo(path).isSymLink());
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
        }
        LogCapture log;
        for (int i = 0; i < items.size(); ++i) {
            const QString handed = handedOutOrRefused(app, refused[i], loaded, true);
            QVERIFY2(handed.startsWith(QStringLiteral("handed out ")), qPrintable(handed));
            QVERIFY2(readFile(handed.mid(11)) == items[i].content, qPrintable(names[i]));
            QVERIFY2(!loaded->item(items[i].id)->unreadableBecause, qPrintable(names[i]));
            QVERIFY(loaded->item(items[i].id)->content == items[i].content);
            QVERIFY(log.contains(
                QStringLiteral("📦 Item \"%1\" has its stored bytes again").arg(names[i])));
        }
        QVERIFY(decoys.unchanged());
    }

    // A pipe would make the start wait for ever for a writer; a folder or a device is no file.
    void aPipeAFolderOrADeviceInPlaceOfItemBytesIsLostBytes() {
        AppHarness app;
        app.start();
        Kippet* kippet = newKippet(app);
        const QStringList names = {QStringLiteral("pipe.bin"), QStringLiteral("folder.bin"),
                                   QStringLiteral("device.bin"), QStringLiteral("whole.bin")};
        QList<KippetItem> items;
        for (int i = 0; i < names.size(); ++i) {
            items.append(newItem(KippetItemType::file, names[i],
                                 patterned(ExternalBytes::threshold * 2, 10 + i)));
            app.manager().addItem(items.last(), kippet);
        }
        const QString folder = externalFolder(app);
        app.stop();
        MappedBytes::releaseUnused();

        for (const QString& name : entries(folder)) {
            const QString path = folder + QLatin1Char('/') + name;
            const QByteArray bytes = readFile(path);
            const QByteArray native = QFile::encodeName(path);
            if (bytes == items[0].content) {
                QVERIFY(QFile::remove(path));
                QCOMPARE(::mkfifo(native.constData(), 0600), 0);
            } else if (bytes == items[1].content) {
                QVERIFY(QFile::remove(path));
                QVERIFY(QDir().mkdir(path));
            } else if (bytes == items[2].content) {
                QVERIFY(QFile::remove(path));
                QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
            }
        }
        LogCapture log;
        app.start();
        const QList<KippetItem> loaded = app.manager().allKippets().first()->items();
        QCOMPARE(loaded.size(), 4);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(loaded[i].content, QByteArray());
            QVERIFY2(
                log.contains(
                    QStringLiteral("⚠️ Item \"%1\" lost its stored bytes: ").arg(names[i])),
                qPrintable(names[i]));
        }
        QVERIFY(loaded[3].content == items[3].content);
        QVERIFY(log.contains(QStringLiteral("is not a regular file")));
    }

    // Another program cuts an item's file short while the app has it mapped: reading the item
    // (its thumbnail on a worker, its content, its file) gives its lost bytes, never a crash.
    void bytesCutShortWhileInUseAreLostBytesNotACrash() {
        AppHarness app;
        app.start();
        Kippet* kippet = newKippet(app);
        const KippetItem picture =
            newItem(KippetItemType::image, QStringLiteral("picture.png"), patterned(MiB, 20));
        const KippetItem document =
            newItem(KippetItemType::file, QStringLiteral("document.bin"), patterned(MiB, 21));
        const KippetItem handed =
            newItem(KippetItemType::file, QStringLiteral("handed.bin"), patterned(MiB, 22));
        const KippetItem kept =
            newItem(KippetItemType::file, QStringLiteral("kept.bin"), patterned(MiB, 23));
        for (const KippetItem& item : {picture, document, handed, kept})
            app.manager().addItem(item, kippet);
        const QString folder = externalFolder(app);
        app.restart();
        Kippet* loaded = app.manager().allKippets().first();
        QVERIFY(!MappedBytes::lostBecause(loaded->item(picture.id)->content));

        for (const QString& name : entries(folder)) {
            const QString path = folder + QLatin1Char('/') + name;
            const QByteArray bytes = readFile(path);
            if (bytes == picture.content || bytes == document.content || bytes == handed.content) {
                QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
                QCOMPARE(::truncate(QFile::encodeName(path).constData(), 1000), 0);
            }
        }
        LogCapture log;
        // Handed out as a file, the item is checked first: it has none, and says why.
        QCOMPARE(handedOutOrRefused(app, *loaded->item(handed.id), loaded, false),
                 QStringLiteral("The file of “handed.bin” cannot be read: it holds 1000 bytes "
                                "where 1048576 were stored"));
        QCOMPARE(loaded->item(handed.id)->content, QByteArray());
        QVERIFY(log.contains(QStringLiteral("⚠️ Item \"handed.bin\" lost its stored bytes: ")));

        const QByteArray thumbnail = *loaded->item(picture.id)->metadata.thumbnail;
        const QByteArray content = loaded->item(document.id)->content;
        // Read to the end, past what the files still hold.
        const size_t thumbnailSum = QtConcurrent::run([thumbnail] {
                                        return qHashBits(thumbnail.data(), thumbnail.size());
                                    }).result();
        QVERIFY(thumbnailSum != qHashBits(picture.content.data(), picture.content.size()));
        QVERIFY(content != document.content);
        QTRY_COMPARE(loaded->item(picture.id)->content, QByteArray());
        QCOMPARE(loaded->item(picture.id)->metadata.thumbnail, std::optional(QByteArray()));
        QCOMPARE(loaded->item(document.id)->content, QByteArray());
        QVERIFY(
            log.contains(QStringLiteral("⚠️ Item \"picture.png\" lost its stored bytes: ")));
        QVERIFY(
            log.contains(QStringLiteral("⚠️ Item \"document.bin\" lost its stored bytes: ")));
        QVERIFY(log.contains(QStringLiteral("holds 1000 bytes where 1048576 were stored")));

        QVERIFY(loaded->item(kept.id)->content == kept.content);
        QVERIFY(!MappedBytes::lostBecause(loaded->item(kept.id)->content));
    }
};

QTEST_MAIN(ItemBytesTest)
#include "ItemBytesTest.moc"
