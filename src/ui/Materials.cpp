#include "ui/Materials.h"

#include "ui/CompositorCheck.h"
#include "ui/NamedColors.h"

#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QRegion>
#include <QWidget>
#include <QWindow>

namespace Theme {

namespace {
// The last region a window asked to have blurred, kept on the window so that repainting the
// same shape sends nothing to the display server.
const char* const blurRegionProperty = "kippetsBlurRegion";

QRegion deviceRegion(QWidget* widget, const QPainterPath& shape) {
    if (shape.isEmpty())
        return {};
    const QPoint offset = widget->mapTo(widget->window(), QPoint(0, 0));
    const qreal ratio = widget->devicePixelRatioF();
    QTransform toDevice;
    toDevice.scale(ratio, ratio);
    toDevice.translate(offset.x(), offset.y());
    return QRegion(shape.toFillPolygon(toDevice).toPolygon(), Qt::WindingFill);
}

void askForBlur(QWidget* widget, const QRegion& region) {
    QWindow* window = widget->window()->windowHandle();
    if (!window)
        return;
    const QVariant asked = window->property(blurRegionProperty);
    if (asked.isValid() && asked.value<QRegion>() == region)
        return;
    if (!asked.isValid() && region.isEmpty())
        return;
    window->setProperty(blurRegionProperty, QVariant::fromValue(region));
    CompositorCheck::shared().requestBlurBehind(window, region);
}
} // namespace

Backdrop backdrop() {
    const CompositorCheck& check = CompositorCheck::shared();
    if (!check.isCompositing())
        return Backdrop::opaque;
    return check.blursBehind() ? Backdrop::blurred : Backdrop::blended;
}

double windowAlpha(Material material, Backdrop backdrop) {
    switch (backdrop) {
    case Backdrop::opaque:
        return 1.0;
    case Backdrop::blended:
        // Text behind differs from the material by a few levels at most: seen as a shade,
        // not read.
        return material == Material::ultraThin ? 0.94 : 0.97;
    case Backdrop::blurred:
        return material == Material::ultraThin ? 0.6 : 0.8;
    }
    return 1.0;
}

QColor windowFill(Material material, const QPalette& palette, Backdrop backdrop) {
    return withAlpha(palette.color(QPalette::Window), windowAlpha(material, backdrop));
}

QColor windowFill(Material material, const QPalette& palette) {
    return windowFill(material, palette, backdrop());
}

void paintWindowMaterial(QPainter& painter, QWidget* widget, const QPainterPath& shape,
                         Material material) {
    const Backdrop current = backdrop();
    painter.fillPath(shape, windowFill(material, widget->palette(), current));
    askForBlur(widget, current == Backdrop::blurred ? deviceRegion(widget, shape) : QRegion());
}

void blurBehind(QWidget* widget, const QPainterPath& shape) {
    askForBlur(widget, backdrop() == Backdrop::blurred ? deviceRegion(widget, shape) : QRegion());
}

QColor ultraThinFill(const QPalette& palette) {
    return isDark(palette) ? QColor(255, 255, 255, 18) : QColor(255, 255, 255, 120);
}

QColor ultraThinCover(const QPalette& palette) {
    return windowFill(Material::ultraThin, palette, Backdrop::blended);
}

void paintUltraThinMaterial(QPainter& painter, const QRectF& rect, qreal radius,
                            const QPalette& palette) {
    QPainterPath shape;
    shape.addRoundedRect(rect, radius, radius);
    painter.fillPath(shape, ultraThinFill(palette));
}

} // namespace Theme
