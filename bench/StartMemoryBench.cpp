// Resident memory after the manager's start over a store holding 1 GiB of item bytes (500 items
// of 2 MiB, images and files) against the same start over an empty store. Each start runs in a
// child process of its own, so neither inherits the other's memory, nor that of making the store.
#include "model/KippetModel.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <vector>

namespace {
constexpr int itemCount = 500;
constexpr int itemsPerKippet = 50;
constexpr qsizetype itemBytes = 2 * 1024 * 1024;

// In memory when there is a /dev/shm: a gigabyte written to a disk would time the disk.
QString benchFolderTemplate() {
    const QString shm = QStringLiteral("/dev/shm");
    const QString folder = QFileInfo(shm).isWritable() ? shm : QDir::tempPath();
    return folder + QStringLiteral("/kippets-start-XXXXXX");
}

qint64 residentBytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return 0;
}

// The child: starts the store and the manager on the folder and prints its resident memory.
int reportStartMemory(const QString& folder) {
    Log::setSink([](const QString&) {});
    Preferences preferences(folder + QStringLiteral("/prefs.conf"));
    Preferences::install(&preferences);
    StoreManager store;
    StoreManager::install(&store);
    store.configure(StoreContainer::createLocalContainer(folder));
    KippetManager manager(&store, folder);
    KippetManager::install(&manager);
    QCoro::waitFor(manager.waitForInitialization());
    QCoreApplication::processEvents();
    int items = 0;
    for (const Kippet* kippet : manager.allKippets())
        items += int(kippet->items().size());
    std::printf("%lld %d\n", residentBytes(), items);
    KippetManager::install(nullptr);
    StoreManager::install(nullptr);
    return 0;
}

KippetItemModel largeItem(int index) {
    QByteArray bytes(itemBytes, char(index));
    bytes[0] = char(index >> 8); // no two items alike
    ItemMetadata metadata;
    metadata.name = QStringLiteral("Item %1").arg(index);
    metadata.fileSize = itemBytes;
    const bool image = index % 2 == 0;
    if (image) {
        metadata.thumbnail = bytes;
        metadata.mimeType = QStringLiteral("image/png");
        metadata.fileExtension = QStringLiteral("png");
    } else {
        metadata.fileExtension = QStringLiteral("bin");
    }
    return KippetItemModel::make(QUuid::createUuid(),
                                 image ? KippetItemType::image : KippetItemType::file, bytes,
                                 metadata, image ? ItemCategory::images : ItemCategory::documents);
}

void fillStore(const QString& folder) {
    Preferences preferences(folder + QStringLiteral("/prefs.conf"));
    Preferences::install(&preferences);
    StoreManager store;
    store.configure(StoreContainer::createLocalContainer(folder));
    for (int first = 0; first < itemCount; first += itemsPerKippet) {
        KippetModel kippet =
            KippetModel::make(QUuid::createUuid(), QStringLiteral("Kippet %1").arg(first),
                              KippetColor::standardBlue(), QStringLiteral("tray.fill"), false);
        for (int index = first; index < first + itemsPerKippet; ++index)
            kippet.items.append(largeItem(index));
        store.insertKippet(kippet);
    }
    Preferences::install(nullptr);
}

// The median of three children's resident memory after their start on the folder.
double startMemory(const QString& folder, int expectedItems) {
    std::vector<double> bytes;
    for (int run = 0; run < 3; ++run) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--report-start-memory"), folder});
        child.waitForFinished(-1);
        const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
        if (fields.size() != 2 || fields.at(1).toInt() != expectedItems)
            qFatal("the start over %s did not load its %d items", qPrintable(folder),
                   expectedItems);
        bytes.push_back(fields.at(0).toDouble());
    }
    std::sort(bytes.begin(), bytes.end());
    return bytes[1];
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--report-start-memory")
        return reportStartMemory(QString::fromLocal8Bit(argv[2]));
    Log::setSink([](const QString&) {});
    benchmark::Initialize(&argc, argv);

    QTemporaryDir root(benchFolderTemplate());
    const QString full = root.filePath(QStringLiteral("full"));
    const QString empty = root.filePath(QStringLiteral("empty"));
    QDir().mkpath(full);
    QDir().mkpath(empty);
    fillStore(full);
    const double withItems = startMemory(full, itemCount);
    const double withoutItems = startMemory(empty, 0);
    std::printf("start memory: %.1f MiB over 1 GiB of items, %.1f MiB over an empty store\n",
                withItems / 1048576, withoutItems / 1048576);
    std::printf("RATIO start_memory_vs_empty_store %.3f 1.5\n", withItems / withoutItems);
    return 0;
}
