#include "dashboard/BusyButton.h"

#include "platform/Animations.h"
#include "ui/Theme.h"

#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

namespace {
constexpr int spokes = 8;
constexpr qreal indicatorSize = 16;
constexpr qreal horizontalPadding = 8;
// Beside a title the indicator is a 20-point one scaled to 0.7 about its centre: it fills a
// 14-point frame.
constexpr int besideTitleFrame = 14;
constexpr qreal besideTitleScale = 0.7;
constexpr qreal besideTitleIndicator = 20;
} // namespace

BusyButton::BusyButton(QWidget* parent) : QPushButton(parent) {}

void BusyButton::setLabel(const QString& title, const QIcon& icon) {
    title_ = title;
    icon_ = icon;
    applyLabel();
}

void BusyButton::setBusyTitle(const QString& title) {
    busyTitle_ = title;
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
    if (!busy_) {
        setText(title_);
        setIcon(icon_);
        if (restingIconSize_.isValid())
            setIconSize(std::exchange(restingIconSize_, QSize()));
    } else if (busyTitle_.isEmpty()) {
        setText(QString());
        setIcon(QIcon());
    } else {
        setText(busyTitle_);
        if (!restingIconSize_.isValid())
            restingIconSize_ = iconSize();
        setIconSize(QSize(besideTitleFrame, besideTitleFrame));
        setIcon(indicatorIcon());
    }
    update();
}

QIcon BusyButton::indicatorIcon() const {
    const qreal ratio = devicePixelRatioF();
    QPixmap pixmap(QSize(besideTitleFrame, besideTitleFrame) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    paintIndicator(painter, QPointF(besideTitleFrame, besideTitleFrame) / 2,
                   besideTitleIndicator * besideTitleScale / 2);
    painter.end();
    QIcon icon;
    // The same look while the button is disabled: the indicator is what shows the work goes on.
    icon.addPixmap(pixmap, QIcon::Normal);
    icon.addPixmap(pixmap, QIcon::Disabled);
    return icon;
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
        if (busyTitle_.isEmpty())
            update();
        else
            setIcon(indicatorIcon());
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
    if (!busy_ || !busyTitle_.isEmpty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    paintIndicator(painter, QRectF(rect()).center(), indicatorSize / 2);
}

void BusyButton::paintIndicator(QPainter& painter, const QPointF& centre, qreal outer) const {
    const qreal inner = outer * 0.45;
    const qreal width = std::max<qreal>(1.5, outer / 4);
    const QColor ink = Theme::primary(palette());
    for (int spoke = 0; spoke < spokes; ++spoke) {
        const double angle = 2 * M_PI * spoke / spokes;
        const int age = (phase_ - spoke + spokes) % spokes;
        QColor color = Theme::withAlpha(ink, 1.0 - 0.8 * age / spokes);
        painter.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(centre + QPointF(std::cos(angle) * inner, std::sin(angle) * inner),
                         centre + QPointF(std::cos(angle) * outer, std::sin(angle) * outer));
    }
}
