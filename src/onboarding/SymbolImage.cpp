#include "onboarding/SymbolImage.h"

#include <QColor>
#include <QIcon>
#include <QPainter>
#include <QPixmap>

// Stand-in until the bundled symbol set is available to the UI: a plain disc the size of the
// glyph, so layouts and fills can be seen and tested.
QImage symbolMask(const QString& name, int points, qreal devicePixelRatio) {
    Q_UNUSED(name);
    const int pixels = qMax(1, qRound(points * devicePixelRatio));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(devicePixelRatio);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(0, 0, points, points).adjusted(2, 2, -2, -2));
    return image;
}

QIcon symbolIcon(const QString& name, int points, const QColor& color, qreal devicePixelRatio) {
    QImage art = symbolMask(name, points, devicePixelRatio);
    QPainter fill(&art);
    fill.setCompositionMode(QPainter::CompositionMode_SourceIn);
    fill.fillRect(QRectF(0, 0, points, points), color);
    fill.end();
    return QIcon(QPixmap::fromImage(art));
}
