#include "store/StoreManager.h"
#include "StoreFixtures.h"
#include "app/ContainerSetup.h"
#include "platform/Clock.h"
#include "platform/Preferences.h"
#include "store/ActiveKippetIDs.h"
#include "store/DataManagerError.h"
#include "support/TestEnvironment.h"

#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace StoreFixtures;

class StoreManagerTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<StoreManager> store_;

    KippetModel storedKippet(const QString& name = QStringLiteral("K")) {
        KippetModel kippet = fullKippet(name);
        store_->insertKippet(kippet);
        return kippet;
    }
    int count(const QString& table) {
        QSqlQuery query(store_->container()->database());
        query.exec(QStringLiteral("SELECT COUNT(*) FROM ") + table);
        query.next();
        return query.value(0).toInt();
    }
    // Makes the next statement of the given kind fail inside the store, half way through an
    // operation.
    void failOn(const QString& when) {
        QSqlQuery query(store_->container()->database());
        QVERIFY(query.exec(
            QStringLiteral(
                "CREATE TEMP TRIGGER fail_here %1 BEGIN SELECT RAISE(ABORT, 'disk on fire'); END")
                .arg(when)));
    }
    template <typename F> void expectError(DataManagerError::Case errorCase, F&& operation) {
        try {
            operation();
            QFAIL("no error");
        } catch (const DataManagerError& error) {
            QCOMPARE(int(error.errorCase()), int(errorCase));
        }
    }

