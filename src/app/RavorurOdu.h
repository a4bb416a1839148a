#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class AIService;
class AppDelegate;
class DailyKippetScheduler;
class Dialogs;
class FileDialogChooser;
class HttpClient;
class KeyboardShortcutManager;
class KeychainStore;
class KippetManager;
class LocalModelServer;
class MenuBarManager;
class Preferences;
class SingleInstance;
class DesktopTuckWindowFactory;
class StoreManager;
class UnsavedEdits;
class UpdateChecker;
class Workspace;

// The composition root of the app: chooses and builds the store container first, then the
// services in the order they depend on each other, installs each as the shared instance, and
// hands the container to the delegate. It tears them down in reverse order. GUI thread only.
class RavorurOdu {
public:
    static inline const QString temporaryStorageArgument = QStringLiteral("-useTemporaryStorage");

    // Throws StartupFailure when no store container can be made.
    explicit RavorurOdu(const QStringList& arguments);
    ~RavorurOdu();
    RavorurOdu(const RavorurOdu&) = delete;
    RavorurOdu& operator=(const RavorurOdu&) = delete;

    AppDelegate& delegate() { return *delegate_; }
    KippetManager& manager() { return *manager_; }
    MenuBarManager& windowRegistry() { return *menuBarManager_; }

    // Runs the launch; with a single-instance server, later starts reopen the dashboard.
    void launch(SingleInstance* singleInstance);
    // Before the services go: the saves already started, and the edits waiting for their moment,
    // are stored.
    static void finishPendingWork(KippetManager& manager);

private:
    // A test-mode run leaves nothing in the temporary folder: its preferences, store and item
    // files go.
    void removeTemporaryData();

    // A test-mode run keeps its preferences beside its temporary data; declared first, so they
    // outlast every service that reads them.
    std::unique_ptr<Preferences> temporaryPreferences_;
    std::unique_ptr<HttpClient> httpClient_;
    std::unique_ptr<KeychainStore> keychain_;
    std::unique_ptr<LocalModelServer> localModelServer_;
    std::unique_ptr<AIService> aiService_;
    std::unique_ptr<StoreManager> store_;
    std::unique_ptr<KippetManager> manager_;
    std::unique_ptr<Dialogs> dialogs_;
    std::unique_ptr<UnsavedEdits> unsavedEdits_;
    std::unique_ptr<Workspace> workspace_;
    std::unique_ptr<UpdateChecker> updateChecker_;
    std::unique_ptr<FileDialogChooser> fileChooser_;
    std::unique_ptr<KeyboardShortcutManager> shortcuts_;
    // The registry closes its tuck windows when it goes, so their factory outlives it.
    std::unique_ptr<DesktopTuckWindowFactory> tuckFactory_;
    std::unique_ptr<MenuBarManager> menuBarManager_;
    std::unique_ptr<DailyKippetScheduler> dailyScheduler_;
    std::unique_ptr<AppDelegate> delegate_;
};
