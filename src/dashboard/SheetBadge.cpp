#include "dashboard/SheetBadge.h"

#include "ui/Theme.h"

#include <QPainter>

SheetBadge::SheetBadge(int diameter, qreal symbolPoints, std::optional<qreal> borderAlpha,
                       QWidget* parent)
    : QWidget(parent), diameter_(diameter), symbolPoints_(symbolPoints), borderAlpha_(borderAlpha) {
    setFixedSize(diameter, diameter);
}

void SheetBadge::setColor(const QColor& color) {
    if (color_ == color)
        return;
    color_ = color;
    update();
}

void SheetBadge::setIcon(const QString& icon) {
    if (icon_ == icon)
        return;
    icon_ = icon;
    update();
}

void SheetBadge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF circle(0, 0, diameter_, diameter_);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::withAlpha(color_, 0.2));
    painter.drawEllipse(circle);
    if (borderAlpha_) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Theme::withAlpha(color_, *borderAlpha_), 1));
        painter.drawEllipse(circle.adjusted(0.5, 0.5, -0.5, -0.5));
    }
    const QPixmap glyph = Theme::kippetIcon(icon_, color_, symbolPoints_, devicePixelRatioF());
    const QSizeF glyphSize = glyph.deviceIndependentSize();
    painter.drawPixmap(
        QPointF((diameter_ - glyphSize.width()) / 2.0, (diameter_ - glyphSize.height()) / 2.0),
        glyph);
}
