#include "app/MenuBarManager.h"
#include "model/Kippet.h"
#include "platform/Clock.h"
#include "platform/Preferences.h"
#include "store/DataManagerError.h"
#include "store/ExternalBytes.h"
#include "store/KippetManager.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"
#include "window/FloatingKippetWindow.h"

#include <QCoroTask>
#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTest>
#include <functional>

using namespace std::chrono_literals;

namespace {
const KippetColor red{1, 0, 0, 1};
const KippetColor green{0, 1, 0, 1};

KippetItem fileItem(const QString& name, const QByteArray& content) {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = KippetItemType::file;
    item.content = content;
    item.metadata.name = name;
    item.metadata.fileExtension = QStringLiteral("txt");
    item.addedDate = testClock().now();
    return item;
}

KippetTodo ticked(KippetTodo todo) {
    todo.isDone = true;
    todo.completionTransitionDeadline = testClock().now().addMSecs(2500);
    return todo;
}

// What the user sees of a kippet and of the lists it is in.
struct Snapshot {
    QJsonObject kippet;
    bool active;
    bool listed;
    QStringList files;
    std::optional<KippetModel> row;

    Snapshot(AppHarness& app, Kippet* k)
        : kippet(k->toJson()), active(app.manager().activeKippets().contains(k)),
          listed(app.manager().allKippets().contains(k)),
          files(QDir(app.folder() + QStringLiteral("/KippetData/") + ItemStorage::idText(k->id()))
                    .entryList(QDir::Files)),
          row(app.store().fetchKippet(k->id())) {}
    bool operator==(const Snapshot&) const = default;
};

bool throwsSaveFailed(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const DataManagerError& error) {
        return error.errorCase() == DataManagerError::Case::saveFailed &&
               error.errorDescription().startsWith(QStringLiteral("Failed to save: "));
    }
    return false;
}
} // namespace

class KippetManagerFailureTest : public QObject {
    Q_OBJECT
private slots:
    // The editors save again what the user typed; a failed save must not make that look
    // "unchanged", and nothing the user sees may differ from what the store holds.
    void failedEditsLeaveMemoryAsTheStoreAndTheirRetryIsWritten() {
        AppHarness app;
        app.start();
        KippetManager& m = app.manager();
        Kippet* kippet =
            m.createKippet(QStringLiteral("Inbox"), red, QStringLiteral("tray.fill"), false);
        m.addTodo(QStringLiteral("buy milk"), kippet);
        const QUuid id = kippet->id();
        testClock().advance(1min);
        const KippetTodo tick = ticked(kippet->todos().first());
        {
            auto hold = app.holdDatabase();
            QVERIFY(hold->isHeld());

            QVERIFY(throwsSaveFailed([&] { m.updateNote(QStringLiteral("remember"), kippet); }));
            KippetModel stored = *app.store().fetchKippet(id);
            QCOMPARE(kippet->note(), stored.note());
            QCOMPARE(kippet->note().text, QString());

            QVERIFY(throwsSaveFailed([&] {
                m.updateKippet(kippet, QStringLiteral("Renamed"), green, QStringLiteral("folder"),
                               QStringLiteral("sort"), QStringLiteral("Sort."));
            }));
            stored = *app.store().fetchKippet(id);
            QCOMPARE(kippet->name(), QStringLiteral("Inbox"));
            QCOMPARE(stored.name, kippet->name());
            QCOMPARE(stored.color(), kippet->color());
            QCOMPARE(stored.customInstructions, kippet->customInstructions());

            QVERIFY(throwsSaveFailed([&] {
                m.updateCustomInstructions(kippet, QStringLiteral("receipts only"),
                                           QStringLiteral("Receipts."));
            }));
            stored = *app.store().fetchKippet(id);
            QCOMPARE(kippet->customInstructions(), std::optional<QString>());
            QCOMPARE(kippet->sanitizedInstructions(), std::optional<QString>());
            QCOMPARE(stored.customInstructions, kippet->customInstructions());
            QCOMPARE(stored.sanitizedInstructions, kippet->sanitizedInstructions());

            QVERIFY(throwsSaveFailed([&] { m.updateTodo(tick, kippet); }));
            stored = *app.store().fetchKippet(id);
            QVERIFY(!kippet->todos().first().isDone);
            QCOMPARE(stored.todos.first().toDomain(), kippet->todos().first());
            QCOMPARE(testClock().pendingCount(), 0);
        }

        // The same edits once the database is free again.
        m.updateNote(QStringLiteral("remember"), kippet);
        m.updateKippet(kippet, QStringLiteral("Renamed"), green, QStringLiteral("folder"),
                       QStringLiteral("sort"), QStringLiteral("Sort."));
        m.updateTodo(tick, kippet);
        m.updateCustomInstructions(kippet, QStringLiteral("receipts only"),
                                   QStringLiteral("Receipts."));
        QCOMPARE(app.store().fetchKippet(id)->customInstructions,
                 std::optional<QString>(QStringLiteral("receipts only")));

        app.restart();
        Kippet* back = app.manager().kippet(id);
        QVERIFY(back);
        QCOMPARE(back->note().text, QStringLiteral("remember"));
        QCOMPARE(back->note().updatedAt, testClock().now());
        QCOMPARE(back->name(), QStringLiteral("Renamed"));
        QCOMPARE(back->color(), green);
        QCOMPARE(back->customInstructions(),
                 std::optional<QString>(QStringLiteral("receipts only")));
        QCOMPARE(back->sanitizedInstructions(),
                 std::optional<QString>(QStringLiteral("Receipts.")));
        QVERIFY(back->todos().first().isDone);
    }

