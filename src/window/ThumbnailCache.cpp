#include "window/ThumbnailCache.h"

#include "analysis/IsolatedImageDecoder.h"
#include "model/KippetItem.h"
#include "platform/WorkerPool.h"

#include <QFutureWatcher>
#include <QPointer>
#include <QtConcurrent>

namespace {
// Decoded pictures kept per window, in bytes.
constexpr int cacheBytes = 96 * 1024 * 1024;
} // namespace

ThumbnailCache::ThumbnailCache(qreal devicePixelRatio, QObject* parent)
    : QObject(parent), devicePixelRatio_(std::max<qreal>(1, devicePixelRatio)),
      pictures_(cacheBytes) {}

bool ThumbnailCache::mayHavePicture(const KippetItem& item) {
    return (item.type == KippetItemType::image && !item.content.isEmpty()) ||
           (item.metadata.thumbnail && !item.metadata.thumbnail->isEmpty());
}

bool ThumbnailCache::isSettled(const QUuid& id) const {
    return pictures_.contains(id) || settledEmpty_.contains(id);
}

QImage ThumbnailCache::picture(const KippetItem& item) {
    if (const QImage* cached = pictures_.object(item.id))
        return *cached;
    if (settledEmpty_.contains(item.id) || inFlight_.contains(item.id))
        return {};
    if (!mayHavePicture(item)) {
        settledEmpty_.insert(item.id, true);
        return {};
    }
    inFlight_.insert(item.id, true);
    const QSize cover = coverSize * devicePixelRatio_;
    const bool isImage = item.type == KippetItemType::image;
    const QByteArray content = isImage ? item.content : QByteArray();
    const QByteArray thumbnail = item.metadata.thumbnail.value_or(QByteArray());
    auto* watcher = new QFutureWatcher<QImage>(this);
    const QUuid id = item.id;
    connect(watcher, &QFutureWatcher<QImage>::finished, this, [this, watcher, id] {
        finished(id, watcher->result());
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run(WorkerPool::shared(), &ThumbnailCache::decode, isImage,
                                         content, thumbnail, cover));
    return {};
}

QImage ThumbnailCache::decode(bool isImage, const QByteArray& content, const QByteArray& thumbnail,
                              QSize cover) {
    const std::shared_ptr<IsolatedImageDecoder> decoder = IsolatedImageDecoder::shared();
    std::optional<QImage> image;
    if (isImage)
        image = decoder->decodeCovering(content, cover);
    if (!image && !thumbnail.isEmpty())
        image = decoder->decodeCovering(thumbnail, cover);
    if (!image)
        return {};
    // Drawn often and never changed: converted once, here. What the cache keeps is a copy of its
    // own, bounded by the cache: the decoder's answer counts against the app's pixel budget for
    // as long as it lives.
    QImage converted = image->convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (converted.constBits() == image->constBits())
        converted = converted.copy();
    return converted;
}

void ThumbnailCache::finished(const QUuid& id, const QImage& image) {
    inFlight_.remove(id);
    if (image.isNull()) {
        settledEmpty_.insert(id, true);
    } else {
        QImage* stored = new QImage(image);
        stored->setDevicePixelRatio(devicePixelRatio_);
        const qsizetype cost = std::max<qsizetype>(1, image.sizeInBytes());
        pictures_.insert(id, stored, static_cast<int>(std::min<qsizetype>(cost, cacheBytes)));
    }
    emit ready(id);
}
