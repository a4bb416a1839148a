#include "store/KippetManager.h"

#include "platform/KippetsError.h"
#include "platform/Log.h"
#include "store/StoreManager.h"

#include <algorithm>
#include <chrono>

namespace {
bool displayedBefore(const KippetTodo& a, const KippetTodo& b) {
    if (a.order && b.order) {
        return *a.order < *b.order;
    }
    if (a.order || b.order) {
        return a.order.has_value();
    }
    if (a.createdAt != b.createdAt) {
        return a.createdAt > b.createdAt;
    }
    return ItemStorage::idText(a.id) > ItemStorage::idText(b.id);
}

int indexOfTodo(const QList<KippetTodo>& todos, const QUuid& id) {
    for (int i = 0; i < todos.size(); ++i) {
        if (todos[i].id == id) {
            return i;
        }
    }
    return -1;
}

KippetTodoModel* findTodoRow(KippetModel& row, const QUuid& id) {
    for (KippetTodoModel& todo : row.todos) {
        if (todo.id == id) {
            return &todo;
        }
    }
    return nullptr;
}
} // namespace

void KippetManager::sortTodosForDisplay(QList<KippetTodo>& todos) {
    std::stable_sort(todos.begin(), todos.end(), displayedBefore);
}

void KippetManager::addTodo(const QString& text, Kippet* kippet) {
    if (KippetModel* row = storedRow(kippet)) {
        store().addTodo(text, *row);
        QList<KippetTodo> todos;
        for (const KippetTodoModel& todo : row->todos) {
            todos.append(todo.toDomain());
        }
        sortTodosForDisplay(todos);
        kippet->setTodos(todos);
        return;
    }
    KippetTodo todo;
    todo.id = QUuid::createUuid();
    todo.text = text;
    todo.createdAt = Clock::shared().now();
    QList<KippetTodo> todos = kippet->todos();
    todos.prepend(todo);
    sortTodosForDisplay(todos);
    kippet->setTodos(todos);
}

void KippetManager::updateTodo(KippetTodo todo, Kippet* kippet) {
    QList<KippetTodo> todos = kippet->todos();
    const int index = indexOfTodo(todos, todo.id);
    if (index < 0) {
        return;
    }
    if (KippetModel* row = storedRow(kippet)) {
        if (const KippetTodoModel* todoRow = findTodoRow(*row, todo.id)) {
            KippetTodoModel changed = *todoRow;
            changed.text = todo.text;
            changed.isDone = todo.isDone;
            changed.completionTransitionDeadline = todo.completionTransitionDeadline;
            store().updateTodo(changed, *row);
        }
    }
    todos[index] = todo;
    kippet->setTodos(todos);
    if (todo.isDone) {
        scheduleCompletionTransition(todo, kippet);
    } else {
        cancelCompletionTransition(todo.id);
    }
}

void KippetManager::deleteTodo(QUuid todoId, Kippet* kippet) {
    if (KippetModel* row = storedRow(kippet)) {
        if (const KippetTodoModel* todoRow = findTodoRow(*row, todoId)) {
            const KippetTodoModel removed = *todoRow;
            store().deleteTodo(removed, *row);
        }
    }
    QList<KippetTodo> todos = kippet->todos();
    todos.removeIf([&](const KippetTodo& todo) { return todo.id == todoId; });
    kippet->setTodos(todos);
    cancelCompletionTransition(todoId);
}

void KippetManager::updateNote(QString text, Kippet* kippet) {
    KippetNote note = kippet->note();
    if (note.text == text) {
        return;
    }
    note.text = text;
    note.updatedAt = Clock::shared().now();
    if (KippetModel* row = storedRow(kippet)) {
        store().updateNote(text, *row);
        note.updatedAt = row->noteUpdatedAt;
    }
    kippet->setNote(note);
}

void KippetManager::updateNoteWindowFrame(Kippet* kippet, double originX, double originY,
                                          double width, double height) {
    if (KippetModel* row = storedRow(kippet)) {
        store().updateNoteWindowFrame(*row, originX, originY, width, height);
    }
    KippetNote note = kippet->note();
    note.windowFrame = KippetNote::WindowFrame{originX, originY, width, height};
    kippet->setNote(note);
}

// MARK: completion transition

void KippetManager::restoreCompletionTransitions() {
    QSet<QUuid> visited;
    for (const QList<Kippet*>* list : {&activeKippets_, &allKippets_}) {
        for (Kippet* kippet : *list) {
            if (visited.contains(kippet->id())) {
                continue;
            }
            visited.insert(kippet->id());
            const QList<KippetTodo> todos = kippet->todos();
            for (const KippetTodo& todo : todos) {
                if (todo.isDone) {
                    scheduleCompletionTransition(todo, kippet);
                }
            }
        }
    }
}

void KippetManager::scheduleCompletionTransition(const KippetTodo& todo, Kippet* kippet) {
    cancelCompletionTransition(todo.id);
    if (!todo.completionTransitionDeadline) {
        applyCompletionTransition(todo.id, kippet);
        return;
    }
    const qint64 remaining = Clock::shared().now().msecsTo(*todo.completionTransitionDeadline);
    const QUuid todoId = todo.id;
    auto apply = [this, todoId, target = QPointer<Kippet>(kippet)] {
        if (target) {
            applyCompletionTransition(todoId, target);
        } else {
            // The kippet was deleted meanwhile: forget its work item.
            cancelCompletionTransition(todoId);
        }
    };
    if (remaining <= 0) {
        Clock::shared().schedule(std::chrono::milliseconds(0), this, apply);
        return;
    }
    completionTransitionWorkItems_.insert(
        todoId, Clock::shared().schedule(std::chrono::milliseconds(remaining), this, apply));
}

void KippetManager::applyCompletionTransition(const QUuid& todoId, Kippet* kippet) {
    cancelCompletionTransition(todoId);
    QList<KippetTodo> todos = kippet->todos();
    const int index = indexOfTodo(todos, todoId);
    if (index < 0 || !todos[index].isDone) {
        return;
    }
    KippetTodo entry = todos[index];
    if (entry.completionTransitionDeadline &&
        *entry.completionTransitionDeadline > Clock::shared().now()) {
        scheduleCompletionTransition(entry, kippet);
        return;
    }
    entry.completionTransitionDeadline.reset();
    todos.removeAt(index);
    todos.append(entry);
    kippet->setTodos(todos);
    persistCompletionTransition(todoId, kippet);
}

void KippetManager::persistCompletionTransition(const QUuid& todoId, Kippet* kippet) {
    try {
        KippetModel* row = storedRow(kippet);
        if (!row) {
            return;
        }
        const KippetTodoModel* todoRow = findTodoRow(*row, todoId);
        // Every start settles each done todo again; a row already settled needs no write.
        if (!todoRow || !todoRow->completionTransitionDeadline) {
            return;
        }
        KippetTodoModel settled = *todoRow;
        settled.completionTransitionDeadline.reset();
        store().updateTodo(settled, *row);
    } catch (const KippetsError& error) {
        Log::line(QStringLiteral("Failed to update todo transition in the store: ") +
                  error.errorDescription());
    }
}

void KippetManager::cancelCompletionTransition(const QUuid& todoId) {
    auto found = completionTransitionWorkItems_.find(todoId);
    if (found == completionTransitionWorkItems_.end()) {
        return;
    }
    found.value().cancel();
    completionTransitionWorkItems_.erase(found);
}
