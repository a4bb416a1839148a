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

// One piece of dropped or pasted content, copied out of its QMimeData so that it outlives the drop
// event and the clipboard's next change. A provider is a local file, a link, image data or text;
// a local image file offers both the image and the file URL kind.
class ItemProvider {
public:
    static ItemProvider forLocalFile(const QString& path);
    static ItemProvider forLink(const QUrl& url);
    // Encoded image bytes as some application put them on the clipboard or into the drag.
    static ItemProvider forImageBytes(const QByteArray& bytes, const QString& mimeType);
    // A decoded image, which is encoded as PNG only when its bytes are asked for.
    static ItemProvider forImage(const QImage& image);
    static ItemProvider forText(const QString& text);

    // One provider per URL (a local file or a link) when the data carries URLs; otherwise one for
    // image data and one for text, each when present.
    static QList<ItemProvider> fromMimeData(const QMimeData& data);

    bool hasItemConformingTo(ItemProviderType type) const;
    // The MIME types this provider carries, for the logs.
    QStringList registeredTypeIdentifiers() const;

    std::optional<QString> localFilePath() const { return localFilePath_; }
    // The link, or nothing for a provider that is not a link.
    std::optional<QUrl> url() const { return link_; }
    std::optional<QString> text() const { return text_; }
    std::optional<QByteArray> imageBytes() const { return imageBytes_; }
    std::optional<QImage> image() const { return image_; }

private:
    ItemProvider() = default;

    std::optional<QString> localFilePath_;
    std::optional<QString> localFileMimeType_;
    std::optional<QUrl> link_;
    std::optional<QByteArray> imageBytes_;
    QString imageMimeType_;
    std::optional<QImage> image_;
    std::optional<QString> text_;
};
