#pragma once

#include "model/KippetItem.h"

#include <QCoroTask>
#include <QString>
#include <QUrl>
#include <optional>

// Builds the new items every intake hands to the add step: a fresh id, added now, uncategorized,
// processing, and no analysis fields yet.
class ItemBuilders {
public:
    static KippetItem newItem(KippetItemType type, const QByteArray& content,
                              const ItemMetadata& metadata);

    // Named by the host without a leading "www." label, or by the whole URL when it has no host.
    static KippetItem createLinkItem(const QUrl& url);
    // Named by the first 50 characters, with "..." when there are more.
    static KippetItem createTextItem(const QString& text);
    // An image item for an image file, else a file item. Throws IntakeError: fileReadFailed for a
    // file that cannot be read, itemTooLarge for one no stored value can hold.
    static QCoro::Task<KippetItem> createFileItem(QString path);
    // The same on the calling thread, with no added date yet: the caller sets it when the item's
    // turn comes. Any thread.
    static KippetItem readFileItem(const QString& path);

    // The link a dropped or pasted text stands for: trimmed, an http, https, ftp or ftps URL with
    // a host. Nothing otherwise.
    static std::optional<QUrl> linkFromText(const QString& text);
    // The current time as names show it, "yyyy-MM-dd HH.mm.ss" in local time.
    static QString timestamp();

private:
    static KippetItem undatedItem(KippetItemType type, const QByteArray& content,
                                  const ItemMetadata& metadata);
    static KippetItem fileItem(const QString& path, std::optional<qint64> size,
                               const QByteArray& bytes);
};
