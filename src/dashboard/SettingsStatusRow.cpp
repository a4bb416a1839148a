#include "dashboard/SettingsStatusRow.h"

#include "ui/Theme.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace {
// The caption size the symbol is drawn at.
constexpr qreal captionPoints = 10;
} // namespace

SettingsStatusRow::SettingsStatusRow(QWidget* parent)
    : QWidget(parent), row_(new QHBoxLayout(this)), icon_(new QLabel(this)),
      text_(new QLabel(this)) {
    row_->setContentsMargins(8, 6, 8, 6);
    row_->setSpacing(8);
    row_->addWidget(icon_, 0, Qt::AlignVCenter);
    text_->setFont(Theme::font(Theme::TextStyle::caption));
    text_->setTextFormat(Qt::PlainText);
    text_->setWordWrap(true);
    text_->setObjectName(QStringLiteral("StatusText"));
    row_->addWidget(text_, 1, Qt::AlignVCenter);
}

void SettingsStatusRow::setContent(const QString& symbol, const QColor& symbolColor,
                                   const QString& text, const QColor& tint,
                                   const QColor& textColor) {
    symbol_ = symbol;
    symbolColor_ = symbolColor;
    tint_ = tint;
    textColor_ = textColor;
    text_->setText(text);
    applyColors();
    update();
}

void SettingsStatusRow::setTrailing(QWidget* widget) {
    row_->addWidget(widget, 0, Qt::AlignVCenter);
}

QString SettingsStatusRow::text() const {
    return text_->text();
}

void SettingsStatusRow::applyColors() {
    if (symbol_.isEmpty())
        return;
    icon_->setPixmap(Theme::symbol(symbol_, symbolColor_, captionPoints, devicePixelRatioF()));
    QPalette colored = text_->palette();
    colored.setColor(QPalette::WindowText,
                     textColor_.isValid() ? textColor_ : Theme::secondary(palette()));
    text_->setPalette(colored);
}

void SettingsStatusRow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange)
        applyColors();
    QWidget::changeEvent(event);
}

void SettingsStatusRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath field;
    field.addRoundedRect(QRectF(rect()), 8, 8);
    painter.fillPath(field, Theme::withAlpha(tint_, 0.08));
}
