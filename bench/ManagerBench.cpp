// Starting the manager on a large store against loading the same rows raw, the cost of one more
// item in a kippet that already holds many against one that holds few, and the cost of the edits
// a window makes (a note keystroke, a todo tick, a move) on a kippet of 200 MiB against one of
// two small items.
#include "NewLocalStore.h"
#include "model/KippetModel.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
constexpr int kippetCount = 200;
constexpr int itemsPerKippet = 50;

struct Environment {
    QTemporaryDir dir;
    std::unique_ptr<Preferences> preferences;
    std::unique_ptr<StoreManager> store;

    Environment() {
        Log::setSink([](const QString&) {});
        preferences = std::make_unique<Preferences>(dir.filePath(QStringLiteral("prefs.conf")));
        Preferences::install(preferences.get());
        store = std::make_unique<StoreManager>();
        StoreManager::install(store.get());
        store->configure(StoreContainer::createLocalContainer(dir.path()));
    }
};

KippetItem textItem(int index) {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = KippetItemType::text;
    item.content = QByteArray("Some text of a note that was pasted into the kippet, number ") +
                   QByteArray::number(index);
    item.metadata.name = QStringLiteral("Text %1").arg(index);
    item.addedDate = Clock::shared().now();
    return item;
}

void fillLargeStore(StoreManager& store) {
    QList<KippetModel> rows;
    for (int k = 0; k < kippetCount; ++k) {
        KippetModel row =
            KippetModel::make(QUuid::createUuid(), QStringLiteral("Kippet %1").arg(k),
                              KippetColor::standardBlue(), QStringLiteral("tray.fill"), false);
        for (int i = 0; i < itemsPerKippet; ++i) {
            row.items.append(KippetItemModel::fromDomain(textItem(k * itemsPerKippet + i)));
        }
        rows.append(row);
    }
    store.insertKippets(rows);
}

double rawLoadSeconds(StoreManager& store) {
    QElapsedTimer timer;
    timer.start();
    const QList<KippetModel> rows = store.fetchAllKippets();
    benchmark::DoNotOptimize(rows.size());
    return timer.nsecsElapsed() / 1e9;
}

double managerStartSeconds(StoreManager& store, const QString& folder) {
    QElapsedTimer timer;
    timer.start();
    KippetManager manager(&store, folder);
    QCoro::waitFor(manager.waitForInitialization());
    benchmark::DoNotOptimize(manager.allKippets().size());
    return timer.nsecsElapsed() / 1e9;
}

// The time of adding item number `target` to a fresh kippet.
double addItemSeconds(KippetManager& manager, int target) {
    Kippet* kippet = manager.createKippet(QStringLiteral("Growth"), KippetColor::standardBlue(),
                                          QStringLiteral("tray.fill"), false);
    for (int i = 1; i < target; ++i) {
        manager.addItem(textItem(i), kippet);
    }
    const KippetItem last = textItem(target);
    QElapsedTimer timer;
    timer.start();
    manager.addItem(last, kippet);
    const double seconds = timer.nsecsElapsed() / 1e9;
    manager.deleteKippet(kippet);
    return seconds;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

Environment* environment = nullptr;

void BM_RawRowLoad(benchmark::State& state) {
    for (auto _ : state) {
        state.SetIterationTime(rawLoadSeconds(*environment->store));
    }
}
BENCHMARK(BM_RawRowLoad)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ManagerStart(benchmark::State& state) {
    for (auto _ : state) {
        state.SetIterationTime(managerStartSeconds(*environment->store, environment->dir.path()));
    }
}
BENCHMARK(BM_ManagerStart)->UseManualTime()->Unit(benchmark::kMillisecond);

// A stored kippet with the given items and one todo.
QUuid storeKippet(StoreManager& store, int items, qsizetype itemBytes) {
    KippetModel row =
        KippetModel::make(QUuid::createUuid(), QStringLiteral("Edited"),
                          KippetColor::standardBlue(), QStringLiteral("tray.fill"), false);
    for (int i = 0; i < items; ++i) {
        ItemMetadata metadata;
        metadata.name = QStringLiteral("item %1").arg(i);
        row.items.append(KippetItemModel::make(QUuid::createUuid(), KippetItemType::file,
                                               QByteArray(itemBytes, char('a' + i % 26)), metadata,
                                               ItemCategory::documents));
    }
    KippetTodoModel todo;
    todo.text = QStringLiteral("tick me");
    todo.createdAt = Clock::shared().now();
    row.todos.append(todo);
    store.insertKippet(row);
    return row.id;
}

// One note edit, one todo tick (or untick) and one move followed by its save.
double editSeconds(KippetManager& manager, Kippet* kippet, int run) {
    KippetTodo todo = kippet->todos().first();
    todo.isDone = !todo.isDone;
    todo.completionTransitionDeadline =
        todo.isDone ? std::optional(Clock::shared().now().addSecs(3600)) : std::nullopt;
    QElapsedTimer timer;
    timer.start();
    manager.updateNote(QStringLiteral("note after %1 edits").arg(run), kippet);
    manager.updateTodo(todo, kippet);
    kippet->setPosition(QPointF(run, -run));
    manager.saveKippet(kippet);
    return timer.nsecsElapsed() / 1e9;
}

void printEditCostGrowth() {
    QTemporaryDir dir;
    StoreManager store;
    store.configure(newLocalStore(dir.path()));
    const QUuid large = storeKippet(store, 200, 1024 * 1024);
    const QUuid small = storeKippet(store, 2, 100);
    KippetManager manager(&store, dir.path());
    QCoro::waitFor(manager.waitForInitialization());
    std::vector<double> largeTimes;
    std::vector<double> smallTimes;
    for (int run = 0; run < 21; ++run) {
        largeTimes.push_back(editSeconds(manager, manager.kippet(large), run));
        smallTimes.push_back(editSeconds(manager, manager.kippet(small), run));
    }
    std::printf("RATIO edit_cost_growth %.3f 1.5\n", median(largeTimes) / median(smallTimes));
}

void printRatios() {
    std::vector<double> raw;
    std::vector<double> start;
    for (int run = 0; run < 7; ++run) {
        raw.push_back(rawLoadSeconds(*environment->store));
        start.push_back(managerStartSeconds(*environment->store, environment->dir.path()));
    }
    std::printf("RATIO manager_start_vs_store_load %.3f 1.5\n", median(start) / median(raw));

    KippetManager manager(environment->store.get(), environment->dir.path());
    QCoro::waitFor(manager.waitForInitialization());
    std::vector<double> tenth;
    std::vector<double> thousandth;
    for (int run = 0; run < 7; ++run) {
        tenth.push_back(addItemSeconds(manager, 10));
        thousandth.push_back(addItemSeconds(manager, 1000));
    }
    std::printf("RATIO add_item_growth %.3f 2\n", median(thousandth) / median(tenth));
    printEditCostGrowth();
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Environment env;
    environment = &env;
    fillLargeStore(*env.store);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printRatios();
    return 0;
}
