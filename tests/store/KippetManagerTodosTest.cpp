#include "model/Kippet.h"
#include "platform/Clock.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"

#include <QCoroTask>
#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTest>

using namespace std::chrono_literals;

namespace {
QStringList texts(const Kippet* kippet) {
    QStringList result;
    for (const KippetTodo& todo : kippet->todos()) {
        result.append(todo.text);
    }
    return result;
}

KippetTodo ticked(const Kippet* kippet, const QString& text) {
    for (KippetTodo todo : kippet->todos()) {
        if (todo.text == text) {
            todo.isDone = true;
            todo.completionTransitionDeadline = testClock().now().addMSecs(2500);
            return todo;
        }
    }
    return {};
}

KippetTodoModel storedTodo(AppHarness& app, const Kippet* kippet, const QString& text) {
    const KippetModel row = *app.store().fetchKippet(kippet->id());
    for (const KippetTodoModel& todo : row.todos) {
        if (todo.text == text) {
            return todo;
        }
    }
    return {};
}

// Three todos, newest first on screen: c, b, a.
Kippet* kippetWithTodos(AppHarness& app) {
    Kippet* kippet =
        app.manager().createKippet(QStringLiteral("K"), {}, QStringLiteral("x"), false);
    for (const char* text : {"a", "b", "c"}) {
        app.manager().addTodo(QString::fromLatin1(text), kippet);
        testClock().advance(1s);
    }
    return kippet;
}
} // namespace

class KippetManagerTodosTest : public QObject {
    Q_OBJECT
private slots:
    void aTickedTodoStaysUntilItsDeadlineThenMoves() {
        AppHarness app;
        app.start();
        Kippet* kippet = kippetWithTodos(app);
        QCOMPARE(texts(kippet), (QStringList{"c", "b", "a"}));
        app.manager().updateTodo(ticked(kippet, "b"), kippet);
        QVERIFY(storedTodo(app, kippet, "b").completionTransitionDeadline);

        testClock().advance(2400ms);
        QCOMPARE(texts(kippet), (QStringList{"c", "b", "a"}));
        testClock().advance(100ms);
        QCOMPARE(texts(kippet), (QStringList{"c", "a", "b"}));
        QVERIFY(!kippet->todos().last().completionTransitionDeadline);
        QVERIFY(!storedTodo(app, kippet, "b").completionTransitionDeadline);

        app.restart();
        kippet = app.manager().allKippets().first();
        // Done todos settle at the end of the list at every start.
        QCOMPARE(texts(kippet), (QStringList{"c", "a", "b"}));
        const KippetTodo back = kippet->todos().last();
        QCOMPARE(back.text, QStringLiteral("b"));
        QVERIFY(back.isDone);
        QVERIFY(!back.completionTransitionDeadline);
    }

    void untickingBeforeTheDeadlineCancels() {
        AppHarness app;
        app.start();
        Kippet* kippet = kippetWithTodos(app);
        app.manager().updateTodo(ticked(kippet, "c"), kippet);
        testClock().advance(1s);
        KippetTodo open = kippet->todos().first();
        open.isDone = false;
        open.completionTransitionDeadline.reset();
        app.manager().updateTodo(open, kippet);
        testClock().advance(10s);
        QCOMPARE(texts(kippet), (QStringList{"c", "b", "a"}));
        QCOMPARE(testClock().pendingCount(), 0);

        app.restart();
        kippet = app.manager().allKippets().first();
        QCOMPARE(texts(kippet), (QStringList{"c", "b", "a"}));
        QVERIFY(!kippet->todos().first().isDone);
        QVERIFY(!kippet->todos().first().completionTransitionDeadline);
    }

