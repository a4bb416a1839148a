#include "tuck/TuckAwayPullTab.h"

#include "platform/ScreenProvider.h"
#include "ui/SymbolNames.h"
#include "ui/Symbols.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

TuckAwayPullTab::TuckAwayPullTab(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TuckAwayPullTab"));
    setFixedSize(28, 70);
    setCount(0);
}

void TuckAwayPullTab::setCount(int count) {
    count_ = count;
    setAccessibleName(QStringLiteral("Tucked kippets: %1").arg(count));
    update();
}

void TuckAwayPullTab::setForeground(const QColor& color) {
    foreground_ = color;
    update();
}

void TuckAwayPullTab::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPixmap symbol =
        Symbols::pixmap(SymbolNames::tray2Fill, 14, foreground_, devicePixelRatioF());
    const QSizeF symbolSize = symbol.deviceIndependentSize();
    QFont numberFont = font();
    numberFont.setPixelSize(10);
    numberFont.setBold(true);
    const QFontMetricsF metrics(numberFont);
    const bool showsCount = count_ > 0;
    const double spacing = 6;
    const double contentHeight =
        symbolSize.height() + (showsCount ? spacing + metrics.height() : 0);
    double y = (height() - contentHeight) / 2;
    painter.drawPixmap(QPointF((width() - symbolSize.width()) / 2, y), symbol);
    if (!showsCount)
        return;
    y += symbolSize.height() + spacing;
    QColor numberColor = foreground_;
    numberColor.setAlphaF(numberColor.alphaF() * 0.9f);
    painter.setPen(numberColor);
    painter.setFont(numberFont);
    painter.drawText(QRectF(0, y, width(), metrics.height()), Qt::AlignCenter,
                     QString::number(count_));
}

void TuckAwayPullTab::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    pressedAt_ = event->globalPosition();
    isDragging_ = false;
    event->accept();
}

void TuckAwayPullTab::mouseMoveEvent(QMouseEvent* event) {
    if (!pressedAt_)
        return;
    const QPointF delta = event->globalPosition() - *pressedAt_;
    if (!isDragging_ && std::hypot(delta.x(), delta.y()) > dragThreshold) {
        isDragging_ = true;
        emit dragStarted();
    }
    // The tray follows the pointer from edge to edge, so each move reads where it is on the
    // screen rather than on the tab that moves with it.
    if (isDragging_)
        emit dragged(ScreenProvider::shared().space().fromQtPoint(event->globalPosition()));
}

void TuckAwayPullTab::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressedAt_)
        return;
    const bool wasDragging = std::exchange(isDragging_, false);
    pressedAt_.reset();
    if (!wasDragging)
        emit clicked();
}

void TuckAwayPullTab::contextMenuEvent(QContextMenuEvent* event) {
    emit contextMenuRequested(event->globalPos());
}
