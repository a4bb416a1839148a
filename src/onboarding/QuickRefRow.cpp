#include "onboarding/QuickRefRow.h"

#include "onboarding/RoundedPanel.h"
#include "onboarding/TourLayout.h"
#include "onboarding/TourStyle.h"

#include <QLabel>

using Theme::Named;
using Theme::TextStyle;

QuickRefRow::QuickRefRow(const QString& shortcut, const QString& description, QWidget* parent)
    : QWidget(parent), shortcut_(shortcut), description_(description) {
    QHBoxLayout* row = plainRow(this);
    row->setSpacing(8);
    auto* badge = new RoundedPanel(this);
    badge_ = badge;
    badge->setFill(Named::accent, 1.0);
    badge->setCornerRadius(6);
    badge->setMinimumWidth(44);
    auto* key = new QLabel(shortcut, badge);
    QFont font = Theme::font(TextStyle::body);
    font.setFamily(QStringLiteral("monospace"));
    font.setStyleHint(QFont::Monospace);
    font.setBold(true);
    key->setFont(font);
    key->setAlignment(Qt::AlignCenter);
    key->setStyleSheet(QStringLiteral("color: white;"));
    QHBoxLayout* badgeRow = plainRow(badge);
    badgeRow->setContentsMargins(8, 4, 8, 4);
    badgeRow->addWidget(key);
    row->addWidget(badge, 0, Qt::AlignVCenter);
    auto* text = new QLabel(description, this);
    TourStyle::applyText(text, TextStyle::body);
    row->addWidget(text, 0, Qt::AlignVCenter);
    row->addStretch(1);
}

int QuickRefRow::badgeWidth() const {
    return qMax(44, badge_->sizeHint().width());
}

void QuickRefRow::setBadgeWidth(int width) {
    badge_->setFixedWidth(width);
}
