// A cold start of the app over 200 open kippets of 50 items each, until the launch has ended and
// every panel and the dashboard have painted, against a Qt app that shows one empty window.
// Both run as child processes, offscreen, in turn; the figures are medians of five runs each,
// of CPU time (user and system, all threads) and of peak resident memory.
#include "model/KippetModel.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr int kippetCount = 200;
constexpr int itemsPerKippet = 50;
constexpr int runs = 5;

struct Run {
    double seconds = 0;
    double cpuSeconds = 0;
    double peakKiB = 0;
    bool ok = false;
};

KippetItem textItem(int index) {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = KippetItemType::text;
    item.content = QByteArray(1024, 'a' + index % 26);
    item.metadata.name = QStringLiteral("Text %1").arg(index);
    item.addedDate = Clock::shared().now();
    return item;
}

// The user's data and preferences of a home with 200 open collapsed kippets on a grid that
// fits the offscreen screen, so no panel is moved and no save runs at start.
void seedHome(const QString& home) {
    const QString dataFolder = home + QStringLiteral("/.local/share/Kippets");
    QDir().mkpath(dataFolder);
    QDir().mkpath(home + QStringLiteral("/.config/Kippets"));
    Preferences preferences(home + QStringLiteral("/.config/Kippets/Kippets.conf"));
    Preferences::install(&preferences);
    preferences.setBool(QStringLiteral("onboarding_completed"), true);
    preferences.setBool(QStringLiteral("icloud_sync_enabled"), false);
    {
        StoreManager store;
        store.configure(StoreContainer::createLocalContainer(dataFolder));
        QList<KippetModel> rows;
        for (int k = 0; k < kippetCount; ++k) {
            KippetModel row =
                KippetModel::make(QUuid::createUuid(), QStringLiteral("Kippet %1").arg(k),
                                  KippetColor::standardBlue(), QStringLiteral("tray.fill"), false);
            row.setPosition(QPointF(12.0 * (k % 40), 12.0 * (k / 40) + 12));
            for (int i = 0; i < itemsPerKippet; ++i)
                row.items.append(KippetItemModel::fromDomain(textItem(k * itemsPerKippet + i)));
            rows.append(row);
        }
        store.insertKippets(rows);
        for (const KippetModel& row : std::as_const(rows))
            store.insertActiveKippetID(row.id);
        store.saveActiveKippetIDs();
    }
    preferences.sync();
    Preferences::install(nullptr);
}

Run runChild(const QString& program, const QString& home) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("KIPPETS_BENCH_QUIT_AFTER_LAUNCH"), QStringLiteral("1"));
    std::vector<QByteArray> texts;
    for (const QString& entry : environment.toStringList())
        texts.push_back(entry.toLocal8Bit());
    std::vector<char*> envp;
    for (QByteArray& text : texts)
        envp.push_back(text.data());
    envp.push_back(nullptr);
    QByteArray path = program.toLocal8Bit();
    char* argv[] = {path.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    Run run;
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, path.constData(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return run;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.seconds = timer.nsecsElapsed() / 1e9;
    run.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                     usage.ru_stime.tv_usec / 1e6;
    run.peakKiB = static_cast<double>(usage.ru_maxrss);
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Series {
    std::vector<double> times;
    std::vector<double> cpuTimes;
    std::vector<double> peaks;

    void add(const Run& run) {
        times.push_back(run.seconds);
        cpuTimes.push_back(run.cpuSeconds);
        peaks.push_back(run.peakKiB);
    }
};

// The two programs run in turn, each once first uncounted, so both meet the same machine: a
// busy moment or files not yet in the page cache weigh on neither alone.
bool measureInTurn(const QString& app, const QString& appHome, const QString& reference,
                   const QString& referenceHome, Series* appRuns, Series* referenceRuns) {
    for (int i = 0; i <= runs; ++i) {
        const Run referenceRun = runChild(reference, referenceHome);
        const Run appRun = runChild(app, appHome);
        for (const auto& [run, program] : {std::pair{referenceRun, reference}, {appRun, app}}) {
            if (!run.ok) {
                std::fprintf(stderr, "%s did not end cleanly\n", qPrintable(program));
                return false;
            }
        }
        if (i == 0)
            continue;
        referenceRuns->add(referenceRun);
        appRuns->add(appRun);
    }
    return true;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Log::setSink([](const QString&) {});
    // "--seed <folder>" only writes the home there, to profile the app's start by hand.
    const QStringList arguments = app.arguments();
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String("--seed")) {
        seedHome(arguments.at(2));
        return 0;
    }
    QTemporaryDir home;
    QTemporaryDir emptyHome;
    seedHome(home.path());

    Series appRuns;
    Series referenceRuns;
    if (!measureInTurn(QStringLiteral(KIPPETS_APP_PATH), home.path(),
                       QStringLiteral(EMPTY_WINDOW_PATH), emptyHome.path(), &appRuns,
                       &referenceRuns))
        return 1;
    const double appSeconds = median(appRuns.times);
    const double appCpu = median(appRuns.cpuTimes);
    const double appPeak = median(appRuns.peaks);
    const double referenceSeconds = median(referenceRuns.times);
    const double referenceCpu = median(referenceRuns.cpuTimes);
    const double referencePeak = median(referenceRuns.peaks);
    std::printf("cold start %.3f s (CPU %.3f s), %.1f MiB; empty window %.3f s (CPU %.3f s), "
                "%.1f MiB\n",
                appSeconds, appCpu, appPeak / 1024, referenceSeconds, referenceCpu,
                referencePeak / 1024);
    // The ratio is of CPU time: a start waits on no network and no timer, so on an idle machine
    // its CPU time is its duration, and unlike the wall clock it does not depend on what else
    // the machine runs meanwhile.
    std::printf("RATIO cold_start_vs_empty_window %.3f 10\n", appCpu / referenceCpu);
    std::printf("RATIO cold_start_memory_vs_empty_window %.3f 5\n", appPeak / referencePeak);
    return 0;
}
