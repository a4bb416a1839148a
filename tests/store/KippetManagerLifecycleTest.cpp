#include "app/MenuBarManager.h"
#include "model/Kippet.h"
#include "platform/Clock.h"
#include "platform/Preferences.h"
#include "store/ActiveKippetIDs.h"
#include "store/DataManagerError.h"
#include "store/DataMigrationService.h"
#include "store/KippetManager.h"
#include "store/KippetManagerError.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"

#include <QCoroTask>
#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTest>
#include <sys/stat.h>

namespace {
const KippetColor red{1, 0, 0, 1};
const KippetColor green{0, 1, 0, 1};

QList<QUuid> storedActiveIds() {
    const auto data = Preferences::shared().dataValue(QString::fromLatin1(ActiveKippetIDs::key));
    const auto ids = ActiveKippetIDs::decode(data.value_or(QByteArray()));
    return ids ? ids->values() : QList<QUuid>();
}

std::unique_ptr<Kippet> looseKippet(const QString& name) {
    return std::make_unique<Kippet>(QUuid::createUuid(), name, red, QStringLiteral("star"),
                                    testClock().now());
}
} // namespace

class KippetManagerLifecycleTest : public QObject {
    Q_OBJECT
private slots:
    void kippetsComeBackExactlyAsLeft() {
        AppHarness app;
        app.start();
        KippetManager& m = app.manager();
        Kippet* inbox = m.createKippet(QStringLiteral("draft"), red, QStringLiteral("star"), false,
                                       QStringLiteral("sort receipts"), std::nullopt);
        Kippet* closed =
            m.createKippet(QStringLiteral("Closed"), red, QStringLiteral("tray.fill"), true);
        Kippet* reopened =
            m.createKippet(QStringLiteral("Reopened"), red, QStringLiteral("tray.fill"), false);

        m.updateKippet(inbox, QStringLiteral("  Inbox \n"), green, QStringLiteral("folder"),
                       QStringLiteral("sort receipts"), QStringLiteral("Sort receipts."));
        try {
            m.updateKippet(closed, QStringLiteral(" \n\t"), green, QStringLiteral("folder"),
                           std::nullopt, std::nullopt);
            QFAIL("a blank name was accepted");
        } catch (const KippetManagerError& error) {
            QCOMPARE(error.errorDescription(), QStringLiteral("Kippet name cannot be empty"));
            QCOMPARE(error.domain(), QStringLiteral("KippetManager"));
            QCOMPARE(error.code(), 1);
        }
        QCOMPARE(closed->name(), QStringLiteral("Closed"));

        // What the window does when the user moves, resizes or tucks the kippet.
        inbox->setPosition(QPointF(120.25, -30.5));
        inbox->setIsExpanded(true);
        inbox->setIsMiniView(true);
        inbox->setIsTucked(true);
        inbox->setProject(QStringLiteral("Taxes"));
        QVERIFY(app.failStore(QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON kippets "
                                             "BEGIN SELECT RAISE(ABORT, 'disk full'); END")));
        {
            LogCapture log;
            m.saveKippet(inbox);
            QVERIFY(log.contains(
                QStringLiteral("Failed to update kippet in the store: Failed to save: ")));
        }
        QCOMPARE(app.store().fetchKippet(inbox->id())->position(), QPointF());
        QCOMPARE(inbox->position(), QPointF(120.25, -30.5));
        QVERIFY(app.failStore(QStringLiteral("DROP TRIGGER refuse")));
        m.saveKippet(inbox);

        testClock().advance(std::chrono::seconds(5));
        app.registry().showWindow(closed);
        app.registry().showWindow(reopened);
        m.closeKippet(closed);
        const auto closedAt = closed->lastClosedDate();
        QCOMPARE(closedAt, std::optional<QDateTime>(testClock().now()));
        m.closeKippet(reopened);
        m.reopenKippet(reopened);
        m.reopenKippet(reopened); // already open: nothing
        // Closing closes the windows; reopening opens none by itself.
        QVERIFY(!app.registry().registeredWindow(closed->id()));
        QVERIFY(!app.registry().registeredWindow(reopened->id()));
        QCOMPARE(m.activeKippets().size(), 2);

