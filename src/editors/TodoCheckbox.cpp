#include "editors/TodoCheckbox.h"

#include "editors/EditorStyle.h"
#include "editors/TodoRowAccessibility.h"
#include "ui/Theme.h"

#include <QPainter>
#include <cmath>

TodoCheckbox::TodoCheckbox(double size, double fillSize, QWidget* parent)
    : QAbstractButton(parent), size_(size), fillSize_(fillSize) {
    TodoRowAccessibility::install();
    setFixedSize(sizeHint());
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

QSize TodoCheckbox::sizeHint() const {
    const int side = static_cast<int>(std::ceil(size_));
    return QSize(side, side);
}

void TodoCheckbox::setDone(bool done) {
    if (done == done_)
        return;
    done_ = done;
    update();
}

bool TodoCheckbox::hitButton(const QPoint& pos) const {
    const QPointF offset = QPointF(pos) + QPointF(0.5, 0.5) - QRectF(rect()).center();
    const double radius = size_ / 2;
    return offset.x() * offset.x() + offset.y() * offset.y() <= radius * radius;
}

void TodoCheckbox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = Theme::secondary(palette());
    const QPointF centre = QRectF(rect()).center();
    // The outline lies inside the circle's bounds: its centre line is one point in.
    constexpr double lineWidth = 2;
    const double outline = size_ / 2 - lineWidth / 2;
    painter.setPen(QPen(colour, lineWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, outline, outline);
    if (!done_)
        return;
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(centre, fillSize_ / 2, fillSize_ / 2);
}
