#include "analysis/ItemProvider.h"

#include "analysis/ContentTypes.h"

#include <QMimeData>

ItemProvider ItemProvider::forLocalFile(const QString& path) {
    ItemProvider provider;
    provider.localFilePath_ = path;
    provider.localFileMimeType_ = ContentTypes::mimeTypeForFile(path);
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
std::optional<ItemProvider> imageProvider(const QMimeData& data) {
    for (const QString& format : data.formats()) {
        if (format.startsWith(QLatin1String("image/")))
            return ItemProvider::forImageBytes(data.data(format), format);
    }
    if (data.hasImage()) {
        const QImage image = qvariant_cast<QImage>(data.imageData());
        if (!image.isNull())
            return ItemProvider::forImage(image);
    }
    return std::nullopt;
}
} // namespace

QList<ItemProvider> ItemProvider::fromMimeData(const QMimeData& data) {
    QList<ItemProvider> providers;
    if (data.hasUrls()) {
        for (const QUrl& url : data.urls())
            providers.append(url.isLocalFile() ? forLocalFile(url.toLocalFile()) : forLink(url));
        return providers;
    }
    if (auto image = imageProvider(data))
        providers.append(*image);
    if (data.hasText())
        providers.append(forText(data.text()));
    return providers;
}

bool ItemProvider::hasItemConformingTo(ItemProviderType type) const {
    switch (type) {
    case ItemProviderType::image:
        return imageBytes_ || image_ ||
               (localFileMimeType_ && ContentTypes::isImageMimeType(*localFileMimeType_));
    case ItemProviderType::fileURL:
        return localFilePath_.has_value();
    case ItemProviderType::url:
        // A local file is offered as a file only: when it cannot be read it is reported, not
        // turned into a link to itself.
        return link_.has_value();
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
    if (link_)
        types.append(QStringLiteral("text/uri-list"));
    if (imageBytes_ || image_)
        types.append(imageMimeType_);
    if (text_)
        types.append(QStringLiteral("text/plain"));
    return types;
}
