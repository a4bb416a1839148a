#include "editors/TodoLists.h"

#include "store/KippetManager.h"

TodoLists TodoLists::split(QList<KippetTodo> todos, const QDateTime& now) {
    // The manager appends a settled todo at the end; every list sorts its own copy.
    KippetManager::sortTodosForDisplay(todos);
    TodoLists lists;
    for (KippetTodo& todo : todos) {
        const bool waiting =
            todo.completionTransitionDeadline && *todo.completionTransitionDeadline > now;
        if (!todo.isDone || waiting)
            lists.open.append(std::move(todo));
        else
            lists.done.append(std::move(todo));
    }
    return lists;
}
