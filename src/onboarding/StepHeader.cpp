#include "onboarding/StepHeader.h"

#include "onboarding/TourLayout.h"
#include "onboarding/TourStyle.h"

#include <QLabel>

using Theme::TextStyle;

StepHeader::StepHeader(const QString& title, const QString& subtitle, int spacing, int topPadding,
                       QWidget* parent)
    : QWidget(parent) {
    QVBoxLayout* column = plainColumn(this);
    column->setContentsMargins(0, topPadding, 0, 0);
    StackBuilder stack(column, spacing);
    title_ = new QLabel(title, this);
    TourStyle::applyText(title_, TextStyle::largeTitle);
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    title_->setAlignment(Qt::AlignHCenter);
    stack.add(title_);
    subtitle_ = new QLabel(subtitle, this);
    TourStyle::applyText(subtitle_, TextStyle::title3, true);
    subtitle_->setAlignment(Qt::AlignHCenter);
    subtitle_->setWordWrap(true);
    stack.add(subtitle_, {});
}
