#include "dashboard/CapsuleBadge.h"

#include "ui/Theme.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

CapsuleBadge::CapsuleBadge(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {
    setFont(Theme::font(Theme::TextStyle::caption2, QFont::DemiBold));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void CapsuleBadge::setColor(const QColor& color) {
    if (color_ == color)
        return;
    color_ = color;
    update();
}

QSize CapsuleBadge::sizeHint() const {
    const QFontMetrics metrics(font());
    return QSize(metrics.horizontalAdvance(text_) + 12, metrics.height() + 4);
}

void CapsuleBadge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule(rect());
    QPainterPath shape;
    shape.addRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
    painter.fillPath(shape, Theme::withAlpha(color_, 0.2));
    painter.setPen(color_);
    painter.drawText(capsule, Qt::AlignCenter, text_);
}
