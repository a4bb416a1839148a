#include "window/StateIndicator.h"

#include "app/DailyKippet.h"
#include "model/Kippet.h"
#include "ui/SymbolNames.h"
#include "window/ShimmerSymbol.h"

#include <QLayout>
#include <QShowEvent>

StateIndicator::StateIndicator(Kippet* kippet, bool isActive, bool offersReady, QWidget* parent)
    : QWidget(parent), kippet_(kippet), isActive_(isActive), offersReady_(offersReady),
      tracker_(new ItemStateTracker(kippet, ItemStateTracker::Policy::indicator, this)) {
    connect(tracker_, &ItemStateTracker::changed, this, &StateIndicator::refresh);
    if (kippet) {
        for (auto signal :
             {&Kippet::nameChanged, &Kippet::colorChanged, &Kippet::iconChanged,
              &Kippet::isDailyKippetChanged, &Kippet::noteChanged, &Kippet::todosChanged})
            connect(kippet, signal, this, &StateIndicator::refresh);
    }
}

void StateIndicator::setIsActive(bool isActive) {
    if (std::exchange(isActive_, isActive) != isActive)
        refresh();
}

StateIndicator::State StateIndicator::state() const {
    return tracker_->state(offersReady_, isActive_);
}

QWidget* StateIndicator::makeSymbol(State state) {
    switch (state) {
    case State::analyzing:
        return new ShimmerSymbol(SymbolNames::sparkles, 0.7, 0.4, 1500);
    case State::importing:
        return new ShimmerSymbol(SymbolNames::squareAndArrowDownFill, 0.75, 0.35, 1400);
    case State::analysisFailed:
        return new ShimmerSymbol(SymbolNames::exclamationmarkTriangleFill, 0.7, 0.4, 1500);
    case State::ready:
    case State::idle:
        break;
    }
    return nullptr;
}

QColor StateIndicator::displayColor() const {
    if (!kippet_)
        return Qt::gray;
    return kippet_->isDailyKippet() ? dailyKippetColor() : kippet_->color().toQColor();
}

StateIndicator::Look StateIndicator::look() const {
    if (!kippet_)
        return {state(), isActive_, 0, {}, {}, {}};
    return {state(),         isActive_,      kippet_->totalItemCount(),
            kippet_->name(), displayColor(), kippet_->icon()};
}

void StateIndicator::refresh() {
    // A hidden status is laid out again when it shows.
    if (!isVisible()) {
        shown_.reset();
        return;
    }
    const Look current = look();
    if (shown_ && *shown_ == current)
        return;
    if (shown_ && onlyActivityDiffers(*shown_, current) && restyle()) {
        shown_ = current;
        return;
    }
    rebuild();
}

bool StateIndicator::onlyActivityDiffers(Look shown, const Look& current) {
    shown.isActive = current.isActive;
    return shown == current;
}

bool StateIndicator::laysOut(State) const {
    return true;
}

void StateIndicator::rebuild() {
    shown_ = look();
    QLayout* layout = this->layout();
    if (layout) {
        while (QLayoutItem* item = layout->takeAt(0)) {
            if (QWidget* widget = item->widget())
                delete widget;
            delete item;
        }
    } else if (laysOut(shown_->state)) {
        layout = makeLayout();
    }
    build(shown_->state, layout);
    if (layout) {
        // Widgets added to a shown parent stay hidden until told otherwise.
        for (int index = 0; index < layout->count(); ++index) {
            if (QWidget* widget = layout->itemAt(index)->widget())
                widget->show();
        }
        layout->activate();
    }
    arranged();
    // The resting look is painted on the status itself, not by a child: the new children cover
    // only their own places, so the rest must be painted again too.
    update();
}

void StateIndicator::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        tracker_->appear();
    if (!shown_)
        rebuild();
}

void StateIndicator::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        tracker_->disappear();
}
