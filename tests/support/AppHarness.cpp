#include "support/AppHarness.h"

#include "analysis/AIService.h"
#include "analysis/HttpClient.h"
#include "analysis/LocalModelServer.h"
#include "app/AppDelegate.h"
#include "app/DailyKippetScheduler.h"
#include "app/Dialogs.h"
#include "app/KeyboardShortcutManager.h"
#include "app/MenuBarManager.h"
#include "app/RavorurOdu.h"
#include "app/UnsavedEdits.h"
#include "model/Kippet.h"
#include "model/KippetColor.h"
#include "platform/Animations.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"
#include "window/FloatingKippetWindow.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <ctime>

AppHarness::AppHarness() {
    qputenv("TZ", "UTC");
    tzset();
    Animations::setEnabled(false);
    TestEnvironment::resetPreferences();
    screens_ = std::make_unique<FakeScreenProvider>();
    ScreenProvider::install(screens_.get());
    notifications_ = std::make_unique<NotificationRecorder>();
    dialogs_ = std::make_unique<Dialogs>();
    dialogs_->setRecordingOnly(true);
    Dialogs::install(dialogs_.get());
    modelServer_ = std::make_unique<TestHttpServer>();
    modelServer_->setHandler([](const TestHttpRequest&) {
        return TestHttpResponse::json(R"({"object":"list","data":[]})");
    });
    modelServer_->start();
    // The model server reads its address from the preferences, so it comes after their reset.
    Preferences::shared().setString(QStringLiteral("local_model_url"),
                                    modelServer_->baseUrl().toString() + QStringLiteral("/v1"));
    http_ = std::make_unique<HttpClient>();
    HttpClient::install(http_.get());
    localModel_ = std::make_unique<LocalModelServer>();
    LocalModelServer::install(localModel_.get());
    // The first probe starts at once; it is answered before a test begins, so none is left
    // suspended when the harness goes.
    LocalModelServer* server = localModel_.get();
    if (!TaskRunner::waitUntil([server] { return server->hasAnswered(); }))
        qFatal("the local model server was not probed");
    ai_ = std::make_unique<AIService>();
    AIService::install(ai_.get());
}

AppHarness::~AppHarness() {
    stop();
    // A probe of the local model server still under way would outlive the server it answers to:
    // a short test ends before the first probe does on a busy machine.
    QDeadlineTimer deadline(std::chrono::seconds(10));
    while (localModel_->isProbing() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    AIService::install(nullptr);
    ai_.reset();
    LocalModelServer::install(nullptr);
    localModel_.reset();
    HttpClient::install(nullptr);
    http_.reset();
    Dialogs::install(nullptr);
    ScreenProvider::install(nullptr);
}

QString AppHarness::appPath() {
    return QStringLiteral(KIPPETS_APP_PATH);
}

QProcessEnvironment AppHarness::childEnvironment(const QString& home) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // A child ended from outside may leave coroutines suspended; its leaks are not the test's.
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    return environment;
}

Preferences& AppHarness::preferences() {
    return Preferences::shared();
}

std::shared_ptr<ScriptedAnalyzer> AppHarness::useScriptedAnalyzer() {
    auto analyzer =
        std::make_shared<ScriptedAnalyzer>(AnalyzerID::openAI, AnalyzerCapabilities::all);
    ai_->setInjectedProviders(AIService::Chain{analyzer});
    return analyzer;
}

void AppHarness::createStore() {
    store_ = std::make_unique<StoreManager>();
    StoreManager::install(store_.get());
}

void AppHarness::configureStore() {
    store_->configure(StoreContainer::createLocalContainer(folder()));
}

void AppHarness::createManager() {
    manager_ = std::make_unique<KippetManager>(store_.get(), folder());
    KippetManager::install(manager_.get());
    unsavedEdits_ = std::make_unique<UnsavedEdits>();
    UnsavedEdits::install(unsavedEdits_.get());
    // The saved keys are read when the app starts, as the process-wide manager reads them.
    shortcuts_ = std::make_unique<KeyboardShortcutManager>();
    KeyboardShortcutManager::install(shortcuts_.get());
    registry_ = std::make_unique<MenuBarManager>();
    MenuBarManager::install(registry_.get());
    registry_->setTuckWindowFactory(tuckFactory_);
    manager_->setWindowRegistry(registry_.get());
    dailyScheduler_ = std::make_unique<DailyKippetScheduler>();
    DailyKippetScheduler::install(dailyScheduler_.get());
}

