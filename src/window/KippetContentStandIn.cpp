#include "window/KippetContentStandIn.h"

#include "app/DailyKippet.h"
#include "model/Kippet.h"
#include "window/FloatingKippetWindow.h"

#include <QPaintEvent>
#include <QPainter>

namespace {
constexpr int horizontalPadding = 16;
constexpr int verticalPadding = 12;
} // namespace

KippetContentStandIn::KippetContentStandIn(Kippet* kippet, FloatingKippetWindow* window)
    : QWidget(window), kippet_(kippet), window_(window) {
    QFont bold = font();
    bold.setWeight(QFont::DemiBold);
    setFont(bold);
    QTextOption option(Qt::AlignHCenter);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    name_.setTextOption(option);
    name_.setTextFormat(Qt::PlainText);
    updateName();
    connect(kippet, &Kippet::nameChanged, this, &KippetContentStandIn::updateName);
    connect(window, &FloatingKippetWindow::activeStateChanged, this, [this](bool isActive) {
        if (window_)
            window_->updateChromeBorder(isActive, false, displayColor());
    });
}

QColor KippetContentStandIn::displayColor() const {
    if (!kippet_)
        return Qt::transparent;
    return kippet_->isDailyKippet() ? dailyKippetColor() : kippet_->color().toQColor();
}

void KippetContentStandIn::updateName() {
    if (kippet_)
        name_.setText(kippet_->name());
    update();
}

void KippetContentStandIn::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    name_.setTextWidth(std::max(0, width() - 2 * horizontalPadding));
}

void KippetContentStandIn::paintEvent(QPaintEvent* event) {
    const QSizeF size = name_.size();
    const QPointF origin(horizontalPadding,
                         std::max<double>(verticalPadding, (height() - size.height()) / 2));
    // A repaint of the panel's edge leaves the name alone.
    if (name_.text().isEmpty() || !event->region().intersects(QRectF(origin, size).toAlignedRect()))
        return;
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawStaticText(origin, name_);
}
