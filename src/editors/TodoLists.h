#pragma once

#include "model/KippetTodo.h"

#include <QDateTime>
#include <QList>

// A kippet's todos as every todo list shows them, both parts in display order. A ticked todo
// whose completion deadline lies later than `now` is still open; one whose deadline has come
// (equal counts) or that has none is done. Every todo lands in exactly one part.
struct TodoLists {
    QList<KippetTodo> open;
    QList<KippetTodo> done;

    static TodoLists split(QList<KippetTodo> todos, const QDateTime& now);
};
