#include "onboarding/RoundedPanel.h"

#include <QPainter>
#include <QPainterPath>

RoundedPanel::RoundedPanel(QWidget* parent) : QWidget(parent) {}

void RoundedPanel::setFill(Theme::Named color, qreal opacity) {
    fill_ = color;
    fillOpacity_ = opacity;
    fixedFill_.reset();
    update();
}

void RoundedPanel::setFillColor(const QColor& color) {
    fixedFill_ = color;
    update();
}

void RoundedPanel::setBorder(Theme::Named color, qreal opacity, qreal width) {
    border_ = color;
    borderOpacity_ = opacity;
    borderWidth_ = width;
    update();
}

void RoundedPanel::setCornerRadius(qreal radius) {
    cornerRadius_ = radius;
    capsule_ = false;
    update();
}

void RoundedPanel::setCapsule() {
    capsule_ = true;
    update();
}

QColor RoundedPanel::fillColor() const {
    return fixedFill_ ? *fixedFill_
                      : Theme::withAlpha(Theme::color(fill_, palette()), fillOpacity_);
}

qreal RoundedPanel::radius() const {
    return capsule_ ? qMin(width(), height()) / 2.0 : cornerRadius_;
}

void RoundedPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), radius(), radius());
    painter.fillPath(shape, fillColor());
    if (border_) {
        // Inside the shape: inset by half the line width.
        const qreal inset = borderWidth_ / 2;
        QPen pen(Theme::withAlpha(Theme::color(*border_, palette()), borderOpacity_), borderWidth_);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset),
                                radius() - inset, radius() - inset);
    }
}
