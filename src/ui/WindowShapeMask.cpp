#include "ui/WindowShapeMask.h"

#include "ui/CompositorCheck.h"
#include "ui/CompositorWatch.h"

#include <QBitmap>
#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

WindowShapeMask::WindowShapeMask(QWidget* window, Shape opaqueShape, Shape compositedShape)
    : QObject(window), window_(window), opaqueShape_(std::move(opaqueShape)),
      compositedShape_(std::move(compositedShape)) {
    window->installEventFilter(this);
    connect(&CompositorWatch::shared(), &CompositorWatch::compositingChanged, this,
            &WindowShapeMask::compositingChanged);
    apply();
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
    const QRegion mask = cut_ ? opaqueShape_() : compositedShape_ ? compositedShape_() : QRegion();
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
