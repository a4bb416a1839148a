#include "dashboard/SegmentedControl.h"

#include "ui/Theme.h"

#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

SegmentedControl::SegmentedControl(const QStringList& titles, QWidget* parent)
    : QWidget(parent), group_(new QButtonGroup(this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    group_->setExclusive(true);
    for (qsizetype i = 0; i < titles.size(); ++i) {
        auto* button = new QPushButton(titles[i], this);
        button->setCheckable(true);
        button->setFlat(true);
        button->setFont(Theme::font(Theme::TextStyle::body));
        button->setCursor(Qt::PointingHandCursor);
        group_->addButton(button, static_cast<int>(i));
        row->addWidget(button, 1);
    }
    connect(group_, &QButtonGroup::idClicked, this, &SegmentedControl::activated);
    setCurrentIndex(0);
    applyStyle();
}

int SegmentedControl::currentIndex() const {
    return group_->checkedId();
}

void SegmentedControl::setCurrentIndex(int index) {
    if (QAbstractButton* button = group_->button(index))
        button->setChecked(true);
}

QPushButton* SegmentedControl::segment(int index) const {
    return qobject_cast<QPushButton*>(group_->button(index));
}

int SegmentedControl::count() const {
    return static_cast<int>(group_->buttons().size());
}

void SegmentedControl::applyStyle() {
    const QPalette& colors = palette();
    const bool dark = Theme::isDark(colors);
    const QColor selected = dark ? QColor(99, 99, 102) : QColor(255, 255, 255);
    const QColor text = Theme::primary(colors);
    const QString sheet =
        (QStringLiteral("QPushButton { border: none; border-radius: 5px; padding: 3px 10px;"
                        " color: %1; background: transparent; }"
                        " QPushButton:checked { background: %2; }")
             .arg(text.name(QColor::HexArgb), selected.name(QColor::HexArgb)));
    // A style sheet change can itself announce a palette change; apply each look once.
    if (sheet != styleSheet())
        setStyleSheet(sheet);
}

void SegmentedControl::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange)
        applyStyle();
    QWidget::changeEvent(event);
}

void SegmentedControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath track;
    track.addRoundedRect(QRectF(rect()), 7, 7);
    painter.fillPath(track, Theme::withAlpha(Theme::primary(palette()), 0.08));
}
