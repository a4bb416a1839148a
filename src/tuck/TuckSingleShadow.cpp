#include "tuck/TuckSingleShadow.h"

#include <QPainter>
#include <cmath>
#include <vector>

namespace {
// The blur radius is read as the standard deviation of the Gaussian, as the platform's shadows
// take it. Each pass runs along one axis; the image's border is padded clear, so reading past
// it reads nothing.
void blurAlong(std::vector<float>& values, int width, int height, bool horizontal,
               const std::vector<float>& kernel) {
    const int radius = int(kernel.size()) / 2;
    std::vector<float> out(values.size(), 0.0f);
    const int length = horizontal ? width : height;
    const int lines = horizontal ? height : width;
    for (int line = 0; line < lines; ++line) {
        for (int i = 0; i < length; ++i) {
            float sum = 0;
            for (int k = -radius; k <= radius; ++k) {
                const int j = i + k;
                if (j < 0 || j >= length)
                    continue;
                const int index = horizontal ? line * width + j : j * width + line;
                sum += values[index] * kernel[k + radius];
            }
            out[horizontal ? line * width + i : i * width + line] = sum;
        }
    }
    values.swap(out);
}
} // namespace

QPointF TuckSingleShadow::offset(ScreenEdge edge) {
    switch (edge) {
    case ScreenEdge::top:
        return {0, -2};
    case ScreenEdge::bottom:
        return {0, 2};
    case ScreenEdge::left:
        return {2, 0};
    case ScreenEdge::right:
        return {-2, 0};
    }
    return {};
}

QMargins TuckSingleShadow::margins(ScreenEdge edge) {
    QMargins room(reach, reach, reach, reach);
    switch (edge) {
    case ScreenEdge::top:
        room.setTop(0);
        break;
    case ScreenEdge::bottom:
        room.setBottom(0);
        break;
    case ScreenEdge::left:
        room.setLeft(0);
        break;
    case ScreenEdge::right:
        room.setRight(0);
        break;
    }
    return room;
}

TuckSingleShadow::Image TuckSingleShadow::render(const QPainterPath& shape, ScreenEdge edge,
                                                 const QColor& color, qreal devicePixelRatio) {
    const qreal sigma = blurRadius * devicePixelRatio;
    const int pad = int(std::ceil(3 * sigma));
    const QRectF bounds = shape.boundingRect().translated(offset(edge));
    const QPointF origin = bounds.topLeft() - QPointF(pad, pad) / devicePixelRatio;
    const int width = int(std::ceil(bounds.width() * devicePixelRatio)) + 2 * pad;
    const int height = int(std::ceil(bounds.height() * devicePixelRatio)) + 2 * pad;

    QImage coverage(width, height, QImage::Format_Alpha8);
    coverage.fill(0);
    {
        QPainter painter(&coverage);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(devicePixelRatio, devicePixelRatio);
        painter.translate(-origin + offset(edge));
        painter.fillPath(shape, Qt::black);
    }
    std::vector<float> alpha(size_t(width) * height);
    for (int y = 0; y < height; ++y) {
        const uchar* line = coverage.constScanLine(y);
        for (int x = 0; x < width; ++x)
            alpha[size_t(y) * width + x] = line[x] / 255.0f;
    }
    std::vector<float> kernel(2 * pad + 1);
    float total = 0;
    for (int k = -pad; k <= pad; ++k)
        total += kernel[k + pad] = std::exp(-float(k * k) / float(2 * sigma * sigma));
    for (float& weight : kernel)
        weight /= total;
    blurAlong(alpha, width, height, true, kernel);
    blurAlong(alpha, width, height, false, kernel);

    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    const float strength = float(opacity * color.alphaF());
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int a =
                qBound(0, int(std::lround(alpha[size_t(y) * width + x] * strength * 255)), 255);
            line[x] = qPremultiply(qRgba(color.red(), color.green(), color.blue(), a));
        }
    }
    image.setDevicePixelRatio(devicePixelRatio);
    return {image, origin};
}
