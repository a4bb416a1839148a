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
    if (auto row = fetchRow(kippet->id())) {
        store().addTodo(text, *row);
        kippetModelMap_.insert(row->id, *row);
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
    todos[index] = todo;
    kippet->setTodos(todos);
    if (todo.isDone) {
        scheduleCompletionTransition(todo, kippet);
    } else {
        cancelCompletionTransition(todo.id);
    }
    auto row = fetchRow(kippet->id());
    if (!row) {
        return;
    }
    KippetTodoModel* todoRow = findTodoRow(*row, todo.id);
    if (!todoRow) {
        return;
    }
    todoRow->text = todo.text;
    todoRow->isDone = todo.isDone;
    todoRow->completionTransitionDeadline = todo.completionTransitionDeadline;
    row->sortTodos();
    store().updateKippet(*row);
    kippetModelMap_.insert(row->id, *row);
}

void KippetManager::deleteTodo(QUuid todoId, Kippet* kippet) {
    QList<KippetTodo> todos = kippet->todos();
    todos.removeIf([&](const KippetTodo& todo) { return todo.id == todoId; });
    kippet->setTodos(todos);
    cancelCompletionTransition(todoId);
    auto row = fetchRow(kippet->id());
    if (!row) {
        return;
    }
    KippetTodoModel* todoRow = findTodoRow(*row, todoId);
    if (!todoRow) {
        return;
    }
    const KippetTodoModel removed = *todoRow;
    store().deleteTodo(removed, *row);
    kippetModelMap_.insert(row->id, *row);
}

void KippetManager::updateNote(QString text, Kippet* kippet) {
    KippetNote note = kippet->note();
    if (note.text == text) {
        return;
    }
    note.text = text;
    note.updatedAt = Clock::shared().now();
    kippet->setNote(note);
    if (auto row = fetchRow(kippet->id())) {
        store().updateNote(text, *row);
        kippetModelMap_.insert(row->id, *row);
    }
}

void KippetManager::updateNoteWindowFrame(Kippet* kippet, double originX, double originY,
                                          double width, double height) {
    KippetNote note = kippet->note();
    note.windowFrame = KippetNote::WindowFrame{originX, originY, width, height};
    kippet->setNote(note);
    if (auto row = fetchRow(kippet->id())) {
        store().updateNoteWindowFrame(*row, originX, originY, width, height);
        kippetModelMap_.insert(row->id, *row);
    }
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
    persistCompletionTransition(todoId, kippet->id());
}

void KippetManager::persistCompletionTransition(const QUuid& todoId, const QUuid& kippetId) {
    try {
        auto row = fetchRow(kippetId);
        if (!row) {
            return;
        }
        KippetTodoModel* todoRow = findTodoRow(*row, todoId);
        // Every start settles each done todo again; a row already settled needs no write, which
        // would rewrite every item row of the kippet.
        if (!todoRow || !todoRow->completionTransitionDeadline) {
            return;
        }
        todoRow->completionTransitionDeadline.reset();
        row->sortTodos();
        store().updateKippet(*row);
        kippetModelMap_.insert(row->id, *row);
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
