#pragma once

#include "model/KippetColor.h"
#include "model/KippetItemModel.h"
#include "model/KippetNote.h"
#include "model/KippetTodoModel.h"

#include <QDateTime>
#include <QList>
#include <QPointF>
#include <QString>
#include <QUuid>
#include <optional>

class Kippet;

// The stored form of one kippet, with the item and todo rows it owns (items in the order they
// were added, todos in their stored order). `rowId` is the SQLite row (0: not stored yet); `id` is
// not unique in the store, the manager removes duplicates when it loads.
struct KippetModel {
    // A new row gets a fresh id.
    KippetModel() = default;
    // A row read back from the store: making a random id only to overwrite it cost a start
    // over thousands of rows a noticeable share of its time.
    explicit KippetModel(const QUuid& storedId) : id(storedId) {}

    qint64 rowId = 0;
    QUuid id = QUuid::createUuid();
    QString name;
    QString colorHex = QStringLiteral("0000FF");
    QString icon = QStringLiteral("tray.fill");
    QList<KippetItemModel> items;
    QList<KippetTodoModel> todos;
    QString noteText;
    QDateTime noteUpdatedAt;
    std::optional<double> noteWindowOriginX;
    std::optional<double> noteWindowOriginY;
    std::optional<double> noteWindowWidth;
    std::optional<double> noteWindowHeight;
    bool isExpanded = false;
    bool isMiniView = false;
    bool isTucked = false;
    double positionX = 0;
    double positionY = 0;
    QDateTime createdDate;
    std::optional<QDateTime> lastClosedDate;
    std::optional<QString> project;
    bool isDailyKippet = false;
    std::optional<QString> customInstructions;
    std::optional<QString> sanitizedInstructions;
    // Never stored: a row read from the store always has it false.
    bool isDemoMode = false;

    bool operator==(const KippetModel&) const = default;

    // A new row: the given values, noteUpdatedAt and createdDate now (Clock::shared()).
    static KippetModel make(const QUuid& id, const QString& name, const KippetColor& color,
                            const QString& icon, bool isDailyKippet);
    // Every field of the kippet except items, todos and the demo flag (empty lists come back).
    static KippetModel fromDomain(const Kippet& kippet);
    // fromDomain() plus an item row per item and a todo row per todo, in the kippet's order.
    static KippetModel fromDomainWithContents(const Kippet& kippet);

    // The parsed colorHex; the standard blue when it does not parse.
    KippetColor color() const;
    QPointF position() const;
    void setPosition(const QPointF& point);
    // The window frame only when all four stored values are present.
    KippetNote note() const;
    // A note without a frame clears all four frame values.
    void setNote(const KippetNote& note);
    // Sorts `todos` by KippetTodoModel::comesBefore.
    void sortTodos();
    // Drops every item row with the given row's id, keeping the order of the others.
    void removeItem(const KippetItemModel& item);
};
