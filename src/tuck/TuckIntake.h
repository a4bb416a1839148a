#pragma once

#include "model/KippetItem.h"

#include <QByteArray>
#include <QCoroTask>
#include <QImage>
#include <QList>
#include <QString>
#include <QUrl>
#include <optional>

class Kippet;
class QMimeData;

// What reaches a tucked kippet through its pull tab or its tray row: drops, pastes and imported
// files become items put straight into the kippet, its item folder and the store, one after
// another, with no analysis. Nothing is shown to the user on this road: a duplicate is skipped
// quietly, any other failure is logged and leaves no trace of the item. GUI thread only.
class TuckIntake {
public:
    // Readable local files, else one image, else the other links, else one text. The drop's
    // data is copied before returning, so the event may end at once.
    static QCoro::Task<void> drop(Kippet* kippet, const QMimeData& data);
    // An image, else the copied files and web links, else the text (a link when it has a scheme
    // and a host). The data is copied before returning.
    static QCoro::Task<void> paste(Kippet* kippet, const QMimeData& data);
    static QCoro::Task<void> pasteFromClipboard(Kippet* kippet);
    // Asks FileChooser::shared() for files; a cancelled choice adds nothing.
    static QCoro::Task<void> importChosenFiles(Kippet* kippet);
    static QCoro::Task<void> importFiles(Kippet* kippet, QList<QUrl> urls);

    // Lets a task run on after an event handler returns; a failure it throws is logged.
    static void start(QCoro::Task<void> task);

    // Items as this road builds them: new id, added now, "Uncategorized", not processing.
    static KippetItem textItem(const QString& text);
    static KippetItem linkItem(const QString& absolute);
    static KippetItem imageItem(const QByteArray& pngBytes, const QString& name);
    // A file item of the regular file's bytes; nothing for a folder or an unreadable file.
    static QCoro::Task<std::optional<KippetItem>> fileItem(QString path);
    // Into the kippet, its folder and the store, all or nothing; false when it was not added.
    static bool add(const KippetItem& item, Kippet* kippet);

private:
    // An image as offered: PNG bytes kept as they are, other encoded bytes or a decoded image
    // turned into PNG off the GUI thread.
    struct OfferedImage {
        std::optional<QByteArray> png;
        std::optional<QByteArray> encoded;
        std::optional<QImage> decoded;
    };
    struct Content {
        QList<QUrl> urls;
        std::optional<OfferedImage> image;
        std::optional<QString> text;
    };

    static Content contentOf(const QMimeData& data);
    static std::optional<OfferedImage> offeredImage(const QMimeData& data);
    static QCoro::Task<std::optional<QByteArray>> pngBytes(OfferedImage image);
    static QCoro::Task<void> dropContent(Kippet* kippet, Content content);
    static QCoro::Task<void> pasteContent(Kippet* kippet, Content content);
    static QCoro::Task<void> addFiles(Kippet* kippet, QList<QUrl> urls);
};
