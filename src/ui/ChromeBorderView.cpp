#include "ui/ChromeBorderView.h"

#include "ui/WindowShapeMask.h"

#include <QPainter>
#include <QPainterPath>
#include <QRegion>

namespace {
// Wide enough for the widest border with its antialiased rim.
constexpr int edgeBand = 5;
} // namespace

ChromeBorderView::ChromeBorderView(double cornerRadius, QWidget* parent)
    : QWidget(parent), cornerRadius_(cornerRadius) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void ChromeBorderView::setBorder(const QColor& color, double width) {
    color_ = color;
    width_ = width;
    shown_ = true;
    updateEdge();
}

void ChromeBorderView::hideBorder() {
    shown_ = false;
    updateEdge();
}

void ChromeBorderView::updateEdge() {
    // The corners curve inward by the radius: the band covers them as squares.
    const int corner = static_cast<int>(cornerRadius_) + edgeBand;
    QRegion edge(rect());
    edge -= QRegion(rect().adjusted(edgeBand, corner, -edgeBand, -corner));
    edge -= QRegion(rect().adjusted(corner, edgeBand, -corner, -edgeBand));
    update(edge);
}

void ChromeBorderView::paintEvent(QPaintEvent*) {
    if (!shown_ || width_ <= 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // A layer border lies inside the bounds: the stroke's centre line is half its width in.
    const double inset = width_ / 2;
    QPainterPath path;
    // Out to the last whole pixel: at a fractional scale the edge in points may end partway
    // through one, which the plate beneath fills further than the border's rim, a pale line.
    path.addRoundedRect(WindowShapeMask::pixelAligned(size(), devicePixelRatioF())
                            .adjusted(inset, inset, -inset, -inset),
                        cornerRadius_ - inset, cornerRadius_ - inset);
    painter.setPen(QPen(color_, width_));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}
