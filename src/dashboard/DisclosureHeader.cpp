#include "dashboard/DisclosureHeader.h"

#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int chevronWidth = 18;
}

DisclosureHeader::DisclosureHeader(QWidget* parent)
    : QAbstractButton(parent), row_(new QHBoxLayout(this)) {
    setCheckable(true);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::ArrowCursor);
    row_->setContentsMargins(chevronWidth, 0, 0, 0);
    row_->setSpacing(6);
    connect(this, &QAbstractButton::toggled, this, qOverload<>(&QWidget::update));
}

QSize DisclosureHeader::sizeHint() const {
    return row_->sizeHint().expandedTo(QSize(chevronWidth, 18));
}

void DisclosureHeader::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal middle = height() / 2.0;
    const qreal x = chevronWidth / 2.0 - 2;
    QPainterPath chevron;
    if (isChecked()) {
        chevron.moveTo(x - 4, middle - 2);
        chevron.lineTo(x, middle + 2);
        chevron.lineTo(x + 4, middle - 2);
    } else {
        chevron.moveTo(x - 2, middle - 4);
        chevron.lineTo(x + 2, middle);
        chevron.lineTo(x - 2, middle + 4);
    }
    painter.setPen(
        QPen(Theme::secondary(palette()), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(chevron);
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    }
}