        app.restart();
        QCOMPARE(app.manager().allKippets().size(), 3);
        Kippet* back = app.byName(QStringLiteral("Inbox"));
        QVERIFY(back);
        QCOMPARE(back->color(), green);
        QCOMPARE(back->icon(), QStringLiteral("folder"));
        QCOMPARE(back->sanitizedInstructions(),
                 std::optional<QString>(QStringLiteral("Sort receipts.")));
        QCOMPARE(back->position(), QPointF(120.25, -30.5));
        QVERIFY(back->isExpanded() && back->isMiniView() && back->isTucked());
        QCOMPARE(back->project(), std::optional<QString>(QStringLiteral("Taxes")));
        QVERIFY(app.isActive(QStringLiteral("Inbox")));
        QVERIFY(!app.isActive(QStringLiteral("Closed")));
        QCOMPARE(app.byName(QStringLiteral("Closed"))->lastClosedDate(), closedAt);
        QVERIFY(app.byName(QStringLiteral("Closed"))->isDailyKippet());
        QVERIFY(app.isActive(QStringLiteral("Reopened")));
    }

    void deletingAKippetRemovesRowsFilesAndFolder() {
        AppHarness app;
        app.start();
        Kippet* doomed =
            app.manager().createKippet(QStringLiteral("Doomed"), red, QStringLiteral("x"), false);
        Kippet* kept =
            app.manager().createKippet(QStringLiteral("Kept"), red, QStringLiteral("x"), false);
        KippetItem item;
        item.id = QUuid::createUuid();
        item.type = KippetItemType::file;
        item.content = "bytes";
        item.metadata.name = QStringLiteral("a.txt");
        item.addedDate = testClock().now();
        app.manager().addItem(item, doomed);
        app.manager().addTodo(QStringLiteral("todo"), doomed);
        const QUuid id = doomed->id();
        const QString folder = app.manager().itemsDirectory(doomed);
        QVERIFY(QFile::exists(folder + QLatin1Char('/') + ItemStorage::idText(item.id)));

        app.registry().showWindow(doomed);
        app.registry().showWindow(kept);
        app.manager().deleteKippet(doomed);
        QVERIFY(!QDir(folder).exists());
        QVERIFY(!app.registry().registeredWindow(id));
        QVERIFY(app.registry().registeredWindow(kept->id()));
        QCOMPARE(app.manager().allKippets(), QList<Kippet*>{kept});
        QVERIFY(!app.store().fetchKippet(id));
        QVERIFY(!storedActiveIds().contains(id));

        app.restart();
        QCOMPARE(app.manager().allKippets().size(), 1);
        QCOMPARE(app.manager().allKippets().first()->name(), QStringLiteral("Kept"));
        QSqlQuery leftovers(app.store().container()->database());
        QVERIFY(leftovers.exec(QStringLiteral("SELECT (SELECT COUNT(*) FROM kippet_items) + "
                                              "(SELECT COUNT(*) FROM kippet_item_contents) + "
                                              "(SELECT COUNT(*) FROM kippet_todos)")));
        QVERIFY(leftovers.next());
        QCOMPARE(leftovers.value(0).toInt(), 0);
    }

    void duplicateRowsCollapseToTheNewestOnLoad() {
        AppHarness app;
        app.createStore();
        app.configureStore();
        KippetModel older = KippetModel::make(QUuid::createUuid(), QStringLiteral("older"), red,
                                              QStringLiteral("x"), false);
        KippetModel newer = older;
        newer.name = QStringLiteral("newer");
        newer.createdDate = older.createdDate.addSecs(60);
        app.store().insertKippet(older);
        app.store().insertKippet(newer);

        LogCapture log;
        app.createManager();
        QCoro::waitFor(app.manager().waitForInitialization());
        QCOMPARE(app.manager().allKippets().size(), 1);
        QCOMPARE(app.manager().allKippets().first()->name(), QStringLiteral("newer"));
        const QStringList lines = log.lines();
        const auto found = lines.indexOf(QStringLiteral(
            "⚠️ Found 1 duplicate KippetModel rows in the store — removing them"));
        QVERIFY(found >= 0);
        QVERIFY(found < lines.indexOf(QStringLiteral("📦 Loaded 1 kippets from the store")));

        app.restart();
        QCOMPARE(app.store().fetchAllKippets().size(), 1);
        QCOMPARE(app.manager().allKippets().first()->name(), QStringLiteral("newer"));
    }

    void deletionBeforeReadinessIsReplayedBeforeWaitersResumeInOrder() {
        AppHarness app;
        auto gone = looseKippet(QStringLiteral("Gone"));
        auto stays = looseKippet(QStringLiteral("Stays"));
        app.writeLegacyFile({gone.get(), stays.get()}, {gone.get(), stays.get()});

        // The manager exists before the start-up configured the store: it must wait for it.
        app.createStore();
        app.createManager();
        QCoreApplication::processEvents();
        QVERIFY(!app.manager().isStoreReady());
        QCOMPARE(app.manager().allKippets().size(), 2);

        QStringList resumed;
        bool rowGoneWhenResumed = false;
        auto waiter = [&](QString name) -> QCoro::Task<> {
            co_await app.manager().waitForInitialization();
            resumed.append(name);
            rowGoneWhenResumed = !app.store().fetchKippet(gone->id());
        };
        auto first = waiter(QStringLiteral("first"));
        auto second = waiter(QStringLiteral("second"));

        app.manager().deleteKippet(app.manager().kippet(gone->id()));
        QCOMPARE(app.manager().pendingDeletions(), QSet<QUuid>{gone->id()});

        LogCapture log;
        app.configureStore(); // the legacy import writes both kippets into the store
        QCoro::waitFor(app.manager().waitForInitialization());
        QCOMPARE(resumed, (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
        QVERIFY(rowGoneWhenResumed);
        QVERIFY(app.manager().isStoreReady());
        QVERIFY(app.manager().pendingDeletions().isEmpty());
        QVERIFY(log.contains(QStringLiteral("🔄 Replaying pending store operations")));
        QVERIFY(log.contains(QStringLiteral("✅ Completed replaying pending operations")));
        QCOMPARE(app.manager().allKippets().size(), 1);

        app.restart();
        QCOMPARE(app.manager().allKippets().size(), 1);
        QCOMPARE(app.manager().allKippets().first()->name(), QStringLiteral("Stays"));
        QVERIFY(!app.store().fetchKippet(gone->id()));
    }

    void waitingAfterAnInitializationWithoutStoreReturnsAtOnce() {
        AppHarness app;
        LogCapture log;
        KippetManager inMemory(nullptr, app.folder());
        QCoro::waitFor(inMemory.waitForInitialization());
        QVERIFY(log.contains(QStringLiteral(
            "⚠️ KippetManager store init skipped – store context not available")));
        QVERIFY(!inMemory.isStoreReady());
        auto late = inMemory.waitForInitialization();
        QVERIFY(late.isReady());
        QVERIFY(!log.contains(QStringLiteral("Replaying")));
        QVERIFY_THROWS_EXCEPTION(
            DataManagerError,
            inMemory.createKippet(QStringLiteral("x"), red, QStringLiteral("x"), false));
    }

    void aFailedCreateLeavesNoRowForALaterSave() {
        AppHarness app;
        app.start();
        QVERIFY(app.failStore(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON kippets "
                                             "BEGIN SELECT RAISE(ABORT, 'disk full'); END")));
        QVERIFY_THROWS_EXCEPTION(
            DataManagerError,
            app.manager().createKippet(QStringLiteral("Lost"), red, QStringLiteral("x"), false));
        QVERIFY(app.manager().allKippets().isEmpty());
        QVERIFY(app.manager().activeKippets().isEmpty());
        QVERIFY(storedActiveIds().isEmpty());
        QVERIFY(app.failStore(QStringLiteral("DROP TRIGGER refuse")));
        app.manager().createKippet(QStringLiteral("Later"), red, QStringLiteral("x"), false);

        app.restart();
        QCOMPARE(app.manager().allKippets().size(), 1);
        QCOMPARE(app.manager().allKippets().first()->name(), QStringLiteral("Later"));
    }

    void legacySyncInsertsOnlyMissingKippetsAndTheStoreRowsWin() {
        AppHarness app;
        app.createStore();
        app.configureStore(); // no legacy file yet
        Preferences::shared().remove(
            QString::fromLatin1(DataMigrationService::migrationCompletedKey));
        auto present = looseKippet(QStringLiteral("present (file)"));
        auto missing = looseKippet(QStringLiteral("missing"));
        KippetModel row = KippetModel::fromDomain(*present);
        row.name = QStringLiteral("present (store)");
        app.store().insertKippet(row);
        app.writeLegacyFile({present.get(), missing.get()}, {present.get()});

        app.createManager();
        QCoro::waitFor(app.manager().waitForInitialization());
        QCOMPARE(app.store().fetchAllKippets().size(), 2);
        QVERIFY(app.byName(QStringLiteral("present (store)")));
        QVERIFY(app.byName(QStringLiteral("missing")));
        QVERIFY(app.isActive(QStringLiteral("present (store)")));
        Kippet* brief =
            app.manager().createKippet(QStringLiteral("brief"), red, QStringLiteral("x"), false);
        app.manager().closeKippet(brief);
        // No legacy import at the next start that would rewrite the open ids.
        Preferences::shared().setBool(
            QString::fromLatin1(DataMigrationService::migrationCompletedKey), true);

        app.restart();
        QCOMPARE(app.store().fetchAllKippets().size(), 3);
        QCOMPARE(app.manager().allKippets().size(), 3);
        QVERIFY(app.isActive(QStringLiteral("present (store)")));
        QVERIFY(!app.isActive(QStringLiteral("brief")));
    }

    void legacyFileIsIgnoredOnceImported() {
        AppHarness app;
        auto legacy = looseKippet(QStringLiteral("Legacy"));
        KippetTodo todo{QUuid::createUuid(), QStringLiteral("stale"),        true,
                        testClock().now(),   testClock().now().addSecs(-60), std::nullopt};
        legacy->setTodos({todo});
        app.writeLegacyFile({legacy.get()}, {legacy.get()});
        app.start();
        testClock().advance(std::chrono::milliseconds(0));
        Kippet* kippet = app.manager().kippet(legacy->id());
        QVERIFY(kippet);
        KippetTodo current = kippet->todos().first();
        QVERIFY(!current.completionTransitionDeadline);
        current.text = QStringLiteral("current");
        current.isDone = false;
        app.manager().updateTodo(current, kippet);

        // The legacy file is still on disk with the old todo; the start-up must not act on it.
        app.restart();
        testClock().advance(std::chrono::seconds(1));
        const KippetTodo back = app.manager().kippet(legacy->id())->todos().first();
        QCOMPARE(back.text, QStringLiteral("current"));
        QVERIFY(!back.isDone);
        const KippetTodoModel stored = app.store().fetchKippet(legacy->id())->todos.first();
        QCOMPARE(stored.text, QStringLiteral("current"));
        QVERIFY(!stored.isDone);
    }

    void demoKippetIsNeverStoredNorListedAsActive() {
        AppHarness app;
        app.start();
        auto demo = looseKippet(QStringLiteral("Demo"));
        auto notDemo = looseKippet(QStringLiteral("Plain"));
        QVERIFY_THROWS_EXCEPTION(KippetManagerError, app.manager().addDemoKippet(notDemo.get()));
        demo->setIsDemoMode(true);
        app.manager().addDemoKippet(demo.get());
        QVERIFY(app.manager().activeKippets().contains(demo.get()));
        QVERIFY(!app.manager().allKippets().contains(demo.get()));
        Kippet* real =
            app.manager().createKippet(QStringLiteral("Real"), red, QStringLiteral("x"), false);
        demo->setPosition(QPointF(5, 5));
        app.manager().saveKippet(demo.get());
        app.manager().saveActiveKippetIDs();
        QCOMPARE(storedActiveIds(), QList<QUuid>{real->id()});
        QVERIFY(!app.store().fetchKippet(demo->id()));

        app.registry().showWindow(demo.get());
        app.manager().removeDemoKippet(demo.get());
        QVERIFY(!app.registry().registeredWindow(demo->id()));
        QCOMPARE(app.manager().activeKippets(), QList<Kippet*>{real});

        app.restart();
        QCOMPARE(app.manager().allKippets().size(), 1);
        QVERIFY(!app.manager().kippet(demo->id()));
    }

    // The tour's demo kippet: what the user does to it (add items, open or drag them out, edit
    // its note and todos) reaches no store row and no file of the data folder.
    void demoKippetsNeverTouchTheDiskAndAreForgottenWhenDestroyed() {
        AppHarness app;
        app.start();
        KippetManager& m = app.manager();
        auto demo = looseKippet(QStringLiteral("Demo Kippet 🎯"));
        demo->setIsDemoMode(true);
        m.addDemoKippet(demo.get());
        KippetItem document;
        document.id = QUuid::createUuid();
        document.type = KippetItemType::file;
        document.content = "Sample Document";
        document.metadata.name = QStringLiteral("Sample Document.pdf");
        document.metadata.fileExtension = QStringLiteral("pdf");
        KippetItem text = document;
        text.id = QUuid::createUuid();
        text.type = KippetItemType::text;
        text.content = "pasted";
        text.metadata = {};
        text.metadata.name = QStringLiteral("Pasted");
        m.addItem(document, demo.get());
        m.addItem(text, demo.get());
        const QString opened = m.fileURL(document, demo.get()).toLocalFile();
        QCOMPARE(QFileInfo(opened).fileName(), ItemStorage::idText(document.id) + ".pdf");
        QCOMPARE(QFile(opened).size(), qint64(15));
        QVERIFY(!opened.startsWith(app.folder()));
        QVERIFY(!m.itemsDirectory(demo.get()).startsWith(app.folder()));
        m.updateNote(QStringLiteral("try me"), demo.get());
        m.addTodo(QStringLiteral("expand"), demo.get());
        m.updateTodo(demo->todos().first(), demo.get());
        m.removeItem(text, demo.get());
        demo->setPosition(QPointF(450, -100));
        m.saveKippet(demo.get());
        QCOMPARE(demo->items().size(), 1);
        QCOMPARE(demo->note().text, QStringLiteral("try me"));
        QVERIFY(!QFileInfo::exists(app.folder() + QStringLiteral("/KippetData")));
        QVERIFY(!app.store().fetchKippet(demo->id()));
        QVERIFY(app.store().fetchAllKippets().isEmpty());

        m.removeDemoKippet(demo.get());
        QVERIFY(!QFileInfo::exists(opened));
        QVERIFY(m.activeKippets().isEmpty());

        // A demo kippet whose owner goes first leaves neither an entry nor its files.
        auto second = looseKippet(QStringLiteral("Demo Kippet 🎯"));
        second->setIsDemoMode(true);
        m.addDemoKippet(second.get());
        const QString dragged = m.fileURL(document, second.get()).toLocalFile();
        QVERIFY(QFileInfo::exists(dragged));
        second.reset();
        QVERIFY(m.activeKippets().isEmpty());
        QVERIFY(!QFileInfo::exists(dragged));
        m.saveActiveKippetIDs();
        QVERIFY(storedActiveIds().isEmpty());
        QVERIFY(!QFileInfo::exists(app.folder() + QStringLiteral("/KippetData")));
    }

    void aLegacyFileThatIsNoRegularFileDoesNotStopTheStart_data() {
        QTest::addColumn<bool>("pipe");
        QTest::newRow("pipe") << true;
        QTest::newRow("link to /dev/zero") << false;
    }
    void aLegacyFileThatIsNoRegularFileDoesNotStopTheStart() {
        QFETCH(bool, pipe);
        AppHarness app;
        const QString path = app.folder() + QStringLiteral("/kippets.json");
        if (pipe)
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        LogCapture log;
        app.start();
        QVERIFY(app.manager().isStoreReady());
        QVERIFY(log.contains(
            QStringLiteral("⚠️ Legacy data not loaded: “%1” %2; it was left unread")
                .arg(path, pipe ? QStringLiteral("is not a regular file")
                                : QStringLiteral("is a symbolic link"))));
        Kippet* kippet =
            app.manager().createKippet(QStringLiteral("After"), red, QStringLiteral("x"), false);
        QVERIFY(kippet);
    }
};

QTEST_MAIN(KippetManagerLifecycleTest)
#include "KippetManagerLifecycleTest.moc"