private slots:
    void init() {
        TestEnvironment::resetPreferences();
        store_ = std::make_unique<StoreManager>();
        store_->configure(StoreContainer::createInMemoryContainer(dir_.path()));
    }
    void cleanup() { store_.reset(); }

    void operationsBeforeConfigureChangeNothing() {
        StoreManager bare;
        KippetModel kippet = fullKippet(QStringLiteral("K"));
        kippet.rowId = 7;
        const KippetModel before = kippet;
        bare.setActiveKippetIDs({kippet.id});
        KippetItemModel item = kippet.items.first();
        try {
            bare.closeKippet(kippet);
            QFAIL("no error");
        } catch (const DataManagerError& error) {
            QCOMPARE(error.errorDescription(), QStringLiteral("Store context not available"));
        }
        expectError(DataManagerError::Case::noContext, [&] { bare.addItem(item, kippet); });
        expectError(DataManagerError::Case::noContext,
                    [&] { bare.addTodo(QStringLiteral("x"), kippet); });
        expectError(DataManagerError::Case::noContext,
                    [&] { bare.updateNote(QStringLiteral("new"), kippet); });
        expectError(DataManagerError::Case::noContext, [&] { bare.reopenKippet(kippet); });
        expectError(DataManagerError::Case::noContext, [&] { bare.deleteKippet(kippet); });
        expectError(DataManagerError::Case::noContext, [&] { bare.fetchKippet(kippet.id); });
        QCOMPARE(kippet, before);
        QCOMPARE(bare.activeKippetIDs(), QSet<QUuid>{kippet.id});
        QVERIFY(!Preferences::shared().contains(QLatin1String(ActiveKippetIDs::key)));
    }

    void failedOperationLeavesStoreAndRowsAsTheyWere() {
        KippetModel kippet = storedKippet();
        store_->setActiveKippetIDs({kippet.id});
        const KippetModel before = kippet;
        failOn(QStringLiteral("BEFORE UPDATE ON kippet_items WHEN NEW.metadata_name = 'boom'"));
        KippetModel changed = kippet;
        changed.name = QStringLiteral("renamed");
        changed.items[1].metadataName = QStringLiteral("boom");
        try {
            store_->updateKippet(changed);
            QFAIL("no error");
        } catch (const DataManagerError& error) {
            QCOMPARE(error.errorDescription().left(16), QStringLiteral("Failed to save: "));
            QVERIFY(error.errorDescription().contains(QStringLiteral("disk on fire")));
        }
        QCOMPARE(store_->fetchKippet(kippet.id), std::optional<KippetModel>(before));
    }

    void failedDeleteAndCloseKeepActiveIdsAndRow() {
        KippetModel kippet = storedKippet();
        store_->setActiveKippetIDs({kippet.id});
        const KippetModel before = kippet;
        failOn(QStringLiteral("BEFORE DELETE ON kippet_todos"));
        expectError(DataManagerError::Case::saveFailed, [&] { store_->deleteKippet(kippet); });
        QCOMPARE(kippet, before);
        QCOMPARE(store_->activeKippetIDs(), QSet<QUuid>{kippet.id});
        QCOMPARE(count(QStringLiteral("kippet_items")), 2);
        QSqlQuery(store_->container()->database())
            .exec(QStringLiteral("DROP TRIGGER temp.fail_here"));
        failOn(QStringLiteral("BEFORE UPDATE ON kippets"));
        expectError(DataManagerError::Case::saveFailed, [&] { store_->closeKippet(kippet); });
        QCOMPARE(kippet.lastClosedDate, before.lastClosedDate);
        QCOMPARE(store_->activeKippetIDs(), QSet<QUuid>{kippet.id});
    }

    void deleteTakesItemsTodosAndActiveId() {
        KippetModel kippet = storedKippet();
        KippetModel other = storedKippet(QStringLiteral("other"));
        store_->setActiveKippetIDs({kippet.id, other.id});
        store_->deleteKippet(kippet);
        QCOMPARE(count(QStringLiteral("kippets")), 1);
        QCOMPARE(count(QStringLiteral("kippet_items")), 2);
        QCOMPARE(count(QStringLiteral("kippet_todos")), 2);
        QCOMPARE(store_->activeKippetIDs(), QSet<QUuid>{other.id});
        QCOMPARE(ActiveKippetIDs::decode(
                     *Preferences::shared().dataValue(QLatin1String(ActiveKippetIDs::key))),
                 std::optional<QSet<QUuid>>(QSet<QUuid>{other.id}));
    }

    void addItemRefusesDuplicatesAndKeepsOrder() {
        KippetModel kippet = storedKippet();
        KippetItemModel same = fullItem(QStringLiteral("one.png"), QByteArray("\0\1\2", 3));
        same.typeRaw = QStringLiteral("file");
        try {
            store_->addItem(same, kippet);
            QFAIL("no error");
        } catch (const DataManagerError& error) {
            QCOMPARE(error.errorDescription(),
                     QStringLiteral("This item already exists in the kippet"));
        }
        QCOMPARE(kippet.items.size(), 2);
        KippetItemModel renamed = same;
        renamed.metadataName = QStringLiteral("three.png");
        store_->addItem(renamed, kippet);
        QVERIFY(renamed.rowId != 0);
        QCOMPARE(kippet.items.size(), 3);
        const KippetModel loaded = *store_->fetchKippet(kippet.id);
        QCOMPARE(loaded.items.size(), 3);
        QCOMPARE(loaded.items.at(0).metadataName, QStringLiteral("one.png"));
        QCOMPARE(loaded.items.at(2), renamed);

        // Content and name are compared apart: "a" named "bc" is no duplicate of "ab" named "c".
        KippetItemModel joined = fullItem(QStringLiteral("c"), QByteArray("ab"));
        KippetItemModel shifted = fullItem(QStringLiteral("bc"), QByteArray("a"));
        store_->addItem(joined, kippet);
        store_->addItem(shifted, kippet);
        QCOMPARE(store_->fetchKippet(kippet.id)->items.size(), 5);
    }

    void removeItemDropsEveryRowWithTheId() {
        KippetModel kippet = storedKippet();
        KippetItemModel twin = kippet.items.first();
        twin.rowId = 0;
        twin.metadataName = QStringLiteral("twin");
        store_->addItem(twin, kippet);
        store_->removeItem(kippet.items.first(), kippet);
        QCOMPARE(kippet.items.size(), 1);
        QCOMPARE(store_->fetchKippet(kippet.id)->items, kippet.items);
    }

    void addTodoPutsTheNewestFirstAndKeepsTheOrder() {
        KippetModel kippet = storedKippet();
        testClock().setNow(at(100));
        store_->addTodo(QStringLiteral("new"), kippet);
        QCOMPARE(kippet.todos.size(), 3);
        QCOMPARE(kippet.todos.first().text, QStringLiteral("new"));
        QVERIFY(!kippet.todos.first().isDone);
        QVERIFY(!kippet.todos.first().order.has_value());
        QCOMPARE(store_->fetchKippet(kippet.id)->todos, kippet.todos);
        store_->deleteTodo(kippet.todos.at(1), kippet);
        QCOMPARE(store_->fetchKippet(kippet.id)->todos, kippet.todos);
        QCOMPARE(kippet.todos.size(), 2);
    }

    void unchangedNoteIsNotSaved() {
        KippetModel kippet = storedKippet();
        testClock().setNow(at(500));
        store_->updateNote(kippet.noteText, kippet);
        QCOMPARE(store_->fetchKippet(kippet.id)->noteUpdatedAt, at(1));
        store_->updateNote(QStringLiteral("changed"), kippet);
        QCOMPARE(store_->fetchKippet(kippet.id)->noteUpdatedAt, at(500));
        store_->updateNoteWindowFrame(kippet, 1, 2, 3, 4);
        QCOMPARE(store_->fetchKippet(kippet.id)->note().windowFrame,
                 std::optional(KippetNote::WindowFrame{1, 2, 3, 4}));
    }

    void updateKippetWritesEveryField() {
        KippetModel kippet = storedKippet();
        KippetModel changed = kippet;
        changed.positionX = 99;
        changed.isExpanded = false;
        changed.isTucked = false;
        changed.lastClosedDate.reset();
        changed.items[0].categoryRaw = QStringLiteral("Links");
        changed.items[0].customCategory.reset();
        changed.items[0].metadataAiTags = QStringList{};
        changed.items[0].isProcessing = false;
        changed.todos[1].isDone = true;
        store_->updateKippet(changed);
        QCOMPARE(store_->fetchKippet(kippet.id), std::optional<KippetModel>(changed));
    }

    void fetchAllGivesNewestFirstAndKeepsDuplicateIds() {
        KippetModel older = fullKippet(QStringLiteral("older"));
        KippetModel newer = older;
        newer.name = QStringLiteral("newer");
        newer.createdDate = at(60);
        QList<KippetModel> rows{older, newer};
        store_->insertKippets(rows);
        const QList<KippetModel> all = store_->fetchAllKippets();
        QCOMPARE(all.size(), 2);
        QCOMPARE(all.at(0).name, QStringLiteral("newer"));
        QCOMPARE(store_->fetchKippet(older.id)->name, QStringLiteral("older"));
        store_->deleteKippetRows({all.at(1)});
        QCOMPARE(store_->fetchAllKippets().size(), 1);
        QVERIFY(!store_->fetchKippet(QUuid::createUuid()).has_value());
    }

    void activeIdsMoveFromTheOlderKey() {
        const QUuid id = QUuid::createUuid();
        Preferences::shared().setData(QLatin1String(ActiveKippetIDs::key), "not json");
        Preferences::shared().setData(QLatin1String(ActiveKippetIDs::legacyKey),
                                      ActiveKippetIDs::encode({id}));
        store_->loadActiveKippetIDs();
        QCOMPARE(store_->activeKippetIDs(), QSet<QUuid>{id});
        QVERIFY(!Preferences::shared().contains(QLatin1String(ActiveKippetIDs::legacyKey)));
        QCOMPARE(ActiveKippetIDs::decode(
                     *Preferences::shared().dataValue(QLatin1String(ActiveKippetIDs::key))),
                 std::optional<QSet<QUuid>>(QSet<QUuid>{id}));
        QCOMPARE(
            ActiveKippetIDs::encode({id}),
            QStringLiteral("[\"%1\"]").arg(id.toString(QUuid::WithoutBraces).toUpper()).toUtf8());
    }

    void launchFallsBackFromICloudToTheLocalStore() {
        // The store of init() marked its import done, which says that a store was here.
        TestEnvironment::resetPreferences();
        LogCapture log;
        auto container = createLaunchContainer(false);
        QCOMPARE(int(container->form()), int(StoreContainer::Form::local));
        QVERIFY(container->storePath().endsWith(QStringLiteral("/Kippets/Kippets.sqlite")));
        QVERIFY(container->storePath().startsWith(TestEnvironment::root()));
        const QStringList lines = log.lines();
        QVERIFY(lines.indexOf(QStringLiteral("[iCloud Sync] Creating CloudKit container...")) >= 0);
        QVERIFY(lines.indexOf(QStringLiteral(
                    "[iCloud Sync] Creating local-only container (no CloudKit)...")) >
                lines.indexOf(QStringLiteral("[iCloud Sync] Creating CloudKit container...")));
        QVERIFY(lines.contains(
            QStringLiteral("[iCloud Sync] ✅ Local-only container created successfully")));
        QVERIFY(log.contains(
            QStringLiteral("[iCloud Sync] createModelContainer() — iCloud enabled: true")));
    }
};

QTEST_GUILESS_MAIN(StoreManagerTest)
#include "StoreManagerTest.moc"
