#pragma once

#include "model/KippetTodo.h"

#include <QDateTime>
#include <QString>
#include <QUuid>
#include <optional>

// The stored form of one todo. `rowId` as in KippetItemModel.
struct KippetTodoModel {
    // A new row gets a fresh id.
    KippetTodoModel() = default;
    // A row read back from the store: making a random id only to overwrite it cost a start
    // over thousands of rows a noticeable share of its time.
    explicit KippetTodoModel(const QUuid& storedId) : id(storedId) {}

    qint64 rowId = 0;
    QUuid id = QUuid::createUuid();
    QString text;
    bool isDone = false;
    QDateTime createdAt;
    std::optional<QDateTime> completionTransitionDeadline;
    std::optional<int> order;

    bool operator==(const KippetTodoModel&) const = default;

    static KippetTodoModel fromDomain(const KippetTodo& todo);
    KippetTodo toDomain() const;

    // The stored order of a kippet's todos: newest createdAt first, then the greater id text.
    static bool comesBefore(const KippetTodoModel& a, const KippetTodoModel& b);
};
