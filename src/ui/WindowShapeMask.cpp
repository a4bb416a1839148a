#include "ui/WindowShapeMask.h"

#include "ui/CompositorCheck.h"
#include "ui/CompositorWatch.h"
#include "ui/X11.h"

#include <QBitmap>
#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>
#include <QWindow>
#include <cmath>
#include <utility>

WindowShapeMask::WindowShapeMask(QWidget* window, Shape opaqueShape, Shape compositedShape)
    : WindowShapeMask(window, std::move(opaqueShape), {}, std::move(compositedShape)) {}

WindowShapeMask::WindowShapeMask(QWidget* window, Outline opaqueOutline, Shape compositedShape)
    : WindowShapeMask(window, {}, std::move(opaqueOutline), std::move(compositedShape)) {}

WindowShapeMask::WindowShapeMask(QWidget* window, Shape opaqueShape, Outline opaqueOutline,
                                 Shape compositedShape)
    : QObject(window), window_(window), opaqueShape_(std::move(opaqueShape)),
      opaqueOutline_(std::move(opaqueOutline)), compositedShape_(std::move(compositedShape)) {
    window->installEventFilter(this);
    connect(&CompositorWatch::shared(), &CompositorWatch::compositingChanged, this,
            &WindowShapeMask::compositingChanged);
    apply();
}

bool WindowShapeMask::isFractional(const QWidget* window) {
    const qreal scale = window->devicePixelRatioF();
    return std::abs(scale - std::round(scale)) > 1e-6;
}

QRectF WindowShapeMask::pixelAligned(QSize size, qreal scale) {
    // Qt's own rounding of a size to pixels, the one its windows and pictures are made with.
    return QRectF(QPointF(), QSizeF(size * scale) / scale);
}

QRegion WindowShapeMask::devicePixels(const QPainterPath& path, qreal scale) {
    const QRect bounds =
        QTransform::fromScale(scale, scale).map(path).boundingRect().toAlignedRect();
    if (bounds.isEmpty())
        return {};
    QImage image(bounds.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.translate(-bounds.topLeft());
    painter.scale(scale, scale);
    painter.fillPath(path, Qt::black);
    painter.end();
    return QRegion(QBitmap::fromImage(image.createAlphaMask())).translated(bounds.topLeft());
}

bool WindowShapeMask::setDeviceShape(QWidget* window, const std::optional<QRegion>& pixels) {
    if (!X11::connection() || !window->windowHandle())
        return false;
    // No rectangle at all shows nothing: the window's shape is then a pixel beside it, as
    // nowhere() is.
    X11::setShape(X11::idOf(window),
                  pixels && pixels->isEmpty() ? std::optional<QRegion>(nowhere()) : pixels);
    return true;
}

QRegion WindowShapeMask::rounded(const QRect& rect, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(QRectF(rect), radius, radius);
    return ofPath(path);
}

QRegion WindowShapeMask::ofPath(const QPainterPath& path) {
    // Drawn rather than converted: a path of several parts (a ring, shapes side by side) keeps
    // its holes and overlaps exactly as the fill shows them.
    const QRect bounds = path.boundingRect().toAlignedRect();
    if (bounds.isEmpty())
        return {};
    QImage image(bounds.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.translate(-bounds.topLeft());
    painter.fillPath(path, Qt::black);
    painter.end();
    return QRegion(QBitmap::fromImage(image.createAlphaMask())).translated(bounds.topLeft());
}

QRegion WindowShapeMask::nowhere() {
    return QRegion(-1, -1, 1, 1);
}

void WindowShapeMask::apply() {
    if (!window_)
        return;
    cut_ = !CompositorCheck::shared().isCompositing();
    if (cut_ && opaqueOutline_ && isFractional(window_) && window_->windowHandle()) {
        // Qt paints only inside the shape it knows of: it knows of none.
        if (!window_->mask().isEmpty())
            window_->clearMask();
        if (setDeviceShape(window_, devicePixels(opaqueOutline_(), window_->devicePixelRatioF()))) {
            deviceShaped_ = true;
            return;
        }
    }
    // Qt's idea of the shape is none while the server's was set past it.
    if (std::exchange(deviceShaped_, false)) {
        window_->clearMask();
        setDeviceShape(window_, std::nullopt);
    }
    QRegion mask;
    if (cut_ && opaqueOutline_) {
        const QPainterPath outline = opaqueOutline_();
        mask = outline.isEmpty() ? nowhere() : ofPath(outline);
    } else if (cut_) {
        mask = opaqueShape_();
    } else if (compositedShape_) {
        mask = compositedShape_();
    }
    if (mask.isEmpty())
        window_->clearMask();
    else if (window_->mask() != mask)
        window_->setMask(mask);
}

void WindowShapeMask::compositingChanged() {
    apply();
    // The window's fill follows the compositor too: opaque without one, translucent with one.
    if (window_)
        window_->update();
}

bool WindowShapeMask::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && event->type() == QEvent::Resize)
        apply();
    return QObject::eventFilter(watched, event);
}
