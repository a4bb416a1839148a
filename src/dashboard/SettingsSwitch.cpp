#include "dashboard/SettingsSwitch.h"

#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>

SettingsSwitch::SettingsSwitch(QWidget* parent) : QCheckBox(parent) {
    setFixedSize(sizeHint());
    setCursor(Qt::PointingHandCursor);
}

bool SettingsSwitch::hitButton(const QPoint& position) const {
    return rect().contains(position);
}

void SettingsSwitch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal radius = track.height() / 2;
    const bool dark = Theme::isDark(palette());
    QColor fill =
        isChecked() ? Theme::blue() : (dark ? QColor(255, 255, 255, 40) : QColor(0, 0, 0, 28));
    if (!isEnabled())
        fill = Theme::withAlpha(fill, 0.5);
    QPainterPath trackPath;
    trackPath.addRoundedRect(track, radius, radius);
    painter.fillPath(trackPath, fill);
    const qreal knob = track.height() - 4;
    const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    QColor knobColor(255, 255, 255);
    if (!isEnabled())
        knobColor = dark ? QColor(150, 150, 150) : QColor(245, 245, 245);
    painter.setPen(QPen(QColor(0, 0, 0, 30), 0.5));
    painter.setBrush(knobColor);
    painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
    if (hasFocus()) {
        painter.setPen(QPen(Theme::withAlpha(Theme::blue(), 0.5), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(track, radius, radius);
    }
}
