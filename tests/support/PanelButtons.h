#pragma once

#include "window/ActionButton.h"
#include "window/CollapsedLayout.h"

// A button of a panel's layout by its identifier. A collapsed panel at rest draws its buttons
// without making them: it makes them, hidden, when asked.
inline ActionButton* panelButton(QWidget* layout, const QString& identifier) {
    if (auto* collapsed = dynamic_cast<CollapsedLayout*>(layout))
        return collapsed->button(identifier);
    return layout ? layout->findChild<ActionButton*>(identifier) : nullptr;
}