void AppHarness::start() {
    createStore();
    createManager();
    configureStore();
    TaskRunner::finish(manager_->waitForInitialization());
}

void AppHarness::launch() {
    createStore();
    createManager();
    delegate_ = std::make_unique<AppDelegate>(StoreContainer::createLocalContainer(folder()));
    delegate_->applicationDidFinishLaunching();
    AppDelegate* delegate = delegate_.get();
    if (!TaskRunner::waitUntil([delegate] { return delegate->isLaunchTaskFinished(); }))
        qFatal("the launch task did not finish");
}

void AppHarness::quit() {
    if (manager_)
        RavorurOdu::finishPendingWork(*manager_);
    stop();
}

void AppHarness::stop() {
    delegate_.reset();
    DailyKippetScheduler::install(nullptr);
    dailyScheduler_.reset();
    if (manager_)
        manager_->setWindowRegistry(nullptr);
    MenuBarManager::install(nullptr);
    registry_.reset();
    UnsavedEdits::install(nullptr);
    unsavedEdits_.reset();
    KeyboardShortcutManager::install(nullptr);
    shortcuts_.reset();
    KippetManager::install(nullptr);
    manager_.reset();
    StoreManager::install(nullptr);
    store_.reset();
    // Windows closed meanwhile are deleted later; a restart must not meet them.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

Kippet* AppHarness::addKippet(const QString& name, QPointF position) {
    Kippet* kippet = manager_->createKippet(name, KippetColor::standardBlue(),
                                            QStringLiteral("tray.fill"), false);
    if (!position.isNull()) {
        kippet->setPosition(position);
        manager_->saveKippet(kippet);
    }
    return kippet;
}

Kippet* AppHarness::byName(const QString& name) const {
    for (Kippet* kippet : manager_->allKippets()) {
        if (kippet->name() == name)
            return kippet;
    }
    return nullptr;
}

FloatingKippetWindow* AppHarness::windowOf(const QString& name) const {
    const Kippet* kippet = byName(name);
    return kippet ? registry_->registeredWindow(kippet->id()) : nullptr;
}

bool AppHarness::isActive(const QString& name) const {
    return manager_->activeKippets().contains(byName(name));
}

bool AppHarness::failStore(const QString& sql) {
    QSqlQuery query(store_->container()->database());
    return query.exec(sql);
}

void AppHarness::countKippetWrites() {
    failStore(QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS kippet_writes (kippet_id TEXT)"));
    failStore(QStringLiteral("CREATE TEMP TRIGGER IF NOT EXISTS kippet_written AFTER UPDATE ON "
                             "kippets BEGIN INSERT INTO kippet_writes VALUES (NEW.id); END"));
    failStore(QStringLiteral("DELETE FROM kippet_writes"));
}

int AppHarness::kippetWrites() {
    QSqlQuery query(store_->container()->database());
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM kippet_writes")) || !query.next())
        return -1;
    return query.value(0).toInt();
}

bool AppHarness::fillDiskOn(const QString& trigger) {
    // The room is capped only once the trigger is in place: the cap is the pages used by then.
    return failStore(QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS no_room (bytes BLOB)")) &&
           failStore(QStringLiteral("PRAGMA temp.max_page_count = 1073741823")) &&
           failStore(
               QStringLiteral("CREATE TEMP TRIGGER ") + trigger +
               QStringLiteral(" BEGIN INSERT INTO no_room VALUES (zeroblob(1048576)); END")) &&
           failStore(QStringLiteral("PRAGMA temp.max_page_count = 1"));
}

std::unique_ptr<DatabaseHold> AppHarness::holdDatabase() {
    failStore(QStringLiteral("PRAGMA busy_timeout = 50"));
    return std::make_unique<DatabaseHold>(store_->container()->storePath());
}

void AppHarness::writeLegacyFile(const QList<Kippet*>& all, const QList<Kippet*>& active) const {
    QJsonArray allJson;
    QJsonArray activeJson;
    for (Kippet* kippet : all)
        allJson.append(kippet->toJson());
    for (Kippet* kippet : active)
        activeJson.append(kippet->toJson());
    QFile file(folder() + QStringLiteral("/kippets.json"));
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write the legacy file");
    file.write(QJsonDocument(QJsonObject{{QStringLiteral("allKippets"), allJson},
                                         {QStringLiteral("activeKippets"), activeJson}})
                   .toJson());
}

void AppHarness::settle() {
    for (int round = 0; round < 3; ++round)
        QCoreApplication::processEvents();
}
