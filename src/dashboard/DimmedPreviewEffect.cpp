#include "dashboard/DimmedPreviewEffect.h"

#include <QImage>
#include <QPainter>
#include <algorithm>

namespace {
// What is left of the picture's opacity when fully dimmed.
constexpr qreal dimmedOpacity = 0.3;
} // namespace

DimmedPreviewEffect::DimmedPreviewEffect(QObject* parent) : QGraphicsEffect(parent) {}

void DimmedPreviewEffect::setDimming(qreal dimming) {
    dimming = std::clamp<qreal>(dimming, 0, 1);
    if (qFuzzyCompare(dimming_ + 1, dimming + 1))
        return;
    dimming_ = dimming;
    update();
}

void DimmedPreviewEffect::draw(QPainter* painter) {
    if (dimming_ <= 0) {
        drawSource(painter);
        return;
    }
    QPoint offset;
    const QPixmap source = sourcePixmap(Qt::DeviceCoordinates, &offset);
    if (source.isNull())
        return;
    QImage picture = source.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // Each colour moves towards its grey by the dimming; premultiplied values keep their ratio.
    const int keep = qRound((1 - dimming_) * 256);
    const int width = picture.width();
    const int height = picture.height();
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb pixel = line[x];
            if (qAlpha(pixel) == 0)
                continue;
            const int grey = qGray(pixel);
            const auto mix = [grey, keep](int channel) {
                return grey + (((channel - grey) * keep) >> 8);
            };
            line[x] = qRgba(mix(qRed(pixel)), mix(qGreen(pixel)), mix(qBlue(pixel)), qAlpha(pixel));
        }
    }
    const QTransform world = painter->worldTransform();
    painter->setWorldTransform(QTransform());
    painter->setOpacity(painter->opacity() * (1 - (1 - dimmedOpacity) * dimming_));
    painter->drawImage(offset, picture);
    painter->setWorldTransform(world);
}
