#include "window/CollapsedLayout.h"

#include "model/Kippet.h"
#include "window/CollapsedStateIndicator.h"

#include <QAccessible>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>
#include <utility>

namespace {
constexpr int headerCount = 2;
}

CollapsedLayout::CollapsedLayout(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CollapsedLayout"));
}

void CollapsedLayout::setParts(const Part& create, const Part& close,
                               CollapsedStateIndicator* status, const QList<Part>& row) {
    Q_ASSERT(status->parentWidget() == this);
    slots_.clear();
    slots_.reserve(headerCount + row.size());
    slots_.append(Slot{create, {}, {}});
    slots_.append(Slot{close, {}, {}});
    for (const Part& part : row)
        slots_.append(Slot{part, {}, {}});
    status_ = status;
    arrange();
    if (QAccessible::isActive()) {
        revealButtons();
        return;
    }
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

void CollapsedLayout::makeButtons() {
    for (Slot& slot : slots_) {
        if (slot.made)
            continue;
        slot.made = new ActionButton(slot.part.look, slot.part.helpText, slot.part.identifier,
                                     slot.part.action, this);
        slot.made->move(slot.geometry.topLeft());
        slot.made->setVisible(revealed_);
    }
}

ActionButton* CollapsedLayout::button(const QString& identifier) {
    makeButtons();
    const Slot* slot = slotFor(identifier);
    return slot ? slot->made.data() : nullptr;
}

CollapsedLayout::Slot* CollapsedLayout::slotFor(const QString& identifier) {
    const auto found = std::find_if(slots_.begin(), slots_.end(), [&identifier](const Slot& slot) {
        return slot.part.identifier == identifier;
    });
    return found == slots_.end() ? nullptr : &*found;
}

void CollapsedLayout::revealButtons() {
    if (std::exchange(revealed_, true))
        return;
    makeButtons();
    for (const Slot& slot : std::as_const(slots_))
        slot.made->show();
    update();
}

void CollapsedLayout::setIsWindowActive(bool isWindowActive) {
    for (Slot& slot : slots_) {
        if (std::exchange(slot.part.look.isWindowActive, isWindowActive) == isWindowActive)
            continue;
        if (slot.made)
            slot.made->setIsWindowActive(isWindowActive);
        else
            update(slot.geometry);
    }
}

void CollapsedLayout::setButtonState(const QString& identifier, bool isActive,
                                     const QColor& activeColor, const QString& helpText) {
    Slot* slot = slotFor(identifier);
    if (!slot)
        return;
    ActionButtonLook& look = slot->part.look;
    const bool changed = look.isActive != isActive || look.activeColor != activeColor;
    look.isActive = isActive;
    look.activeColor = activeColor;
    slot->part.helpText = helpText;
    if (slot->made) {
        slot->made->setIsActive(isActive);
        slot->made->setActiveColor(activeColor);
        slot->made->setHelpText(helpText);
    } else if (changed) {
        update(slot->geometry);
    }
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
    for (const Slot& slot : std::as_const(slots_)) {
        if (!event->rect().intersects(slot.geometry))
            continue;
        // A made button draws itself once shown; until then its face is drawn here.
        const QPixmap face =
            slot.made ? slot.made->restingFace()
                      : ActionButton::restingFace(slot.part.look, palette(), devicePixelRatioF());
        painter.drawPixmap(slot.geometry.topLeft(), face);
    }
}

void CollapsedLayout::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    arrange();
}

void CollapsedLayout::arrange() {
    if (!status_ || slots_.size() < headerCount)
        return;
    const QRect inner =
        rect().adjusted(horizontalMargin, verticalMargin, -horizontalMargin, -verticalMargin);
    const auto place = [](Slot& slot, QPoint topLeft) {
        slot.geometry = QRect(topLeft, slot.part.look.size());
        if (slot.made)
            slot.made->move(topLeft);
    };
    // The header: create on the left, close on the right.
    Slot& create = slots_[0];
    Slot& close = slots_[1];
    const QSize createSize = create.part.look.size();
    const QSize closeSize = close.part.look.size();
    const int headerHeight = std::max(createSize.height(), closeSize.height());
    place(create, {inner.left(), inner.top() + (headerHeight - createSize.height()) / 2});
    place(close, {inner.right() + 1 - closeSize.width(),
                  inner.top() + (headerHeight - closeSize.height()) / 2});
    // The row, centred.
    const qsizetype rowCount = slots_.size() - headerCount;
    int rowWidth = 0;
    int rowHeight = 0;
    for (qsizetype i = headerCount; i < slots_.size(); ++i) {
        const QSize size = slots_[i].part.look.size();
        rowWidth += size.width();
        rowHeight = std::max(rowHeight, size.height());
    }
    rowWidth += rowSpacing * std::max<qsizetype>(0, rowCount - 1);
    const int rowTop = inner.bottom() + 1 - rowHeight;
    int x = inner.left() + (inner.width() - rowWidth) / 2;
    for (qsizetype i = headerCount; i < slots_.size(); ++i) {
        const QSize size = slots_[i].part.look.size();
        place(slots_[i], {x, rowTop + (rowHeight - size.height()) / 2});
        x += size.width() + rowSpacing;
    }
    // The status takes what is left between them.
    const int statusTop = inner.top() + headerHeight + spacing;
    status_->setGeometry(inner.left(), statusTop, inner.width(),
                         std::max(0, rowTop - spacing - statusTop));
}
