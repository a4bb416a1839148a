#include "dashboard/WarningBanner.h"

#include "ui/SymbolNames.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

WarningBanner::WarningBanner(QWidget* parent)
    : QWidget(parent), icon_(new QLabel(this)), message_(new QLabel(this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 10, 10, 10);
    row->setSpacing(8);
    icon_->setPixmap(Theme::symbol(SymbolNames::exclamationmarkTriangleFill, Theme::orange(), 13,
                                   devicePixelRatioF()));
    row->addWidget(icon_, 0, Qt::AlignVCenter);
    message_->setFont(Theme::font(Theme::TextStyle::caption));
    message_->setTextFormat(Qt::PlainText);
    message_->setWordWrap(true);
    QPalette colored = message_->palette();
    colored.setColor(QPalette::WindowText, Theme::secondary(palette()));
    message_->setPalette(colored);
    row->addWidget(message_, 1, Qt::AlignVCenter);
}

void WarningBanner::setMessage(const QString& message) {
    message_->setText(message);
}

void WarningBanner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath field;
    field.addRoundedRect(QRectF(rect()), 8, 8);
    painter.fillPath(field, Theme::withAlpha(Theme::orange(), 0.1));
}
