// Figures of the store against references measured in the same run:
// loading every row against the sqlite3 shell, saving one kippet at 20 and at 2,000 kippets,
// and the legacy import against parsing its file as JSON alone.
#include "NewLocalStore.h"
#include "model/Kippet.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "store/DataMigrationService.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
double medianSeconds(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

KippetModel kippetWithItems(int items, int contentBytes, int todos) {
    KippetModel kippet =
        KippetModel::make(QUuid::createUuid(), QStringLiteral("Bench"), KippetColor::standardBlue(),
                          QStringLiteral("tray"), false);
    for (int i = 0; i < items; ++i) {
        ItemMetadata metadata;
        metadata.name = QStringLiteral("item %1").arg(i);
        metadata.aiTags = QStringList{QStringLiteral("tag")};
        kippet.items.append(KippetItemModel::make(QUuid::createUuid(), KippetItemType::text,
                                                  QByteArray(contentBytes, char('a' + i % 26)),
                                                  metadata, ItemCategory::notes));
    }
    for (int i = 0; i < todos; ++i) {
        KippetTodoModel todo;
        todo.text = QStringLiteral("todo %1").arg(i);
        todo.createdAt = Clock::shared().now();
        kippet.todos.append(todo);
    }
    return kippet;
}

void fill(StoreManager& store, int kippets, int contentBytes, int todos) {
    QList<KippetModel> rows;
    for (int i = 0; i < kippets; ++i)
        rows.append(kippetWithItems(50, contentBytes, todos));
    store.insertKippets(rows);
}

double loadRatio(const QString& folder) {
    StoreManager store;
    store.configure(newLocalStore(folder));
    fill(store, 200, 1024, 5);
    const double ours =
        medianSeconds(5, [&] { benchmark::DoNotOptimize(store.fetchAllKippets()); });
    const QString sql = QStringLiteral(
        "SELECT row_id, id, name, color_hex, icon, note_text, note_updated_at, "
        "note_window_origin_x, "
        "note_window_origin_y, note_window_width, note_window_height, is_expanded, is_mini_view, "
        "is_tucked, position_x, position_y, created_date, last_closed_date, project, "
        "is_daily_kippet, custom_instructions, sanitized_instructions FROM kippets ORDER BY "
        "created_date DESC; SELECT i.row_id, i.kippet_row, i.id, i.type_raw, c.content, "
        "i.metadata_name, i.metadata_file_extension, i.metadata_file_size, c.metadata_thumbnail, "
        "i.metadata_url_string, i.metadata_mime_type, i.metadata_ai_title, "
        "i.metadata_ai_description, i.metadata_ai_tags, i.category_raw, i.custom_category, "
        "i.added_date, i.is_processing FROM kippet_items i LEFT JOIN kippet_item_contents c ON "
        "c.item_row = i.row_id ORDER BY i.row_id; SELECT row_id, kippet_row, id, text, is_done, "
        "created_at, "
        "completion_transition_deadline, sort_order FROM kippet_todos ORDER BY kippet_row, "
        "position;");
    const QString path = store.container()->storePath();
    const double shell = medianSeconds(5, [&] {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(QStringLiteral("sqlite3"), {path, sql});
        process.waitForFinished(-1);
    });
    return ours / shell;
}

// One store of the given size with the kippet whose saves are timed.
struct SaveSubject {
    StoreManager store;
    KippetModel saved;
    int round = 0;

    SaveSubject(const QString& folder, int kippets) {
        store.configure(newLocalStore(folder));
        fill(store, kippets - 1, 64, 0);
        saved = kippetWithItems(50, 1024, 5);
        store.insertKippet(saved);
    }
    double timeOneSave() {
        saved.positionX = ++round;
        saved.items[round % 50].metadataAiTitle = QString::number(round);
        QElapsedTimer timer;
        timer.start();
        store.updateKippet(saved);
        return double(timer.nsecsElapsed()) / 1e9;
    }
};

// Saves alternate between the two stores, so that load from elsewhere on the machine falls on both.
double saveGrowth(const QString& folder) {
    SaveSubject small(folder + QStringLiteral("/save20"), 20);
    SaveSubject large(folder + QStringLiteral("/save2000"), 2000);
    std::vector<double> smallTimes, largeTimes;
    for (int i = 0; i < 301; ++i) {
        smallTimes.push_back(small.timeOneSave());
        largeTimes.push_back(large.timeOneSave());
    }
    std::sort(smallTimes.begin(), smallTimes.end());
    std::sort(largeTimes.begin(), largeTimes.end());
    return largeTimes[largeTimes.size() / 2] / smallTimes[smallTimes.size() / 2];
}

QByteArray legacyFile() {
    QJsonArray all;
    const QDateTime now = Clock::shared().now();
    for (int k = 0; k < 100; ++k) {
        Kippet kippet(QUuid::createUuid(), QStringLiteral("K%1").arg(k),
                      KippetColor::standardBlue(), QStringLiteral("tray"), now);
        QList<KippetItem> items;
        for (int i = 0; i < 100; ++i) {
            KippetItem item;
            item.id = QUuid::createUuid();
            item.type = KippetItemType::file;
            item.content = QByteArray(3900, char('a' + (k + i) % 26));
            item.metadata.name = QStringLiteral("file %1.bin").arg(i);
            item.addedDate = now;
            items.append(item);
        }
        kippet.setItems(items);
        all.append(kippet.toJson());
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("activeKippets"), QJsonArray()},
                                     {QStringLiteral("allKippets"), all}})
        .toJson(QJsonDocument::Compact);
}

// Each run parses the file and then imports it into a new store, so that load from elsewhere on the
// machine falls on both sides; the medians are compared. Only the import itself is timed: opening
// the store and closing it again are not part of it.
double importRatio(const QString& folder) {
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/kippets.json");
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(legacyFile());
    }
    std::vector<double> parseTimes, importTimes;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        {
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            benchmark::DoNotOptimize(QJsonDocument::fromJson(file.readAll()));
        }
        parseTimes.push_back(double(timer.nsecsElapsed()) / 1e9);
        Preferences preferences(folder + QStringLiteral("/prefs-%1.conf").arg(run));
        auto container = newLocalStore(folder + QStringLiteral("/store-%1").arg(run));
        timer.restart();
        DataMigrationService(folder, preferences).migrateIfNeeded(*container);
        importTimes.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
    std::sort(parseTimes.begin(), parseTimes.end());
    std::sort(importTimes.begin(), importTimes.end());
    return importTimes[importTimes.size() / 2] / parseTimes[parseTimes.size() / 2];
}

void BM_FetchAllKippets(benchmark::State& state) {
    QTemporaryDir dir;
    StoreManager store;
    store.configure(newLocalStore(dir.path()));
    fill(store, 20, 1024, 5);
    for (auto _ : state)
        benchmark::DoNotOptimize(store.fetchAllKippets());
}
BENCHMARK(BM_FetchAllKippets);
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    Preferences preferences(dir.filePath(QStringLiteral("prefs.conf")));
    Preferences::install(&preferences);
    SystemClock clock;
    Clock::install(&clock);
    Log::setSink([](const QString&) {});

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();

    std::printf("RATIO store_load_vs_sqlite3 %.3f 3\n",
                loadRatio(dir.filePath(QStringLiteral("load"))));
    std::printf("RATIO store_save_growth %.3f 1.5\n", saveGrowth(dir.path()));
    std::printf("RATIO legacy_import_vs_parse %.3f 3\n",
                importRatio(dir.filePath(QStringLiteral("import"))));
    return 0;
}
