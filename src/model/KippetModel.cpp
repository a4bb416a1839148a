#include "model/KippetModel.h"

#include "model/Kippet.h"
#include "platform/Clock.h"

#include <algorithm>

namespace {
// The given values on a row of initial values; the dates are the caller's.
KippetModel withValues(const QUuid& id, const QString& name, const KippetColor& color,
                       const QString& icon, bool isDailyKippet) {
    KippetModel row;
    row.id = id;
    row.name = name;
    row.colorHex = color.toHex();
    row.icon = icon;
    row.isDailyKippet = isDailyKippet;
    return row;
}
} // namespace

KippetModel KippetModel::make(const QUuid& id, const QString& name, const KippetColor& color,
                              const QString& icon, bool isDailyKippet) {
    KippetModel row = withValues(id, name, color, icon, isDailyKippet);
    const QDateTime now = Clock::shared().now();
    row.noteUpdatedAt = now;
    row.createdDate = now;
    return row;
}

// Reads no clock (every date comes from the kippet), so the legacy import may convert kippets on
// worker threads.
KippetModel KippetModel::fromDomain(const Kippet& kippet) {
    KippetModel row = withValues(kippet.id(), kippet.name(), kippet.color(), kippet.icon(),
                                 kippet.isDailyKippet());
    row.isExpanded = kippet.isExpanded();
    row.isMiniView = kippet.isMiniView();
    row.isTucked = kippet.isTucked();
    row.setPosition(kippet.position());
    row.createdDate = kippet.createdDate();
    row.lastClosedDate = kippet.lastClosedDate();
    row.project = kippet.project();
    row.setNote(kippet.note());
    row.customInstructions = kippet.customInstructions();
    row.sanitizedInstructions = kippet.sanitizedInstructions();
    return row;
}

KippetModel KippetModel::fromDomainWithContents(const Kippet& kippet) {
    KippetModel row = fromDomain(kippet);
    row.items.reserve(kippet.items().size());
    for (const KippetItem& item : kippet.items())
        row.items.append(KippetItemModel::fromDomain(item));
    row.todos.reserve(kippet.todos().size());
    for (const KippetTodo& todo : kippet.todos())
        row.todos.append(KippetTodoModel::fromDomain(todo));
    return row;
}

KippetColor KippetModel::color() const {
    return KippetColor::fromHex(colorHex).value_or(KippetColor::standardBlue());
}

QPointF KippetModel::position() const {
    return {positionX, positionY};
}

void KippetModel::setPosition(const QPointF& point) {
    positionX = point.x();
    positionY = point.y();
}

KippetNote KippetModel::note() const {
    KippetNote note;
    note.text = noteText;
    note.updatedAt = noteUpdatedAt;
    if (noteWindowOriginX && noteWindowOriginY && noteWindowWidth && noteWindowHeight)
        note.windowFrame = KippetNote::WindowFrame{*noteWindowOriginX, *noteWindowOriginY,
                                                   *noteWindowWidth, *noteWindowHeight};
    return note;
}

void KippetModel::setNote(const KippetNote& note) {
    noteText = note.text;
    noteUpdatedAt = note.updatedAt;
    if (note.windowFrame) {
        noteWindowOriginX = note.windowFrame->originX;
        noteWindowOriginY = note.windowFrame->originY;
        noteWindowWidth = note.windowFrame->width;
        noteWindowHeight = note.windowFrame->height;
    } else {
        noteWindowOriginX.reset();
        noteWindowOriginY.reset();
        noteWindowWidth.reset();
        noteWindowHeight.reset();
    }
}

void KippetModel::sortTodos() {
    std::stable_sort(todos.begin(), todos.end(), &KippetTodoModel::comesBefore);
}

void KippetModel::removeItem(const KippetItemModel& item) {
    items.removeIf([&](const KippetItemModel& row) { return row.id == item.id; });
}