    void everyOtherFailedOperationChangesNothing() {
        AppHarness app;
        app.start();
        KippetManager& m = app.manager();
        Kippet* kippet =
            m.createKippet(QStringLiteral("Work"), red, QStringLiteral("tray.fill"), false);
        const KippetItem item = fileItem(QStringLiteral("a.txt"), "first");
        m.addItem(item, kippet);
        m.addTodo(QStringLiteral("call"), kippet);
        m.updateNote(QStringLiteral("note"), kippet);
        const QUuid todoId = kippet->todos().first().id;
        const QString folder = m.itemsDirectory(kippet);

        const QList<std::pair<const char*, std::function<void()>>> operations = {
            {"addItem", [&] { m.addItem(fileItem(QStringLiteral("b.txt"), "second"), kippet); }},
            {"removeItem", [&] { m.removeItem(item, kippet); }},
            {"addTodo", [&] { m.addTodo(QStringLiteral("more"), kippet); }},
            {"deleteTodo", [&] { m.deleteTodo(todoId, kippet); }},
            {"updateNoteWindowFrame", [&] { m.updateNoteWindowFrame(kippet, 1, 2, 300, 200); }},
            {"closeKippet", [&] { m.closeKippet(kippet); }},
            {"deleteKippet", [&] { m.deleteKippet(kippet); }},
        };
        app.registry().showWindow(kippet);
        auto hold = app.holdDatabase();
        for (const auto& [name, operation] : operations) {
            const Snapshot before(app, kippet);
            QVERIFY2(throwsSaveFailed(operation), name);
            QVERIFY2(Snapshot(app, kippet) == before, name);
        }
        QVERIFY(QDir(folder).exists());
        QVERIFY(app.registry().registeredWindow(kippet->id())->isVisible());
        hold.reset();

        m.deleteKippet(kippet);
        QVERIFY(!QDir(folder).exists());
        QVERIFY(m.allKippets().isEmpty());
        app.restart();
        QVERIFY(app.manager().allKippets().isEmpty());
    }

