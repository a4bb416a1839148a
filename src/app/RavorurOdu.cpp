#include "app/RavorurOdu.h"

#include "analysis/AIService.h"
#include "analysis/AnalyzerWiring.h"
#include "analysis/HttpClient.h"
#include "analysis/KeychainStore.h"
#include "analysis/LocalModelServer.h"
#include "app/AppDelegate.h"
#include "app/ContainerSetup.h"
#include "app/DailyKippetScheduler.h"
#include "app/Dialogs.h"
#include "app/FileDialogChooser.h"
#include "app/KeyboardShortcutManager.h"
#include "app/KippetSheetWiring.h"
#include "app/MenuBarManager.h"
#include "app/SingleInstance.h"
#include "app/UnsavedEdits.h"
#include "app/UpdateChecker.h"
#include "app/Workspace.h"
#include "dashboard/DashboardView.h"
#include "dashboard/SettingsTabView.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "store/DataFile.h"
#include "store/KippetManager.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"
#include "tuck/DesktopTuckWindowFactory.h"

#include <QCoreApplication>
#include <QDir>

RavorurOdu::RavorurOdu(const QStringList& arguments) {
    const bool useTemporaryStorage = arguments.contains(temporaryStorageArgument);
    // Before anything reads or writes one: a throw-away run must leave the user's preferences
    // (the import's done-flag, the open kippets, the daily kippet's date) as they were.
    if (useTemporaryStorage) {
        temporaryPreferences_ = std::make_unique<Preferences>(
            StoreContainer::temporaryDataFolder() + QStringLiteral("/Kippets.conf"));
        Preferences::install(temporaryPreferences_.get());
    }
    std::unique_ptr<StoreContainer> container;
    try {
        container = createLaunchContainer(useTemporaryStorage);
    } catch (...) {
        removeTemporaryData();
        throw;
    }

    httpClient_ = std::make_unique<HttpClient>();
    HttpClient::install(httpClient_.get());
    keychain_ = std::make_unique<KeychainStore>();
    KeychainStore::install(keychain_.get());
    localModelServer_ = std::make_unique<LocalModelServer>();
    LocalModelServer::install(localModelServer_.get());
    aiService_ = std::make_unique<AIService>();
    installAnalyzers(*aiService_);
    AIService::install(aiService_.get());
    store_ = std::make_unique<StoreManager>();
    StoreManager::install(store_.get());
    manager_ = std::make_unique<KippetManager>(store_.get());
    KippetManager::install(manager_.get());

    dialogs_ = std::make_unique<Dialogs>();
    Dialogs::install(dialogs_.get());
    unsavedEdits_ = std::make_unique<UnsavedEdits>();
    UnsavedEdits::install(unsavedEdits_.get());
    workspace_ = std::make_unique<Workspace>();
    Workspace::install(workspace_.get());
    updateChecker_ = std::make_unique<UpdateChecker>();
    UpdateChecker::install(updateChecker_.get());
    fileChooser_ = std::make_unique<FileDialogChooser>();
    FileChooser::install(fileChooser_.get());
    shortcuts_ = std::make_unique<KeyboardShortcutManager>();
    KeyboardShortcutManager::install(shortcuts_.get());
    menuBarManager_ = std::make_unique<MenuBarManager>();
    MenuBarManager::install(menuBarManager_.get());
    tuckFactory_ = std::make_unique<DesktopTuckWindowFactory>();
    menuBarManager_->setTuckWindowFactory(tuckFactory_.get());
    manager_->setWindowRegistry(menuBarManager_.get());
    TuckCommands::install(menuBarManager_->tuckCommands());
    dailyScheduler_ = std::make_unique<DailyKippetScheduler>();
    DailyKippetScheduler::install(dailyScheduler_.get());
    KippetSheetWiring::install();
    DashboardView::setSettingsPageFactory(
        [](QWidget* parent) { return new SettingsTabView(SettingsServices::shared(), parent); });
    delegate_ = std::make_unique<AppDelegate>(std::move(container));
}

RavorurOdu::~RavorurOdu() {
    finishPendingWork(*manager_);
    delegate_.reset();
    KippetSheetWiring::uninstall();
    DashboardView::setSettingsPageFactory({});
    // The manager must never reach a registry that is gone.
    DailyKippetScheduler::install(nullptr);
    dailyScheduler_.reset();
    manager_->setWindowRegistry(nullptr);
    MenuBarManager::install(nullptr);
    menuBarManager_.reset();
    KeyboardShortcutManager::install(nullptr);
    shortcuts_.reset();
    FileChooser::install(nullptr);
    fileChooser_.reset();
    UpdateChecker::install(nullptr);
    updateChecker_.reset();
    Workspace::install(nullptr);
    workspace_.reset();
    UnsavedEdits::install(nullptr);
    unsavedEdits_.reset();
    Dialogs::install(nullptr);
    dialogs_.reset();
    KippetManager::install(nullptr);
    manager_.reset();
    StoreManager::install(nullptr);
    store_.reset();
    AIService::install(nullptr);
    aiService_.reset();
    LocalModelServer::install(nullptr);
    localModelServer_.reset();
    KeychainStore::install(nullptr);
    keychain_.reset();
    HttpClient::install(nullptr);
    httpClient_.reset();
    removeTemporaryData();
}

void RavorurOdu::removeTemporaryData() {
    if (!temporaryPreferences_)
        return;
    // The preferences write themselves out as they go, so they go before their folder.
    Preferences::install(nullptr);
    temporaryPreferences_.reset();
    if (const DataFile::Failure failure =
            DataFile::removeFolder(QDir::tempPath(), StoreContainer::temporaryDataFolder()))
        Log::line(QStringLiteral("⚠️ [RavorurOdu] The test mode's folder is left behind: ") +
                  *failure);
}

void RavorurOdu::launch(SingleInstance* singleInstance) {
    if (singleInstance)
        QObject::connect(singleInstance, &SingleInstance::reopenRequested, delegate_.get(),
                         &AppDelegate::handleReopenRequest);
    delegate_->applicationDidFinishLaunching();
}

void RavorurOdu::finishPendingWork(KippetManager& manager) {
    // Saves are started as queued calls, and edits may wait for their moment; after the event
    // loop has ended they would be lost.
    if (UnsavedEdits::isInstalled())
        UnsavedEdits::shared().saveWaiting();
    QCoreApplication::sendPostedEvents();
    manager.flushPendingSaves();
}
