#include "window/PaintCache.h"

#include <QPainter>
#include <QPixmapCache>

QPixmap PaintCache::drawing(const QString& key, QSize size, qreal scale,
                            const std::function<void(QPainter&)>& draw) {
    const QString fullKey =
        QStringLiteral("%1-%2x%3@%4").arg(key).arg(size.width()).arg(size.height()).arg(scale);
    QPixmap pixmap;
    if (QPixmapCache::find(fullKey, &pixmap))
        return pixmap;
    pixmap = QPixmap(size * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    draw(painter);
    painter.end();
    QPixmapCache::insert(fullKey, pixmap);
    return pixmap;
}
