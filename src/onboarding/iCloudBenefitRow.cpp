#include "onboarding/iCloudBenefitRow.h"

#include "onboarding/SymbolView.h"
#include "onboarding/TourLayout.h"
#include "onboarding/TourStyle.h"

#include <QLabel>

iCloudBenefitRow::iCloudBenefitRow(const QString& icon, const QString& text, QWidget* parent)
    : QWidget(parent), icon_(icon), text_(text) {
    QHBoxLayout* row = plainRow(this);
    row->setSpacing(12);
    auto* symbol = new SymbolView(icon, Theme::font(Theme::TextStyle::body).pixelSize(), this);
    symbol->setColor(Theme::Named::blue);
    auto* column = new QWidget(this);
    column->setFixedWidth(24);
    plainRow(column)->addWidget(symbol, 0, Qt::AlignCenter);
    row->addWidget(column);
    auto* label = new QLabel(text, this);
    TourStyle::applyText(label, Theme::TextStyle::body, true);
    row->addWidget(label, 1);
}
