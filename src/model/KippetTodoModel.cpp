#include "model/KippetTodoModel.h"
#include "model/JsonCoding.h"

KippetTodoModel KippetTodoModel::fromDomain(const KippetTodo& todo) {
    KippetTodoModel row;
    row.id = todo.id;
    row.text = todo.text;
    row.isDone = todo.isDone;
    row.createdAt = todo.createdAt;
    row.completionTransitionDeadline = todo.completionTransitionDeadline;
    row.order = todo.order;
    return row;
}

KippetTodo KippetTodoModel::toDomain() const {
    KippetTodo todo;
    todo.id = id;
    todo.text = text;
    todo.isDone = isDone;
    todo.createdAt = createdAt;
    todo.completionTransitionDeadline = completionTransitionDeadline;
    todo.order = order;
    return todo;
}

bool KippetTodoModel::comesBefore(const KippetTodoModel& a, const KippetTodoModel& b) {
    if (a.createdAt != b.createdAt)
        return a.createdAt > b.createdAt;
    const QString aText = JsonCoding::encodeUuid(a.id);
    const QString bText = JsonCoding::encodeUuid(b.id);
    return aText > bText;
}
