#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUuid>
#include <optional>

struct KippetTodo {
    QUuid id;
    QString text;
    bool isDone = false;
    QDateTime createdAt;
    // Until when a ticked todo stays in the open list.
    std::optional<QDateTime> completionTransitionDeadline;
    // The todo's place in a manual order.
    std::optional<int> order;

    bool operator==(const KippetTodo&) const = default;

    QJsonObject toJson() const;
    static KippetTodo fromJson(const QJsonObject& object); // throws JsonDecodingError
};
