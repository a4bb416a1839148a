#include "tuck/TuckAwayActionButton.h"

#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QPainter>

TuckAwayActionButton::TuckAwayActionButton(const QString& symbol, QWidget* parent)
    : QAbstractButton(parent), symbol_(symbol) {
    setFixedSize(24, 24);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void TuckAwayActionButton::setActive(bool active, const QColor& activeColor) {
    isActive_ = active;
    activeColor_ = activeColor;
    update();
}

void TuckAwayActionButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor circle =
        isActive_ ? activeColor_ : Theme::withAlpha(Theme::primary(palette()), 0.06);
    painter.setPen(Qt::NoPen);
    painter.setBrush(circle);
    painter.drawEllipse(QRectF(rect()));
    const QColor symbolColor =
        isActive_ ? Theme::symbolOn(activeColor_) : Theme::secondary(palette());
    const QPixmap pixmap = Symbols::pixmap(symbol_, 12, symbolColor, devicePixelRatioF());
    const QSizeF size = pixmap.deviceIndependentSize();
    painter.drawPixmap(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2),
                       pixmap);
}
