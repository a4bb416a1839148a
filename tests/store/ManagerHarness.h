#pragma once

#include "model/Kippet.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"
#include "store/WindowRegistry.h"
#include "support/TestEnvironment.h"

#include <QCoroTask>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <memory>

// Remembers which kippets' windows the manager asked to close.
class RecordingWindowRegistry : public WindowRegistry {
public:
    void closeWindow(Kippet* kippet) override { closed.append(kippet->id()); }
    QList<QUuid> closed;
};

// Another connection that holds the store's write lock for as long as it lives, as another
// program or a stuck process would: the store's writes wait for their busy time-out, then fail.
class DatabaseHold {
public:
    explicit DatabaseHold(const QString& path) : name_(QUuid::createUuid().toString()) {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        database.setDatabaseName(path);
        held_ = database.open() && QSqlQuery(database).exec(QStringLiteral("BEGIN EXCLUSIVE"));
    }
    ~DatabaseHold() {
        {
            QSqlDatabase database = QSqlDatabase::database(name_, false);
            QSqlQuery(database).exec(QStringLiteral("ROLLBACK"));
            database.close();
        }
        QSqlDatabase::removeDatabase(name_);
    }
    bool isHeld() const { return held_; }

private:
    QString name_;
    bool held_ = false;
};

// One run of the app's data layer on a folder that outlives it: a SQLite store file, the
// legacy file and the item files. restart() quits and starts anew on the same files.
class ManagerHarness {
public:
    ManagerHarness() { TestEnvironment::resetPreferences(); }
    ~ManagerHarness() { stop(); }

    QString folder() const { return dir_.path(); }
    StoreManager& store() { return *store_; }
    KippetManager& manager() { return *manager_; }
    RecordingWindowRegistry& registry() { return registry_; }

    // The start-up order: the store is configured first, then the manager starts on it.
    void start() {
        createStore();
        configureStore();
        createManager();
        QCoro::waitFor(manager_->waitForInitialization());
    }
    void stop() {
        KippetManager::install(nullptr);
        manager_.reset();
        StoreManager::install(nullptr);
        store_.reset();
    }
    void restart() {
        stop();
        start();
    }

    void createStore() {
        store_ = std::make_unique<StoreManager>();
        StoreManager::install(store_.get());
    }
    void configureStore() { store_->configure(StoreContainer::createLocalContainer(folder())); }
    void createManager() {
        manager_ = std::make_unique<KippetManager>(store_.get(), folder());
        manager_->setWindowRegistry(&registry_);
        KippetManager::install(manager_.get());
    }

    Kippet* byName(const QString& name) const {
        for (Kippet* kippet : manager_->allKippets()) {
            if (kippet->name() == name) {
                return kippet;
            }
        }
        return nullptr;
    }
    bool isActive(const QString& name) const {
        return manager_->activeKippets().contains(byName(name));
    }

    // Holds the store's database from another connection; the store waits only briefly for it.
    std::unique_ptr<DatabaseHold> holdDatabase() {
        exec(QStringLiteral("PRAGMA busy_timeout = 50"));
        return std::make_unique<DatabaseHold>(store_->container()->storePath());
    }

    // Runs SQL on the store's own connection (to make the next statement of a kind fail).
    bool exec(const QString& sql) {
        QSqlQuery query(store_->container()->database());
        return query.exec(sql);
    }

    void writeLegacyFile(const QList<Kippet*>& all, const QList<Kippet*>& active) {
        QJsonArray allJson;
        QJsonArray activeJson;
        for (Kippet* kippet : all) {
            allJson.append(kippet->toJson());
        }
        for (Kippet* kippet : active) {
            activeJson.append(kippet->toJson());
        }
        QFile file(folder() + QStringLiteral("/kippets.json"));
        file.open(QIODevice::WriteOnly);
        file.write(QJsonDocument(QJsonObject{{QStringLiteral("allKippets"), allJson},
                                             {QStringLiteral("activeKippets"), activeJson}})
                       .toJson());
    }

private:
    QTemporaryDir dir_;
    RecordingWindowRegistry registry_;
    std::unique_ptr<StoreManager> store_;
    std::unique_ptr<KippetManager> manager_;
};