    // Edits must cost what they change: with the item bytes out of reach, any edit that read them
    // would log their loss.
    void editsOfAKippetWithManyLargeItemsReadNoItemBytes() {
        AppHarness app;
        app.createStore();
        app.configureStore();
        KippetModel row = KippetModel::make(QUuid::createUuid(), QStringLiteral("Large"), red,
                                            QStringLiteral("tray.fill"), false);
        for (int i = 0; i < 200; ++i) {
            ItemMetadata metadata;
            metadata.name = QStringLiteral("photo %1.png").arg(i);
            row.items.append(KippetItemModel::make(QUuid::createUuid(), KippetItemType::image,
                                                   QByteArray(ExternalBytes::threshold, char(i)) +
                                                       QByteArray::number(i),
                                                   metadata, ItemCategory::images));
        }
        KippetTodoModel todo;
        todo.text = QStringLiteral("sort them");
        todo.createdAt = testClock().now();
        row.todos.append(todo);
        app.store().insertKippet(row);
        app.createManager();
        QCoro::waitFor(app.manager().waitForInitialization());
        Kippet* kippet = app.manager().kippet(row.id);
        QVERIFY(kippet);
        QCOMPARE(kippet->items().size(), 200);

        const QString external = app.store().container()->externalFolder();
        QCOMPARE(QDir(external).entryList(QDir::Files).size(), 200);
        QVERIFY(QDir().rename(external, external + QStringLiteral(".away")));
        {
            LogCapture log;
            KippetManager& m = app.manager();
            m.updateNote(QStringLiteral("keep the best"), kippet);
            m.updateTodo(ticked(kippet->todos().first()), kippet);
            kippet->setPosition(QPointF(300, -120));
            m.saveKippet(kippet);
            m.updateNoteWindowFrame(kippet, 10, 20, 300, 200);
            m.addTodo(QStringLiteral("passing"), kippet);
            for (const KippetTodo& added : QList<KippetTodo>(kippet->todos()))
                if (added.text == QLatin1String("passing"))
                    m.deleteTodo(added.id, kippet);
            testClock().advance(3s); // the tick settles
            m.updateKippet(kippet, QStringLiteral("Photos"), green, QStringLiteral("photo"),
                           std::nullopt, std::nullopt);
            m.closeKippet(kippet);
            m.reopenKippet(kippet);
            QVERIFY2(log.lines().isEmpty(), qPrintable(log.lines().join(QLatin1Char('\n'))));
        }
        QVERIFY(QDir().rename(external + QStringLiteral(".away"), external));

        app.restart();
        kippet = app.manager().kippet(row.id);
        QCOMPARE(kippet->note().text, QStringLiteral("keep the best"));
        QCOMPARE(kippet->note().windowFrame,
                 std::optional(KippetNote::WindowFrame{10, 20, 300, 200}));
        QCOMPARE(kippet->todos().size(), 1);
        QVERIFY(kippet->todos().first().isDone);
        QVERIFY(!kippet->todos().first().completionTransitionDeadline);
        QCOMPARE(kippet->position(), QPointF(300, -120));
        QCOMPARE(kippet->name(), QStringLiteral("Photos"));
        QVERIFY(kippet->lastClosedDate());
        QVERIFY(app.manager().activeKippets().contains(kippet));
        QCOMPARE(kippet->items().size(), 200);
        QCOMPARE(kippet->items().at(7).content, row.items.at(7).content);
        QCOMPARE(kippet->items().at(199).metadata.name, QStringLiteral("photo 199.png"));
    }

    // The application flushes queued saves before it quits; an analysis result saved on the next
    // turn of the event loop would otherwise be lost.
    void flushedSavesSurviveAQuit() {
        AppHarness app;
        app.start();
        Preferences::shared().setBool(QStringLiteral("ai_enabled"), false);
        Kippet* kippet =
            app.manager().createKippet(QStringLiteral("K"), red, QStringLiteral("x"), false);
        KippetItem item = fileItem(QStringLiteral("notes.txt"), "meeting notes");
        item.type = KippetItemType::text;
        item.isProcessing = true;
        app.manager().addItem(item, kippet);
        const QUuid id = kippet->id();
        app.manager().analyzeItem(item, kippet);
        const KippetItem analysed = *kippet->item(item.id);
        QVERIFY(!analysed.isProcessing);

        app.manager().flushPendingSaves();
        app.stop(); // no turn of the event loop in between
        app.createStore();
        app.configureStore();
        const KippetItemModel stored = app.store().fetchKippet(id)->items.first();
        QVERIFY(!stored.isProcessing);
        QCOMPARE(stored.categoryRaw, rawValue(analysed.category));
        QCOMPARE(stored.metadataAiDescription, analysed.metadata.aiDescription);
    }
};

QTEST_MAIN(KippetManagerFailureTest)
#include "KippetManagerFailureTest.moc"