    void deletingBeforeTheDeadlineCancels() {
        AppHarness app;
        app.start();
        Kippet* kippet = kippetWithTodos(app);
        const KippetTodo todo = ticked(kippet, "a");
        app.manager().updateTodo(todo, kippet);
        app.manager().deleteTodo(todo.id, kippet);
        QCOMPARE(testClock().pendingCount(), 0);
        testClock().advance(10s);
        QCOMPARE(texts(kippet), (QStringList{"c", "b"}));

        app.restart();
        QCOMPARE(texts(app.manager().allKippets().first()), (QStringList{"c", "b"}));
    }

    void aDeadlineThatPassedWhileClosedSettlesAtStart() {
        AppHarness app;
        app.start();
        Kippet* kippet = kippetWithTodos(app);
        app.manager().updateTodo(ticked(kippet, "c"), kippet);
        app.stop(); // quit inside the 2.5 s
        testClock().advance(1min);

        app.start();
        kippet = app.manager().allKippets().first();
        testClock().advance(0ms);
        QCOMPARE(texts(kippet), (QStringList{"b", "a", "c"}));
        QVERIFY(!storedTodo(app, kippet, "c").completionTransitionDeadline);

        app.restart();
        const KippetTodo back = app.manager().allKippets().first()->todos().last();
        QCOMPARE(back.text, QStringLiteral("c"));
        QVERIFY(back.isDone);
        QVERIFY(!back.completionTransitionDeadline);
    }

    void displayOrderPutsOrderedFirstThenNewestThenGreaterId() {
        const QDateTime now = testClock().now();
        const QUuid low(QStringLiteral("{00000000-0000-0000-0000-000000000001}"));
        const QUuid high(QStringLiteral("{F0000000-0000-0000-0000-000000000001}"));
        QList<KippetTodo> todos = {
            {low, QStringLiteral("same time, low id"), false, now, std::nullopt, std::nullopt},
            {QUuid::createUuid(), QStringLiteral("order 2"), false, now, std::nullopt, 2},
            {high, QStringLiteral("same time, high id"), false, now, std::nullopt, std::nullopt},
            {QUuid::createUuid(), QStringLiteral("newest"), false, now.addSecs(1), std::nullopt,
             std::nullopt},
            {QUuid::createUuid(), QStringLiteral("order 1"), false, now, std::nullopt, 1},
        };
        KippetManager::sortTodosForDisplay(todos);
        QStringList order;
        for (const KippetTodo& todo : todos) {
            order.append(todo.text);
        }
        QCOMPARE(order, (QStringList{"order 1", "order 2", "newest", "same time, high id",
                                     "same time, low id"}));
    }

    void notesAndTheirEditorFrameComeBack() {
        AppHarness app;
        app.start();
        Kippet* kippet =
            app.manager().createKippet(QStringLiteral("K"), {}, QStringLiteral("x"), false);
        app.manager().updateNote(QStringLiteral("remember"), kippet);
        const QDateTime written = kippet->note().updatedAt;
        testClock().advance(1min);
        app.manager().updateNote(QStringLiteral("remember"), kippet);
        QCOMPARE(kippet->note().updatedAt, written);
        app.manager().updateNoteWindowFrame(kippet, 10.5, -20, 300, 240);

        app.restart();
        const KippetNote note = app.manager().allKippets().first()->note();
        QCOMPARE(note.text, QStringLiteral("remember"));
        QCOMPARE(note.updatedAt, written);
        QCOMPARE(note.windowFrame, std::optional(KippetNote::WindowFrame{10.5, -20, 300, 240}));
    }

    void aTodoOfAKippetWithoutRowStaysInMemory() {
        AppHarness app;
        app.start();
        Kippet loose(QUuid::createUuid(), QStringLiteral("demo"), {}, QStringLiteral("x"),
                     testClock().now());
        app.manager().addTodo(QStringLiteral("only here"), &loose);
        QCOMPARE(texts(&loose), QStringList{"only here"});
        QVERIFY(!app.store().fetchKippet(loose.id()));
    }
};

QTEST_MAIN(KippetManagerTodosTest)
#include "KippetManagerTodosTest.moc"
