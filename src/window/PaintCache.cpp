#include "window/PaintCache.h"

#include <QPainter>
#include <QPixmapCache>
#include <algorithm>

QPixmap PaintCache::drawing(const QString& key, QSize size, qreal scale,
                            const std::function<void(QPainter&)>& draw) {
    // The scale in hundredths: formatting an integer costs a fraction of formatting a double,
    // and a launch looks up thousands of drawings.
    const QString fullKey = key + u'-' + QString::number(size.width()) + u'x' +
                            QString::number(size.height()) + u'@' +
                            QString::number(qRound(scale * 100));
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

void PaintCache::blit(QPainter& painter, const QRect& area, const QPixmap& pixmap) {
    constexpr int bandRows = 48;
    const qreal scale = pixmap.devicePixelRatio();
    for (int top = area.top(); top <= area.bottom(); top += bandRows) {
        const QRect band(area.left(), top, area.width(),
                         std::min(bandRows, area.bottom() + 1 - top));
        painter.drawPixmap(band, pixmap,
                           QRectF(band.x() * scale, band.y() * scale, band.width() * scale,
                                  band.height() * scale));
    }
}
