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
// The last region a window asked to have blurred and the native window it was asked for, kept on
// the window so that repainting the same shape sends nothing to the display server; a native
// window made anew carries no request yet.
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
    const QVariantList asked = window->property(blurRegionProperty).toList();
    const auto native = static_cast<qulonglong>(window->winId());
    const bool sameWindow = asked.size() == 2 && asked[0].toULongLong() == native;
    if (sameWindow ? asked[1].value<QRegion>() == region : region.isEmpty())
        return;
    window->setProperty(blurRegionProperty,
                        QVariantList{QVariant(native), QVariant::fromValue(region)});
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
        // Black text behind differs from the material by at most 4 levels of 255 (a panel's
        // backdrop, covering more, by at most 2): large bold text still showed as a shade at 4.
        return material == Material::ultraThin ? 0.985 : 0.995;
    case Backdrop::blurred:
        return material == Material::ultraThin ? 0.6 : 0.8;
    }
    return 1.0;
}

QColor windowFill(Material material, const QPalette& palette, Backdrop backdrop) {
    const QColor window = palette.color(QPalette::Window);
    // Half way to white in the light appearance; a dark window only brightens a little.
    const double lift = isDark(palette) ? 0.06 : 0.5;
    const auto lifted = [lift](int channel) { return qRound(channel + (255 - channel) * lift); };
    QColor fill(lifted(window.red()), lifted(window.green()), lifted(window.blue()));
    fill.setAlphaF(static_cast<float>(windowAlpha(material, backdrop)));
    return fill;
}

void fillWindowMaterial(QPainter& painter, const QPainterPath& shape, Material material,
                        const QPalette& palette, Backdrop backdrop) {
    painter.fillPath(shape, windowFill(material, palette, backdrop));
    if (material != Material::underWindowBackground)
        return;
    // A pen twice as wide, clipped to the shape: one pixel inside the edge.
    painter.save();
    painter.setClipPath(shape, Qt::IntersectClip);
    painter.strokePath(shape, QPen(separator(palette), 2));
    painter.restore();
}

QColor windowFill(Material material, const QPalette& palette) {
    return windowFill(material, palette, backdrop());
}

void paintWindowMaterial(QPainter& painter, QWidget* widget, const QPainterPath& shape,
                         Material material) {
    const Backdrop current = backdrop();
    fillWindowMaterial(painter, shape, material, widget->palette(), current);
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
