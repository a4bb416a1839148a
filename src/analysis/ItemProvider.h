#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

class QMimeData;

// The kinds of content an item provider can offer, in the order the intake tries them.
enum class ItemProviderType { image, fileURL, url, plainText };

// One dragged or pasted object, copied out of its QMimeData so that it outlives the drop event
// and the clipboard's next change. An object may offer several representations at once (an
// image dragged out of a browser is image bytes, the image's URL and that URL as text); the
// intake tries them in the order of ItemProviderType.
class ItemProvider {
public:
    static ItemProvider forLocalFile(const QString& path);
    static ItemProvider forLink(const QUrl& url);
    // Encoded image bytes as some application put them on the clipboard or into the drag.
    static ItemProvider forImageBytes(const QByteArray& bytes, const QString& mimeType);
    // A decoded image, which is encoded as PNG only when its bytes are asked for.
    static ItemProvider forImage(const QImage& image);
    static ItemProvider forText(const QString& text);

    // One provider per dragged object, as the applications of the desktop put them on a drag:
    // a file manager's n files (n URLs in text/uri-list, the same list again as text) are n
    // providers; a browser's image (image bytes, its URL, its HTML) or link (the URL, its text,
    // its HTML) is one; selected text is one.
    static QList<ItemProvider> fromMimeData(const QMimeData& data);
    // A file URL whose path could name a file: no file's name holds a control character (NUL
    // included), and such a name must not reach the MIME database, which crashes on some.
    static bool namesLocalFile(const QUrl& url);

    // Encoded bytes of a format the intake decodes (by their signature), from the first image
    // type of the data that holds such bytes, or from a browser's file of the drag
    // (application/octet-stream). Other image bytes are never looked into.
    static std::optional<QPair<QByteArray, QString>> takenImageBytes(const QMimeData& data);
    // An image decoded in this process (a QImage handed to the data directly); nothing when the
    // data offers encoded image types, which Qt would decode by asking every plugin.
    static std::optional<QImage> inProcessImage(const QMimeData& data);

    bool hasItemConformingTo(ItemProviderType type) const;
    // The MIME types this provider carries, for the logs.
    QStringList registeredTypeIdentifiers() const;

    std::optional<QString> localFilePath() const { return localFilePath_; }
    // The link, a file's own URL, or nothing for a provider that is neither.
    std::optional<QUrl> url() const { return link_ ? link_ : fileUrl_; }
    // A URL given only as bytes (a browser's URL types without text/uri-list): its first line.
    std::optional<QByteArray> urlBytes() const { return urlBytes_; }
    std::optional<QString> text() const { return text_; }
    std::optional<QByteArray> imageBytes() const { return imageBytes_; }
    std::optional<QImage> image() const { return image_; }

private:
    ItemProvider() = default;
    void takeImage(const QMimeData& data);

    std::optional<QString> localFilePath_;
    std::optional<QString> localFileMimeType_;
    std::optional<QUrl> fileUrl_;
    std::optional<QUrl> link_;
    std::optional<QByteArray> urlBytes_;
    std::optional<QByteArray> imageBytes_;
    QString imageMimeType_;
    std::optional<QImage> image_;
    std::optional<QString> text_;
};
