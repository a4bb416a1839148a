#include "onboarding/DemoTaskRow.h"

#include "onboarding/SymbolView.h"
#include "onboarding/TourLayout.h"
#include "onboarding/TourStyle.h"
#include "ui/SymbolNames.h"

#include <QLabel>

using Theme::Named;
using Theme::TextStyle;

DemoTaskRow::DemoTaskRow(const QString& identifier, const QString& title, QWidget* parent)
    : RoundedPanel(parent), identifier_(identifier), title_(title) {
    setObjectName(QStringLiteral("DemoTask_") + identifier);
    setCornerRadius(8);
    QHBoxLayout* row = plainRow(this);
    row->setContentsMargins(16, 10, 16, 10);
    row->setSpacing(12);
    symbol_ = new SymbolView(QString(), Theme::font(TextStyle::title3).pixelSize(), this);
    row->addWidget(symbol_, 0, Qt::AlignVCenter);
    text_ = new QLabel(title, this);
    text_->setFont(Theme::font(TextStyle::body));
    row->addWidget(text_, 1, Qt::AlignVCenter);
    done_ = true;
    setDone(false);
}

QString DemoTaskRow::symbol() const {
    return symbol_->symbol();
}

void DemoTaskRow::setDone(bool done) {
    if (done_ == done) {
        return;
    }
    done_ = done;
    symbol_->setSymbol(done ? SymbolNames::checkmarkCircleFill : SymbolNames::circle);
    symbol_->setColor(done ? Named::green : Named::secondary);
    setFill(done ? Named::green : Named::secondary, done ? 0.08 : 0.05);
    QPalette palette = text_->palette();
    palette.setColor(QPalette::WindowText,
                     Theme::color(done ? Named::secondary : Named::primary, this->palette()));
    text_->setPalette(palette);
}
