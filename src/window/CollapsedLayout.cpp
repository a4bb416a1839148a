#include "window/CollapsedLayout.h"

#include "model/Kippet.h"
#include "window/ActionButton.h"
#include "window/CollapsedStateIndicator.h"

#include <QResizeEvent>
#include <algorithm>

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
