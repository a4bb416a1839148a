#include "onboarding/AIModeCard.h"

#include "onboarding/RoundedPanel.h"
#include "onboarding/SymbolView.h"
#include "onboarding/TourLayout.h"
#include "ui/SymbolNames.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>

using Theme::Named;
using Theme::TextStyle;

AIModeCard::AIModeCard(AIMode mode, const QString& icon, const QString& title,
                       const QString& subtitle, bool hasBadge, QWidget* parent)
    : QAbstractButton(parent), mode_(mode) {
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setText(title);
    QHBoxLayout* row = plainRow(this);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(14);

    iconTile_ = new RoundedPanel(this);
    iconTile_->setCornerRadius(8);
    iconTile_->setFixedSize(36, 36);
    icon_ = new SymbolView(icon, Theme::font(TextStyle::title2).pixelSize(), iconTile_);
    plainRow(iconTile_)->addWidget(icon_, 0, Qt::AlignCenter);
    row->addWidget(iconTile_, 0, Qt::AlignVCenter);

    auto* texts = new QWidget(this);
    QVBoxLayout* column = plainColumn(texts);
    column->setSpacing(3);
    auto* titleRow = new QWidget(texts);
    QHBoxLayout* titleLayout = plainRow(titleRow);
    titleLayout->setSpacing(8);
    auto* heading = new QLabel(title, titleRow);
    TourStyle::applyText(heading, TextStyle::headline);
    titleLayout->addWidget(heading, 0, Qt::AlignVCenter);
    if (hasBadge) {
        badge_ = new RoundedPanel(titleRow);
        badge_->setObjectName(QStringLiteral("AIModeBadge"));
        badge_->setCapsule();
        badgeLabel_ = new QLabel(badge_);
        QFont font = Theme::font(TextStyle::caption2);
        font.setWeight(QFont::DemiBold);
        badgeLabel_->setFont(font);
        badgeLabel_->setForegroundRole(QPalette::WindowText);
        QHBoxLayout* badgeRow = plainRow(badge_);
        badgeRow->setContentsMargins(6, 2, 6, 2);
        badgeRow->addWidget(badgeLabel_);
        titleLayout->addWidget(badge_, 0, Qt::AlignVCenter);
    }
    titleLayout->addStretch(1);
    column->addWidget(titleRow);
    auto* sentence = new QLabel(subtitle, texts);
    TourStyle::applyText(sentence, TextStyle::caption, true);
    sentence->setWordWrap(true);
    column->addWidget(sentence);
    row->addWidget(texts, 1);

    check_ = new SymbolView(QString(), Theme::font(TextStyle::title3).pixelSize(), this);
    row->addWidget(check_, 0, Qt::AlignVCenter);
    for (QWidget* child : findChildren<QWidget*>()) {
        child->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    restyle();
}

void AIModeCard::setSelected(bool selected) {
    if (selected_ != selected) {
        selected_ = selected;
        restyle();
    }
}

void AIModeCard::setBadge(const QString& text, Named color) {
    if (!badge_) {
        return;
    }
    badgeLabel_->setText(text);
    badgeNamed_ = color;
    restyle();
}

std::optional<QString> AIModeCard::badgeText() const {
    if (!badgeLabel_) {
        return std::nullopt;
    }
    return badgeLabel_->text();
}

QColor AIModeCard::badgeColor() const {
    return Theme::color(selected_ ? badgeNamed_ : Named::secondary, palette());
}

void AIModeCard::restyle() {
    iconTile_->setFill(selected_ ? Named::accent : Named::secondary, selected_ ? 1.0 : 0.12);
    if (selected_) {
        icon_->setColor(QColor(Qt::white));
    } else {
        icon_->setColor(Named::primary);
    }
    check_->setSymbol(selected_ ? SymbolNames::checkmarkCircleFill : SymbolNames::circle);
    if (selected_) {
        check_->setColor(Named::accent);
    } else {
        check_->setColor(Theme::withAlpha(Theme::color(Named::secondary, palette()), 0.4));
    }
    if (badge_) {
        const Named tone = selected_ ? badgeNamed_ : Named::secondary;
        badge_->setFill(tone, 0.12);
        // From the card's own colours: the label's were set by the previous call.
        QPalette palette = badgeLabel_->palette();
        palette.setColor(QPalette::WindowText, Theme::color(tone, this->palette()));
        badgeLabel_->setPalette(palette);
    }
    update();
}

QSize AIModeCard::sizeHint() const {
    return layout()->sizeHint();
}

QSize AIModeCard::minimumSizeHint() const {
    return layout()->minimumSize();
}

void AIModeCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 12, 12);
    const QColor accent = Theme::color(Named::accent, palette());
    painter.fillPath(shape,
                     selected_ ? Theme::withAlpha(accent, 0.07)
                               : Theme::withAlpha(Theme::color(Named::secondary, palette()), 0.05));
    if (selected_) {
        painter.setPen(QPen(Theme::withAlpha(accent, 0.5), 1.5));
        painter.drawPath(shape);
    }
}
