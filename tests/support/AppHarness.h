#pragma once

#include "support/DatabaseHold.h"
#include "support/FakeScreenProvider.h"
#include "support/NotificationRecorder.h"
#include "support/ScriptedAnalyzer.h"
#include "support/TestHttpServer.h"

#include <QPointF>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

class AIService;
class AppDelegate;
class DailyKippetScheduler;
class Dialogs;
class FloatingKippetWindow;
class HttpClient;
class KeyboardShortcutManager;
class Kippet;
class KippetManager;
class LocalModelServer;
class MenuBarManager;
class Preferences;
class StoreManager;
class TuckWindowFactory;
class UnsavedEdits;

// One run of the app in the test process, on real files: fresh preferences, a SQLite store in a
// temporary folder that outlives restarts, the kippet manager, the window registry with real
// panels on fake screens, an analysis service (the rule-based classifier, or a scripted
// analyzer), a local model server answering from a local HTTP server, recorded dialogs and
// notifications. Animations are off and the time zone is pinned.
class AppHarness {
public:
    AppHarness();
    ~AppHarness();
    AppHarness(const AppHarness&) = delete;
    AppHarness& operator=(const AppHarness&) = delete;

    // The kippets binary, for start-up, second-instance and quit tests in a child process.
    static QString appPath();
    // An environment for a child run whose home is `home`, offscreen, leak checks off.
    static QProcessEnvironment childEnvironment(const QString& home);

    QString folder() const { return dir_.path(); }
    Preferences& preferences();
    FakeScreenProvider& screens() { return *screens_; }
    NotificationRecorder& notifications() { return *notifications_; }
    Dialogs& dialogs() { return *dialogs_; }
    TestHttpServer& modelServer() { return *modelServer_; }
    LocalModelServer& localModel() { return *localModel_; }
    AIService& ai() { return *ai_; }
    // Makes the analysis chain one scripted analyzer, answering for every kind of item.
    std::shared_ptr<ScriptedAnalyzer> useScriptedAnalyzer();

    // The data layer and the registry, no launch: the store is configured at once.
    void start();
    // The same start in steps, for tests that put rows or files in place between them: a store
    // not yet configured, its configuration on the folder, and the manager with the app's other
    // services on whatever store there is.
    void createStore();
    void configureStore();
    void createManager();
    // The app's launch as main runs it: the delegate configures the store in its launch task,
    // restores the panels, opens the dashboard and checks the tour. Returns when the task ended.
    void launch();
    // What quitting does before the services go: the saves under way are stored.
    void quit();
    void stop();
    void restart() {
        stop();
        start();
    }
    void relaunch() {
        stop();
        launch();
    }

    // The tuck windows every registry built from now on makes (not owned).
    void setTuckWindowFactory(TuckWindowFactory* factory) { tuckFactory_ = factory; }

    StoreManager& store() { return *store_; }
    KippetManager& manager() { return *manager_; }
    MenuBarManager& registry() { return *registry_; }
    DailyKippetScheduler& dailyScheduler() { return *dailyScheduler_; }
    UnsavedEdits& unsavedEdits() { return *unsavedEdits_; }
    KeyboardShortcutManager& shortcuts() { return *shortcuts_; }
    AppDelegate& delegate() { return *delegate_; }
    bool isRunning() const { return manager_ != nullptr; }

    // An open kippet, stored, at the position.
    Kippet* addKippet(const QString& name, QPointF position = {});
    Kippet* byName(const QString& name) const;
    FloatingKippetWindow* windowOf(const QString& name) const;
    bool isActive(const QString& name) const;
    // Runs SQL on the store's own connection, e.g. a trigger that makes the next write fail.
    bool failStore(const QString& sql);
    // Counts the writes of kippet rows from now on: each save of a kippet, and each frame its
    // note panel stores, writes its row once.
    void countKippetWrites();
    int kippetWrites();
    // Makes the writes that fire the TEMP trigger `trigger` (its name and event, up to its body)
    // fail as SQLite fails them on a full disk, with SQLITE_FULL: the trigger writes into a
    // temporary table that has no room left. DROP TRIGGER lets the writes through again.
    bool fillDiskOn(const QString& trigger);
    // Holds the store's database from another connection; the store waits only briefly for it.
    std::unique_ptr<DatabaseHold> holdDatabase();
    // The legacy file of an older version in the folder, listing `all` and the open `active`.
    void writeLegacyFile(const QList<Kippet*>& all, const QList<Kippet*>& active) const;
    // Lets the tasks started for later (saves, queued border changes) run.
    static void settle();

private:
    QTemporaryDir dir_;
    TuckWindowFactory* tuckFactory_ = nullptr;
    std::unique_ptr<FakeScreenProvider> screens_;
    std::unique_ptr<NotificationRecorder> notifications_;
    std::unique_ptr<Dialogs> dialogs_;
    std::unique_ptr<TestHttpServer> modelServer_;
    std::unique_ptr<HttpClient> http_;
    std::unique_ptr<LocalModelServer> localModel_;
    std::unique_ptr<AIService> ai_;
    std::unique_ptr<StoreManager> store_;
    std::unique_ptr<KippetManager> manager_;
    std::unique_ptr<KeyboardShortcutManager> shortcuts_;
    std::unique_ptr<MenuBarManager> registry_;
    std::unique_ptr<UnsavedEdits> unsavedEdits_;
    std::unique_ptr<DailyKippetScheduler> dailyScheduler_;
    std::unique_ptr<AppDelegate> delegate_;
};
