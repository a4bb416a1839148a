#pragma once

#include "model/KippetColor.h"
#include "model/KippetItem.h"
#include "model/KippetNote.h"
#include "model/KippetTodo.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QUuid>
#include <memory>
#include <optional>

// One kippet in memory: GUI thread only, owned by KippetManager. Every setter stores the value
// and emits the field's signal only when the value differs from the one held.
class Kippet : public QObject {
    Q_OBJECT
public:
    Kippet(QUuid id, QString name, KippetColor color, QString icon, QDateTime createdDate,
           QObject* parent = nullptr);

    QUuid id() const { return id_; }
    QDateTime createdDate() const { return createdDate_; }

    QString name() const { return name_; }
    KippetColor color() const { return color_; }
    QString icon() const { return icon_; }
    const QList<KippetItem>& items() const { return items_; }
    KippetNote note() const { return note_; }
    const QList<KippetTodo>& todos() const { return todos_; }
    bool isExpanded() const { return isExpanded_; }
    bool isMiniView() const { return isMiniView_; }
    bool isTucked() const { return isTucked_; }
    // The window origin, bottom-left based with y growing upward.
    QPointF position() const { return position_; }
    std::optional<QDateTime> lastClosedDate() const { return lastClosedDate_; }
    std::optional<QString> project() const { return project_; }
    bool isDemoMode() const { return isDemoMode_; }
    bool isDailyKippet() const { return isDailyKippet_; }
    std::optional<QString> customInstructions() const { return customInstructions_; }
    std::optional<QString> sanitizedInstructions() const { return sanitizedInstructions_; }

    void setName(const QString& value);
    void setColor(const KippetColor& value);
    void setIcon(const QString& value);
    void setItems(const QList<KippetItem>& value);
    void setNote(const KippetNote& value);
    void setTodos(const QList<KippetTodo>& value);
    void setIsExpanded(bool value);
    void setIsMiniView(bool value);
    void setIsTucked(bool value);
    void setPosition(const QPointF& value);
    void setLastClosedDate(const std::optional<QDateTime>& value);
    void setProject(const std::optional<QString>& value);
    void setIsDemoMode(bool value);
    void setIsDailyKippet(bool value);
    void setCustomInstructions(const std::optional<QString>& value);
    void setSanitizedInstructions(const std::optional<QString>& value);

    // Items, plus one for a non-empty todo list, plus one for a note with text.
    int totalItemCount() const;
    // Appends the item; throws KippetError(duplicateItem) for an item with the same content
    // bytes and the same name, leaving the list untouched and notifying nobody.
    void addItem(const KippetItem& item);
    // Removes every item with the id; notifies even when none matched.
    void removeItem(const QUuid& itemId);
    // The first item with the id.
    std::optional<KippetItem> item(const QUuid& itemId) const;
    // Puts the item in the place of the first one with its id; notifies only when that one
    // changed. False when no item has the id. Comparing one item rather than the whole list
    // keeps analysing a large kippet linear.
    bool replaceItem(const KippetItem& item);

    QJsonObject toJson() const;
    // Throws JsonDecodingError; `now` dates the empty note of a kippet without one.
    static std::unique_ptr<Kippet> fromJson(const QJsonObject& object, const QDateTime& now);

signals:
    void nameChanged();
    void colorChanged();
    void iconChanged();
    void itemsChanged();
    void noteChanged();
    void todosChanged();
    void isExpandedChanged();
    void isMiniViewChanged();
    void isTuckedChanged();
    void positionChanged();
    void lastClosedDateChanged();
    void projectChanged();
    void isDemoModeChanged();
    void isDailyKippetChanged();
    void customInstructionsChanged();
    void sanitizedInstructionsChanged();

private:
    const QUuid id_;
    const QDateTime createdDate_;
    QString name_;
    KippetColor color_;
    QString icon_;
    QList<KippetItem> items_;
    KippetNote note_;
    QList<KippetTodo> todos_;
    bool isExpanded_ = false;
    bool isMiniView_ = false;
    bool isTucked_ = false;
    QPointF position_;
    std::optional<QDateTime> lastClosedDate_;
    std::optional<QString> project_;
    bool isDemoMode_ = false;
    bool isDailyKippet_ = false;
    std::optional<QString> customInstructions_;
    std::optional<QString> sanitizedInstructions_;
};
