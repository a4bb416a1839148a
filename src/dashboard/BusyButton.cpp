#include "dashboard/BusyButton.h"

#include "dashboard/SheetStyle.h"
#include "platform/Animations.h"

#include <QPainter>
#include <chrono>
#include <cmath>

namespace {
constexpr int spokes = 8;
constexpr qreal indicatorSize = 16;
constexpr qreal horizontalPadding = 8;
} // namespace

BusyButton::BusyButton(QWidget* parent) : QPushButton(parent) {}

void BusyButton::setLabel(const QString& title, const QIcon& icon) {
    title_ = title;
    icon_ = icon;
    applyLabel();
}

void BusyButton::setBusy(bool busy) {
    if (busy_ == busy)
        return;
    busy_ = busy;
    applyLabel();
    if (busy_)
        scheduleTurn();
    else
        turn_.cancel();
}

void BusyButton::applyLabel() {
    setText(busy_ ? QString() : title_);
    setIcon(busy_ ? QIcon() : icon_);
    update();
}

QSize BusyButton::sizeHint() const {
    QSize hint = QPushButton::sizeHint();
    if (busy_)
        hint.setWidth(qMax(hint.width(), int(indicatorSize + 2 * horizontalPadding) + 8));
    return hint;
}

void BusyButton::scheduleTurn() {
    turn_.cancel();
    if (!busy_ || !isVisible() || !Animations::enabled())
        return;
    turn_ = Clock::shared().schedule(std::chrono::milliseconds(100), this, [this] {
        phase_ = (phase_ + 1) % spokes;
        update();
        scheduleTurn();
    });
}

void BusyButton::showEvent(QShowEvent* event) {
    QPushButton::showEvent(event);
    scheduleTurn();
}

void BusyButton::hideEvent(QHideEvent* event) {
    turn_.cancel();
    QPushButton::hideEvent(event);
}

void BusyButton::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    if (!busy_)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = QRectF(rect()).center();
    const qreal outer = indicatorSize / 2;
    const qreal inner = outer * 0.45;
    const QColor ink = SheetStyle::primary(palette());
    for (int spoke = 0; spoke < spokes; ++spoke) {
        const double angle = 2 * M_PI * spoke / spokes;
        const int age = (phase_ - spoke + spokes) % spokes;
        QColor color = SheetStyle::withAlpha(ink, 1.0 - 0.8 * age / spokes);
        painter.setPen(QPen(color, 2, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(centre + QPointF(std::cos(angle) * inner, std::sin(angle) * inner),
                         centre + QPointF(std::cos(angle) * outer, std::sin(angle) * outer));
    }
}
