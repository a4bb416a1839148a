#include "analysis/ItemProvider.h"

#include "analysis/ContentTypes.h"
#include "analysis/ImageDecoder.h"

#include <QMimeData>
#include <QStringDecoder>

ItemProvider ItemProvider::forLocalFile(const QString& path) {
    ItemProvider provider;
    provider.localFilePath_ = path;
    provider.localFileMimeType_ = ContentTypes::mimeTypeForFile(path);
    provider.fileUrl_ = QUrl::fromLocalFile(path);
    return provider;
}

ItemProvider ItemProvider::forLink(const QUrl& url) {
    ItemProvider provider;
    provider.link_ = url;
    return provider;
}

ItemProvider ItemProvider::forImageBytes(const QByteArray& bytes, const QString& mimeType) {
    ItemProvider provider;
    provider.imageBytes_ = bytes;
    provider.imageMimeType_ = mimeType;
    return provider;
}

ItemProvider ItemProvider::forImage(const QImage& image) {
    ItemProvider provider;
    provider.image_ = image;
    provider.imageMimeType_ = QStringLiteral("application/x-qt-image");
    return provider;
}

ItemProvider ItemProvider::forText(const QString& text) {
    ItemProvider provider;
    provider.text_ = text;
    return provider;
}

namespace {
const QString octetStream = QStringLiteral("application/octet-stream");

QByteArray firstLine(const QByteArray& bytes) {
    const qsizetype end = bytes.indexOf('\n');
    return (end < 0 ? bytes : bytes.left(end)).trimmed();
}

// A URL the data carries only as bytes: the browsers' own URL types ("url\ntitle", Firefox's in
// UTF-16), or a text/uri-list that Qt could not read as URLs.
std::optional<QByteArray> urlOnlyAsBytes(const QMimeData& data) {
    if (data.hasFormat(QStringLiteral("text/x-moz-url"))) {
        QStringDecoder utf16(QStringDecoder::Utf16LE);
        const QString text = utf16.decode(data.data(QStringLiteral("text/x-moz-url")));
        if (const QByteArray line = firstLine(text.toUtf8()); !line.isEmpty())
            return line;
    }
    for (const QString& format : {QStringLiteral("_NETSCAPE_URL"), QStringLiteral("text/uri-list"),
                                  QStringLiteral("application/x-kde4-urilist")}) {
        if (!data.hasFormat(format))
            continue;
        if (const QByteArray line = firstLine(data.data(format)); !line.isEmpty())
            return line;
    }
    return std::nullopt;
}
} // namespace

std::optional<QPair<QByteArray, QString>> ItemProvider::takenImageBytes(const QMimeData& data) {
    for (const QString& format : data.formats()) {
        if (!ContentTypes::isImageMimeType(format) && format != octetStream)
            continue;
        const QByteArray bytes = data.data(format);
        if (ImageDecoder::formatOf(bytes))
            return QPair<QByteArray, QString>(bytes, format);
    }
    return std::nullopt;
}

std::optional<QImage> ItemProvider::inProcessImage(const QMimeData& data) {
    for (const QString& format : data.formats())
        if (ContentTypes::isImageMimeType(format))
            return std::nullopt;
    if (!data.hasImage())
        return std::nullopt;
    const QImage image = qvariant_cast<QImage>(data.imageData());
    if (image.isNull())
        return std::nullopt;
    return image;
}

void ItemProvider::takeImage(const QMimeData& data) {
    if (const auto bytes = takenImageBytes(data)) {
        imageBytes_ = bytes->first;
        imageMimeType_ = bytes->second;
    } else if (const auto image = inProcessImage(data)) {
        image_ = *image;
        imageMimeType_ = QStringLiteral("application/x-qt-image");
    }
}

QList<ItemProvider> ItemProvider::fromMimeData(const QMimeData& data) {
    const QList<QUrl> urls = data.hasUrls() ? data.urls() : QList<QUrl>();
    if (urls.size() > 1) {
        // Several dragged files or links: the text and any image the data also offers only
        // describe that list again.
        QList<ItemProvider> providers;
        for (const QUrl& url : urls)
            providers.append(namesLocalFile(url) ? forLocalFile(url.toLocalFile()) : forLink(url));
        return providers;
    }
    ItemProvider provider;
    if (urls.size() == 1) {
        const QUrl& url = urls.first();
        // A file from the file manager is its file; its URL as text is no second thing to keep.
        if (namesLocalFile(url))
            provider = forLocalFile(url.toLocalFile());
        else
            provider = forLink(url);
    } else {
        provider.urlBytes_ = urlOnlyAsBytes(data);
    }
    provider.takeImage(data);
    if (!provider.localFilePath_ && data.hasText())
        provider.text_ = data.text();
    if (!provider.localFilePath_ && !provider.link_ && !provider.urlBytes_ &&
        !provider.imageBytes_ && !provider.image_ && !provider.text_)
        return {};
    return {provider};
}

bool ItemProvider::namesLocalFile(const QUrl& url) {
    return url.isLocalFile() && !ContentTypes::hasControlCharacters(url.toLocalFile());
}

bool ItemProvider::hasItemConformingTo(ItemProviderType type) const {
    switch (type) {
    case ItemProviderType::image:
        return imageBytes_ || image_ ||
               (localFileMimeType_ && ContentTypes::isImageMimeType(*localFileMimeType_));
    case ItemProviderType::fileURL:
        return localFilePath_.has_value();
    case ItemProviderType::url:
        // A file's URL is a URL too: a file that cannot be read (a folder, say) falls through
        // to its link.
        return link_.has_value() || urlBytes_.has_value() || fileUrl_.has_value();
    case ItemProviderType::plainText:
        return text_.has_value();
    }
    return false;
}

QStringList ItemProvider::registeredTypeIdentifiers() const {
    QStringList types;
    if (localFilePath_) {
        if (localFileMimeType_)
            types.append(*localFileMimeType_);
        types.append(QStringLiteral("text/uri-list"));
    }
    if (link_ || urlBytes_)
        types.append(QStringLiteral("text/uri-list"));
    if (imageBytes_ || image_)
        types.append(imageMimeType_);
    if (text_)
        types.append(QStringLiteral("text/plain"));
    return types;
}
