#pragma once

#include "model/Kippet.h"
#include "model/KippetModel.h"
#include "platform/Clock.h"
#include "store/ExternalBytes.h"
#include "store/ItemStorage.h"

#include <QCoroTask>
#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>
#include <QUuid>
#include <chrono>
#include <coroutine>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;
class StoreManager;
class WindowRegistry;

// The one owner of every kippet in memory and of every operation on them. It mirrors each kippet
// to its store row, keeps the lists of all and of open kippets, and the item files on disk.
// GUI thread only.
//
// The store becomes usable only after the composition root configured it; the manager starts on
// the legacy file (while the legacy import has not run), then loads from the store once it is
// configured, and queues the deletions of kippets deleted meanwhile.
//
// Every operation that changes a stored kippet writes the store first and changes memory only
// once the write succeeded: a failure is thrown and leaves the kippet, its files and the lists as
// they were, so the same edit made again is written. Edits write only what changed (the kippet's
// own fields, one todo, one item), from the row this manager keeps, never reading item bytes.
// Demo kippets never reach the disk: no row, no item file; their files for other applications
// live in a temporary folder that goes with the demo.
class KippetManager : public QObject {
    Q_OBJECT
public:
    // `store` null: the manager works in memory only and its initialization ends without a store.
    // `dataFolder` holds the legacy file and the item files; empty: the user's data folder, or a
    // fresh temporary folder with the launch argument "-useTemporaryStorage".
    explicit KippetManager(StoreManager* store, QString dataFolder = {}, QObject* parent = nullptr);
    ~KippetManager() override;

    static KippetManager& shared();
    static void install(KippetManager* manager);

    void setWindowRegistry(WindowRegistry* registry) { windowRegistry_ = registry; }

    const QList<Kippet*>& activeKippets() const { return activeKippets_; }
    const QList<Kippet*>& allKippets() const { return allKippets_; }
    Kippet* kippet(const QUuid& id) const;

    QString dataFolder() const { return dataFolder_; }
    QString legacyStorageFile() const;
    bool isTestMode() const { return isTestMode_; }
    bool isStoreReady() const { return isStoreReady_; }
    const QSet<QUuid>& pendingDeletions() const { return pendingDeletions_; }

    // Returns once the store initialization has ended, with or without a store.
    QCoro::Task<> waitForInitialization();

    // Loading and saving
    // Writes the kippet's own fields and the changeable fields of the items that changed; failures
    // are logged.
    void saveKippet(Kippet* kippet);
    // Writes every save queued by requestSave now, rather than on the next turn of the event loop;
    // the application calls it before it quits.
    void flushPendingSaves();
    void saveActiveKippetIDs();
    QSet<QUuid> storedActiveKippetIDs() const;

    // Lifecycle; store errors (DataManagerError, StoreError) are thrown to the caller.
    Kippet* createKippet(const QString& name, const KippetColor& color, const QString& icon,
                         bool isDailyKippet,
                         const std::optional<QString>& customInstructions = std::nullopt,
                         const std::optional<QString>& sanitizedInstructions = std::nullopt);
    // The demo kippet joins the open kippets until removeDemoKippet or until it is destroyed.
    void addDemoKippet(Kippet* kippet);
    // Also removes the demo's temporary folder.
    void removeDemoKippet(Kippet* kippet);
    void closeKippet(Kippet* kippet);
    void reopenKippet(Kippet* kippet);
    // Once the store is ready the row goes first; only then does the kippet leave the lists, its
    // window close and its folder go. Before that the row's deletion is queued.
    void deleteKippet(Kippet* kippet);
    void updateKippet(Kippet* kippet, const QString& name, const KippetColor& color,
                      const QString& icon, const std::optional<QString>& customInstructions,
                      const std::optional<QString>& sanitizedInstructions);
    // Writes both texts on the kippet's row (a demo kippet has none) through the row this manager
    // keeps, so no later edit writes older ones back, then puts them on the kippet. A failed
    // write throws the store's error and leaves the kippet as the store has it.
    void updateCustomInstructions(Kippet* kippet, const std::optional<QString>& customInstructions,
                                  const std::optional<QString>& sanitizedInstructions);

