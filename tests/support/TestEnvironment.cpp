#include "support/TestEnvironment.h"

#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/Preferences.h"

#include <QCoreApplication>
#include <QDir>
#include <QMutex>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <memory>

namespace {
struct Isolation {
    QTemporaryDir home;
    std::unique_ptr<Preferences> preferences;
    std::unique_ptr<NotificationCenter> notifications;
    std::unique_ptr<ManualClock> clock;
    int preferencesGeneration = 0;
};

Isolation*& isolation() {
    static Isolation* instance = nullptr;
    return instance;
}

void isolate() {
    auto* state = new Isolation;
    isolation() = state;
    const QString home = state->home.path();
    QDir().mkpath(home + QStringLiteral("/config"));
    QDir().mkpath(home + QStringLiteral("/data"));
    QDir().mkpath(home + QStringLiteral("/cache"));
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_DATA_HOME", (home + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/cache")).toUtf8());
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Kippets"));
    QCoreApplication::setApplicationName(QStringLiteral("Kippets"));
    TestEnvironment::resetPreferences();
    state->notifications = std::make_unique<NotificationCenter>();
    NotificationCenter::install(state->notifications.get());
    state->clock = std::make_unique<ManualClock>();
    Clock::install(state->clock.get());
    qAddPostRoutine([] {
        delete isolation();
        isolation() = nullptr;
    });
}
} // namespace

Q_COREAPP_STARTUP_FUNCTION(isolate)

QString TestEnvironment::root() {
    return isolation()->home.path();
}

QString TestEnvironment::resetPreferences() {
    Isolation* state = isolation();
    const QString path = QStringLiteral("%1/config/preferences-%2.conf")
                             .arg(state->home.path())
                             .arg(++state->preferencesGeneration);
    QFile::remove(path);
    auto fresh = std::make_unique<Preferences>(path);
    Preferences::install(fresh.get());
    state->preferences = std::move(fresh);
    return path;
}

ManualClock& testClock() {
    return *isolation()->clock;
}

struct LogCapture::State {
    mutable QMutex mutex;
    QStringList lines;
};

LogCapture::LogCapture() : state_(new State) {
    State* state = state_;
    previous_ = Log::setSink([state](const QString& line) {
        QMutexLocker lock(&state->mutex);
        state->lines.append(line);
    });
}

LogCapture::~LogCapture() {
    Log::setSink(std::move(previous_));
    delete state_;
}

QStringList LogCapture::lines() const {
    QMutexLocker lock(&state_->mutex);
    return state_->lines;
}

bool LogCapture::contains(const QString& fragment) const {
    const QStringList all = lines();
    return std::any_of(all.begin(), all.end(),
                       [&](const QString& line) { return line.contains(fragment); });
}
