#include "editors/TodoEditorWindow.h"
#include "EditorTestSupport.h"
#include "editors/KippetTodoEditorView.h"
#include "editors/RoundSymbolButton.h"
#include "editors/SharedTodoRow.h"
#include "editors/TodoCheckbox.h"
#include "editors/TodoListView.h"
#include "editors/TodoLists.h"
#include "editors/TodoTextLabel.h"
#include "editors/UnsavedNotice.h"
#include "model/JsonCoding.h"
#include "model/Kippet.h"
#include "platform/Animations.h"
#include "store/KippetManager.h"
#include "store/StoreManager.h"
#include "support/AppHarness.h"
#include "support/GeometryPrinting.h"
#include "support/TestEnvironment.h"
#include "support/WindowManagerDrag.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QCursor>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QTest>
#include <chrono>

using namespace std::chrono_literals;
using EditorTest::find;

namespace {
QStringList texts(const QList<SharedTodoRow*>& rows) {
    QStringList result;
    for (const SharedTodoRow* row : rows)
        result.append(row->todo().text);
    return result;
}

QStringList storedTexts(AppHarness& app, const Kippet* kippet) {
    QStringList result;
    const std::optional<KippetModel> row = app.store().fetchKippet(kippet->id());
    for (const KippetTodoModel& todo : row->todos)
        result.append(todo.text);
    result.sort();
    return result;
}

KippetTodoModel storedTodo(AppHarness& app, const Kippet* kippet, const QUuid& id) {
    const std::optional<KippetModel> row = app.store().fetchKippet(kippet->id());
    for (const KippetTodoModel& todo : row->todos) {
        if (todo.id == id)
            return todo;
    }
    qWarning("no stored todo");
    return {};
}

// Todos added one after the other, a minute apart: the newest is listed first.
QList<QUuid> addTodos(AppHarness& app, Kippet* kippet, const QStringList& texts) {
    QList<QUuid> ids;
    for (const QString& text : texts) {
        testClock().advance(1min);
        app.manager().addTodo(text, kippet);
        for (const KippetTodo& todo : kippet->todos()) {
            if (todo.text == text)
                ids.append(todo.id);
        }
    }
    return ids;
}

QString idText(const QUuid& id) {
    return JsonCoding::encodeUuid(id);
}

void clickCentre(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}
} // namespace

class TodoEditorWindowTest : public QObject {
    Q_OBJECT
private slots:
    void opensBesideTheKippetAtEveryOpeningAndStoresNothing() {
        QCOMPARE(TodoEditorWindow::placedFrame(QPointF(0, 0)), RectD(280, 280, 400, 400));
        QCOMPARE(TodoEditorWindow::placedFrame(QPointF(100, 0)), RectD(160, 280, 400, 400));
        QCOMPARE(TodoEditorWindow::placedFrame(QPointF(0, 500)), RectD(280, 560, 400, 400));

        AppHarness app;
        app.start();
        Kippet* high = app.addKippet(QStringLiteral("High"), QPointF(0, 500));
        // Pulled down below the menu bar.
        QCOMPARE(EditorTest::open<TodoEditorWindow>(app, high)->frame(), RectD(280, 475, 400, 400));

        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"));
        auto* panel = EditorTest::open<TodoEditorWindow>(app, kippet);
        QCOMPARE(panel->frame(), RectD(280, 280, 400, 400));
        QCOMPARE(panel->minimumSize(), QSize(360, 300));
        const QPoint pressedAt = panel->mapToGlobal(QPoint(30, 8));
        EditorTest::sendMouse(panel, QEvent::MouseButtonPress, QPoint(30, 8), Qt::LeftButton);
        EditorTest::sendMouse(panel, QEvent::MouseMove,
                              panel->mapFromGlobal(pressedAt + QPoint(100, 100)), Qt::LeftButton);
        EditorTest::sendMouse(panel, QEvent::MouseButtonRelease,
                              panel->mapFromGlobal(pressedAt + QPoint(100, 100)), Qt::NoButton);
        QCOMPARE(panel->frame(), RectD(380, 180, 400, 400));
        // Nor does a move by the window manager store anything.
        app.countKippetWrites();
        WindowManagerDrag::move(panel, QPoint(-50, 40));
        testClock().advance(5s);
        AppHarness::settle();
        QCOMPARE(panel->frame(), RectD(330, 140, 400, 400));
        QCOMPARE(app.kippetWrites(), 0);
        find<QAbstractButton>(panel, QStringLiteral("CloseTodosButton"))->click();
        QCOMPARE(EditorTest::closes(app), 1);
        QVERIFY(!kippet->note().windowFrame);

        panel = EditorTest::open<TodoEditorWindow>(app, kippet);
        QCOMPARE(panel->frame(), RectD(280, 280, 400, 400));
        auto* close = find<QAbstractButton>(panel, QStringLiteral("CloseTodosButton"));
        QCOMPARE(close->toolTip(), QStringLiteral("Close Todos"));
        // The close button floats 16 in from the panel's bottom-right corner.
        const QRect circle = QRect(close->mapTo(panel, QPoint(RoundSymbolButton::shadowMargin,
                                                              RoundSymbolButton::shadowMargin)),
                                   QSize(32, 32));
        QCOMPARE(circle.bottomRight(), QPoint(400 - 16 - 1, 400 - 16 - 1));
    }