    // Items; a demo kippet's folder and files are in its temporary folder.
    QString itemsDirectory(const Kippet* kippet) const;
    // The item's bytes are looked at first, every time: bytes kept beside the store that were
    // cut short or changed on the disk are the item's lost bytes (dropLostBytes), never handed
    // on: such an item throws UnreadableItemError, and nothing is written in place of its file.
    // Bytes that could not be read before are read again, so a file restored meanwhile is
    // handed out at once.
    QUrl fileURL(const KippetItem& item, const Kippet* kippet);
    // The item's file as other applications get it (see ItemStorage::handOutURL), checked the
    // same way.
    QUrl handOutURL(const KippetItem& item, const Kippet* kippet);
    static std::optional<QString> itemFileExtension(const KippetItem& item);
    // A new item into the kippet, its file (file items) and its row, all or nothing: throws
    // KippetError for a duplicate, ItemFileError, or the store's errors, and then leaves no trace.
    // The bytes are written on the calling thread: for small items, and callers off the user's
    // path.
    void addItem(const KippetItem& item, Kippet* kippet);
    // The same, with the item's bytes (its file, and its bytes kept beside the store) written on a
    // worker thread while the item is listed already. False, with nothing written, when the
    // kippet or the item went away meanwhile.
    QCoro::Task<bool> addItemAsync(KippetItem item, Kippet* kippet);
    // What was written of a prepared item; only this manager looks inside.
    struct WrittenAhead;
    // A new item built and its bytes written (its file, its bytes kept beside the store, under
    // unfinished names) on a worker thread before its turn to be added, e.g. while the item
    // before it is analysed. Copies share the written files, which are removed when the last copy
    // goes unless the item was added with them.
    struct PreparedItem {
        std::optional<KippetItem> item;
        // Why `build` threw; no item then.
        std::exception_ptr failure;
        std::shared_ptr<WrittenAhead> written;
    };
    // Runs `build` on a worker thread and writes the item's bytes there as adding it to this
    // kippet would. Nothing is listed or stored yet. GUI thread; `build` runs on the worker.
    QFuture<PreparedItem> prepareItem(std::function<KippetItem()> build, Kippet* kippet);
    // addItemAsync for a prepared item (whose failure, if any, is thrown first): the bytes written
    // ahead are used when they were written for what the kippet needs now, else written anew.
    // The same guarantees hold: all or nothing, and nothing written remains after a failure.
    QCoro::Task<bool> addItemAsync(PreparedItem prepared, Kippet* kippet);
    // The row goes first: when the store fails, the item keeps its place, its file and its row.
    // Values, not references: callers often pass an entry of the very list that changes.
    void removeItem(KippetItem item, Kippet* kippet);
    // Every item whose bytes kept beside the store were cut short, replaced or changed on the
    // disk while the app runs gets the lost bytes a load would give it, with the same warning.
    // Run after a read of such bytes found pages gone (MappedBytes).
    void dropLostBytes();

    // Todos and notes
    void addTodo(const QString& text, Kippet* kippet);
    void updateTodo(KippetTodo todo, Kippet* kippet);
    void deleteTodo(QUuid todoId, Kippet* kippet);
    void updateNote(QString text, Kippet* kippet);
    void updateNoteWindowFrame(Kippet* kippet, double originX, double originY, double width,
                               double height);
    static void sortTodosForDisplay(QList<KippetTodo>& todos);

    // Analysis scheduling and retry
    // Retries the item's analysis 60 s from now (an earlier pending retry of it runs at once);
    // with analysis off, gives it the classifier's result instead.
    void analyzeItem(const KippetItem& item, Kippet* kippet);
    // Attempts every waiting item now, e.g. after a cloud API key was saved.
    void retryWaitingAnalyses();
    // After analysis was switched off: every uncategorized or waiting item gets the classifier's
    // result and every pending retry ends.
    void reanalyzeAll();
    bool hasPendingRetry(const QUuid& itemId) const { return retryAnalysisTasks_.contains(itemId); }
    // Saves the analysis fields of the kippet's item on the next turn of the event loop; requests
    // made before then are saved together.
    void requestSave(Kippet* kippet, const QUuid& itemId);
    // The same for every item of the kippet.
    void requestSave(Kippet* kippet);

signals:
    void activeKippetsChanged();
    void allKippetsChanged();
    void storeReadyChanged();

private:
    struct InitializationAwaiter {
        KippetManager* manager;
        bool await_ready() const noexcept;
        void await_suspend(std::coroutine_handle<> handle);
        void await_resume() const noexcept {}
    };

    // Initialization
    void startInitialization();
    QCoro::Task<> initializeStore();
    QCoro::Task<> waitForStoreConfiguration();
    void completeStoreInitialization();
    void replayPendingOperations();
    void releaseWaiters();
    void runStartupPasses();
    void setStoreReady(bool ready);

    // Loading
    void loadLegacyStore();
    void loadFromStoreOrSyncLegacy();
    void applyLoadedKippets();
    void loadFromStore();
    void syncKippetsToStore();
    void replaceKippets(QList<Kippet*> all, QList<Kippet*> active);
    Kippet* makeKippet(const KippetModel& row);

