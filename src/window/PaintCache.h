#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>
#include <functional>

class QPainter;

// Drawings that many widgets repeat with the same look (discs, glows) are rendered once per
// look and then copied: rasterizing an antialiased shape costs far more than blitting it, and a
// launch paints hundreds of them.
class PaintCache {
public:
    // The drawing named `key` of `size` (logical) at `scale`; `draw` paints it, in logical
    // coordinates on a transparent pixmap, when the cache does not hold it.
    static QPixmap drawing(const QString& key, QSize size, qreal scale,
                           const std::function<void(QPainter&)>& draw);

    // Copies the part of the pixmap (drawn over the whole widget) under `area`, in bands of a few
    // dozen rows: the raster engine hands a taller copy to its thread pool, whose hand-over costs
    // more than the copy of a widget's rows.
    static void blit(QPainter& painter, const QRect& area, const QPixmap& pixmap);
};
