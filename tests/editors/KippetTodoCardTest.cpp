#include "editors/KippetTodoCard.h"
#include "editors/EditorTestSupport.h"
#include "editors/SharedTodoRow.h"
#include "editors/TodoListView.h"
#include "model/Kippet.h"
#include "platform/Clock.h"
#include "store/KippetManager.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"
#include "window/ExpandedKippetLayout.h"
#include "window/FloatingKippetView.h"
#include "window/ItemsArea.h"
#include "window/PanelDriver.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

using namespace PanelDriver;
using namespace std::chrono_literals;

// The todo card in a real expanded window under the test clock: its count, its open and done
// parts (a ticked todo keeps its place until its deadline), display order, and todos added in
// the editor panel.
namespace {
KippetTodoCard* todoCardOf(AppHarness& app, Kippet* kippet) {
    FloatingKippetWindow* window = showActive(app, kippet);
    if (!kippet->isExpanded())
        window->toggleExpanded();
    AppHarness::settle();
    auto* layout = qobject_cast<ExpandedKippetLayout*>(viewOf(window)->currentLayout());
    return layout->itemsArea()->findChild<KippetTodoCard*>();
}

QStringList textsOf(const QList<SharedTodoRow*>& rows) {
    QStringList texts;
    for (const SharedTodoRow* row : rows)
        texts.append(row->todo().text);
    return texts;
}

KippetTodo todoWith(const QString& text, bool done, const QDateTime& created,
                    std::optional<int> order = std::nullopt) {
    KippetTodo todo;
    todo.id = QUuid::createUuid();
    todo.text = text;
    todo.isDone = done;
    todo.createdAt = created;
    todo.order = order;
    return todo;
}
} // namespace

class KippetTodoCardTest : public QObject {
    Q_OBJECT
private slots:
    void init() { TestEnvironment::resetPreferences(); }

    void withoutTodosThePlusButtonOpensTheEditor() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        KippetTodoCard* card = todoCardOf(app, kippet);
        QVERIFY(card && card->isVisible());
        QCOMPARE(card->findChild<QLabel*>(QStringLiteral("TodoCardTitle"))->text(),
                 QStringLiteral("Todos"));
        QCOMPARE(card->countText(), QString());
        auto* empty = card->findChild<QLabel*>(QStringLiteral("TodoCardEmpty"));
        QVERIFY(empty->isVisible());
        QCOMPARE(empty->text(), QStringLiteral("No todos yet. Click + to add one."));
        QCOMPARE(card->addButton()->toolTip(), QStringLiteral("Add Todo"));

        QTest::mouseClick(card->addButton(), Qt::LeftButton);
        AppHarness::settle();
        FloatingKippetWindow* window = app.windowOf(QStringLiteral("Inbox"));
        TodoEditorWindow* editor = window->todoWindow();
        QVERIFY(editor);

        // A todo added in the editor appears on the card.
        auto* field = editor->findChild<QLineEdit*>(QStringLiteral("AddTodoTextField"));
        QTest::keyClicks(field, QStringLiteral("bread"));
        QTest::keyClick(field, Qt::Key_Return);
        testClock().advance(50ms);
        AppHarness::settle();
        QTRY_COMPARE(textsOf(card->list()->openRows()), QStringList({QStringLiteral("bread")}));
        QCOMPARE(card->countText(), QStringLiteral("1/1"));
        QVERIFY(!empty->isVisible());
    }

    void aTickWaitsForItsDeadlineAndAnUntickReturnsAtOnce() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        for (const char* text : {"a", "b", "c"}) {
            app.manager().addTodo(QString::fromLatin1(text), kippet);
            testClock().advance(1s);
        }
        const QList<KippetTodo> added = kippet->todos();
        for (KippetTodo todo : added) {
            todo.isDone = true;
            app.manager().updateTodo(todo, kippet);
        }
        KippetTodoCard* card = todoCardOf(app, kippet);
        QCOMPARE(card->countText(), QStringLiteral("0/3"));
        QCOMPARE(card->list()->doneRows().size(), 3);
        QVERIFY(card->list()->openRows().isEmpty());

        app.manager().addTodo(QStringLiteral("d"), kippet);
        AppHarness::settle();
        QCOMPARE(card->countText(), QStringLiteral("1/4"));
        SharedTodoRow* d = card->list()->openRows().first();
        d->toggleCompletion();
        AppHarness::settle();
        QCOMPARE(card->countText(), QStringLiteral("1/4"));
        QCOMPARE(textsOf(card->list()->openRows()), QStringList({QStringLiteral("d")}));
        testClock().advance(2600ms);
        AppHarness::settle();
        QCOMPARE(card->countText(), QStringLiteral("0/4"));
        QVERIFY(card->list()->openRows().isEmpty());
        QVERIFY(textsOf(card->list()->doneRows()).contains(QStringLiteral("d")));

        card->list()->doneRows().last()->toggleCompletion();
        AppHarness::settle();
        QCOMPARE(card->countText(), QStringLiteral("1/4"));
        QCOMPARE(card->list()->openRows().size(), 1);
    }

    void orderedTodosComeFirstThenTheNewest() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        const QDateTime now = testClock().now();
        QList<KippetTodo> todos = {todoWith(QStringLiteral("old"), false, now.addSecs(-300)),
                                   todoWith(QStringLiteral("second"), false, now.addSecs(-600), 2),
                                   todoWith(QStringLiteral("new"), false, now.addSecs(-5)),
                                   todoWith(QStringLiteral("first"), false, now.addSecs(-900), 1)};
        for (int i = 0; i < 46; ++i)
            todos.append(todoWith(QStringLiteral("done %1").arg(i), true, now.addSecs(-1000 - i)));
        kippet->setTodos(todos);
        KippetTodoCard* card = todoCardOf(app, kippet);
        QCOMPARE(textsOf(card->list()->openRows()),
                 QStringList({QStringLiteral("first"), QStringLiteral("second"),
                              QStringLiteral("new"), QStringLiteral("old")}));
        // Fifty todos, fifty rows: the card grows, the window scrolls.
        QCOMPARE(card->list()->openRows().size() + card->list()->doneRows().size(), 50);
        QCOMPARE(card->countText(), QStringLiteral("4/50"));
        QVERIFY(card->height() > 50 * 20);
    }
};

QTEST_MAIN(KippetTodoCardTest)
#include "KippetTodoCardTest.moc"
