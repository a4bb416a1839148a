#pragma once

#include "store/StoreError.h"

#include <QFuture>
#include <QSemaphore>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

class DataFolderLock;

// One SQLite database holding the three row tables, on its own named Qt Sql connection, with
// foreign keys on (deleting a kippet row deletes its item and todo rows) and, for files, the WAL
// journal. The schema is brought to the current version when the container is built. Only our own
// store is opened: one that carries the Kippets application id and a known schema version, or a
// new one (no file or an empty database, while nothing says a store was there: no item bytes kept
// beside it, no stamp of a clean close, no import marked done, no open kippets listed). Anything
// else (another program's database, a damaged file, a newer version, an emptied or deleted store)
// is never written to: building fails with a StoreError naming it (for an emptied or deleted
// store, with the files to remove to start afresh on purpose), and the file and everything
// beside it stay as they were for recovery.
class StoreContainer {
public:
    enum class Form { synchronised, local, inMemory };

    // The schema version kept in the file (PRAGMA user_version): major * 10000 + minor * 100 +
    // patch.
    static constexpr int schemaVersion = 10001; // 1.0.1
    static constexpr const char* storeFileName = "Kippets.sqlite";
    static constexpr const char* iCloudContainerIdentifier = "iCloud.app.kippets.Kippets";

    ~StoreContainer();
    StoreContainer(const StoreContainer&) = delete;
    StoreContainer& operator=(const StoreContainer&) = delete;

    // The folder of the user's data (~/.local/share/Kippets): store file, legacy file, KippetData.
    static QString defaultDataFolder();
    // Test mode's data folder ("-useTemporaryStorage"): "KippetsTestData-" + a UUID in the
    // temporary folder, the same one for the whole process, created on first use. The store, the
    // legacy import and the item files of a test-mode run all live there.
    static QString temporaryDataFolder();

    // The form the preference "icloud_sync_enabled" selects; logs as it goes. Throws StoreError.
    static std::unique_ptr<StoreContainer> createModelContainer();
    // Never succeeds here: there is no iCloud on this platform. Logs, then throws StoreError.
    static std::unique_ptr<StoreContainer> createCloudKitContainer();
    // `dataFolder` empty: defaultDataFolder(). The folder is created when missing, then locked
    // (DataFolderLock) for as long as the container lives, before the store is opened. Throws
    // StoreError, DataFolderLockedError when another process holds the folder.
    static std::unique_ptr<StoreContainer> createLocalContainer(const QString& dataFolder = {});
    // A store in memory; `dataFolder` empty: temporaryDataFolder(). Throws StoreError.
    static std::unique_ptr<StoreContainer> createInMemoryContainer(const QString& dataFolder = {});

    Form form() const { return form_; }
    // The store file's path, or ":memory:".
    QString storePath() const { return storePath_; }
    // Where the legacy "kippets.json" and the item files ("KippetData") of this run are.
    QString dataFolder() const { return dataFolder_; }
    QString connectionName() const { return connectionName_; }
    QSqlDatabase database() const;
    // Where large item bytes are kept as files beside the store file; empty for the in-memory
    // form, which keeps every byte inline.
    QString externalFolder() const;

    // How long closing the container waits for a copy of the log still under way: longer than
    // the copy waits for another program's lock, so only a file system that stopped answering
    // (a hung network mount) makes the close leave it.
    static constexpr std::chrono::milliseconds checkpointPatience{6000};

    // Copies the write-ahead log into the store file on a connection of its own, off the calling
    // thread, so that a large committed write does not make the next save copy it. Committed
    // data is safe in the log meanwhile; closing the container waits for the copy, for
    // checkpointPatience at most.
    void checkpointInBackground();

    // Whether the store's pages hold together, asked after a read of them failed: the refusal of
    // a damaged store at open when they do not; nothing when they do, or when the check itself
    // could not run for another reason (the store busy, say).
    std::optional<StoreError> damage() const;
    // The refusal of this store as damaged, for the verdict SQLite gave while it was in use.
    StoreError damaged(const QString& verdict) const;
    // Gives the store up as damaged while in use: closing it no longer vouches for the file (no
    // stamp of a clean close) nor copies what its log holds into it, and every later open of it in
    // this process is refused with `damage`, as the check at open would refuse it.
    void refuse(const StoreError& damage);

private:
    StoreContainer(Form form, QString storePath, QString dataFolder);
    // Opens the container; one that cannot be opened or is refused is closed without a trace.
    static std::unique_ptr<StoreContainer> accept(std::unique_ptr<StoreContainer> container);
    void open();
    void close();
    bool checkpointEndedWithin(std::chrono::milliseconds patience);
    void checkIdentity() const;
    void keepLogOnClose() const;
    // Something that says a store held data, in words, and the file that says it.
    struct SignOfData {
        QString said;
        QString file;
        // The preference key of the file that is the sign, when only that key is: removing it
        // starts afresh and keeps every other setting.
        QString key = {};
    };
    QList<SignOfData> signsOfData() const;
    QString startAfreshHint(const QList<SignOfData>& signs) const;
    void requireNothingLost(bool missing) const;
    void requireNotShorterThanStamp(qint64 size) const;

    std::unique_ptr<DataFolderLock> lock_;
    Form form_;
    QString storePath_;
    QString dataFolder_;
    QString connectionName_;
    QFuture<void> checkpoint_;
    // The copy under way: whether a worker has begun it, and its end, which a close waits for
    // with a limit.
    struct CheckpointRun {
        std::atomic<bool> begun{false};
        QSemaphore ended;
    };
    std::shared_ptr<CheckpointRun> checkpointRun_;
    // Opened, checked and taken into use.
    bool accepted_ = false;
};
