#include "window/CollapsedLayout.h"

#include "model/Kippet.h"
#include "window/ActionButton.h"
#include "window/CollapsedStateIndicator.h"

#include <QAccessible>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>
#include <utility>

CollapsedLayout::CollapsedLayout(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CollapsedLayout"));
}

void CollapsedLayout::setParts(ActionButton* create, ActionButton* close,
                               CollapsedStateIndicator* status, const QList<ActionButton*>& row) {
    Q_ASSERT(create->parentWidget() == this && close->parentWidget() == this &&
             status->parentWidget() == this);
    create_ = create;
    close_ = close;
    status_ = status;
    row_ = row;
    arrange();
    if (QAccessible::isActive()) {
        revealed_ = true;
        return;
    }
    for (ActionButton* button : buttons())
        button->hide();
    // Assistive technology that starts later finds the buttons too.
    QAccessible::installActivationObserver(this);
    observing_ = true;
}

CollapsedLayout::~CollapsedLayout() {
    if (observing_)
        QAccessible::removeActivationObserver(this);
}

void CollapsedLayout::accessibilityActiveChanged(bool active) {
    if (active)
        revealButtons();
}

QList<ActionButton*> CollapsedLayout::buttons() const {
    QList<ActionButton*> all{create_, close_};
    all.append(row_);
    all.removeAll(nullptr);
    return all;
}

void CollapsedLayout::revealButtons() {
    if (std::exchange(revealed_, true))
        return;
    for (ActionButton* button : buttons())
        button->show();
    update();
}

bool CollapsedLayout::event(QEvent* event) {
    // The pointer came over the panel: the buttons answer it themselves.
    if (event->type() == QEvent::Enter)
        revealButtons();
    return QWidget::event(event);
}

void CollapsedLayout::paintEvent(QPaintEvent* event) {
    if (revealed_)
        return;
    QPainter painter(this);
    for (const ActionButton* button : buttons()) {
        if (event->rect().intersects(button->geometry()))
            painter.drawPixmap(button->pos(), button->restingFace());
    }
}

void CollapsedLayout::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    arrange();
}

void CollapsedLayout::arrange() {
    if (!status_)
        return;
    const QRect inner =
        rect().adjusted(horizontalMargin, verticalMargin, -horizontalMargin, -verticalMargin);
    // The header: create on the left, close on the right.
    const int headerHeight = std::max(create_->height(), close_->height());
    create_->move(inner.left(), inner.top() + (headerHeight - create_->height()) / 2);
    close_->move(inner.right() + 1 - close_->width(),
                 inner.top() + (headerHeight - close_->height()) / 2);
    // The row, centred.
    int rowWidth = 0;
    int rowHeight = 0;
    for (const ActionButton* button : std::as_const(row_)) {
        rowWidth += button->width();
        rowHeight = std::max(rowHeight, button->height());
    }
    rowWidth += rowSpacing * std::max<qsizetype>(0, row_.size() - 1);
    const int rowTop = inner.bottom() + 1 - rowHeight;
    int x = inner.left() + (inner.width() - rowWidth) / 2;
    for (ActionButton* button : std::as_const(row_)) {
        button->move(x, rowTop + (rowHeight - button->height()) / 2);
        x += button->width() + rowSpacing;
    }
    // The status takes what is left between them.
    const int statusTop = inner.top() + headerHeight + spacing;
    status_->setGeometry(inner.left(), statusTop, inner.width(),
                         std::max(0, rowTop - spacing - statusTop));
}
