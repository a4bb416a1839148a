#include "dashboard/WarningBanner.h"

#include "app/SymbolNames.h"
#include "dashboard/SheetStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

WarningBanner::WarningBanner(QWidget* parent)
    : QWidget(parent), icon_(new QLabel(this)), message_(new QLabel(this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 10, 10, 10);
    row->setSpacing(8);
    icon_->setPixmap(SheetStyle::symbol(SymbolNames::exclamationmarkTriangleFill,
                                        SheetStyle::orange(), 13, devicePixelRatioF()));
    row->addWidget(icon_, 0, Qt::AlignVCenter);
    message_->setFont(SheetStyle::font(SheetStyle::TextStyle::caption));
    message_->setTextFormat(Qt::PlainText);
    message_->setWordWrap(true);
    QPalette colored = message_->palette();
    colored.setColor(QPalette::WindowText, SheetStyle::secondary(palette()));
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
    painter.fillPath(field, SheetStyle::withAlpha(SheetStyle::orange(), 0.1));
}
