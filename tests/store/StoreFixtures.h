#pragma once

#include "model/KippetModel.h"

#include <QDateTime>
#include <QString>

// Rows with every field set to a value other than its default, for round trips through the store.
namespace StoreFixtures {
inline QDateTime at(int seconds) {
    return QDateTime(QDate(2026, 1, 15), QTime(9, 30), Qt::UTC)
        .addMSecs(qint64(seconds) * 1000 + 123);
}

inline KippetItemModel fullItem(const QString& name, const QByteArray& content) {
    KippetItemModel item;
    item.typeRaw = QStringLiteral("image");
    item.content = content;
    item.metadataName = name;
    item.metadataFileExtension = QStringLiteral("png");
    item.metadataFileSize = 5'000'000'000LL;
    item.metadataThumbnail = QByteArray("\x89PNG\0\x01", 6);
    item.metadataUrlString = QStringLiteral("https://example.com/ä");
    item.metadataMimeType = QStringLiteral("image/png");
    item.metadataAiTitle = QStringLiteral("Title");
    item.metadataAiDescription = QStringLiteral("");
    item.metadataAiTags = QStringList{QStringLiteral("a"), QStringLiteral("b \"c\"")};
    item.categoryRaw = QStringLiteral("Waiting for Analysis");
    item.customCategory = QStringLiteral("Receipts");
    item.addedDate = at(10);
    item.isProcessing = true;
    return item;
}

inline KippetTodoModel todo(const QString& text, int seconds) {
    KippetTodoModel row;
    row.text = text;
    row.createdAt = at(seconds);
    return row;
}

inline KippetModel fullKippet(const QString& name) {
    KippetModel kippet;
    kippet.name = name;
    kippet.colorHex = QStringLiteral("12AB34");
    kippet.icon = QStringLiteral("star");
    kippet.noteText = QStringLiteral("note\nline");
    kippet.noteUpdatedAt = at(1);
    kippet.noteWindowOriginX = 1.5;
    kippet.noteWindowOriginY = -2.25;
    kippet.noteWindowWidth = 300;
    kippet.noteWindowHeight = 200;
    kippet.isExpanded = true;
    kippet.isMiniView = true;
    kippet.isTucked = true;
    kippet.positionX = 12.5;
    kippet.positionY = -40;
    kippet.createdDate = at(0);
    kippet.lastClosedDate = at(2);
    kippet.project = QStringLiteral("");
    kippet.isDailyKippet = true;
    kippet.customInstructions = QStringLiteral("sort receipts");
    kippet.sanitizedInstructions = QStringLiteral("Sort receipts.");
    kippet.items = {fullItem(QStringLiteral("one.png"), QByteArray("\0\1\2", 3)),
                    fullItem(QStringLiteral("two.png"), QByteArray())};
    KippetTodoModel done = todo(QStringLiteral("done"), 5);
    done.isDone = true;
    done.completionTransitionDeadline = at(7);
    done.order = 3;
    kippet.todos = {done, todo(QStringLiteral("open"), 4)};
    return kippet;
}
} // namespace StoreFixtures
