#include "onboarding/TourLayout.h"

#include <QWidget>

StackBuilder::StackBuilder(QBoxLayout* layout, int spacing) : layout_(layout), spacing_(spacing) {
    layout_->setSpacing(0);
}

void StackBuilder::gap() {
    if (!empty_) {
        layout_->addSpacing(spacing_);
    }
    empty_ = false;
}

void StackBuilder::add(QWidget* widget, Qt::Alignment alignment) {
    gap();
    layout_->addWidget(widget, 0, alignment);
}

void StackBuilder::add(QLayout* layout) {
    gap();
    layout_->addLayout(layout);
}

void StackBuilder::addFlexible() {
    gap();
    layout_->addStretch(1);
}

QVBoxLayout* plainColumn(QWidget* parent) {
    auto* layout = new QVBoxLayout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

QHBoxLayout* plainRow(QWidget* parent) {
    auto* layout = new QHBoxLayout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}
