#include "window/ChromeBorderView.h"

#include <QPainter>
#include <QPainterPath>

ChromeBorderView::ChromeBorderView(double cornerRadius, QWidget* parent)
    : QWidget(parent), cornerRadius_(cornerRadius) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void ChromeBorderView::setBorder(const QColor& color, double width) {
    color_ = color;
    width_ = width;
    update();
}

void ChromeBorderView::paintEvent(QPaintEvent*) {
    if (width_ <= 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // A layer border lies inside the bounds: the stroke's centre line is half its width in.
    const double inset = width_ / 2;
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset),
                        cornerRadius_ - inset, cornerRadius_ - inset);
    painter.setPen(QPen(color_, width_));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}
