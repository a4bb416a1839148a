#include "dashboard/KippetPreviewCard.h"

#include "dashboard/KippetForm.h"
#include "dashboard/SheetBadge.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

using Theme::TextStyle;

KippetPreviewCard::KippetPreviewCard(KippetForm& form, QWidget* parent)
    : QWidget(parent), form_(form), badge_(new SheetBadge(60, 28, 0.45, this)),
      name_(new QLabel(this)), caption_(new QLabel(QStringLiteral("Preview"), this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 16, 16, 16);
    row->setSpacing(16);
    row->addWidget(badge_, 0, Qt::AlignVCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    name_->setFont(Theme::font(TextStyle::headline));
    name_->setTextFormat(Qt::PlainText);
    caption_->setFont(Theme::font(TextStyle::caption));
    texts->addWidget(name_);
    texts->addWidget(caption_);
    row->addLayout(texts);
    row->addStretch(1);

    connect(&form_, &KippetForm::nameChanged, this, &KippetPreviewCard::refresh);
    connect(&form_, &KippetForm::colorChanged, this, &KippetPreviewCard::refresh);
    connect(&form_, &KippetForm::iconChanged, this, &KippetPreviewCard::refresh);
    refresh();
}

QString KippetPreviewCard::displayName() const {
    return name_->text();
}

void KippetPreviewCard::refresh() {
    const QString trimmed = form_.name().trimmed();
    name_->setText(trimmed.isEmpty() ? QStringLiteral("New Kippet") : trimmed);
    QPalette captionPalette = caption_->palette();
    captionPalette.setColor(QPalette::WindowText, Theme::secondary(palette()));
    caption_->setPalette(captionPalette);
    badge_->setColor(form_.color().toQColor());
    badge_->setIcon(form_.icon());
    update();
}

void KippetPreviewCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF card = QRectF(rect());
    Theme::paintUltraThinMaterial(painter, card, 14, palette());
    QPainterPath outline;
    outline.addRoundedRect(card.adjusted(0.5, 0.5, -0.5, -0.5), 13.5, 13.5);
    painter.setPen(QPen(Theme::withAlpha(form_.color().toQColor(), 0.25), 1));
    painter.drawPath(outline);
}
