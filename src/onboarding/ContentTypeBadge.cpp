#include "onboarding/ContentTypeBadge.h"

#include "onboarding/SymbolView.h"
#include "onboarding/TourLayout.h"
#include "onboarding/TourStyle.h"

#include <QLabel>

ContentTypeBadge::ContentTypeBadge(const QString& icon, const QString& text, QWidget* parent)
    : RoundedPanel(parent), icon_(icon), text_(text) {
    setFill(Theme::Named::secondary, 0.1);
    setCapsule();
    QHBoxLayout* row = plainRow(this);
    row->setContentsMargins(12, 6, 12, 6);
    row->setSpacing(6);
    const QFont caption = Theme::font(Theme::TextStyle::caption);
    auto* symbol = new SymbolView(icon, caption.pixelSize(), this);
    symbol->setColor(Theme::Named::primary);
    row->addWidget(symbol, 0, Qt::AlignVCenter);
    auto* label = new QLabel(text, this);
    label->setFont(caption);
    row->addWidget(label, 0, Qt::AlignVCenter);
}