    void aTrimmedTodoIsAddedAMomentAfterReturn() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        auto* panel = EditorTest::open<TodoEditorWindow>(app, kippet);
        auto* field = find<QLineEdit>(panel, QStringLiteral("AddTodoTextField"));
        auto* button = find<QAbstractButton>(panel, QStringLiteral("AddTodoButton"));
        TodoListView* list = panel->view()->list();
        QCOMPARE(field->placeholderText(), QStringLiteral("Add a todo..."));
        QCOMPARE(button->toolTip(), QStringLiteral("Add Todo"));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(field));
        QVERIFY(list->isShowingEmptyState());
        QVERIFY(panel->findChild<QLabel*>()); // the empty state's texts
        QVERIFY(!button->isEnabled());
        auto* addButton = qobject_cast<RoundSymbolButton*>(button);
        QCOMPARE(addButton->accentColor(), kippet->color().toQColor());
        panel->updateAccentColor(QColor(255, 45, 85));
        AppHarness::settle();
        QCOMPARE(addButton->accentColor(), QColor(255, 45, 85));

        // Blank text: the button stays disabled and Return adds nothing.
        QTest::keyClicks(field, QStringLiteral("   "));
        QVERIFY(!button->isEnabled());
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(field->text(), QStringLiteral("   "));
        testClock().advance(1s);
        QVERIFY(kippet->todos().isEmpty());

        field->clear();
        QTest::keyClicks(field, QStringLiteral("  milk  "));
        QVERIFY(button->isEnabled());
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(field->text(), QString());
        QVERIFY(!button->isEnabled());
        testClock().advance(49ms);
        QVERIFY(kippet->todos().isEmpty());
        testClock().advance(1ms);
        QCOMPARE(kippet->todos().size(), 1);
        QCOMPARE(kippet->todos().first().text, QStringLiteral("milk"));
        QCOMPARE(storedTexts(app, kippet), QStringList{QStringLiteral("milk")});
        QCOMPARE(texts(list->openRows()), QStringList{QStringLiteral("milk")});
        QVERIFY(list->doneRows().isEmpty());
        QVERIFY(!list->isShowingEmptyState());

        // The button adds as Return does; the newest todo comes first.
        testClock().advance(1min);
        QTest::keyClicks(field, QStringLiteral("bread"));
        clickCentre(button);
        QCOMPARE(field->text(), QString());
        testClock().advance(50ms);
        QCOMPARE(texts(list->openRows()),
                 (QStringList{QStringLiteral("bread"), QStringLiteral("milk")}));
        // Rows are stacked top to bottom, 8 apart.
        const QRect first = list->openRows().at(0)->geometry();
        const QRect second = list->openRows().at(1)->geometry();
        QCOMPARE(second.top(), first.bottom() + 1 + 8);
    }

    // A full disk refuses every new todo and every new text of one; the panel names what is
    // not saved, keeps it through a close, and writes it once the store takes it again.
    void addsAndEditsTheStoreRefusesAreKeptShownAndWrittenLater() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        const QList<QUuid> ids = addTodos(app, kippet, {QStringLiteral("oats")});
        auto* panel = EditorTest::open<TodoEditorWindow>(app, kippet);
        auto* field = find<QLineEdit>(panel, QStringLiteral("AddTodoTextField"));
        auto* notice = find<UnsavedNotice>(panel, QStringLiteral("TodosNotSavedNotice"));
        QVERIFY(notice->isHidden());
        QVERIFY(app.fillDiskOn(QStringLiteral("full_adds BEFORE INSERT ON kippet_todos")));
        // Only new texts fail: a tick still reaches the store.
        QVERIFY(app.fillDiskOn(QStringLiteral(
            "full_texts BEFORE UPDATE ON kippet_todos WHEN NEW.text IS NOT OLD.text")));
        LogCapture log;

        QTest::keyClicks(field, QStringLiteral(" bread "));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(field->text(), QString());
        testClock().advance(50ms);
        QVERIFY(log.contains(QStringLiteral("⚠️ [TodoEditor] Could not add the todo: ")));
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->text(), QStringLiteral("“bread” is not saved: the disk is full. Kippets "
                                                "tries again every second."));
        TodoListView* list = panel->view()->list();
        QCOMPARE(texts(list->openRows()), QStringList{QStringLiteral("oats")});

        SharedTodoRow* oats = list->row(ids[0]);
        QTest::mouseDClick(find<TodoTextLabel>(panel, QStringLiteral("TodoText_") + idText(ids[0])),
                           Qt::LeftButton);
        auto* edit = oats->findChild<QLineEdit*>();
        edit->setText(QStringLiteral("oat milk"));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(notice->text(), QStringLiteral("“bread” and “oat milk” are not saved: the disk is "
                                                "full. Kippets tries again every second."));
        QCOMPARE(oats->todo().text, QStringLiteral("oats"));
        clickCentre(find<TodoCheckbox>(panel, QStringLiteral("TodoCheckbox_") + idText(ids[0])));
        QVERIFY(storedTodo(app, kippet, ids[0]).isDone);

        // A second on, the disk still full: nothing changes. Closing the panel loses nothing.
        testClock().advance(1s);
        QVERIFY(storedTexts(app, kippet) == QStringList{QStringLiteral("oats")});
        panel->close();
        AppHarness::settle();
        QVERIFY(app.failStore(QStringLiteral("DROP TRIGGER full_adds")));
        QVERIFY(app.failStore(QStringLiteral("DROP TRIGGER full_texts")));
        testClock().advance(1s);
        QCOMPARE(storedTexts(app, kippet),
                 (QStringList{QStringLiteral("bread"), QStringLiteral("oat milk")}));
        // The new text went onto the todo as it was by then: still ticked.
        QVERIFY(storedTodo(app, kippet, ids[0]).isDone);
        QVERIFY(log.contains(QStringLiteral("💾 [UnsavedEdits] Saved the todo “bread” after all")));

        panel = EditorTest::open<TodoEditorWindow>(app, kippet);
        QVERIFY(find<UnsavedNotice>(panel, QStringLiteral("TodosNotSavedNotice"))->isHidden());
        QVERIFY(panel->view()->list()->row(ids[0]));
        QCOMPARE(panel->view()->list()->row(ids[0])->todo().text, QStringLiteral("oat milk"));
    }

    // The field is cleared at Return and the todo added a moment later; a quit within that
    // moment, with the panel still open or closed at once, stores it all the same.
    void aTodoEnteredJustBeforeTheQuitIsStored() {
        AppHarness app;
        app.start();
        app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        for (const bool closeFirst : {false, true}) {
            Kippet* kippet = app.byName(QStringLiteral("Inbox"));
            auto* panel = EditorTest::open<TodoEditorWindow>(app, kippet);
            auto* field = find<QLineEdit>(panel, QStringLiteral("AddTodoTextField"));
            const QString text = closeFirst ? QStringLiteral("bread") : QStringLiteral("milk");
            QTest::keyClicks(field, text);
            QTest::keyClick(field, Qt::Key_Return);
            QCOMPARE(field->text(), QString());
            if (closeFirst) {
                find<QAbstractButton>(panel, QStringLiteral("CloseTodosButton"))->click();
                QCOMPARE(EditorTest::closes(app), 1);
            }
            LogCapture log;
            app.quit();
            app.start();
            const QStringList stored = storedTexts(app, app.byName(QStringLiteral("Inbox")));
            QVERIFY2(stored.contains(text), qPrintable(stored.join(u',')));
            QVERIFY(!log.contains(QStringLiteral("Quit without saving")));
        }
        Kippet* kippet = app.byName(QStringLiteral("Inbox"));
        QCOMPARE(storedTexts(app, kippet),
                 (QStringList{QStringLiteral("bread"), QStringLiteral("milk")}));
        // Each was stored once: the moment passing after the quit adds nothing more.
        testClock().advance(1s);
        QCOMPARE(kippet->todos().size(), 2);
    }

    // Once the store takes a new todo again, it takes the kept ones with it, without waiting
    // for the next second.
    void theNextAddWritesAKeptOneToo() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        auto* panel = EditorTest::open<TodoEditorWindow>(app, kippet);
        auto* field = find<QLineEdit>(panel, QStringLiteral("AddTodoTextField"));
        auto* notice = find<UnsavedNotice>(panel, QStringLiteral("TodosNotSavedNotice"));
        QVERIFY(app.failStore(
            QStringLiteral("CREATE TEMP TRIGGER locked BEFORE INSERT ON kippet_todos BEGIN SELECT "
                           "RAISE(ABORT, 'database is locked'); END")));
        QTest::keyClicks(field, QStringLiteral("jam"));
        QTest::keyClick(field, Qt::Key_Return);
        testClock().advance(50ms);
        QCOMPARE(notice->text(), QStringLiteral("“jam” is not saved: another program is using "
                                                "the store. Kippets tries again every second."));
        QVERIFY(app.failStore(QStringLiteral("DROP TRIGGER locked")));
        QTest::keyClicks(field, QStringLiteral("tea"));
        QTest::keyClick(field, Qt::Key_Return);
        testClock().advance(50ms);
        QCOMPARE(storedTexts(app, kippet),
                 (QStringList{QStringLiteral("jam"), QStringLiteral("tea")}));
        QVERIFY(notice->isHidden());
    }

    void aTickedTodoMovesToTheDoneListWhenItsGraceEnds() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        const QList<QUuid> ids = addTodos(
            app, kippet,
            {QStringLiteral("oldest"), QStringLiteral("middle"), QStringLiteral("newest")});
        auto* panel = EditorTest::open<TodoEditorWindow>(app, kippet);
        TodoListView* list = panel->view()->list();
        QCOMPARE(texts(list->openRows()),
                 (QStringList{QStringLiteral("newest"), QStringLiteral("middle"),
                              QStringLiteral("oldest")}));

        auto* middleBox =
            find<TodoCheckbox>(panel, QStringLiteral("TodoCheckbox_") + idText(ids[1]));
        auto* middleText = find<TodoTextLabel>(panel, QStringLiteral("TodoText_") + idText(ids[1]));
        QCOMPARE(middleBox->accessibleName(), QStringLiteral("Toggle completion for middle"));
        QAccessibleInterface* access = QAccessible::queryAccessibleInterface(middleBox);
        QVERIFY(access);
        QCOMPARE(access->text(QAccessible::Value), QStringLiteral("unchecked"));
        QCOMPARE(access->role(), QAccessible::Button);
        const QDateTime tickedAt = testClock().now();
        clickCentre(middleBox);
        // At once: the dot, the strike-through, a deadline 2.5 s ahead; still in the open list.
        QVERIFY(middleBox->isDone());
        QVERIFY(middleText->font().strikeOut());
        QCOMPARE(access->text(QAccessible::Value), QStringLiteral("checked"));
        const QDateTime deadline = tickedAt.addMSecs(2500);
        QCOMPARE(storedTodo(app, kippet, ids[1]).completionTransitionDeadline,
                 std::optional(deadline));
        QVERIFY(storedTodo(app, kippet, ids[1]).isDone);
        QCOMPARE(texts(list->openRows()).size(), 3);

        // Ticked and unticked before its time: it stays open.
        auto* newestBox =
            find<TodoCheckbox>(panel, QStringLiteral("TodoCheckbox_") + idText(ids[2]));
        clickCentre(newestBox);
        testClock().advance(1s);
        clickCentre(newestBox);
        QVERIFY(!newestBox->isDone());
        QVERIFY(!storedTodo(app, kippet, ids[2]).completionTransitionDeadline);

        testClock().advance(1499ms);
        QCOMPARE(texts(list->openRows()).size(), 3);
        testClock().advance(1ms);
        QCOMPARE(texts(list->openRows()),
                 (QStringList{QStringLiteral("newest"), QStringLiteral("oldest")}));
        QCOMPARE(texts(list->doneRows()), QStringList{QStringLiteral("middle")});
        QVERIFY(!storedTodo(app, kippet, ids[1]).completionTransitionDeadline);
        // The done row is the same widget, below the open ones.
        QCOMPARE(find<TodoCheckbox>(panel, QStringLiteral("TodoCheckbox_") + idText(ids[1])),
                 middleBox);
        QVERIFY(list->doneRows().first()->y() > list->openRows().last()->y());

        testClock().advance(3s);
        clickCentre(find<TodoCheckbox>(panel, QStringLiteral("TodoCheckbox_") + idText(ids[0])));
        testClock().advance(2500ms);
        // Both done, in display order: the newer first.
        QCOMPARE(texts(list->doneRows()),
                 (QStringList{QStringLiteral("middle"), QStringLiteral("oldest")}));

        // Unticking a done todo brings it back into the open list at once.
        clickCentre(middleBox);
        QCOMPARE(texts(list->openRows()),
                 (QStringList{QStringLiteral("newest"), QStringLiteral("middle")}));
        QVERIFY(!middleText->font().strikeOut());
    }

    // A ticked todo moves down to the done list under a pointer that stands still: its row loses
    // the hover, and the row that moved up under the pointer has it.
    void hoverFollowsThePointerWhenATickedTodoMoves() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        const QList<QUuid> ids = addTodos(
            app, kippet,
            {QStringLiteral("oldest"), QStringLiteral("middle"), QStringLiteral("newest")});
        auto* panel = EditorTest::open<TodoEditorWindow>(app, kippet);
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        TodoListView* list = panel->view()->list();
        SharedTodoRow* middle = list->openRows().at(1);
        auto* box = find<TodoCheckbox>(panel, QStringLiteral("TodoCheckbox_") + idText(ids[1]));
        const QPoint pointer = box->mapToGlobal(box->rect().center());
        QCursor::setPos(pointer);
        QTest::mouseMove(panel->windowHandle(), panel->mapFromGlobal(pointer));
        QTRY_VERIFY(middle->isHovering());

        QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
        testClock().advance(2500ms);
        QCOMPARE(list->doneRows(), QList<SharedTodoRow*>{middle});
        QVERIFY(!middle->isHovering());
        SharedTodoRow* under = nullptr;
        for (SharedTodoRow* row : list->openRows()) {
            if (QRect(row->mapToGlobal(QPoint(0, 0)), row->size()).contains(pointer))
                under = row;
        }
        QVERIFY(under);
        QCOMPARE(under->todo().text, QStringLiteral("oldest"));
        QVERIFY(under->isHovering());
    }

    void theOpenAndDoneListsSplitAtTheDeadline() {
        const QDateTime now(QDate(2026, 1, 15), QTime(9, 30), Qt::UTC);
        KippetTodo waiting{QUuid::createUuid(), QStringLiteral("waiting"), true,
                           now.addSecs(-60),    now.addMSecs(1),           std::nullopt};
        KippetTodo due{QUuid::createUuid(), QStringLiteral("due"), true, now.addSecs(-120), now,
                       std::nullopt};
        KippetTodo settled{
            QUuid::createUuid(), QStringLiteral("settled"), true, now.addSecs(-30), std::nullopt,
            std::nullopt};
        KippetTodo ordered{QUuid::createUuid(),
                           QStringLiteral("ordered"),
                           false,
                           now.addSecs(-300),
                           std::nullopt,
                           1};
        KippetTodo open{QUuid::createUuid(), QStringLiteral("open"), false,
                        now.addSecs(-10),    std::nullopt,           std::nullopt};
        const TodoLists lists = TodoLists::split({due, open, settled, waiting, ordered}, now);
        QStringList openTexts, doneTexts;
        for (const KippetTodo& todo : lists.open)
            openTexts.append(todo.text);
        for (const KippetTodo& todo : lists.done)
            doneTexts.append(todo.text);
        QCOMPARE(openTexts, (QStringList{QStringLiteral("ordered"), QStringLiteral("open"),
                                         QStringLiteral("waiting")}));
        QCOMPARE(doneTexts, (QStringList{QStringLiteral("settled"), QStringLiteral("due")}));
    }

    void onlyADoubleClickEditsAndOneRowAtATime() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        const QList<QUuid> ids =
            addTodos(app, kippet, {QStringLiteral("first"), QStringLiteral("second")});
        auto* panel = EditorTest::open<TodoEditorWindow>(app, kippet);
        TodoListView* list = panel->view()->list();
        SharedTodoRow* first = list->row(ids[0]);
        SharedTodoRow* second = list->row(ids[1]);
        auto* firstText = find<TodoTextLabel>(panel, QStringLiteral("TodoText_") + idText(ids[0]));
        auto* secondText = find<TodoTextLabel>(panel, QStringLiteral("TodoText_") + idText(ids[1]));

        QTest::mouseClick(firstText, Qt::LeftButton);
        QVERIFY(!first->isEditing());
        QTest::mouseDClick(firstText, Qt::LeftButton);
        QVERIFY(first->isEditing());
        QCOMPARE(first->editingText(), QStringLiteral("first"));
        auto* firstField = first->findChild<QLineEdit*>();
        QCOMPARE(firstField->placeholderText(), QStringLiteral("Todo text"));
        firstField->setText(QStringLiteral("unsaved"));

        // Another row's double click moves edit mode there and drops the first edit.
        QTest::mouseDClick(secondText, Qt::LeftButton);
        QVERIFY(!first->isEditing());
        QVERIFY(second->isEditing());
        QCOMPARE(list->editingTodoId(), std::optional(ids[1]));
        QCOMPARE(first->todo().text, QStringLiteral("first"));

        // An update of the todos while editing keeps the field, its text and its focus.
        auto* secondField = second->findChild<QLineEdit*>();
        secondField->setFocus();
        secondField->setText(QStringLiteral("  x  "));
        app.manager().addTodo(QStringLiteral("third"), kippet);
        QCOMPARE(list->row(ids[1]), second);
        QCOMPARE(secondField->text(), QStringLiteral("  x  "));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(secondField));

        QTest::keyClick(secondField, Qt::Key_Return);
        QVERIFY(!second->isEditing());
        QCOMPARE(second->todo().text, QStringLiteral("x"));
        QCOMPARE(storedTodo(app, kippet, ids[1]).text, QStringLiteral("x"));
        QVERIFY(!list->editingTodoId());

        // Blank text ends edit mode and keeps the old text; the save button saves as Return does.
        QTest::mouseDClick(secondText, Qt::LeftButton);
        secondField->setText(QStringLiteral("   "));
        find<QAbstractButton>(second, QStringLiteral("TodoSaveButton"))->click();
        QVERIFY(!second->isEditing());
        QCOMPARE(storedTodo(app, kippet, ids[1]).text, QStringLiteral("x"));

        QVERIFY(SharedTodoRow::saveEditedText(first->todo(), QStringLiteral("  in  between \n"),
                                              kippet));
        QCOMPARE(storedTodo(app, kippet, ids[0]).text, QStringLiteral("in  between"));
        QVERIFY(!SharedTodoRow::saveEditedText(first->todo(), QStringLiteral(" \n\t"), kippet));
        QCOMPARE(list->row(ids[0])->todo().text, QStringLiteral("in  between"));
    }

    void theContextMenuEditsAndDeletes() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        const QList<QUuid> ids =
            addTodos(app, kippet, {QStringLiteral("keep"), QStringLiteral("drop")});
        auto* panel = EditorTest::open<TodoEditorWindow>(app, kippet);
        TodoListView* list = panel->view()->list();

        const auto chooseFromMenu = [](SharedTodoRow* row, const QString& choice) {
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(30, 5),
                                    row->mapToGlobal(QPoint(30, 5)));
            QApplication::sendEvent(row, &event);
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu);
            QStringList labels;
            for (QAction* action : menu->actions())
                labels.append(action->text());
            QCOMPARE(labels, (QStringList{QStringLiteral("Edit"), QStringLiteral("Delete")}));
            // "Delete" is drawn in red, as an entry that destroys something; "Edit" is not.
            const QImage drawn = menu->grab().toImage();
            const auto redPixels = [&drawn, menu](QAction* action) {
                const QRect area = menu->actionGeometry(action).intersected(drawn.rect());
                int count = 0;
                for (int y = area.top(); y <= area.bottom(); ++y)
                    for (int x = area.left(); x <= area.right(); ++x) {
                        const QColor pixel = drawn.pixelColor(x, y);
                        count += pixel.red() >= 200 && pixel.green() < 120 && pixel.blue() < 120;
                    }
                return count;
            };
            QCOMPARE(redPixels(menu->actions()[0]), 0);
            QVERIFY(redPixels(menu->actions()[1]) >= 10);
            for (QAction* action : menu->actions()) {
                if (action->text() == choice)
                    action->trigger();
            }
            menu->close();
        };
        chooseFromMenu(list->row(ids[0]), QStringLiteral("Edit"));
        QVERIFY(list->row(ids[0])->isEditing());

        QPointer<SharedTodoRow> dropped(list->row(ids[1]));
        chooseFromMenu(dropped, QStringLiteral("Delete"));
        QCOMPARE(kippet->todos().size(), 1);
        QCOMPARE(storedTexts(app, kippet), QStringList{QStringLiteral("keep")});
        QCOMPARE(texts(list->openRows()), QStringList{QStringLiteral("keep")});
        QVERIFY(!list->row(ids[1]));
        QVERIFY(dropped && dropped->isHidden());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!dropped);
        // Deleting the todo being edited ends the edit.
        list->row(ids[0])->deleteTodo();
        QVERIFY(!list->editingTodoId());
        QVERIFY(list->isShowingEmptyState());
    }

    void aTodoWithoutTextIsStillNamedForAssistiveTechnology() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        KippetTodo blank{QUuid::createUuid(), QString(),    false,
                         testClock().now(),   std::nullopt, std::nullopt};
        kippet->setTodos({blank});
        auto* panel = EditorTest::open<TodoEditorWindow>(app, kippet);
        auto* box = find<TodoCheckbox>(panel, QStringLiteral("TodoCheckbox_") + idText(blank.id));
        QCOMPARE(box->accessibleName(), QStringLiteral("Toggle completion for "));
        QCOMPARE(QAccessible::queryAccessibleInterface(box)->text(QAccessible::Name),
                 QStringLiteral("Toggle completion for "));
        auto* text = find<TodoTextLabel>(panel, QStringLiteral("TodoText_") + idText(blank.id));
        QAccessibleInterface* textAccess = QAccessible::queryAccessibleInterface(text);
        QCOMPARE(textAccess->text(QAccessible::Description), QStringLiteral("Activates edit mode"));
        QVERIFY(textAccess->actionInterface());
        textAccess->actionInterface()->doAction(QStringLiteral("Edit"));
        QCOMPARE(panel->view()->list()->editingTodoId(), std::optional(blank.id));
    }

    void ctrlTClosesTheTodoPanelOnceAndTAloneIsText() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        auto* panel = EditorTest::open<TodoEditorWindow>(app, kippet);
        auto* field = find<QLineEdit>(panel, QStringLiteral("AddTodoTextField"));
        QTest::keyClick(field, Qt::Key_T);
        QCOMPARE(field->text(), QStringLiteral("t"));
        QTest::keyClick(field, Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(EditorTest::closes(app), 0);
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(field->selectedText(), QStringLiteral("t"));
        QTest::keyClick(field, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(EditorTest::closes(app), 1);
        QVERIFY(panel->isHidden());
        panel->close();
        QCOMPARE(EditorTest::closes(app), 1);
    }

    void theListAnimatesItsChangesUnlessAnimationsAreOff() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        const QList<QUuid> ids = addTodos(app, kippet, {QStringLiteral("first")});
        auto* panel = EditorTest::open<TodoEditorWindow>(app, kippet);
        TodoListView* list = panel->view()->list();
        QVERIFY(!list->isAnimating());
        const QRect firstPlace = list->row(ids[0])->geometry();

        Animations::setEnabled(true);
        testClock().advance(1min);
        app.manager().addTodo(QStringLiteral("second"), kippet);
        Animations::setEnabled(false);
        QVERIFY(list->isAnimating());
        // The new open row starts above the list, transparent; the old one still where it was.
        SharedTodoRow* entering = list->openRows().first();
        QCOMPARE(entering->todo().text, QStringLiteral("second"));
        QVERIFY(entering->geometry().bottom() < 0);
        auto* effect = qobject_cast<QGraphicsOpacityEffect*>(entering->graphicsEffect());
        QVERIFY(effect);
        QCOMPARE(effect->opacity(), 0.0);
        QCOMPARE(list->row(ids[0])->geometry(), firstPlace);

        // A change with animations off completes at once, also one that cut in.
        app.manager().deleteTodo(ids[0], kippet);
        QVERIFY(!list->isAnimating());
        QCOMPARE(entering->geometry().top(), firstPlace.top());
        QVERIFY(!entering->graphicsEffect());
    }
};

QTEST_MAIN(TodoEditorWindowTest)
#include "TodoEditorWindowTest.moc"
