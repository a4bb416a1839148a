#include "window/MiniStateIndicator.h"

#include "model/Kippet.h"
#include "window/KippetIconBadge.h"

#include <QVBoxLayout>

MiniStateIndicator::MiniStateIndicator(Kippet* kippet, bool isActive, QWidget* parent)
    : StateIndicator(kippet, isActive, false, parent) {}

QLayout* MiniStateIndicator::makeLayout() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setAlignment(Qt::AlignCenter);
    return layout;
}

void MiniStateIndicator::build(State state, QLayout* layout) {
    QWidget* shown = makeSymbol(state);
    badge_ = nullptr;
    if (!shown) {
        badge_ = new KippetIconBadge(displayColor(), kippet_ ? kippet_->icon() : QString(),
                                     isActive(), 56);
        shown = badge_;
    }
    layout->addWidget(shown);
    layout->setAlignment(shown, Qt::AlignCenter);
}

bool MiniStateIndicator::restyle() {
    if (!badge_)
        return false;
    badge_->setIsActive(isActive());
    return true;
}