    // Items
    struct NewItemPlan {
        ExternalBytes external{QString()};
        ItemStorage storage{QString()};
        KippetItem item;
        QUuid kippetId;
        // No demo kippet: item files are written for its file items.
        bool writesItemFiles = false;
        bool ownsFile = false;
        // Bytes kept beside the store are flushed to the disk, and a large file takes a while:
        // either is written off the GUI thread. A small file is written faster than a trip to a
        // worker and back.
        bool needsWorker() const {
            const QByteArray& content = item.content;
            return external.keepsBeside(content) ||
                   (item.metadata.thumbnail && external.keepsBeside(*item.metadata.thumbnail)) ||
                   (ownsFile && content.size() >= 256 * 1024);
        }
    };
    struct NewItemFiles {
        StagedBytes bytes;
        std::optional<StagedItemFile> itemFile;
        std::exception_ptr failure;
    };
    NewItemPlan planNewItem(const KippetItem& item, Kippet* kippet);
    // What the kippet asks of a new item's bytes, for any item.
    NewItemPlan planForKippet(Kippet* kippet);
    static void completePlan(NewItemPlan& plan, const KippetItem& item);
    // Writes the listed item's bytes as planned and commits its row.
    QCoro::Task<bool> writeAndCommitNewItem(KippetItem item, Kippet* kippet, NewItemPlan plan);
    // Any thread.
    static NewItemFiles writeNewItemFiles(const NewItemPlan& plan);
    void commitNewItem(const KippetItem& item, Kippet* kippet, NewItemFiles files);
    static void discardNewItemFiles(const NewItemFiles& files);
    // The item as its kippet holds it after its bytes were looked at now: lost bytes dropped, and
    // bytes that could not be read before read again.
    KippetItem withBytesLookedAt(const KippetItem& item, const QUuid& kippetId);
    // The item with its stored bytes as the store and the files beside it hold them now.
    KippetItem withBytesReadAgain(KippetItem item, const QUuid& kippetId);

    // Lists
    StoreManager& store() const;
    bool hasContext() const;
    std::optional<KippetModel> fetchRow(const QUuid& kippetId);
    KippetModel* cachedRow(const QUuid& kippetId);
    // The kippet's row as kept by this manager; nullptr without one (always for a demo kippet).
    KippetModel* storedRow(const Kippet* kippet);
    void removeFromActive(const QUuid& kippetId);
    void removeFromAll(const QUuid& kippetId);
    void closeWindow(Kippet* kippet);

    // Todos
    void restoreCompletionTransitions();
    void scheduleCompletionTransition(const KippetTodo& todo, Kippet* kippet);
    void applyCompletionTransition(const QUuid& todoId, Kippet* kippet);
    void cancelCompletionTransition(const QUuid& todoId);
    void persistCompletionTransition(const QUuid& todoId, Kippet* kippet);

    // Demo kippets
    const ItemStorage& storageFor(const Kippet* kippet) const;
    void forgetDemoKippet(Kippet* kippet, const QUuid& kippetId);

    QPointer<StoreManager> store_;
    std::unique_ptr<QSocketNotifier> damageWatch_;
    WindowRegistry* windowRegistry_ = nullptr;
    QList<Kippet*> activeKippets_;
    QList<Kippet*> allKippets_;
    QString dataFolder_;
    bool isTestMode_ = false;
    ItemStorage itemStorage_;
    QHash<QUuid, ScheduledAction> completionTransitionWorkItems_;
    bool isStoreReady_ = false;
    bool initializationEnded_ = false;
    std::vector<std::coroutine_handle<>> initializationWaiters_;
    QSet<QUuid> pendingDeletions_;
    QHash<QUuid, KippetModel> kippetModelMap_;
    // Demo kippet id -> its temporary folder and the item storage rooted there.
    struct DemoStorage {
        std::unique_ptr<QTemporaryDir> folder;
        ItemStorage storage;
    };
    mutable QHash<QUuid, std::shared_ptr<DemoStorage>> demoStorage_;

    // Analysis scheduling and retry. One entry per item: waiting for its attempt (the timer
    // runs), or attempting (at most one analysis of an item at a time).
    struct AnalysisRetry {
        QPointer<Kippet> kippet;
        KippetItem item;
        ScheduledAction timer;
        bool attempting = false;
        // Asked for while attempting: tried at once after that attempt, if still waiting.
        bool againAtOnce = false;
    };
    void resumePendingAnalyses();
    QCoro::Task<> retryFailedAnalyses();
    void scheduleAttempt(AnalysisRetry& retry, std::chrono::milliseconds delay);
    QCoro::Task<> runRetryAttempt(QUuid itemId);
    // True when the attempt failed in a way that is tried again.
    QCoro::Task<bool> performAnalysis(QPointer<Kippet> kippet, KippetItem item);
    QHash<QUuid, AnalysisRetry> retryAnalysisTasks_;
    void saveAnalysedItems(Kippet* kippet, const QSet<QUuid>& itemIds);
    // Kippet id -> the items to save; an empty set saves every item.
    QHash<QUuid, QSet<QUuid>> pendingSaves_;
};
