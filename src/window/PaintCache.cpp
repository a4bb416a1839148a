#include "window/PaintCache.h"

#include <QPainter>
#include <QPixmapCache>
#include <algorithm>

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

void PaintCache::blit(QPainter& painter, const QPointF& origin, const QPixmap& pixmap) {
    constexpr int bandRows = 48;
    const qreal scale = pixmap.devicePixelRatio();
    const int rows = pixmap.height();
    for (int top = 0; top < rows; top += bandRows) {
        const int height = std::min(bandRows, rows - top);
        const QRectF source(0, top, pixmap.width(), height);
        const QRectF target(origin.x(), origin.y() + top / scale, pixmap.width() / scale,
                            height / scale);
        painter.drawPixmap(target, pixmap, source);
    }
}
