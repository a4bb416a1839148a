#include "onboarding/KeyBadge.h"

#include "onboarding/TourStyle.h"

#include <QPainter>
#include <QPainterPath>

KeyBadge::KeyBadge(const QString& letter, int side, QWidget* parent)
    : QWidget(parent), letter_(letter), side_(side) {
    setFixedSize(side, side);
    QFont font = Theme::font(Theme::TextStyle::body);
    font.setFamily(QStringLiteral("monospace"));
    font.setStyleHint(QFont::Monospace);
    font.setBold(true);
    setFont(font);
}

void KeyBadge::setLetter(const QString& letter) {
    if (letter_ != letter) {
        letter_ = letter;
        update();
    }
}

void KeyBadge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 6, 6);
    painter.fillPath(shape, Theme::color(Theme::Named::accent, palette()));
    painter.setPen(Qt::white);
    painter.drawText(rect(), Qt::AlignCenter, letter_);
}
