#include "onboarding/ShortcutBadge.h"

#include "onboarding/KeyBadge.h"
#include "onboarding/TourLayout.h"
#include "onboarding/TourStyle.h"

#include <QLabel>

ShortcutBadge::ShortcutBadge(const QString& key, const QString& description, QWidget* parent)
    : QWidget(parent), key_(key), description_(description) {
    QHBoxLayout* row = plainRow(this);
    row->setSpacing(8);
    row->addWidget(new KeyBadge(key, 28, this), 0, Qt::AlignVCenter);
    auto* text = new QLabel(description, this);
    TourStyle::applyText(text, Theme::TextStyle::caption, true);
    row->addWidget(text, 0, Qt::AlignVCenter);
}
